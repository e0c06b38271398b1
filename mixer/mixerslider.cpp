#include "mixer/mixerslider.h"

#include "platform/errors.h"
#include "platform/strings.h"

#include <cmath>

namespace zol {

namespace {

long long RoundEven(long double v)
{
    return static_cast<long long>(std::nearbyint(static_cast<double>(v)));
}

// Holds the link's lock and releases it on every path.
struct Locked {
    explicit Locked(TMMObserver& o) : observer(o) { observer.Lock(); }
    ~Locked() { observer.Unlock(); }
    TMMObserver& observer;
};

}  // namespace

// ---------------------------------------------------------------------------
// TMMCustomMixerSlider

TMMCustomMixerSlider::TMMCustomMixerSlider(QWidget* parent) : TMMCustomSlider(parent)
{
    link_.SetOnValueChange([this](TMMCustomMixerControl*) { UpdateAll(); }, this);
    link_.SetOnResolved([this](TMMCustomMixerControl*) { UpdateAll(); }, this);
    // Disabled until a usable control is bound.
    setEnabled(false);
}

TMMCustomMixerSlider::~TMMCustomMixerSlider()
{
    Destroying();
    link_.SetControl(nullptr);
}

void TMMCustomMixerSlider::SetControl(TMMCustomMixerControl* control)
{
    if (link_.Rebind(*this, control, {ccFader, ccNumber, ccSlider, ccTime}))
        UpdateAll();
}

void TMMCustomMixerSlider::SetChannel(TMMChannel channel)
{
    if (channel == channel_)
        return;
    channel_ = channel;
    UpdateAll();
}

void TMMCustomMixerSlider::SetItem(TMMItemIndex item)
{
    if (item == item_)
        return;
    item_ = item;
    UpdateAll();
}

void TMMCustomMixerSlider::SetEnabled(bool value)
{
    if (value == enabled_)
        return;
    enabled_ = value;
    UpdateAll();
}

void TMMCustomMixerSlider::UpdateRange()
{
    TMMCustomMixerControl* c = link_.Control();
    if (c == nullptr || IsDestroying()) {
        setEnabled(false);
        return;
    }
    setEnabled(enabled_ && Usable(c, item_));
    Locked lock(link_);
    // A control the mixer reports disabled keeps its own range, so the
    // (disabled) thumb shows the mixer's value rather than a point of 0..2.
    if (enabled_ && ItemValid(c, item_)) {
        const long double lo = c->ControlInfo().MinValue();
        const long double hi = c->ControlInfo().MaxValue();
        const int steps = c->ControlInfo().Steps();
        const int n = steps != 0 ? steps : 32;
        factor_ = (hi - lo) / n;
        SetMinValue(0);
        SetMaxValue(factor_ != 0 ? n : 1);
    } else {
        SetMinValue(0);
        SetMaxValue(2);
        factor_ = 1;
    }
}

void TMMCustomMixerSlider::UpdatePosition()
{
    if (IsDestroying())
        return;
    Locked lock(link_);
    TMMCustomMixerControl* c = link_.Control();
    if (ItemValid(c, item_) && factor_ != 0 && MinValue() < MaxValue() && enabled_) {
        const std::int32_t v = c->GetSignedItem(channel_, item_);
        SetPosition(static_cast<int>(RoundEven((v - c->ControlInfo().MinValue()) / factor_)));
    } else {
        SetPosition(std::max(MinValue(), (MinValue() + MaxValue()) / 2));
    }
}

void TMMCustomMixerSlider::UpdateAll()
{
    UpdateRange();
    UpdatePosition();
}

void TMMCustomMixerSlider::Change()
{
    if (!link_.Locked()) {
        Locked lock(link_);
        TMMCustomMixerControl* c = link_.Control();
        if (c && HasControlFlag(c->ControlInfo().Flags(), cfDisabled)) {
            UpdatePosition();  // the thumb goes back to the mixer's value
        } else if (Usable(c, item_)) {
            const long double v = Position() * factor_ + c->ControlInfo().MinValue();
            c->SetSignedItem(channel_, item_, static_cast<std::int32_t>(RoundEven(v)));
        }
    }
    TMMCustomSlider::Change();
}

void TMMCustomMixerSlider::Loaded()
{
    TMMCustomSlider::Loaded();
    UpdateAll();
}

void TMMCustomMixerSlider::Notification(QObject* component, TOperation operation)
{
    TMMCustomSlider::Notification(component, operation);
    if (operation == opRemove && component == link_.Control()) {
        link_.Forget();
        if (!IsDestroying())
            UpdateAll();
    }
}

// ---------------------------------------------------------------------------
// TMMCustomMixerCheckBox

TMMCustomMixerCheckBox::TMMCustomMixerCheckBox(QWidget* parent) : QCheckBox(parent)
{
    link_.SetOnValueChange([this](TMMCustomMixerControl*) { UpdateBox(); }, this);
    link_.SetOnResolved([this](TMMCustomMixerControl*) { UpdateBox(); }, this);
    connect(this, &QCheckBox::clicked, this, [this] { Clicked(); });
    setEnabled(false);
}

TMMCustomMixerCheckBox::~TMMCustomMixerCheckBox()
{
    Destroying();
    link_.SetControl(nullptr);
}

void TMMCustomMixerCheckBox::SetControl(TMMCustomMixerControl* control)
{
    if (link_.Rebind(*this, control, {ccList, ccSwitch}))
        UpdateBox();
}

void TMMCustomMixerCheckBox::SetItem(TMMItemIndex item)
{
    if (item == item_)
        return;
    item_ = item;
    UpdateBox();
}

void TMMCustomMixerCheckBox::UpdateBox()
{
    TMMCustomMixerControl* c = link_.Control();
    if (c == nullptr || IsDestroying()) {
        setEnabled(false);
        return;
    }
    setEnabled(Usable(c, item_));
    if (isEnabled()) {
        if (item_ != NoItem) {
            TMMItemInfo info;
            c->GetItemInfo(item_, info);
            setText(info.Name);
        } else {
            setText(c->ControlInfo().ShortName());
        }
    }
    if (ItemValid(c, item_)) {
        Locked lock(link_);
        setChecked(c->GetBoolItem(chBoth, item_));
    }
}

void TMMCustomMixerCheckBox::Clicked()
{
    if (link_.Locked())
        return;
    Locked lock(link_);
    TMMCustomMixerControl* c = link_.Control();
    if (isEnabled() && c)
        c->SetBoolItem(chBoth, item_, isChecked());
    else
        UpdateBox();
}

void TMMCustomMixerCheckBox::Loaded()
{
    TMMComponentState::Loaded();
    UpdateBox();
}

void TMMCustomMixerCheckBox::Notification(QObject* component, TOperation operation)
{
    TMMComponentState::Notification(component, operation);
    if (operation == opRemove && component == link_.Control()) {
        link_.Forget();
        if (!IsDestroying())
            UpdateBox();
    }
}

}  // namespace zol
