#include "mixer/mixerconnector.h"

#include "displays/meter.h"
#include "mixer/mixerlevel.h"
#include "platform/errors.h"
#include "platform/strings.h"
#include "platform/window_thread.h"

#include <cmath>
#include <cstdlib>
#include <vector>

namespace zol {

namespace {
constexpr int kTriggerMessage = 0x800A;
}  // namespace

TMMCustomLevelConnector::TMMCustomLevelConnector(QObject* owner) : TMMNonVisualComponent(owner)
{
    link_.SetOnResolved([this](TMMCustomMixerControl*) { SettingsChanged(); });
    // Outside design time the connector reads on the shared tick service.
    tick_ = AddTickClient(interval_, autoTrigger_ ? 0 : 1, [this](TTickHandle, void*) { Tick(); }, this);
}

TMMCustomLevelConnector::~TMMCustomLevelConnector()
{
    Destroying();
    if (tick_) {
        // After this returns the tick callback is not running.
        RemoveTickClient(tick_);
        tick_ = nullptr;
    }
    // Only this connector's pending trigger goes; others keep theirs.
    platform::RemovePostedMessages(this, kTriggerMessage);
    link_.SetControl(nullptr);
}

void TMMCustomLevelConnector::Tick()
{
    // Timer thread: flags only, and one posted trigger at a time.
    if (!enabled_.load() || IsDestroying() || !ready_.load())
        return;
    ready_.store(false);
    platform::PostToWindow(
        [this] {
            platform::Guarded([this] { Trigger(); });
            ready_.store(true);
        },
        this, kTriggerMessage);
}

void TMMCustomLevelConnector::SetControl(TMMCustomMixerControl* control)
{
    if (link_.Rebind(*this, control, {ccFader, ccMeter, ccNumber, ccSlider, ccTime}))
        SettingsChanged();
}

void TMMCustomLevelConnector::SetLevel(int index, TMMCustomLevel* level)
{
    if (level_[index] == level)
        return;
    if (level && level_[1 - index] == level)
        level_[1 - index] = nullptr;  // one component in one slot only
    level_[index] = level;
    if (level)
        FreeNotification(level);
    SettingsChanged();
}

void TMMCustomLevelConnector::SetMeter(int index, TMMCustomMeter* meter)
{
    if (meter_[index] == meter)
        return;
    if (meter && meter_[1 - index] == meter)
        meter_[1 - index] = nullptr;
    meter_[index] = meter;
    if (meter)
        FreeNotification(meter);
    SettingsChanged();
}

void TMMCustomLevelConnector::SetAutoTrigger(bool value)
{
    if (value == autoTrigger_)
        return;
    autoTrigger_ = value;
    if (tick_) {
        if (value)
            ResumeTickClient(tick_);
        else
            PauseTickClient(tick_);
    }
    SettingsChanged();
}

void TMMCustomLevelConnector::SetInterval(int value)
{
    if (value <= 0)
        throw EMMLevelConnectorError(LoadResString(SInvalidInterval));
    if (value == interval_)
        return;
    interval_ = value;
    if (tick_)
        SetTickInterval(tick_, value);
    SettingsChanged();
}

void TMMCustomLevelConnector::SetItem(TMMItemIndex item)
{
    if (item == item_)
        return;
    item_ = item;
    SettingsChanged();
}

void TMMCustomLevelConnector::SetEnabled(bool value)
{
    if (value == enabled_.load())
        return;
    enabled_.store(value);
    SettingsChanged();
}

void TMMCustomLevelConnector::ComputeScale()
{
    TMMCustomMixerControl* c = link_.Control();
    factor_ = 0;
    offset_ = 0;
    absolute_ = true;
    if (c == nullptr)
        return;
    const long double lo = c->ControlInfo().MinValue();
    const long double hi = c->ControlInfo().MaxValue();
    TMMMixerDevice* mixer = c->AudioLine() ? c->AudioLine()->Mixer() : nullptr;
    if (mixer && mixer->DeviceCaps().ManufacturerId() == 31) {
        // This maker's meters report an offset range.
        absolute_ = false;
        offset_ = lo < 0 ? static_cast<int>(-lo) : 0;
        factor_ = hi != lo ? 32768.0L / (hi - lo) : 0;
    } else {
        const long double m = std::max(std::fabs(lo), std::fabs(hi));
        factor_ = m != 0 ? 32768.0L / m : 0;
    }
}

void TMMCustomLevelConnector::SettingsChanged()
{
    ComputeScale();
    const bool on = enabled_.load() && ItemValid(link_.Control(), item_);
    for (auto* level : level_) {
        if (level) {
            level->SetBitLength(b16Bit);
            level->SetEnabled(on);
        }
    }
    for (auto* meter : meter_) {
        if (meter) {
            meter->SetBitLength(b16Bit);
            meter->SetEnabled(on);
        }
    }
    if (!autoTrigger_)
        Trigger();
}

void TMMCustomLevelConnector::FeedMeter(TMMCustomMeter* meter, int value)
{
    // A meter takes PCM: hand it one slice whose peak is the value.
    const int bytes = meter->NeededBytes();
    if (bytes <= 0)
        return;
    std::vector<char> slice(static_cast<std::size_t>(bytes), 0);
    const std::int16_t sample = static_cast<std::int16_t>(std::clamp(value, 0, 32767));
    for (int i = 0; i + 1 < bytes; i += 2) {
        slice[i] = static_cast<char>(sample & 0xFF);
        slice[i + 1] = static_cast<char>((sample >> 8) & 0xFF);
    }
    meter->ShowPCMData(slice.data());
}

void TMMCustomLevelConnector::Trigger()
{
    if (IsLoading())
        return;
    int values[3] = {0, 0, 0};
    TMMCustomMixerControl* c = link_.Control();
    if (ItemValid(c, item_)) {
        const std::int32_t raw[3] = {c->GetSignedItem(chBoth, item_), c->GetSignedItem(chLeft, item_),
                                     c->GetSignedItem(chRight, item_)};
        for (int i = 0; i < 3; ++i) {
            if (factor_ == 0)
                values[i] = raw[i];
            else if (absolute_)
                values[i] = static_cast<int>(std::nearbyint(std::fabs(double(raw[i])) * double(factor_)));
            else
                values[i] = static_cast<int>(std::nearbyint((double(raw[i]) + offset_) * double(factor_)));
        }
        const bool changed = !lastValid_ || values[0] != last_[0] || values[1] != last_[1] || values[2] != last_[2];
        last_[0] = values[0];
        last_[1] = values[1];
        last_[2] = values[2];
        lastValid_ = true;
        if (changed && OnChange)
            OnChange(this);
    }
    if (level_[0])
        level_[0]->SetRawValue(level_[1] ? values[1] : values[0]);
    if (level_[1])
        level_[1]->SetRawValue(values[2]);
    if (meter_[0])
        FeedMeter(meter_[0], meter_[1] ? values[1] : values[0]);
    if (meter_[1])
        FeedMeter(meter_[1], values[2]);
}

void TMMCustomLevelConnector::Loaded()
{
    TMMNonVisualComponent::Loaded();
    SettingsChanged();
}

void TMMCustomLevelConnector::Notification(QObject* component, TOperation operation)
{
    TMMNonVisualComponent::Notification(component, operation);
    if (operation != opRemove || IsDestroying())
        return;
    if (component == link_.Control()) {
        link_.Forget();
        SettingsChanged();
    }
    for (auto*& level : level_)
        if (component == level)
            level = nullptr;
    for (auto*& meter : meter_)
        if (component == meter)
            meter = nullptr;
}

}  // namespace zol
