#include "chain/equalizer.h"

#include "chain/fftfilter.h"
#include "platform/strings.h"

#include <algorithm>
#include <cstring>

namespace zol {

// ---------------------------------------------------------------------------
// TMMEQFilter

void TMMEQFilter::Notify()
{
    if (onChange_)
        onChange_(this);
}

void TMMEQFilter::SetValues(float freq1, float freq2, float gain)
{
    // Compared bit for bit, so a NaN read from a stream is replaced too.
    auto same = [](float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; };
    if (same(freq1, freq1_) && same(freq2, freq2_) && same(gain, gain_))
        return;
    freq1_ = freq1;
    freq2_ = freq2;
    gain_ = gain;
    Notify();
}

void TMMEQFilter::SetEnabled(bool value)
{
    if (value == enabled_)
        return;
    enabled_ = value;
    Notify();
}

void TMMEQFilter::Assign(const TMMEQFilter& source)
{
    freq1_ = source.freq1_;
    freq2_ = source.freq2_;
    gain_ = source.gain_;
    userValue_ = source.userValue_;
    enabled_ = source.enabled_;
    Notify();
}

TRegisterRec EQFilterRegisterRec()
{
    TRegisterRec rec;
    rec.create = [] { return new TMMEQFilter; };
    rec.reader = [](TRegisteredObject* object, TMemoryStream& stream) {
        auto* filter = static_cast<TMMEQFilter*>(object);
        const bool enabled = stream.ReadU8() != 0;
        const float freq1 = stream.ReadSingle();
        const float freq2 = stream.ReadSingle();
        const float gain = stream.ReadSingle();
        filter->SetValues(freq1, freq2, gain);
        filter->SetEnabled(enabled);
    };
    rec.writer = [](const TRegisteredObject* object, TMemoryStream& stream) {
        const auto* filter = static_cast<const TMMEQFilter*>(object);
        stream.WriteU8(filter->Enabled() ? 1 : 0);
        stream.WriteSingle(filter->Freq1());
        stream.WriteSingle(filter->Freq2());
        stream.WriteSingle(filter->Gain());
    };
    return rec;
}

// ---------------------------------------------------------------------------
// TMMEQFilterList

TMMEQFilterList::TMMEQFilterList(TMMEqualizer* equalizer) : equalizer_(equalizer) {}

TMMEQFilterList::~TMMEQFilterList()
{
    OnChange = nullptr;
    OnChanging = nullptr;
    FreeAll();
}

bool TMMEQFilterList::AcceptItem(const TRegisteredObject* item) const
{
    return dynamic_cast<const TMMEQFilter*>(item) != nullptr;
}

void TMMEQFilterList::Insert(int index, TRegisteredObject* item)
{
    auto* filter = dynamic_cast<TMMEQFilter*>(item);
    if (filter == nullptr)
        throw EMMEqualizerError(LoadResString(SInvalidObjectStream));
    TObjectList::Insert(index, item);
    if (equalizer_ != nullptr) {
        TMMEqualizer* eq = equalizer_;
        filter->SetChangeHandler([eq](TMMEQFilter* f) { eq->FilterChanged(f); });
    }
}

TMMEQFilter* TMMEQFilterList::AddFilter(float freq1, float freq2, float gain, bool enabled)
{
    auto* filter = new TMMEQFilter(freq1, freq2, gain, enabled);
    try {
        Add(filter);
    } catch (...) {
        delete filter;
        throw;
    }
    return filter;
}

void TMMEQFilterList::Assign(const TObjectList* source)
{
    const auto* other = dynamic_cast<const TMMEQFilterList*>(source);
    if (source != nullptr && other == nullptr) {
        TObjectList::Assign(source);
        return;
    }
    if (other == this)
        return;
    BeginUpdate();
    const bool wasUpdating = equalizer_ != nullptr && equalizer_->Updating();
    if (equalizer_ != nullptr)
        equalizer_->SetUpdating(true);
    try {
        FreeAll();
        if (other != nullptr) {
            for (int i = 0; i < other->Count(); ++i) {
                const TMMEQFilter* f = other->Filter(i);
                TMMEQFilter* copy = AddFilter(f->Freq1(), f->Freq2(), f->Gain(), f->Enabled());
                copy->SetUserValue(f->UserValue());
            }
        }
    } catch (...) {
        if (equalizer_ != nullptr)
            equalizer_->SetUpdating(wasUpdating);
        EndUpdate();
        throw;
    }
    if (equalizer_ != nullptr)
        equalizer_->SetUpdating(wasUpdating);
    EndUpdate();
}

void TMMEQFilterList::ReadData(TMemoryStream& stream)
{
    BeginUpdate();
    const bool wasUpdating = equalizer_ != nullptr && equalizer_->Updating();
    if (equalizer_ != nullptr)
        equalizer_->SetUpdating(true);
    try {
        ReadMagic(stream, "EQU");
        FreeAll();
        const std::uint8_t owns = stream.ReadU8();
        const std::int32_t length = stream.ReadI32();
        if (length > 0) {
            const QString description = stream.ReadChars(length);  // checked against the stream
            if (equalizer_ != nullptr)
                equalizer_->SetDescription(description);
        }
        const std::int32_t fftLength = stream.ReadI32();
        if (equalizer_ != nullptr)
            equalizer_->SetFFTLength(fftLength);
        ReadItems(stream, owns);
    } catch (...) {
        if (equalizer_ != nullptr)
            equalizer_->SetUpdating(wasUpdating);
        EndUpdate();
        throw;
    }
    if (equalizer_ != nullptr)
        equalizer_->SetUpdating(wasUpdating);
    EndUpdate();
}

void TMMEQFilterList::WriteData(TMemoryStream& stream) const
{
    const QString description = equalizer_ != nullptr ? equalizer_->Description() : QStringLiteral("Untitled");
    const int fftLength = equalizer_ != nullptr ? equalizer_->FFTLength() : 256;
    const QByteArray chars = description.toLatin1();
    stream.WriteBuffer("EQU", 4);
    stream.WriteU8(OwnsObjects() ? 1 : 0);
    stream.WriteI32(static_cast<std::int32_t>(chars.size()));
    stream.WriteBuffer(chars.constData(), chars.size());
    stream.WriteI32(fftLength);
    WriteItems(stream);
}

// ---------------------------------------------------------------------------
// TMMEqualizer

TMMEqualizer::TMMEqualizer(QObject* owner) : TMMDSPComponent(owner), filters_(new TMMEQFilterList(this))
{
    filters_->OnChange = [this](TObjectList*) { ListChanged(); };
}

TMMEqualizer::~TMMEqualizer()
{
    Destroying();
    FreeEngine();
    filters_->OnChange = nullptr;
    delete filters_;
    filters_ = nullptr;
}

int TMMEqualizer::RoundFFTLength(int value)
{
    value = std::clamp(value, 8, 4096);
    int n = 8;
    while (n * 2 <= value)
        n *= 2;
    return n;
}

int TMMEqualizer::MaxBufferBytes() const
{
    return std::max(65536, BufferSize());
}

void TMMEqualizer::SetEnabled(bool value)
{
    if (value == enabled_.load())
        return;
    enabled_.store(value);
    if (open_)
        ResetFilterEngine(engine_);
}

void TMMEqualizer::SetSampleRate(int value)
{
    sampleRate_ = std::clamp(value, kMinSampleRate, kMaxSampleRate);
}

void TMMEqualizer::SetWindow(TMMFFTWindow value)
{
    if (value == window_)
        return;
    window_ = value;
    if (open_)
        SetFilterWindow(engine_, window_);
}

void TMMEqualizer::SetChannel(TMMChannel value)
{
    channel_.store(value);
}

void TMMEqualizer::SetFFTLength(int value)
{
    value = RoundFFTLength(value);
    if (value == fftLength_)
        return;
    fftLength_ = value;
    if (open_) {
        FreeEngine();
        CreateEngine();
        ApplyFilters();
    }
}

void TMMEqualizer::SetFilters(const TObjectList* list)
{
    filters_->Assign(list);
}

void TMMEqualizer::Assign(const TMMEqualizer& other)
{
    if (&other == this)
        return;
    SetChannel(other.Channel());
    SetEnabled(other.Enabled());
    SetDescription(other.Description());
    SetFFTLength(other.FFTLength());
    SetWindow(other.Window());
    SetFilters(other.Filters());
    SetSampleRate(other.SampleRate());
}

void TMMEqualizer::LoadFilterStream(const QByteArray& bytes)
{
    filters_->LoadFromBytes(bytes);
}

QByteArray TMMEqualizer::SaveFilterStream() const
{
    return filters_->SaveToBytes();
}

void TMMEqualizer::CreateEngine()
{
    // The engine guards its curve and its blocks with the lock that guards
    // engine_ here: one lock, taken once per buffer.
    PFFTFilter engine = CreateFilterEngine(GetWaveFormat(), fftLength_, MaxBufferBytes(), &engineLock_);
    if (engine == nullptr)
        throw EOutOfMemory(LoadResString(SOutOfMemory));
    SetFilterWindow(engine, window_);
    std::lock_guard lock(engineLock_);
    engine_ = engine;
    open_ = true;
}

void TMMEqualizer::FreeEngine()
{
    PFFTFilter engine;
    {
        std::lock_guard lock(engineLock_);
        engine = engine_;
        engine_ = nullptr;
        open_ = false;
    }
    FreeFilterEngine(engine);
}

void TMMEqualizer::ApplyFilters()
{
    if (!open_)
        return;
    SetBandGain(engine_, 0.0f, static_cast<float>(sampleRate_ / 2), 0.0f);
    for (int i = 0; i < filters_->Count(); ++i) {
        const TMMEQFilter* f = filters_->Filter(i);
        if (f->Enabled())
            SetBandGain(engine_, f->Gain(), f->Freq2(), f->Freq1());
    }
}

void TMMEqualizer::ChangeStep()
{
    if (OnChange)
        OnChange(this);
}

void TMMEqualizer::FilterChanged(TMMEQFilter* filter)
{
    if (updating_ || filters_->UpdateCount() > 0)
        return;
    if (open_)
        SetBandGain(engine_, filter->Enabled() ? filter->Gain() : 0.0f, filter->Freq2(), filter->Freq1());
    ChangeStep();
}

void TMMEqualizer::ListChanged()
{
    if (updating_)
        return;
    ApplyFilters();
    ChangeStep();
}

void TMMEqualizer::SetWaveFormat(const WAVEFORMATEX* format)
{
    if (format != nullptr) {
        if (!IsDesigning() && (!IsValidPcmFormat(format) || format->wBitsPerSample == 8))
            throw EMMEqualizerError(LoadResString(SInvalidWaveFormatCaps));
        if (IsValidPcmFormat(format))
            SetSampleRate(static_cast<int>(format->nSamplesPerSec));
    }
    TMMDSPComponent::SetWaveFormat(format);
}

void TMMEqualizer::NotifyOpen()
{
    if (!open_ && IsValidPcmFormat(GetWaveFormat())) {
        CreateEngine();
        ApplyFilters();
    }
    TMMDSPComponent::NotifyOpen();
}

void TMMEqualizer::NotifyClose()
{
    FreeEngine();
    TMMDSPComponent::NotifyClose();
}

void TMMEqualizer::NotifyStart()
{
    ApplyFilters();
    if (open_)
        ResetFilterEngine(engine_);
    TMMDSPComponent::NotifyStart();
}

void TMMEqualizer::NotifyReset()
{
    if (open_)
        ResetFilterEngine(engine_);
    TMMDSPComponent::NotifyReset();
}

void TMMEqualizer::Filter(PWaveHdr lpWaveHdr)
{
    if (lpWaveHdr == nullptr || lpWaveHdr->lpData == nullptr || !enabled_.load())
        return;
    const std::uint32_t bytes = std::min(lpWaveHdr->dwBytesRecorded, lpWaveHdr->dwBufferLength);
    bool clipped = false;
    {
        std::lock_guard lock(engineLock_);
        if (engine_ == nullptr)
            return;
        clipped = FilterBufferLocked(engine_, channel_.load(), lpWaveHdr->lpData,
                               static_cast<int>(std::min<std::uint32_t>(bytes, 0x7FFFFFFF)));
    }
    // Reported outside the lock: the window thread may be waiting for it.
    if (clipped && OnPcmOverflow)
        SyncCall([this] {
            if (OnPcmOverflow)
                OnPcmOverflow(this);
        });
}

void TMMEqualizer::BufferReady(PWaveHdr lpWaveHdr)
{
    Filter(lpWaveHdr);
    TMMDSPComponent::BufferReady(lpWaveHdr);
}

void TMMEqualizer::BufferLoad(PWaveHdr lpWaveHdr, bool& moreBuffers)
{
    TMMDSPComponent::BufferLoad(lpWaveHdr, moreBuffers);
    Filter(lpWaveHdr);
}

// ---------------------------------------------------------------------------
// Stored filter sets, written field by field in the stored layout.

QByteArray EqualizerBandStream(const std::vector<TEqualizerBand>& bands, int fftLength)
{
    TMemoryStream s;
    s.WriteBuffer("EQU", 4);  // magic and its zero byte
    s.WriteU8(1);             // owns its objects
    s.WriteI32(8);
    s.WriteChars(QStringLiteral("Untitled"));
    s.WriteI32(fftLength);
    s.WriteI16(static_cast<std::int16_t>(bands.size()));
    for (const TEqualizerBand& b : bands) {
        s.WriteU8(11);
        s.WriteChars(QStringLiteral("TMMEQFilter"));
        s.WriteU8(1);         // enabled
        s.WriteSingle(b.freq1);
        s.WriteSingle(b.freq2);
        s.WriteSingle(b.gain);
    }
    return s.Data();
}

}  // namespace zol
