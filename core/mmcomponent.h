// Bases of all components: component state (loading, destroying, ...) and
// removal notices between components that refer to each other.
#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <unordered_map>

namespace zol {

// The common event: a notification carrying only its sender.
using TNotifyEvent = std::function<void(QObject* sender)>;

enum TComponentStateFlag : int {
    csLoading = 1,
    csReading = 2,
    csDestroying = 4,
    csDesigning = 8,
};

enum TOperation { opInsert, opRemove };

// State and removal notices shared by non-visual components (QObject) and
// controls (QWidget). A component that keeps a plain pointer to another calls
// FreeNotification(other); when `other` is destroyed, Notification(other,
// opRemove) runs and the component sets its pointer to none.
class TMMComponentState {
public:
    virtual ~TMMComponentState();

    int ComponentState() const { return state_; }
    bool IsLoading() const { return state_ & csLoading; }
    bool IsReading() const { return state_ & csReading; }
    bool IsDestroying() const { return state_ & csDestroying; }
    bool IsDesigning() const { return state_ & csDesigning; }

    // The form reader: BeginLoading before properties are set, Loaded after
    // every component of the form exists.
    void BeginLoading() { state_ |= csLoading | csReading; }
    virtual void Loaded() { state_ &= ~(csLoading | csReading); }
    // Marks the component as being destroyed; destructors call it first.
    void Destroying() { state_ |= csDestroying; }
    // Puts the component into design state or takes it out of it.
    void SetDesigning(bool value);

    // Told when a component this one registered with is removed.
    virtual void Notification(QObject* component, TOperation operation);

    void FreeNotification(QObject* other);
    void RemoveFreeNotification(QObject* other);

protected:
    // The QObject this state belongs to (connections are bound to it).
    virtual QObject* Self() = 0;
    // Told after the design state changed.
    virtual void DesigningChanged() {}

private:
    int state_ = 0;
    std::unordered_map<QObject*, QMetaObject::Connection> watched_;
};

// Non-visual component with an owner (Qt parent) and a name.
class TMMComponent : public QObject, public TMMComponentState {
public:
    explicit TMMComponent(QObject* owner = nullptr);
    ~TMMComponent() override;
    QString Name() const { return objectName(); }
    void SetName(const QString& name) { setObjectName(name); }
    QObject* Owner() const { return parent(); }

protected:
    QObject* Self() override { return this; }
};

class TMMNonVisualComponent : public TMMComponent {
public:
    using TMMComponent::TMMComponent;
};

}  // namespace zol
