#include "app/stationrun.h"

#include "app/capturekeeper.h"
#include "app/datafile.h"
#include "app/inifile.h"
#include "app/logfiles.h"
#include "app/snapshot.h"
#include "app/stationinfo.h"
#include "app/eclipsetrace.h"
#include "app/zolu.h"
#include "chain/wavein.h"
#include "displays/ledpanel.h"
#include "displays/meter.h"
#include "displays/scope.h"
#include "mixer/mixercontrol.h"
#include "mixer/mixerslider.h"
#include "platform/audiorecorder.h"
#include "platform/clock.h"
#include "platform/errors.h"
#include "platform/window_thread.h"
#include "timers/hitimer.h"

#include <QEvent>
#include <QRadioButton>

#include <algorithm>
#include <cstring>

namespace zol {

TStationRun::TRecordTap::~TRecordTap() = default;

namespace {
// Calls `closing` when the window is asked to close, before it shuts down.
class TCloseWatch : public QObject {
public:
    explicit TCloseWatch(std::function<void()> closing) : closing_(std::move(closing)) {}
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Close)
            closing_();
        return false;
    }

private:
    std::function<void()> closing_;
};

// Whether a buffer holds a sample at the end of its format's range.
bool ReachesFullScale(const char* data, std::uint32_t bytes, bool sixteenBit)
{
    if (!sixteenBit) {
        const auto* p = reinterpret_cast<const unsigned char*>(data);
        return std::any_of(p, p + bytes, [](unsigned char v) { return v == 0 || v == 255; });
    }
    for (std::uint32_t i = 0; i + 1 < bytes; i += 2) {
        std::int16_t v;
        std::memcpy(&v, data + i, sizeof v);
        if (v >= 32767 || v <= -32767)
            return true;
    }
    return false;
}
}  // namespace

TStationRun::TStationRun(TMainForm& form, const TOptions& options)
    : form_(form), options_(options), tap_(std::make_shared<TRecordTap>())
{
    measuring_ = form.OnMeasuringStarted;
    form.OnMeasuringStarted = [this] {
        if (measuring_)
            measuring_();
        MeasuringStarted();
    };
    // The audio of the shut-down is not measured, so not recorded; the
    // data file is complete before the window goes.
    closeWatch_ = std::make_unique<TCloseWatch>([this] { Closing(); });
    form.installEventFilter(closeWatch_.get());
    tap_->sixteenBit = form.mvi->BitLength() == b16Bit;
    // Set before the capture starts: the capture thread reads it. The
    // buffer still holds the audio as captured (the filter follows).
    auto ready = form.mvi->OnBufferReady;
    form.mvi->OnBufferReady = [tap = tap_, ready](QObject* sender, PWaveHdr hdr) {
        if (ReachesFullScale(hdr->lpData, hdr->dwBytesRecorded, tap->sixteenBit.load(std::memory_order_relaxed)))
            tap->clipped.store(true, std::memory_order_relaxed);
        {
            std::lock_guard lock(tap->mutex);
            if (tap->recorder)
                tap->recorder->Add(hdr->lpData, static_cast<int>(hdr->dwBytesRecorded));
        }
        if (ready)
            ready(sender, hdr);
    };
}

TStationRun::~TStationRun()
{
    if (closeWatch_)
        form_.removeEventFilter(closeWatch_.get());
    form_.OnMeasuringStarted = measuring_;
    if (readingHooked_)
        form_.HT2->SetOnTimer(reading_);
    for (const QMetaObject::Connection& c : connections_)
        QObject::disconnect(c);
    pictures_.reset();
    Closing();
}

void TStationRun::Started()
{
    // The band is chosen as the user would choose it: by its radio button.
    if (options_.band == bd700_900)
        form_.filt2->click();
    InstallPictureActions(form_, {form_.Scope1, form_.Scope2}, form_.WorkDir);
    if (options_.snapshotEvery > 0)
        pictures_ = std::make_unique<TPictureTimer>(form_, form_.WorkDir, options_.snapshotEvery);
    // Each reading goes to the data file after the window has taken it.
    reading_ = form_.HT2->OnTimer();
    readingHooked_ = true;
    form_.HT2->SetOnTimer([this](QObject* sender) {
        if (reading_)
            reading_(sender);
        AddReading();
    });
    for (QRadioButton* band : {form_.Filt1, form_.filt2})
        connections_ << QObject::connect(band, &QRadioButton::clicked, &form_, [this] { BandChanged(); });
}

void TStationRun::StartDataFile()
{
    TDataHead head;
    head.program = VersionText();
    head.runStartedUtcMs = platform::TheClock().WallTime().toUTC().toMSecsSinceEpoch();
    const TIniFile ini(form_.IniPath);
    head.station = ReadStationInfo(ini);
    const auto backend = form_.mvi->Backend();
    head.device = backend ? backend->Description() : form_.mvi->ProductName();
    head.sampleRate = form_.mvi->SampleRate();
    head.band = BandText(form_.filt2->isChecked() ? bd700_900 : bd550_750);
    head.gainSteps = form_.MMVolumeControl1->ControlInfo().Steps();
    for (const QString& problem : head.station.problems)
        platform::HandleException(std::make_exception_ptr(EInOutError(problem)));
    if (form_.Eclipse && form_.Eclipse->Midpoint()) {
        head.midpointLatitude = form_.Eclipse->Midpoint()->latitude;
        head.midpointLongitude = form_.Eclipse->Midpoint()->longitude;
    }
    data_ = std::make_unique<TDataFile>(form_.WorkDir, std::move(head));
    // A replay can be run again: its rows reach the disk every ten minutes
    // of the recording (6000 rows) and at close, as its logs do.
    if (options_.fast)
        data_->SetSyncEvery(6000);
}

void TStationRun::AddReading()
{
    if (!data_)
        return;
    TReadingRow row;
    row.utcMs = platform::TheClock().WallTime().toUTC().toMSecsSinceEpoch();
    row.db = form_.D1->Value();
    row.peak = form_.Om->RawLevel();
    row.gain = form_.inputlevel->Position();
    // No audio while the device is missing or delivers nothing (the
    // reading and the level are then none: 90 and 0); an overload when the
    // input, before the filter, reached full scale since the last reading.
    if (!form_.Capture->HasAudio()) {
        row.flag = rfNoAudio;
        row.db = 90;
        row.peak = 0;
    } else if (tap_->clipped.exchange(false, std::memory_order_relaxed))
        row.flag = rfOverload;
    if (form_.Eclipse)
        row.obscuration = form_.Eclipse->ObscurationPercent(static_cast<double>(row.utcMs) / 1000.0);
    // A failing data file is reported here, once; measuring and the logs
    // go on, and the rows follow again when the file can be written.
    try {
        data_->Append(row);
    } catch (const ELogStillFailing&) {
    } catch (...) {
        platform::HandleCurrentException();
    }
}

void TStationRun::BandChanged()
{
    // Called from the radio button's signal: nothing may be thrown back to Qt.
    platform::Guarded([this] {
        if (data_)
            data_->SetBand(BandText(form_.filt2->isChecked() ? bd700_900 : bd550_750),
                           platform::TheClock().WallTime().toUTC().toMSecsSinceEpoch());
    });
}

void TStationRun::Closing()
{
    FinishRecording();
    if (!data_)
        return;
    try {
        data_->Close();
    } catch (const ELogStillFailing&) {
    } catch (...) {
        platform::HandleCurrentException();
    }
}

void TStationRun::MeasuringStarted()
{
    tap_->clipped.store(false, std::memory_order_relaxed);  // audio before the first reading
    platform::Guarded([this] { StartDataFile(); });
    // The recording holds what is measured, from the first reading on; a
    // replay holds its file until measuring begins, so both line up.
    if (!options_.record || form_.mvi->BitLength() != b16Bit)
        return;
    const qint64 now = platform::TheClock().WallTime().toUTC().toMSecsSinceEpoch();
    const int channels = form_.mvi->Mode() == mStereo ? 2 : 1;
    auto recorder = std::make_unique<platform::AudioRecorder>(form_.WorkDir, form_.mvi->SampleRate(), channels, now);
    std::lock_guard lock(tap_->mutex);
    tap_->recorder = std::move(recorder);
}

void TStationRun::FinishRecording()
{
    std::unique_ptr<platform::AudioRecorder> recorder;
    {
        std::lock_guard lock(tap_->mutex);
        recorder = std::move(tap_->recorder);
    }
    if (!recorder)
        return;
    recorder->Finish();
    finishedRecordings_ << recorder->Files();
}

QStringList TStationRun::Recordings() const
{
    std::lock_guard lock(tap_->mutex);
    return finishedRecordings_ + (tap_->recorder ? tap_->recorder->Files() : QStringList());
}

}  // namespace zol
