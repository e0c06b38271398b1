// Controls bound to a mixer control: a slider on one channel and item of a
// fader-like control, and a check box on a switch or list item.
#pragma once

#include "controls/slider.h"
#include "mixer/mixerlink.h"

#include <QCheckBox>

namespace zol {

class TMMCustomMixerSlider : public TMMCustomSlider {
public:
    explicit TMMCustomMixerSlider(QWidget* parent = nullptr);
    ~TMMCustomMixerSlider() override;

    TMMCustomMixerControl* Control() const { return link_.Control(); }
    // Classes ccFader, ccNumber, ccSlider and ccTime; others raise
    // EMMMixerControlsError "Invalid control class".
    void SetControl(TMMCustomMixerControl* control);
    TMMChannel Channel() const { return channel_; }
    void SetChannel(TMMChannel channel);
    TMMItemIndex Item() const { return item_; }
    void SetItem(TMMItemIndex item);
    // The user's wish; the widget's enabled state also needs a usable control.
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    // Control value per slider step.
    long double Factor() const { return factor_; }
    TMMControlLink& Link() { return link_; }

    void UpdateRange();
    void UpdatePosition();
    void UpdateAll();

    void Loaded() override;
    void Notification(QObject* component, TOperation operation) override;

protected:
    void Change() override;

private:
    TMMControlLink link_;
    long double factor_ = 1;
    TMMChannel channel_ = chBoth;
    TMMItemIndex item_ = NoItem;
    bool enabled_ = true;
};

class TMMMixerSlider : public TMMCustomMixerSlider {
public:
    using TMMCustomMixerSlider::TMMCustomMixerSlider;
};

class TMMCustomMixerCheckBox : public QCheckBox, public TMMComponentState {
public:
    explicit TMMCustomMixerCheckBox(QWidget* parent = nullptr);
    ~TMMCustomMixerCheckBox() override;

    TMMCustomMixerControl* Control() const { return link_.Control(); }
    // Classes ccList and ccSwitch.
    void SetControl(TMMCustomMixerControl* control);
    TMMItemIndex Item() const { return item_; }
    void SetItem(TMMItemIndex item);
    TMMChannel Channel() const { return chBoth; }
    TMMControlLink& Link() { return link_; }

    void UpdateBox();
    void Loaded() override;
    void Notification(QObject* component, TOperation operation) override;

protected:
    QObject* Self() override { return this; }
    void Clicked();

private:
    TMMControlLink link_;
    TMMItemIndex item_ = NoItem;
};

}  // namespace zol
