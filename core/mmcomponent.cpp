#include "core/mmcomponent.h"

namespace zol {

TMMComponentState::~TMMComponentState()
{
    for (auto& [other, connection] : watched_)
        QObject::disconnect(connection);
}

void TMMComponentState::Notification(QObject*, TOperation) {}

void TMMComponentState::SetDesigning(bool value)
{
    if (value == IsDesigning())
        return;
    if (value)
        state_ |= csDesigning;
    else
        state_ &= ~csDesigning;
    DesigningChanged();
}

void TMMComponentState::FreeNotification(QObject* other)
{
    if (other == nullptr || other == Self() || watched_.count(other))
        return;
    watched_[other] = QObject::connect(other, &QObject::destroyed, Self(), [this, other] {
        watched_.erase(other);
        Notification(other, opRemove);
    });
}

void TMMComponentState::RemoveFreeNotification(QObject* other)
{
    auto it = watched_.find(other);
    if (it == watched_.end())
        return;
    QObject::disconnect(it->second);
    watched_.erase(it);
}

TMMComponent::TMMComponent(QObject* owner) : QObject(owner) {}

TMMComponent::~TMMComponent()
{
    Destroying();
}

}  // namespace zol
