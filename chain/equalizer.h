// TMMEqualizer: the chain link that reshapes the spectrum of 16-bit PCM
// passing through it. Its bands (TMMEQFilter: a frequency range and a gain
// in dB) become the gain-per-bin curve of an FFT filtering engine, and every
// buffer is filtered in place before it goes on. A disabled equalizer
// passes buffers on untouched.
#pragma once

#include "chain/dspcomponent.h"
#include "chain/fft.h"
#include "chain/fftfilter.h"
#include "chain/objectlist.h"

#include <QByteArray>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

namespace zol {

class TMMEqualizer;

// One band. Setting Freq1, Freq2 and Gain together, or Enabled, calls the
// owner's change handler only when a value differs.
class TMMEQFilter : public TRegisteredObject {
public:
    using TChangeHandler = std::function<void(TMMEQFilter* filter)>;

    // A bare filter (all zero, disabled), as the stream reader creates it.
    TMMEQFilter() = default;
    TMMEQFilter(float freq1, float freq2, float gain, bool enabled = true)
        : freq1_(freq1), freq2_(freq2), gain_(gain), enabled_(enabled) {}

    QString ClassName() const override { return QStringLiteral("TMMEQFilter"); }

    float Freq1() const { return freq1_; }
    float Freq2() const { return freq2_; }
    float Gain() const { return gain_; }
    bool Enabled() const { return enabled_; }
    std::int32_t UserValue() const { return userValue_; }

    void SetValues(float freq1, float freq2, float gain);
    void SetFreq1(float v) { SetValues(v, freq2_, gain_); }
    void SetFreq2(float v) { SetValues(freq1_, v, gain_); }
    void SetGain(float v) { SetValues(freq1_, freq2_, v); }
    void SetEnabled(bool value);
    void SetUserValue(std::int32_t v) { userValue_ = v; }
    // Copies the three values, the user value and Enabled (one change).
    void Assign(const TMMEQFilter& source);

    // Hooked by the filter list of an equalizer.
    void SetChangeHandler(TChangeHandler handler) { onChange_ = std::move(handler); }

private:
    void Notify();

    float freq1_ = 0;
    float freq2_ = 0;
    float gain_ = 0;
    std::int32_t userValue_ = 0;
    bool enabled_ = false;
    TChangeHandler onChange_;
};

// The registry entry of TMMEQFilter (enabled byte, Freq1, Freq2, Gain).
TRegisterRec EQFilterRegisterRec();

// The bands of an equalizer. Owns its filters; a filter added is hooked to
// the equalizer. Its stream ("EQU") carries the equalizer's Description and
// FFTLength as well.
class TMMEQFilterList : public TObjectList {
public:
    explicit TMMEQFilterList(TMMEqualizer* equalizer = nullptr);
    ~TMMEQFilterList() override;

    TMMEqualizer* Equalizer() const { return equalizer_; }
    TMMEQFilter* Filter(int index) const { return static_cast<TMMEQFilter*>(Get(index)); }
    // Creates and adds a filter; returns it.
    TMMEQFilter* AddFilter(float freq1, float freq2, float gain, bool enabled = true);

    // Only filters join this list (anything else: EMMEqualizerError).
    void Insert(int index, TRegisteredObject* item) override;
    // Copies another filter list (none empties this one) as one change.
    void Assign(const TObjectList* source) override;

    bool StoresObjectContainer() const override { return true; }
    void ReadData(TMemoryStream& stream) override;
    void WriteData(TMemoryStream& stream) const override;

protected:
    bool AcceptItem(const TRegisteredObject* item) const override;

private:
    TMMEqualizer* equalizer_;
};

class TMMEqualizer : public TMMDSPComponent {
public:
    static constexpr int kMinSampleRate = 4000;
    static constexpr int kMaxSampleRate = 100000;

    explicit TMMEqualizer(QObject* owner = nullptr);
    ~TMMEqualizer() override;

    // --- properties
    bool Enabled() const { return enabled_.load(); }
    void SetEnabled(bool value);
    int SampleRate() const { return sampleRate_; }
    void SetSampleRate(int value);
    int FFTLength() const { return fftLength_; }
    void SetFFTLength(int value);
    QString Description() const { return description_; }
    void SetDescription(const QString& value) { description_ = value; }
    TMMEQFilterList* Filters() const { return filters_; }
    void SetFilters(const TObjectList* list);
    TMMChannel Channel() const { return static_cast<TMMChannel>(channel_.load()); }
    void SetChannel(TMMChannel value);
    TMMFFTWindow Window() const { return window_; }
    void SetWindow(TMMFFTWindow value);

    TNotifyEvent OnChange;
    TNotifyEvent OnPcmOverflow;

    // Copies Channel, Enabled, Description, FFTLength, Window, Filters and
    // SampleRate, in that order.
    void Assign(const TMMEqualizer& other);

    // The "ObjectContainer" data of Filters: the "EQU" stream.
    void LoadFilterStream(const QByteArray& bytes);
    QByteArray SaveFilterStream() const;

    // The FFTLength rule: clamped to 8..4096, rounded down to a power of two.
    static int RoundFFTLength(int value);

    // --- chain
    void SetWaveFormat(const WAVEFORMATEX* format) override;
    void NotifyOpen() override;
    void NotifyClose() override;
    void NotifyStart() override;
    void NotifyReset() override;
    void BufferReady(PWaveHdr lpWaveHdr) override;
    void BufferLoad(PWaveHdr lpWaveHdr, bool& moreBuffers) override;

    // The filtering engine while open (inspection), else none.
    PFFTFilter Engine() const { return engine_; }
    bool EngineOpen() const { return open_; }

private:
    friend class TMMEQFilterList;
    void FilterChanged(TMMEQFilter* filter);
    void ListChanged();
    void ApplyFilters();
    void ChangeStep();
    void CreateEngine();
    void FreeEngine();
    void Filter(PWaveHdr lpWaveHdr);
    int MaxBufferBytes() const;
    bool Updating() const { return updating_; }
    void SetUpdating(bool value) { updating_ = value; }

    std::atomic<bool> enabled_{true};
    int sampleRate_ = kMinSampleRate;
    int fftLength_ = 256;
    QString description_ = QStringLiteral("Untitled");
    TMMEQFilterList* filters_;
    std::atomic<int> channel_{chBoth};
    TMMFFTWindow window_ = fwHamming;

    bool open_ = false;
    bool updating_ = false;
    PFFTFilter engine_ = nullptr;
    // Guards the engine pointer (the capture thread filters under it while
    // the window thread may replace or free the engine) and, shared with the
    // engine, its curve, kernel and blocks.
    std::mutex engineLock_;
};

// One enabled band of a stored filter set: frequencies in Hz, gain in dB.
struct TEqualizerBand {
    float freq1, freq2, gain;
};
// An "EQU" stream holding enabled bands (description "Untitled"), as a form
// stores a filter set.
QByteArray EqualizerBandStream(const std::vector<TEqualizerBand>& bands, int fftLength = 256);

}  // namespace zol
