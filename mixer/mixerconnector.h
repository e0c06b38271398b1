// Reads a meter-like mixer control on the shared tick service and feeds
// the values to level displays and meters.
#pragma once

#include "mixer/mixerlink.h"
#include "timers/tickservice.h"

#include <atomic>

namespace zol {

class TMMCustomLevel;
class TMMCustomMeter;

class TMMCustomLevelConnector : public TMMNonVisualComponent {
public:
    explicit TMMCustomLevelConnector(QObject* owner = nullptr);
    ~TMMCustomLevelConnector() override;

    TMMCustomMixerControl* Control() const { return link_.Control(); }
    // Classes ccFader, ccMeter, ccNumber, ccSlider and ccTime.
    void SetControl(TMMCustomMixerControl* control);
    TMMCustomLevel* Level1() const { return level_[0]; }
    TMMCustomLevel* Level2() const { return level_[1]; }
    void SetLevel1(TMMCustomLevel* level) { SetLevel(0, level); }
    void SetLevel2(TMMCustomLevel* level) { SetLevel(1, level); }
    TMMCustomMeter* Meter1() const { return meter_[0]; }
    TMMCustomMeter* Meter2() const { return meter_[1]; }
    void SetMeter1(TMMCustomMeter* meter) { SetMeter(0, meter); }
    void SetMeter2(TMMCustomMeter* meter) { SetMeter(1, meter); }
    bool AutoTrigger() const { return autoTrigger_; }
    void SetAutoTrigger(bool value);
    int Interval() const { return interval_; }
    // Raises EMMLevelConnectorError "Interval should be > 0" for 0 or less.
    void SetInterval(int value);
    TMMItemIndex Item() const { return item_; }
    void SetItem(TMMItemIndex item);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);

    // Reads the control once and hands the values on.
    void Trigger();
    // The last values (both, left, right).
    int LastBoth() const { return last_[0]; }
    int LastLeft() const { return last_[1]; }
    int LastRight() const { return last_[2]; }
    bool Ready() const { return ready_.load(); }

    TNotifyEvent OnChange;

    void Loaded() override;
    void Notification(QObject* component, TOperation operation) override;

private:
    void SetLevel(int index, TMMCustomLevel* level);
    void SetMeter(int index, TMMCustomMeter* meter);
    void SettingsChanged();
    void ComputeScale();
    void Tick();
    static void FeedMeter(TMMCustomMeter* meter, int value);

    TMMControlLink link_;
    TMMCustomLevel* level_[2] = {nullptr, nullptr};
    TMMCustomMeter* meter_[2] = {nullptr, nullptr};
    bool autoTrigger_ = true;
    int interval_ = 25;
    TMMItemIndex item_ = NoItem;
    std::atomic<bool> enabled_{true};
    TTickHandle tick_ = nullptr;
    std::atomic<bool> ready_{true};
    int last_[3] = {0, 0, 0};
    bool lastValid_ = false;
    long double factor_ = 0;
    bool absolute_ = true;
    int offset_ = 0;
};

class TMMMixerConnector : public TMMCustomLevelConnector {
public:
    using TMMCustomLevelConnector::TMMCustomLevelConnector;
};

}  // namespace zol
