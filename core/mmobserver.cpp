#include "core/mmobserver.h"

#include <algorithm>

namespace zol {

TMMObserver::~TMMObserver()
{
    if (observable_)
        observable_->RemoveObserver(this);
}

void TMMObserver::Update(TMMChange* change)
{
    if (lockCount_ == 0 && callback_)
        callback_(this, change);
}

TMMObservable::~TMMObservable()
{
    while (!observers_.empty()) {
        observers_.back()->observable_ = nullptr;
        observers_.pop_back();
    }
}

void TMMObservable::AddObserver(TMMObserver* observer)
{
    if (observer == nullptr)
        return;
    if (observer->observable_)
        observer->observable_->RemoveObserver(observer);
    observers_.push_back(observer);
    observer->observable_ = this;
}

void TMMObservable::RemoveObserver(TMMObserver* observer)
{
    if (observer == nullptr || observer->observable_ != this)
        return;
    observers_.erase(std::find(observers_.begin(), observers_.end(), observer));
    observer->observable_ = nullptr;
}

void TMMObservable::Notify(TMMChange* change)
{
    // An observer may detach itself (or others) while it is told; walk by
    // index and re-check the bounds.
    for (int i = static_cast<int>(observers_.size()) - 1; i >= 0; --i) {
        if (i >= static_cast<int>(observers_.size()))
            continue;
        observers_[i]->Update(change);
    }
}

}  // namespace zol
