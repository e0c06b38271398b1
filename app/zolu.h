// The main window of zol: its components and how they are wired, the staged
// start, the measurement cycle and calibration, the two logs and the settings
// file, and the orderly shut-down.
#pragma once

#include "app/cmdline.h"
#include "app/measurement.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace zol {

namespace platform {
class TIntervalTimer;
}
class TIniFile;
class TCaptureKeeper;
class TEclipseTrace;
class TTextLog;
class TMMWaveIn;
class TMMConnector;
class TMMEqualizer;
class TMMMeter;
class TMMLEDPanel;
class TMMLED;
class TMMMixerDevice;
class TMMAudioLine;
class TMMVolumeControl;
class TMMMixerSlider;
class TMMMixerBlock;
class TMMMixerBlockSlider;
class TMMHiTimer;
class TMMLongTimer;
class TScope;
class TMMPanel;
class TMMPanelFill;
class TMMLabel;
class TMMDesigner;
class TMMSwitch;
class IMMDisplay;
class TMMSlider;
class TMMOscope;
class TMMSpectrum;

// Program title and credits, joined with the version for the caption.
extern const char* const kTitleText;
extern const char* const kVersionText;
extern const char* const kCreditsText;

class TMainForm : public QWidget {
public:
    // Builds the window and its components (the form description). The
    // options choose the capture and mixer back ends and the working folder.
    explicit TMainForm(const TOptions& options, QWidget* parent = nullptr);
    ~TMainForm() override;

    // --- handlers of the window
    void FormCreate();
    void FormClose();
    void HT3Timer();
    void HT4Timer();
    void ScopeSwChange();
    void SpectrumSwChange();
    void Filt1Click();
    void filt2Click();
    void MMLED1DblClick();
    void inputlevel1Change();
    void ScopegainChange();
    void SpectrgainChange();
    // --- measurement cycle and calibration
    void HT2Timer();
    void Scope1Update();
    void Plotscope(TScope* scope, int a, int b);
    void Scope2Update();
    void CalButtonClick();
    void calibrate(int reading);
    // The input has no more audio (a replayed recording ended): readings
    // stop, the 5-second average begun and its 30-second window are closed
    // with what they hold, the next second's line is the last one, then the
    // window closes. Tried again later while a chart step waits.
    void EndOfInput();
    // For a window that is never shown (a headless replay): the displays
    // that only show the signal (the input meter, the oscilloscope and the
    // spectrum analyser) are fed nothing; the after-filter meter, which the
    // readings come from, goes on.
    void FeedMeasurementOnly();
    // --- logs
    void HT1Timer();
    void RestoreGraph();
    void RestoreGraph2();

    // Called with every measure.txt line written (headless runs print it).
    std::function<void(const QString& line)> OnMeasureLine;
    // Called once measuring has started (the end of the staged start).
    std::function<void()> OnMeasuringStarted;
    // Called when the window has closed in order.
    std::function<void()> OnClosed;
    bool Closed() const { return closed_; }

    // --- components (named as in the form description)
    TMMWaveIn* mvi = nullptr;
    TMMConnector* c1 = nullptr;
    TMMEqualizer* MMEqualizer1 = nullptr;
    TMMEqualizer* MMEqualizer2 = nullptr;
    TMMConnector* c2 = nullptr;
    TMMMeter* MMMeter2 = nullptr;
    TMMMeter* Om = nullptr;
    TMMLEDPanel* D1 = nullptr;
    TMMOscope* Oscillo = nullptr;
    TMMSlider* scopegain = nullptr;
    TMMSpectrum* Spectrum = nullptr;
    TMMSlider* spectrgain = nullptr;
    TMMLED* MMLED1 = nullptr;
    TMMMixerDevice* MMMixerDevice1 = nullptr;
    TMMAudioLine* MMAudioLine1 = nullptr;
    TMMAudioLine* MMAudioLine2 = nullptr;
    TMMVolumeControl* MMVolumeControl1 = nullptr;
    TMMMixerSlider* inputlevel = nullptr;
    TMMMixerBlock* MMMixerBlock1 = nullptr;
    TMMMixerBlockSlider* recordlevel = nullptr;
    TMMHiTimer* HT2 = nullptr;
    TMMLongTimer* HT1 = nullptr;
    std::unique_ptr<platform::TIntervalTimer> HT3;
    std::unique_ptr<platform::TIntervalTimer> HT4;
    TScope* Scope1 = nullptr;
    TScope* Scope2 = nullptr;
    TMMPanel* Panel1 = nullptr;
    TMMPanel* Panel2 = nullptr;
    TMMPanel* Panel3 = nullptr;
    TMMPanel* Panel4 = nullptr;
    TMMPanelFill* MMPanelFill1 = nullptr;
    QPushButton* CalButton = nullptr;
    QRadioButton* Filt1 = nullptr;
    QRadioButton* filt2 = nullptr;
    QProgressBar* Pbar = nullptr;
    TMMLabel* MMLabel1 = nullptr;
    TMMLabel* MMLabel2 = nullptr;
    TMMLabel* MMLabel3 = nullptr;
    TMMLabel* MMLabel4 = nullptr;
    TMMDesigner* MMDesigner1 = nullptr;
    TMMSwitch* ScopeSw = nullptr;
    TMMSwitch* SpectrumSw = nullptr;
    QLabel* Label12 = nullptr;

    // The readings, their averages and windows, and the calibration; the
    // handlers feed it and log and plot what it gives.
    TMeasurement Measurement;
    // measure.txt is being written or read back: the 5-second chart's
    // update does nothing meanwhile.
    bool MeasureBusy() const { return measureBusy_; }
    // The 30-second chart is being rebuilt: its update does nothing.
    bool Scope2Restoring() const { return scope2Restoring_; }
    // The window is closing: no more log lines.
    bool ShuttingDown() const { return shuttingDown_; }

    QString WorkDir;
    QString IniPath;
    QString MeasurePath;
    QString Scope2Path;
    std::unique_ptr<TTextLog> MeasureLog;
    std::unique_ptr<TTextLog> Scope2Log;
    std::unique_ptr<TIniFile> Settings;
    // The Sun's obscuration at the path's midpoint, drawn as the charts'
    // third trace; none without both ends of the path in zol.ini.
    std::unique_ptr<TEclipseTrace> Eclipse;
    // Keeps mvi recording: a device that is missing or lost is opened again
    // until it records; the readings meanwhile are ticks without audio.
    std::unique_ptr<TCaptureKeeper> Capture;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // The form description, panel by panel (zolu_layout.cpp).
    void BuildWindow();
    void BuildFrame();
    void BuildMeters();
    void BuildAnalysers();
    void BuildControls();
    void BuildSwitches();
    void BuildHeader();
    void BuildCharts();
    void BuildShutdownPanel();
    void BuildTimers();
    void BuildDesigner();
    void BuildChain(const TOptions& options);
    void ReadSettings();
    void WriteSettings();
    // Feeds the display held by one of the slots `get`/`set` of c1 and c2
    // from c2 (after the filter) in the switch's position 1, else from c1.
    void RouteSource(const TMMSwitch* sw, IMMDisplay* (TMMConnector::*get)() const,
                     void (TMMConnector::*set)(IMMDisplay*));
    void ShowCalibrated();
    void ShowUncalibrated();
    void TakeAverage();
    // The eclipse trace (zolu_eclipse.cpp): the path from zol.ini, and the
    // chart's next value for the step at `utcMs` (none: no trace there).
    void SetUpEclipse();
    void FeedEclipse(TScope* scope, qint64 utcMs);
    // The value for the chart's next step, one interval from now.
    void FeedEclipseNext(TScope* scope);
    bool measureBusy_ = false;
    bool scope2Restoring_ = false;
    bool shuttingDown_ = false;
    bool replaySync_ = false;  // logs reach the disk every few minutes
    bool inputEnded_ = false;
    bool closed_ = false;
    bool closing_ = false;
};

}  // namespace zol
