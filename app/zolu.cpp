#include "app/zolu.h"

#include "app/capturekeeper.h"
#include "app/diskio.h"
#include "app/eclipsetrace.h"
#include "app/inifile.h"
#include "app/logfiles.h"
#include "chain/connector.h"
#include "chain/equalizer.h"
#include "chain/wavein.h"
#include "controls/label.h"
#include "controls/mmcontrols.h"
#include "controls/mmcursors.h"
#include "controls/switch.h"
#include "controls/slider.h"
#include "displays/led.h"
#include "displays/ledpanel.h"
#include "displays/meter.h"
#include "displays/oscope.h"
#include "displays/scope.h"
#include "displays/spectrum.h"
#include "mixer/mixerblock.h"
#include "mixer/mixercontrol.h"
#include "mixer/mixerdevice.h"
#include "mixer/mixerslider.h"
#include "platform/clock.h"
#include "platform/errors.h"
#include "platform/intervaltimer.h"
#include "platform/window_thread.h"
#include "timers/hitimer.h"
#include "timers/longtimer.h"

#include <QCloseEvent>
#include <QDir>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>
#include <cerrno>
#include <langinfo.h>

namespace zol {

const char* const kTitleText = "zol - eclipse carrier level monitor ";
const char* const kVersionText = "1.3.25";
const char* const kCreditsText = " - made by radio amateurs for radio amateurs";

namespace {

const QString kSection = QStringLiteral("ZOLPARAMS");
const QColor kLampOffered(0x80, 0x00, 0x40);

QString TimeText(const QDateTime& t)
{
    return t.toString(QStringLiteral("HH:mm:ss"));
}

// Day, month and two-digit year joined by the locale's date separator.
QString DateText(const QDateTime& t)
{
    return zol::DateText(t.date(), nl_langinfo(D_FMT));
}

void Report(const QString& message)
{
    platform::HandleException(std::make_exception_ptr(EInOutError(message)));
}

// Steps of a chart that still show in its picture (2 pixels each), with a
// few more for the lines that join them; and the steps after which its
// vertical grid repeats.
int VisibleSteps(const TScope* scope)
{
    return scope->Width() / 2 + 3;
}
int GridPeriod(const TScope* scope)
{
    return std::max(1, scope->Gridsize() / 2);
}

// A chart position, or the chart's gap for a value without audio.
int ScopePosition(int position)
{
    return position == kNoAudio ? TScope::kGap : position;
}

}  // namespace

TMainForm::TMainForm(const TOptions& options, QWidget* parent) : QWidget(parent)
{
    InstallCursors();
    BuildWindow();
    BuildChain(options);
    WorkDir = options.workdir.isEmpty() ? QDir::currentPath() : QDir(options.workdir).absolutePath();
    // A replay in simulated time can be run again: its logs reach the disk
    // every ten minutes of the recording and at the end, not every line.
    replaySync_ = options.fast;
}

TMainForm::~TMainForm()
{
    // Stop everything that could call back into a half-destroyed window.
    HT3.reset();
    HT4.reset();
    platform::RemovePostedMessages(this);
}

// ---------------------------------------------------------------------------
// Start-up

void TMainForm::FormCreate()
{
    setWindowTitle(QString::fromUtf8(kTitleText) + kVersionText + QString::fromUtf8(kCreditsText));
    Scope1->SetLinecolorA(clNavy);
    Scope1->SetLinecolorB(clRed);
    Scope2->Clear();
    Scope2->SetActive(false);
    Scope1->Clear();
    Scope1->SetActive(false);
    IniPath = WorkDir + "/zol.ini";
    MeasurePath = WorkDir + "/measure.txt";
    Scope2Path = WorkDir + "/scope2.txt";
    recordlevel->SetPosition(MMVolumeControl1->ControlInfo().Steps());
    Measurement.BeginRun();
    ReadSettings();
    SetUpEclipse();
    if (Measurement.IsCalibrated()) {
        ShowCalibrated();
        Scope1->SetBaseline(Measurement.Threshold());
    }
    // A device that cannot be opened is reported and tried again; the
    // window opens all the same and logs the seconds without audio.
    Capture->Start();
    HT3->SetEnabled(true);
}

void TMainForm::ReadSettings()
{
    const int steps = MMVolumeControl1->ControlInfo().Steps();
    Settings = std::make_unique<TIniFile>(IniPath);
    const int error = Settings->ReadError();
    // A missing file, or one that holds no settings (empty after a failed
    // write, or junk), gets the defaults; lines already in it stay. A file
    // that cannot be read is not written: the defaults are used.
    const bool fresh = error != 0 || !Settings->SectionExists(kSection);
    if (error != 0 && error != ENOENT) {
        Report(QStringLiteral("Unable to read %1: %2; the default settings are used")
                   .arg(IniPath, diskio::ErrorText(error)));
    } else if (fresh) {
        Measurement.SetThreshold(30);
        if (error == 0)
            Report(QStringLiteral("%1 holds no [%2] settings; the default settings are added to it")
                       .arg(IniPath, kSection));
        try {
            Settings->WriteValues(kSection, {{"BASEGAIN", QString::number(steps)},
                                             {"THRESHOLD", "30"},
                                             {"DBCALIBRATE", "35"},
                                             {"CALIBRATED", "0"}});
        } catch (...) {
            platform::HandleCurrentException();
        }
    }
    // The thumb first shows what the card holds now: where one element serves
    // both lines, recordlevel has just moved it, and the stored gain must
    // still reach the card.
    inputlevel->UpdatePosition();
    // Without a file (it could not be written) the values a new file would
    // hold are used.
    inputlevel->SetPosition(Settings->ReadInteger(kSection, "BASEGAIN", fresh ? steps : 0));
    Measurement.SetThreshold(Settings->ReadInteger(kSection, "THRESHOLD", 30));
    Measurement.SetDbCalibrate(Settings->ReadInteger(kSection, "DBCALIBRATE", fresh ? 35 : 30));
    Measurement.SetCalibrated(Settings->ReadBool(kSection, "CALIBRATED", false));
}

namespace {
// Runs `next` when it goes out of scope, also when the stage failed: a log
// that cannot be opened is reported, but measuring still starts.
struct Finally {
    std::function<void()> next;
    ~Finally() { platform::Guarded(next); }
};

// Opens a log for the staged start: rebuilds its chart when it exists, then
// opens it for appending. A log that cannot be opened (or is no regular
// file) is left closed and reported by the caller's handler; one that cannot
// be read back is reported and still opened, so no line of this run is lost.
void OpenLog(const QString& path, const std::function<void()>& restore, std::unique_ptr<TTextLog>& slot)
{
    slot = std::make_unique<TTextLog>(path);
    slot->CheckRegular();
    if (slot->Exists())
        platform::Guarded(restore);
    slot->OpenAppend();
}
}  // namespace

void TMainForm::HT3Timer()
{
    HT3->SetEnabled(false);
    Finally next{[this] { HT4->SetEnabled(true); }};
    Scope1->Clear();
    try {
        OpenLog(MeasurePath, [this] { RestoreGraph(); }, MeasureLog);
        if (replaySync_)
            MeasureLog->SetSyncEvery(600);
    } catch (...) {
        MeasureLog.reset();
        throw;
    }
}

void TMainForm::HT4Timer()
{
    HT4->SetEnabled(false);
    Finally next{[this] {
        HT1->SetEnabled(true);
        HT2->SetEnabled(true);
        Scope1->SetActive(true);
        Scope2->SetActive(true);
        if (OnMeasuringStarted)
            OnMeasuringStarted();
        // After the handler: a replay sets the clock to its recording there.
        FeedEclipseNext(Scope1);
        FeedEclipseNext(Scope2);
    }};
    Scope2->Clear();
    try {
        OpenLog(Scope2Path, [this] { RestoreGraph2(); }, Scope2Log);
        if (replaySync_)
            Scope2Log->SetSyncEvery(20);
    } catch (...) {
        Scope2Log.reset();
        throw;
    }
}

// ---------------------------------------------------------------------------
// User controls

void TMainForm::RouteSource(const TMMSwitch* sw, IMMDisplay* (TMMConnector::*get)() const,
                            void (TMMConnector::*set)(IMMDisplay*))
{
    IMMDisplay* display = (c1->*get)() != nullptr ? (c1->*get)() : (c2->*get)();
    if (display == nullptr)
        return;
    TMMConnector* off = sw->Position() == 1 ? c1 : c2;
    TMMConnector* on = sw->Position() == 1 ? c2 : c1;
    // The slot being emptied is cleared before the other is filled, so the
    // display is never fed by both connectors.
    (off->*set)(nullptr);
    (on->*set)(display);
}

void TMainForm::FeedMeasurementOnly()
{
    for (TMMConnector* c : {c1, c2}) {
        if (c->Meter1() == MMMeter2)
            c->SetMeter1(nullptr);
        if (c->Oscope1() == Oscillo)
            c->SetOscope1(nullptr);
        if (c->Spectrum1() == Spectrum)
            c->SetSpectrum1(nullptr);
    }
}

void TMainForm::ScopeSwChange()
{
    RouteSource(ScopeSw, &TMMConnector::Oscope1, &TMMConnector::SetOscope1);
}

void TMainForm::SpectrumSwChange()
{
    RouteSource(SpectrumSw, &TMMConnector::Spectrum1, &TMMConnector::SetSpectrum1);
}

void TMainForm::Filt1Click()
{
    if (!Filt1->isChecked())
        return;
    MMEqualizer1->SetEnabled(true);
    MMEqualizer2->SetEnabled(false);
    Panel2->move(549, Panel2->y());
}

void TMainForm::filt2Click()
{
    if (!filt2->isChecked())
        return;
    MMEqualizer2->SetEnabled(true);
    MMEqualizer1->SetEnabled(false);
    Panel2->move(554, Panel2->y());
}

void TMainForm::ShowCalibrated()
{
    CalButton->setVisible(false);
    MMLED1->SetCaption(QStringLiteral("Calibrated"));
    MMLED1->SetLEDColor(clRed);
}

void TMainForm::ShowUncalibrated()
{
    CalButton->setVisible(true);
    MMLED1->SetCaption(QString());
    MMLED1->SetLEDColor(kLampOffered);
}

void TMainForm::inputlevel1Change()
{
    if (!Measurement.IsCalibrated())
        return;
    ShowUncalibrated();
    Measurement.Uncalibrate();
}

void TMainForm::SpectrgainChange()
{
    Spectrum->SetGain(spectrgain->Position());
}

void TMainForm::MMLED1DblClick()
{
    ShowUncalibrated();
}

void TMainForm::ScopegainChange()
{
    Oscillo->SetGain(scopegain->Position());
}

// ---------------------------------------------------------------------------
// Measurement cycle and calibration

void TMainForm::HT2Timer()
{
    // Without audio there is no reading: the read-out goes dark and the
    // calibration waits.
    const bool audio = Capture->HasAudio();
    D1->SetEnabled(audio);
    if (!audio) {
        Measurement.AddNoAudio();
        return;
    }
    const int reading = TMeasurement::Reading(Om->RawLevel());
    D1->SetValue(reading);
    if (Measurement.Calibrating())
        calibrate(reading);
    Measurement.AddReading(reading);
}

void TMainForm::Scope1Update()
{
    if (measureBusy_)
        return;
    FeedEclipseNext(Scope1);
    Measurement.RequestAverage();
    // The next 100 ms tick delivers the average; closing the window ends the
    // wait, since no tick will come any more. The window thread sleeps until
    // a message comes rather than spinning.
    while (Measurement.AverageRequested()) {
        if (shuttingDown_ || closed_)
            return;
        platform::TheClock().WaitMessages(50);
    }
    TakeAverage();
}

void TMainForm::TakeAverage()
{
    const TAverageStep step = Measurement.TakeAverage();
    Plotscope(Scope1, step.average, step.minimum);
}

void TMainForm::Plotscope(TScope* scope, int a, int b)
{
    const TChartPoint p = TMeasurement::PlotPositions(a, b);
    scope->SetPositionA(ScopePosition(p.a));
    scope->SetPositionB(ScopePosition(p.b));
}

void TMainForm::Scope2Update()
{
    if (shuttingDown_ || scope2Restoring_)
        return;
    FeedEclipseNext(Scope2);
    // A failing log must not keep the window from starting a new one.
    const TWindowLine window = Measurement.CloseWindow();
    Scope2->SetPositionA(ScopePosition(window.plot.a));
    Scope2->SetPositionB(ScopePosition(window.plot.b));
    // A log that goes on failing for the reason it has reported stays quiet:
    // one message, not one every step.
    try {
        if (Scope2Log)
            Scope2Log->AppendLine(Scope2Line(window.min, window.max));
        if (!shuttingDown_) {
            if (Scope2Log)
                Scope2Log->Flush();
            if (MeasureLog)
                MeasureLog->Flush();
        }
    } catch (const ELogStillFailing&) {
    }
}

void TMainForm::EndOfInput()
{
    if (inputEnded_ || shuttingDown_ || closed_)
        return;
    // A step of the 5-second chart that waits for its average gets it from
    // the next reading first.
    if (Measurement.AverageRequested())
        return;
    inputEnded_ = true;
    // No reading after the audio: the meter would only repeat its last level.
    HT2->SetEnabled(false);
    Scope1->SetActive(false);
    Scope2->SetActive(false);
    if (!HT1->Enabled()) {
        // Measuring never began: nothing to finish.
        platform::PostToWindow([this] { close(); }, this);
        return;
    }
    // The 5-second average begun and its 30-second window are closed with
    // the readings they hold; the next second's line is the last.
    if (Measurement.DeliverPartialAverage())
        TakeAverage();
    if (Measurement.WindowUpdates() > 0)
        Scope2Update();
}

void TMainForm::CalButtonClick()
{
    Om->SetDecay(1);
    HT2->SetEnabled(false);
    inputlevel->SetPosition(MMVolumeControl1->ControlInfo().Steps());
    Measurement.Uncalibrate();
    HT2->SetEnabled(true);
    Measurement.StartCalibration();
}

void TMainForm::calibrate(int reading)
{
    if (!Measurement.CalibrationReadingFresh(Om->AudioAnalysedMs()))
        return;
    const int p = inputlevel->Position() - 1;
    try {
        inputlevel->SetPosition(p);
    } catch (...) {
        // A mixer that fails is reported once, not at every tick.
        Measurement.StopCalibration();
        throw;
    }
    Measurement.CalibrationStepTaken(Om->AudioAnalysedMs());
    platform::TheClock().Sleep(75);
    const TCalibrationStep step = Measurement.CalibrationStep(p, reading);
    if (step == csReached)
        inputlevel->SetPosition(p);
    Measurement.EndCalibration(step);
    if (step == csReached) {
        ShowCalibrated();
        Om->SetDecay(16);
    }
}

// ---------------------------------------------------------------------------
// Logs

void TMainForm::HT1Timer()
{
    const QDateTime now = platform::TheClock().WallTime();
    const QString time = TimeText(now);
    MMLabel4->SetCaption(time);
    const QString date = DateText(now);
    measureBusy_ = true;
    // The chart goes on even when the disk fails: the flag is cleared on
    // every way out. After the input's last second the window closes.
    struct AtExit {
        TMainForm& form;
        ~AtExit()
        {
            form.measureBusy_ = false;
            if (form.inputEnded_)
                platform::PostToWindow([f = &form] { f->close(); }, &form);
        }
    } atExit{*this};
    const TSecondLine second = Measurement.CloseSecond();
    const bool write = !shuttingDown_ && second.due;
    const QString line = MeasureLine(QChar(second.marker), time, date, second.mean, second.minimum);
    // A log that goes on failing for the reason it has reported stays quiet:
    // one message, not one a second.
    try {
        if (write) {
            if (OnMeasureLine)
                OnMeasureLine(line);
            // A line that could not be written leaves the marker for the next.
            if (MeasureLog)
                MeasureLog->AppendLine(line);
        }
        Measurement.MarkerUsed();
        if (!shuttingDown_ && MeasureLog)
            MeasureLog->Flush();
    } catch (const ELogStillFailing&) {
    }
}

// Both charts are rebuilt from the end of their logs: the steps a replay of
// the whole log would draw last, as many as the picture shows, so a long
// history costs no more than a short one.
void TMainForm::RestoreGraph()
{
    if (!MeasureLog || !MeasureLog->Exists())
        return;
    measureBusy_ = true;
    struct ClearBusy {
        bool& flag;
        ~ClearBusy() { flag = false; }
    } clearBusy{measureBusy_};
    const THistory history = ReadMeasureHistory(MeasurePath, VisibleSteps(Scope1), GridPeriod(Scope1));
    for (const THistoryStep& step : history.steps) {
        FeedEclipse(Scope1, step.utcMs);
        Scope1->Plot(ScopePosition(TMeasurement::ChartPosition(step.a)),
                     ScopePosition(TMeasurement::ChartPosition(step.b)));
    }
}

void TMainForm::RestoreGraph2()
{
    scope2Restoring_ = true;
    struct ClearRestoring {
        bool& flag;
        ~ClearRestoring() { flag = false; }
    } clear{scope2Restoring_};
    const THistory history = ReadScope2History(Scope2Path, VisibleSteps(Scope2), GridPeriod(Scope2));
    // Its lines carry no time: measure.txt, written beside it, tells them.
    THistory groups;
    if (Eclipse) {
        try {
            groups = ReadMeasureHistory(MeasurePath, 6 * VisibleSteps(Scope2), 1);
        } catch (const EInOutError&) {
            // Without measure.txt the restored steps have no trace.
        }
    }
    const std::vector<qint64> times = WindowTimes(groups, history.steps.size());
    for (std::size_t i = 0; i < history.steps.size(); ++i) {
        FeedEclipse(Scope2, times[i]);
        Scope2->Plot(ScopePosition(TMeasurement::ChartPosition(history.steps[i].a)),
                     ScopePosition(TMeasurement::ChartPosition(history.steps[i].b)));
    }
}

// ---------------------------------------------------------------------------
// Shut-down

void TMainForm::closeEvent(QCloseEvent* event)
{
    if (!closed_ && !closing_) {
        closing_ = true;
        platform::Guarded([this] { FormClose(); });
        closed_ = true;
        if (OnClosed)
            OnClosed();
    }
    event->accept();
}

void TMainForm::FormClose()
{
    shuttingDown_ = true;
    Pbar->setValue(100);
    Panel4->setVisible(true);
    Pbar->setVisible(true);
    Panel4->raise();
    repaint();
    HT1->SetEnabled(false);
    Scope1->setEnabled(false);
    Scope2->setEnabled(false);
    HT2->SetEnabled(false);
    HT3->SetEnabled(false);
    HT4->SetEnabled(false);
    for (int n = 100; n >= 1; --n) {
        Pbar->setValue(n);
        Pbar->repaint();
        platform::TheClock().Sleep(30);
    }
    try {
        WriteSettings();
    } catch (...) {
        platform::HandleCurrentException();
    }
    Scope1->SetActive(false);
    // Closing forces what is not on the disk yet there; a failure that was
    // not reported already is.
    for (TTextLog* log : {MeasureLog.get(), Scope2Log.get()}) {
        try {
            if (log)
                log->Close();
        } catch (const ELogStillFailing&) {
        } catch (...) {
            platform::HandleCurrentException();
        }
    }
    Settings.reset();
    Capture->Stop();
    mvi->Close();
}

void TMainForm::WriteSettings()
{
    if (!Settings)
        return;
    // All keys in one replacement of the file: a failure or a kill leaves
    // either the old settings or the new ones, never a mix.
    TIniFile::TValues values;
    // Without a usable gain control (no card) the slider holds no gain: the
    // one stored for the card is kept.
    if (MMVolumeControl1->IsValid())
        values.append({QStringLiteral("BASEGAIN"), QString::number(inputlevel->Position())});
    values.append({QStringLiteral("CALIBRATED"), QString::number(Measurement.IsCalibrated() ? 1 : 0)});
    values.append({QStringLiteral("THRESHOLD"), QString::number(Measurement.Threshold())});
    Settings->WriteValues(kSection, values);
}

}  // namespace zol
