// Observers and observables: how devices, mixer lines and controls tell the
// components bound to them about changes.
#pragma once

#include <functional>
#include <vector>

namespace zol {

class TMMObservable;

// What changed; observers look at the dynamic type.
class TMMChange {
public:
    virtual ~TMMChange() = default;
};

class TMMObserver {
public:
    using Callback = std::function<void(TMMObserver* sender, TMMChange* change)>;
    TMMObserver() = default;
    explicit TMMObserver(Callback callback, void* owner = nullptr)
        : callback_(std::move(callback)), owner_(owner) {}
    virtual ~TMMObserver();
    TMMObserver(const TMMObserver&) = delete;
    TMMObserver& operator=(const TMMObserver&) = delete;

    // Calls the callback with the change unless locked.
    virtual void Update(TMMChange* change);
    void Lock() { ++lockCount_; }
    void Unlock() { --lockCount_; }
    bool Locked() const { return lockCount_ != 0; }

    void SetOnNotify(Callback callback, void* owner = nullptr)
    {
        callback_ = std::move(callback);
        owner_ = owner;
    }
    void* Owner() const { return owner_; }
    TMMObservable* Observable() const { return observable_; }

private:
    friend class TMMObservable;
    TMMObservable* observable_ = nullptr;
    int lockCount_ = 0;
    Callback callback_;
    void* owner_ = nullptr;
};

class TMMObservable {
public:
    TMMObservable() = default;
    virtual ~TMMObservable();
    TMMObservable(const TMMObservable&) = delete;
    TMMObservable& operator=(const TMMObservable&) = delete;

    void AddObserver(TMMObserver* observer);
    void RemoveObserver(TMMObserver* observer);
    // Tells every observer, from the last added to the first.
    void Notify(TMMChange* change);
    int Count() const { return static_cast<int>(observers_.size()); }

private:
    std::vector<TMMObserver*> observers_;
};

}  // namespace zol
