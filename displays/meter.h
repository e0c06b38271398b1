// TMMMeter: a moving-coil style level meter. For each block of PCM its level
// kernel finds the largest sample magnitude (RawLevel) and smooths it by the
// decay mode; the meter maps that through a dB (or linear) scale to a needle
// position and draws the needles at once over a cached background of arc
// scale and caption. An optional peak needle holds the highest position and
// falls back on the shared 25 ms tick service.
#pragma once

#include "chain/mmdisplay.h"
#include "displays/decaymode.h"
#include "displays/levelkernel.h"
#include "controls/scale.h"
#include "platform/waveformat.h"
#include "controls/mmcontrols.h"
#include "timers/tickservice.h"

#include <QImage>

#include <algorithm>
#include <atomic>
#include <cstdint>

namespace zol {

constexpr int kMeterFullScale = 32767;

class TMMCustomMeter : public TMMGraphicControl, public IMMDisplay {
public:
    explicit TMMCustomMeter(QWidget* parent = nullptr);
    ~TMMCustomMeter() override;

    // --- display operations
    void SetWaveFormat(const WAVEFORMATEX* format) override;
    int NeededBytes() const override { return neededBytes_; }
    void ShowPCMData(const char* data) override;
    void ResetDisplay() override;
    QObject* DisplayObject() override { return this; }

    // --- look
    QString Caption() const { return caption_; }
    void SetCaption(const QString& value);
    QColor FontColor() const { return fontColor_; }
    void SetFontColor(const QColor& value);
    void SetMeterFont(const QFont& value);
    QColor Scale1Color() const { return scaleColor_[0]; }
    QColor Scale2Color() const { return scaleColor_[1]; }
    QColor Scale3Color() const { return scaleColor_[2]; }
    void SetScale1Color(const QColor& v) { SetLook(scaleColor_[0], v); }
    void SetScale2Color(const QColor& v) { SetLook(scaleColor_[1], v); }
    void SetScale3Color(const QColor& v) { SetLook(scaleColor_[2], v); }
    QColor NeedleColor() const { return needleColor_; }
    void SetNeedleColor(const QColor& v);
    QColor PeakColor() const { return peakColor_; }
    void SetPeakColor(const QColor& v);
    int NeedleOffset() const { return needleOffset_; }
    void SetNeedleOffset(int v) { SetLook(needleOffset_, std::max(v, 0)); }
    int NeedleWidth() const { return needleWidth_; }
    void SetNeedleWidth(int v);
    TMMScaleOrigin ScaleOrigin() const { return scaleOrigin_; }
    void SetScaleOrigin(TMMScaleOrigin v) { SetLook(scaleOrigin_, v); }
    int ScaleHeight1() const { return scaleHeight1_; }
    void SetScaleHeight1(int v) { SetLook(scaleHeight1_, std::max(v, 0)); }
    int ScaleHeight2() const { return scaleHeight2_; }
    void SetScaleHeight2(int v) { SetLook(scaleHeight2_, std::max(v, 0)); }
    int ScaleAngle() const { return scaleAngle_; }
    void SetScaleAngle(int v) { SetLook(scaleAngle_, std::clamp(v, 45, 180)); }
    int ScaleTicks() const { return scaleTicks_; }
    void SetScaleTicks(int v) { SetLook(scaleTicks_, std::max(v, 0)); }
    int ScaleTicksEnlargeEvery() const { return enlargeEvery_; }
    void SetScaleTicksEnlargeEvery(int v) { SetLook(enlargeEvery_, std::max(v, 0)); }
    int ScaleTicksTextEvery() const { return textEvery_; }
    void SetScaleTicksTextEvery(int v) { SetLook(textEvery_, std::max(v, 0)); }
    bool DrawScale() const { return drawScale_; }
    void SetDrawScale(bool v) { SetLook(drawScale_, v); }
    int TopSpace() const { return topSpace_; }
    void SetTopSpace(int v) { SetLook(topSpace_, v); }
    int Point1() const { return point1_; }
    void SetPoint1(int v) { SetLook(point1_, std::clamp(v, 1, 100)); }
    int Point2() const { return point2_; }
    void SetPoint2(int v) { SetLook(point2_, std::clamp(v, 1, 100)); }
    // Stretched behind the scale instead of Color (a null image for none).
    void SetBackgroundPicture(const QImage& picture);

    // --- data and level
    TMMBits BitLength() const override { return kernel_.BitLength(); }
    void SetBitLength(TMMBits v);
    TMMChannel Channel() const { return kernel_.Channel(); }
    void SetChannel(TMMChannel v) { kernel_.SetChannel(v); }
    TMMMode Mode() const override { return kernel_.Mode(); }
    void SetMode(TMMMode v);
    // -8..32; other values are ignored.
    int Gain() const { return gain_; }
    void SetGain(int v);
    int Samples() const { return samples_; }
    void SetSamples(int v);
    int Sensitivy() const { return sensitivy_; }
    void SetSensitivy(int v);
    bool LogAmp() const { return logAmp_; }
    void SetLogAmp(bool v);
    TMMDecayMode DecayMode() const { return kernel_.DecayMode(); }
    void SetDecayMode(TMMDecayMode v) { kernel_.SetDecayMode(v); }
    int Decay() const { return kernel_.Decay(); }
    void SetDecay(int v) { kernel_.SetDecay(v); }
    bool ShowPeak() const { return showPeak_; }
    void SetShowPeak(bool v);
    int PeakDelay() const { return peakDelay_; }
    void SetPeakDelay(int v) { peakDelay_ = std::clamp(v, 0, 50); }
    int PeakSpeed() const { return peakSpeed_; }
    void SetPeakSpeed(int v) { peakSpeed_ = std::clamp(v, 0, 50); }

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    // The control's own visibility flag.
    bool Visible() const { return !isHidden(); }

    // --- run-time values
    std::int32_t RawLevel() const { return rawLevel_.load(std::memory_order_relaxed); }
    // Milliseconds of audio the meter has analysed since it was made.
    std::int64_t AudioAnalysedMs() const;
    int NeedleValue() const { return needleValue_.load(); }
    int PeakValue() const { return peakValue_.load(); }
    int PeakHold() const { return peakHold_.load(); }
    int Value() const;
    void SetValue(int percent);
    int DCOffset(int channel) const { return kernel_.DCOffset(channel); }
    void SetDCOffset(int channel, int value) { kernel_.SetDCOffset(channel, value); }
    bool TickClientRegistered() const { return tick_ != nullptr; }
    bool TickClientPaused() const { return tickPaused_; }

    TNotifyEvent OnGainOverflow;
    TNotifyEvent OnPcmOverflow;
    TNotifyEvent OnPostPaint;

    // The drawing area's picture (inside the bevel), brought up to date.
    const QImage& Picture();
    // Needle tip of value v at radius r, in drawing-area coordinates.
    QPoint NeedlePoint(int v, double r) const;

    // One level step with raw value r (also used by SetValue).
    void LevelStep(std::int32_t r);

protected:
    void Paint(QPainter& painter) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

private:
    template <typename T>
    void SetLook(T& field, const T& value)
    {
        if (field == value)
            return;
        field = value;
        bgDirty_ = true;
        update();
    }
    void RecomputeNeededBytes();
    void RegisterTickClient();
    void UpdateTickPause();
    void PeakFall();
    void EnsureImages();
    void RebuildBackground();
    // Draws the needles into the work picture; returns the part of it that
    // was drawn anew.
    QRect RenderNeedles();
    // Bounds of a needle at value v in the work picture.
    QRect NeedleBounds(int v) const;
    void DrawNeedlesNow();
    double LinearFloor() const;

    QString caption_ = QStringLiteral("dB");
    QColor fontColor_ = clSilver;
    QColor scaleColor_[3] = {clGreen, clYellow, clRed};
    QColor needleColor_ = clWhite;
    QColor peakColor_ = clRed;
    int needleOffset_ = 30;
    int needleWidth_ = 1;
    TMMScaleOrigin scaleOrigin_ = soInner;
    int scaleHeight1_ = 4;
    int scaleHeight2_ = 8;
    int scaleAngle_ = 90;
    int scaleTicks_ = 41;
    int enlargeEvery_ = 4;
    int textEvery_ = 8;
    bool drawScale_ = true;
    int topSpace_ = 14;
    int point1_ = 60;
    int point2_ = 80;
    QImage picture_;

    TLevelKernel kernel_;  // format, raw level and smoothing
    int gain_ = 0;
    int samples_ = 50;
    int sensitivy_ = -50;
    bool logAmp_ = true;
    bool showPeak_ = true;
    int peakDelay_ = 20;
    int peakSpeed_ = 0;
    bool enabled_ = true;

    int neededBytes_ = 50;
    std::atomic<std::int32_t> rawLevel_{0};
    std::atomic<std::int64_t> framesAnalysed_{0};
    std::atomic<std::uint32_t> sampleRate_{0};
    std::atomic<int> needleValue_{0};
    std::atomic<int> peakValue_{0};
    std::atomic<int> peakHold_{0};
    std::atomic<bool> peakChanged_{false};

    TTickHandle tick_ = nullptr;
    bool tickPaused_ = false;

    QImage background_;
    QImage work_;
    bool bgDirty_ = true;
    bool workDirty_ = true;
    // Bounds of the needles the work picture shows now (what the next
    // rendering restores from the background).
    QRect drawnNeedles_;
};

// Publishes the properties; the behaviour is TMMCustomMeter's.
class TMMMeter : public TMMCustomMeter {
public:
    using TMMCustomMeter::TMMCustomMeter;
};

}  // namespace zol
