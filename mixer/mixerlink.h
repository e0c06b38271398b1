// How a control bound to a mixer control hears about it: TMMControlLink
// observes the mixer control and calls back on value notices and on
// re-resolution. Its lock marks that the owner itself is moving its display,
// so the owner does not write that movement back to the mixer.
#pragma once

#include "mixer/mixercontrol.h"
#include "platform/errors.h"
#include "platform/strings.h"

#include <algorithm>
#include <initializer_list>

#include <functional>

namespace zol {

class TMMControlLink : public TMMObserver {
public:
    using Callback = std::function<void(TMMCustomMixerControl* control)>;
    TMMControlLink() = default;
    ~TMMControlLink() override { SetControl(nullptr); }

    TMMCustomMixerControl* Control() const { return control_; }
    void SetControl(TMMCustomMixerControl* control)
    {
        if (control == control_)
            return;
        if (control_)
            control_->RemoveObserver(this);
        control_ = control;
        if (control_)
            control_->AddObserver(this);
    }
    // The control gone (its removal was announced): forget it.
    void Forget() { control_ = nullptr; }

    // Binds `owner` to `control`: refuses a control of a class not in
    // `allowed` (EMMMixerControlsError "Invalid control class"), moves the
    // owner's removal notice to the new control. False when nothing changed.
    bool Rebind(TMMComponentState& owner, TMMCustomMixerControl* control,
                std::initializer_list<TMMControlClass> allowed)
    {
        if (control && std::find(allowed.begin(), allowed.end(), control->ControlClass()) == allowed.end())
            throw EMMMixerControlsError(LoadResString(SInvalidControlClass));
        if (control == control_)
            return false;
        if (control_)
            owner.RemoveFreeNotification(control_);
        SetControl(control);
        if (control)
            owner.FreeNotification(control);
        return true;
    }

    void SetOnValueChange(Callback cb, void* owner = nullptr)
    {
        onValue_ = std::move(cb);
        valueOwner_ = owner;
    }
    void SetOnResolved(Callback cb, void* owner = nullptr)
    {
        onResolved_ = std::move(cb);
        resolvedOwner_ = owner;
    }

    // Runs regardless of the lock count.
    void Update(TMMChange* change) override
    {
        if (dynamic_cast<TMMControlChange*>(change)) {
            if (onValue_)
                onValue_(control_);
        } else if (dynamic_cast<TMMControlIdChange*>(change)) {
            if (onResolved_)
                onResolved_(control_);
        }
    }

private:
    TMMCustomMixerControl* control_ = nullptr;
    Callback onValue_;
    void* valueOwner_ = nullptr;
    Callback onResolved_;
    void* resolvedOwner_ = nullptr;
};

// Holds the link's lock for a scope.
class TLinkLock {
public:
    explicit TLinkLock(TMMObserver& link) : link_(link) { link_.Lock(); }
    ~TLinkLock() { link_.Unlock(); }
    TLinkLock(const TLinkLock&) = delete;
    TLinkLock& operator=(const TLinkLock&) = delete;

private:
    TMMObserver& link_;
};

// The control is resolved and the item addresses it properly.
inline bool ItemValid(TMMCustomMixerControl* c, TMMItemIndex item)
{
    if (c == nullptr || !c->IsValid())
        return false;
    if (!HasControlFlag(c->ControlInfo().Flags(), cfMultiple))
        return item == NoItem;
    const int last = c->GetItems() - 1;
    return item >= std::min(0, last) && item <= std::max(0, last);
}

// Item valid and the control is not disabled.
inline bool Usable(TMMCustomMixerControl* c, TMMItemIndex item)
{
    return ItemValid(c, item) && !HasControlFlag(c->ControlInfo().Flags(), cfDisabled);
}

}  // namespace zol
