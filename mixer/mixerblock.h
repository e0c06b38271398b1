// A panel that builds a whole mixer strip for one line: balance and volume
// sliders, level bars, labels and a mute box, bound to controls it owns
// (pan, volume, mute, peak meter and a connector reading the meter).
#pragma once

#include "mixer/mixerconnector.h"
#include "mixer/mixerlevel.h"
#include "mixer/mixerslider.h"

#include <QLabel>

namespace zol {

enum TMMBlockStyle { bsWin95 };
enum TMMBlockSliderRole { srPan, srLeftVolume, srRightVolume };
enum TMMBlockSliderStyle { ssWin95 };
enum TMMMuteKind { mkMute, mkSelect };

class TMMCustomMixerBlock;

// What a part tells its block (the first parameter of the part message).
enum TMMPartNotice { pnAdded = 1, pnLeaving = 2, pnChanged = 3 };

class TMMCustomBlockSlider : public TMMCustomMixerSlider {
public:
    // Raises EMMBlockError when `parent` is not inside a mixer block.
    explicit TMMCustomBlockSlider(QWidget* parent, TMMBlockSliderRole role = srPan);
    ~TMMCustomBlockSlider() override;
    TMMBlockSliderRole Role() const { return role_; }
    void SetRole(TMMBlockSliderRole role);
    TMMBlockSliderStyle Style() const { return ssWin95; }

private:
    TMMBlockSliderRole role_;
};

class TMMMixerBlockSlider : public TMMCustomBlockSlider {
public:
    using TMMCustomBlockSlider::TMMCustomBlockSlider;
};

class TMMCustomBlockLevel : public TMMCustomLevel {
public:
    explicit TMMCustomBlockLevel(QWidget* parent, int index = 0);
    ~TMMCustomBlockLevel() override;
    int Index() const { return index_; }
    void SetIndex(int index);

private:
    int index_;
};

class TMMCustomBlockLabel : public QLabel, public TMMComponentState {
public:
    explicit TMMCustomBlockLabel(QWidget* parent, int index = 0);
    ~TMMCustomBlockLabel() override;
    int Index() const { return index_; }
    void SetIndex(int index);

protected:
    QObject* Self() override { return this; }

private:
    int index_;
};

class TMMCustomBlockCheck : public TMMCustomMixerCheckBox {
public:
    explicit TMMCustomBlockCheck(QWidget* parent);
    ~TMMCustomBlockCheck() override;
};

class TMMCustomMixerBlock : public TMMCustomPanel {
public:
    explicit TMMCustomMixerBlock(QWidget* parent = nullptr);
    ~TMMCustomMixerBlock() override;

    TMMAudioLine* Line() const { return line_; }
    void SetLine(TMMAudioLine* line);
    bool AutoArrange() const { return autoArrange_; }
    void SetAutoArrange(bool value);
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool value);
    TMMBlockStyle Style() const { return bsWin95; }
    void SetStyle(TMMBlockStyle) { Arrange(); }
    // An outer mixer or multiplexer control whose item for this line is the
    // mute box.
    TMMCustomMixerControl* Mixer() const { return mixer_; }
    void SetMixer(TMMCustomMixerControl* control);
    TMMItemIndex Item() const { return item_; }
    void SetItem(TMMItemIndex item);
    TMMMuteKind MuteKind() const { return muteKind_; }

    // The inner controls.
    TMMPanControl* PanControl() const { return pan_; }
    TMMVolumeControl* VolumeControl() const { return volume_; }
    TMMMixerControl* MuteControl() const { return mute_; }
    TMMMixerControl* MeterControl() const { return meter_; }
    TMMMixerConnector* Connector() const { return connector_; }

    // The parts found by the last scan.
    TMMCustomBlockSlider* PanSlider() const { return panSlider_; }
    TMMCustomBlockSlider* LeftSlider() const { return leftSlider_; }
    TMMCustomBlockSlider* RightSlider() const { return rightSlider_; }
    TMMCustomBlockCheck* MuteBox() const { return muteBox_; }
    TMMCustomBlockLevel* Level1() const { return level1_; }
    TMMCustomBlockLevel* Level2() const { return level2_; }
    TMMCustomBlockLabel* NameLabel() const { return nameLabel_; }
    TMMCustomBlockLabel* BalanceLabel() const { return balanceLabel_; }
    TMMCustomBlockLabel* VolumeLabel() const { return volumeLabel_; }

    // A part tells its block: added, leaving or changed role/index.
    void PartNotice(TMMPartNotice notice, QWidget* part);
    // Scan, bind and arrange.
    void Rebuild();

    void Loaded() override;
    void Notification(QObject* component, TOperation operation) override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void FindParts();
    void Bind();
    void Arrange();
    void ArrangeColumns(const QRect& rest, int gap);
    void ChainTabOrder();
    void ApplyRoleLook(TMMCustomBlockSlider* slider);

    TMMAudioLine* line_ = nullptr;
    bool autoArrange_ = true;
    bool autoSize_ = true;
    TMMCustomMixerControl* mixer_ = nullptr;
    TMMItemIndex item_ = NoItem;
    TMMMuteKind muteKind_ = mkMute;

    TMMPanControl* pan_;
    TMMVolumeControl* volume_;
    TMMMixerControl* mute_;
    TMMMixerControl* meter_;
    TMMMixerConnector* connector_;

    TMMCustomBlockSlider* panSlider_ = nullptr;
    TMMCustomBlockCheck* muteBox_ = nullptr;
    TMMCustomBlockSlider* leftSlider_ = nullptr;
    TMMCustomBlockSlider* rightSlider_ = nullptr;
    TMMCustomBlockLevel* level1_ = nullptr;
    TMMCustomBlockLevel* level2_ = nullptr;
    TMMCustomBlockLabel* nameLabel_ = nullptr;
    TMMCustomBlockLabel* balanceLabel_ = nullptr;
    TMMCustomBlockLabel* volumeLabel_ = nullptr;
    QWidget* leaving_ = nullptr;
    TMMObserver lineObserver_;
    TMMObserver mixerObserver_;
    bool arranging_ = false;
};

class TMMMixerBlock : public TMMCustomMixerBlock {
public:
    using TMMCustomMixerBlock::TMMCustomMixerBlock;
};

}  // namespace zol
