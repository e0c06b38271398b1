#include "app/stationrun.h"

#include "app/snapshot.h"
#include "app/zolu.h"
#include "chain/wavein.h"
#include "displays/scope.h"
#include "platform/audiorecorder.h"
#include "platform/clock.h"

#include <QEvent>
#include <QRadioButton>

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
    if (options.record) {
        // The audio of the shut-down is not measured, so not recorded.
        closeWatch_ = std::make_unique<TCloseWatch>([this] { FinishRecording(); });
        form.installEventFilter(closeWatch_.get());
        // Set before the capture starts: the capture thread reads it. The
        // buffer still holds the audio as captured (the filter follows).
        auto ready = form.mvi->OnBufferReady;
        form.mvi->OnBufferReady = [tap = tap_, ready](QObject* sender, PWaveHdr hdr) {
            {
                std::lock_guard lock(tap->mutex);
                if (tap->recorder)
                    tap->recorder->Add(hdr->lpData, static_cast<int>(hdr->dwBytesRecorded));
            }
            if (ready)
                ready(sender, hdr);
        };
    }
}

TStationRun::~TStationRun()
{
    if (closeWatch_)
        form_.removeEventFilter(closeWatch_.get());
    form_.OnMeasuringStarted = measuring_;
    FinishRecording();
}

void TStationRun::Started()
{
    // The band is chosen as the user would choose it: by its radio button.
    if (options_.band == bd700_900)
        form_.filt2->click();
    InstallPictureActions(form_, {form_.Scope1, form_.Scope2}, form_.WorkDir);
    if (options_.snapshotEvery > 0)
        pictures_ = std::make_unique<TPictureTimer>(form_, form_.WorkDir, options_.snapshotEvery);
}

void TStationRun::MeasuringStarted()
{
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
