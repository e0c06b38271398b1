#include "app/zolu.h"

#include "app/inifile.h"
#include "app/logfiles.h"
#include "chain/connector.h"
#include "chain/equalizer.h"
#include "chain/wavein.h"
#include "controls/mmcontrols.h"
#include "controls/mmcursors.h"
#include "displays/led.h"
#include "displays/ledpanel.h"
#include "displays/meter.h"
#include "displays/scope.h"
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
#include <QGuiApplication>
#include <QScreen>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>
#include <cmath>
#include <langinfo.h>

namespace zol {

const char* const kTitleText = "zol - eclipse carrier level monitor ";
const char* const kVersionText = "1.3.25";
const char* const kCreditsText = " - made by radio amateurs for radio amateurs";

namespace {

const QString kSection = QStringLiteral("ZOLPARAMS");
const QColor kLampOff(0x80, 0x40, 0x40);
const QColor kLampOffered(0x80, 0x00, 0x40);

// A caption turned 90 degrees, reading upwards (the charts' side labels).
class TurnedLabel : public QWidget {
public:
    TurnedLabel(const QString& text, QWidget* parent) : QWidget(parent), text_(text) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setFont(font());
        p.setPen(palette().color(QPalette::WindowText));
        p.translate(0, height());
        p.rotate(-90);
        p.drawText(QRect(0, 0, height(), width()), Qt::AlignCenter, text_);
    }

private:
    QString text_;
};

QLabel* MakeLabel(QWidget* parent, const QString& text, QRect geometry)
{
    auto* label = new QLabel(text, parent);
    label->setGeometry(geometry);
    return label;
}

// The "-10" .. "-70" marks right of a chart whose top is at `top`.
void AddScaleLabels(QWidget* parent, int left, int top, int height)
{
    for (int i = 1; i <= 7; ++i) {
        // The mark sits at the reading's chart position, kept inside the frame.
        const int y = std::min(top + height * (i * 100 / 7) / 100 - 7, top + height - 14);
        auto* label = MakeLabel(parent, QStringLiteral("-%1").arg(i * 10), QRect(left, y, 22, 14));
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
}

QString TimeText(const QDateTime& t)
{
    return t.toString(QStringLiteral("HH:mm:ss"));
}

// Day, month and two-digit year joined by the locale's date separator.
QString DateText(const QDateTime& t)
{
    return zol::DateText(t.date(), nl_langinfo(D_FMT));
}

}  // namespace

int TMainForm::Reading(double level)
{
    if (!(level >= 1.0))
        level = 1.0;
    return static_cast<int>(std::trunc(20.0 * std::log10(32768.0 / level)));
}

TMainForm::TMainForm(const TOptions& options, QWidget* parent) : QWidget(parent)
{
    InstallCursors();
    BuildWindow();
    BuildChain(options);
    WorkDir = options.workdir.isEmpty() ? QDir::currentPath() : QDir(options.workdir).absolutePath();
}

TMainForm::~TMainForm()
{
    // Stop everything that could call back into a half-destroyed window.
    HT3.reset();
    HT4.reset();
}

void TMainForm::BuildWindow()
{
    resize(719, 575);
    setFixedSize(719, 575);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    QPalette pal = palette();
    pal.setColor(QPalette::Window, clBtnFace);
    setPalette(pal);
    setAutoFillBackground(true);
    QFont f(QStringLiteral("Sans Serif"));
    f.setPixelSize(9);
    setFont(f);

    Panel1 = new TMMPanel(this);
    Panel1->setObjectName("Panel1");
    Panel1->SetColor(QColor(0x99, 0x99, 0x99));
    Panel1->setGeometry(0, 0, 711, 544);

    MMMeter2 = new TMMMeter(Panel1);
    MMMeter2->setObjectName("MMMeter2");
    Om = new TMMMeter(Panel1);
    Om->setObjectName("Om");
    for (TMMMeter* m : {MMMeter2, Om}) {
        m->SetColor(clNavy);
        m->SetFontColor(clSilver);
        QFont mf = m->font();
        mf.setBold(true);
        m->SetMeterFont(mf);
        m->SetScaleAngle(70);
        m->SetScaleTicks(36);
        m->SetScaleTicksEnlargeEvery(5);
        m->SetScaleTicksTextEvery(5);
        m->SetBitLength(b16Bit);
        m->SetMode(mStereo);
        m->SetSensitivy(-70);
    }
    MMMeter2->setGeometry(8, 30, 149, 99);
    MMMeter2->SetCaption(QStringLiteral("Input Level"));
    Om->setGeometry(159, 30, 149, 99);
    Om->SetCaption(QStringLiteral("After Filter"));
    Om->SetTopSpace(15);
    Om->SetSamples(100);
    Om->SetDecayMode(dmUniform);
    Om->SetDecay(10);
    Om->SetPeakSpeed(1);
    Om->SetPeakDelay(10);

    D1 = new TMMLEDPanel(Panel1);
    D1->setGeometry(274, 104, 27, 21);
    D1->Bevel().SetBevelOuter(bvNone);
    D1->SetDrawInactive(false);
    D1->SetLEDColor(clWhite);
    D1->SetLEDSpace(5);
    D1->SetMinValue(0);
    D1->SetMaxValue(100);

    Panel2 = new TMMPanel(Panel1);
    Panel2->Bevel().SetBevelOuter(bvNone);
    Panel2->SetColor(clWhite);
    Panel2->setGeometry(549, 5, 1, 125);

    Label12 = MakeLabel(Panel1, QStringLiteral("Software band pass filter"), QRect(392, 136, 170, 12));
    QPalette navy = Label12->palette();
    navy.setColor(QPalette::WindowText, clNavy);
    Label12->setPalette(navy);
    QFont bold = Label12->font();
    bold.setBold(true);
    Label12->setFont(bold);

    Filt1 = new QRadioButton(QStringLiteral("550-750 Hz"), Panel1);
    Filt1->setGeometry(377, 148, 113, 17);
    Filt1->setChecked(true);
    filt2 = new QRadioButton(QStringLiteral("700-900 Hz"), Panel1);
    filt2->setGeometry(474, 148, 95, 17);
    QObject::connect(Filt1, &QRadioButton::clicked, this, [this] { platform::Guarded([this] { Filt1Click(); }); });
    QObject::connect(filt2, &QRadioButton::clicked, this, [this] { platform::Guarded([this] { filt2Click(); }); });

    CalButton = new QPushButton(QStringLiteral("Calibrate"), Panel1);
    CalButton->setGeometry(574, 137, 68, 21);
    QObject::connect(CalButton, &QPushButton::clicked, this,
                     [this] { platform::Guarded([this] { CalButtonClick(); }); });

    MMLED1 = new TMMLED(Panel1);
    MMLED1->setGeometry(647, 137, 59, 21);
    MMLED1->SetColor(kLampOffered);
    MMLED1->SetFontColor(clYellow);
    MMLED1->SetLEDColor(kLampOff);
    MMLED1->OnDblClick = [this](QObject*) { MMLED1DblClick(); };

    MMLabel1 = MakeLabel(Panel1, QStringLiteral("zol eclipse log"), QRect(0, 1, 209, 24));
    MMLabel4 = MakeLabel(Panel1, QString(), QRect(208, 1, 97, 24));
    MMLabel4->setAlignment(Qt::AlignCenter);
    for (QLabel* l : {MMLabel1, MMLabel4}) {
        QFont lf(QStringLiteral("Serif"));
        lf.setPixelSize(19);
        lf.setBold(true);
        l->setFont(lf);
    }

    // The 5-second chart and its frame.
    Scope1Frame = new TMMPanel(Panel1);
    Scope1Frame->setGeometry(5, 169, 703, 187);
    Scope1 = new TScope(Scope1Frame);
    Scope1->setGeometry(28, 3, 652, 180);
    Scope1->SetBaseline(50);
    Scope1->SetGridsize(4);
    Scope1->SetActive(false);
    Scope1->SetPositionA(50);
    Scope1->SetPositionB(0);
    Scope1->SetInterval(500);
    Scope1->SetColor(QColor(0xFF, 0xD2, 0xD2));
    Scope1->SetGridcolor(QColor(0xFF, 0xB0, 0xB0));
    Scope1->SetLinecolorA(clNavy);
    Scope1->SetLinecolorB(clNavy);
    Scope1->SetBasecolor(clRed);
    Scope1->OnUpdate = [this](QObject*) { Scope1Update(); };
    AddScaleLabels(Scope1Frame, 682, 3, 180);
    auto* label2 = new TurnedLabel(QStringLiteral("5 sec Signal view"), Scope1Frame);
    label2->setGeometry(4, 3, 20, 180);

    // The 30-second chart and its frame.
    Panel3 = new TMMPanel(Panel1);
    Panel3->setGeometry(4, 359, 705, 186);
    Scope2 = new TScope(Panel3);
    Scope2->setGeometry(28, 4, 653, 180);
    Scope2->SetBaseline(0);
    Scope2->SetGridsize(4);
    Scope2->SetActive(false);
    Scope2->SetPositionA(50);
    Scope2->SetPositionB(60);
    Scope2->SetInterval(3000);
    Scope2->SetColor(QColor(0xFF, 0xD2, 0xD2));
    Scope2->SetGridcolor(QColor(0xFF, 0xB0, 0xB0));
    Scope2->SetLinecolorA(clNavy);
    Scope2->SetLinecolorB(clGreen);
    Scope2->SetBasecolor(clRed);
    Scope2->OnUpdate = [this](QObject*) { Scope2Update(); };
    AddScaleLabels(Panel3, 683, 4, 180);
    auto* label3 = new TurnedLabel(QStringLiteral("30 Sec Signal/Noise"), Panel3);
    label3->setGeometry(4, 4, 20, 180);
    for (QWidget* w : {static_cast<QWidget*>(label2), static_cast<QWidget*>(label3)}) {
        QFont tf(QStringLiteral("Sans Serif"));
        tf.setPixelSize(16);
        w->setFont(tf);
    }

    Pbar = new QProgressBar(Panel1);
    Pbar->setGeometry(0, 528, 705, 17);
    Pbar->setRange(0, 100);
    Pbar->setTextVisible(false);
    Pbar->setVisible(false);

    Panel4 = new TMMPanel(Panel1);
    Panel4->setGeometry(216, 320, 321, 81);
    Panel4->SetCaption(QStringLiteral("Shutting down please Wait ......."));
    QFont sf = Panel4->font();
    sf.setPixelSize(19);
    sf.setBold(true);
    Panel4->setFont(sf);
    QPalette red = Panel4->palette();
    red.setColor(QPalette::WindowText, clRed);
    Panel4->setPalette(red);
    Panel4->setVisible(false);

    HT2 = new TMMHiTimer(this);
    HT2->SetEnabled(false);
    HT2->SetInterval(100);
    HT2->SetOnTimer([this](QObject*) { HT2Timer(); });
    HT1 = new TMMLongTimer(this);
    HT1->SetEnabled(false);
    HT1->SetOnTimer([this](QObject*) { HT1Timer(); });
    HT3 = std::make_unique<platform::TIntervalTimer>();
    HT3->SetEnabled(false);
    HT3->SetInterval(1000);
    HT3->SetOnTimer([this](platform::TIntervalTimer*) { HT3Timer(); });
    HT4 = std::make_unique<platform::TIntervalTimer>();
    HT4->SetEnabled(false);
    HT4->SetInterval(1000);
    HT4->SetOnTimer([this](platform::TIntervalTimer*) { HT4Timer(); });
}

void TMainForm::BuildChain(const TOptions& options)
{
    (void)options;  // the program installed the capture and mixer back ends
    mvi = new TMMWaveIn(this);
    mvi->setObjectName("mvi");
    mvi->SetBufferSize(4096);
    mvi->SetCallBackMode(cmThread);
    mvi->SetMode(mStereo);
    mvi->SetBitLength(b16Bit);

    c1 = new TMMConnector(this);
    c1->setObjectName("c1");
    c1->SetEnterIdle(false);
    MMEqualizer1 = new TMMEqualizer(this);
    MMEqualizer1->setObjectName("MMEqualizer1");
    MMEqualizer1->SetSampleRate(11025);
    MMEqualizer1->LoadFilterStream(EqualizerStream550To750());
    MMEqualizer2 = new TMMEqualizer(this);
    MMEqualizer2->setObjectName("MMEqualizer2");
    MMEqualizer2->SetSampleRate(11025);
    MMEqualizer2->LoadFilterStream(EqualizerStream700To900());
    MMEqualizer2->SetEnabled(false);
    c2 = new TMMConnector(this);
    c2->setObjectName("c2");
    c2->SetEnterIdle(false);

    c1->SetInput(mvi);
    MMEqualizer1->SetInput(c1);
    MMEqualizer2->SetInput(MMEqualizer1);
    c2->SetInput(MMEqualizer2);
    c1->SetMeter1(MMMeter2);
    c2->SetMeter1(Om);

    MMMixerDevice1 = new TMMMixerDevice(this);
    MMAudioLine1 = new TMMAudioLine(this);
    MMAudioLine1->SetMixer(MMMixerDevice1);
    MMAudioLine1->SetComponentType(ctSrcMicrophone);
    MMAudioLine2 = new TMMAudioLine(this);
    MMAudioLine2->SetMixer(MMMixerDevice1);
    MMAudioLine2->SetComponentType(ctDstWaveIn);
    MMVolumeControl1 = new TMMVolumeControl(this);
    MMVolumeControl1->SetAudioLine(MMAudioLine1);

    inputlevel = new TMMMixerSlider(Panel1);
    inputlevel->setGeometry(7, 140, 322, 18);
    inputlevel->SetControl(MMVolumeControl1);
    inputlevel->SetChannel(chLeft);
    inputlevel->SetSensitivity(-20);
    inputlevel->SetThumbColor(clRed);
    inputlevel->SetHandCursor(true);
    inputlevel->OnChange = [this](QObject*) { inputlevel1Change(); };

    MMMixerBlock1 = new TMMMixerBlock(Panel1);
    MMMixerBlock1->setVisible(false);
    recordlevel = new TMMMixerBlockSlider(MMMixerBlock1, srLeftVolume);
    recordlevel->SetLogarithmic(true);
    MMMixerBlock1->SetLine(MMAudioLine2);
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
    PendingAverage = 35;
    WindowUpdates = 0;
    AverageCount = 0;
    ReadSettings();
    if (IsCalibrated) {
        ShowCalibrated();
        Scope1->SetBaseline(Threshold);
    }
    LineMarker = '*';
    WindowMin = 90;
    WindowMax = 0;
    try {
        mvi->Start();
    } catch (...) {
        // The device's error reaches the user; the window still opens so the
        // logs and charts of earlier runs can be seen.
        platform::HandleCurrentException();
    }
    HT3->SetEnabled(true);
}

void TMainForm::ReadSettings()
{
    if (!QFile::exists(IniPath)) {
        TIniFile create(IniPath);
        Threshold = 30;
        try {
            create.WriteInteger(kSection, "BASEGAIN", MMVolumeControl1->ControlInfo().Steps());
            create.WriteInteger(kSection, "THRESHOLD", 30);
            create.WriteInteger(kSection, "DBCALIBRATE", 35);
            create.WriteString(kSection, "CALIBRATED", "0");
        } catch (...) {
            platform::HandleCurrentException();
        }
    }
    Settings = std::make_unique<TIniFile>(IniPath);
    const bool existed = QFile::exists(IniPath);
    // The thumb first shows what the card holds now: where one element serves
    // both lines, recordlevel has just moved it, and the stored gain must
    // still reach the card.
    inputlevel->UpdatePosition();
    // Without a file (it could not be written) the values a new file would
    // hold are used.
    inputlevel->SetPosition(Settings->ReadInteger(kSection, "BASEGAIN",
                                                  existed ? 0 : MMVolumeControl1->ControlInfo().Steps()));
    Threshold = Settings->ReadInteger(kSection, "THRESHOLD", 30);
    DbCalibrate = Settings->ReadInteger(kSection, "DBCALIBRATE", existed ? 30 : 35);
    IsCalibrated = Settings->ReadBool(kSection, "CALIBRATED", false);
}

namespace {
// Runs `next` when it goes out of scope, also when the stage failed: a log
// that cannot be opened is reported, but measuring still starts.
struct Finally {
    std::function<void()> next;
    ~Finally() { platform::Guarded(next); }
};

// Opens a log for the staged start: rebuilds its chart when it exists, then
// opens it for appending. A log that cannot be opened is left closed (and
// reported by the caller's handler); one that cannot be read back is
// reported and still opened, so no line of this run is lost.
void OpenLog(const QString& path, const std::function<void()>& restore, std::unique_ptr<TTextLog>& slot)
{
    slot = std::make_unique<TTextLog>(path);
    if (slot->Exists()) {
        platform::Guarded(restore);
        slot->OpenAppend();
    } else {
        slot->Create();
    }
}
}  // namespace

void TMainForm::HT3Timer()
{
    HT3->SetEnabled(false);
    Finally next{[this] { HT4->SetEnabled(true); }};
    Scope1->Clear();
    try {
        OpenLog(MeasurePath, [this] { RestoreGraph(); }, MeasureLog);
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
    }};
    Scope2->Clear();
    try {
        OpenLog(Scope2Path, [this] { RestoreGraph2(); }, Scope2Log);
    } catch (...) {
        Scope2Log.reset();
        throw;
    }
}

// ---------------------------------------------------------------------------
// User controls

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
    if (!IsCalibrated)
        return;
    ShowUncalibrated();
    IsCalibrated = false;
}

void TMainForm::MMLED1DblClick()
{
    ShowUncalibrated();
}

// ---------------------------------------------------------------------------
// Measurement cycle and calibration

void TMainForm::HT2Timer()
{
    const double level = Om->RawLevel();
    const int reading = Reading(level);
    D1->SetValue(reading);
    if (Calibrating)
        calibrate(reading);
    AverageCount += 1;
    SecondCount += 1;
    AverageSum += reading;
    SecondSum += reading;
    if (PendingAverage == -1) {
        PendingAverage = AverageSum / AverageCount;
        AverageSum = 0;
        AverageCount = 0;
    }
}

void TMainForm::Scope1Update()
{
    if (MeasureBusy)
        return;
    PendingAverage = -1;
    // The next 100 ms tick delivers the average; closing the window ends the
    // wait, since no tick will come any more.
    while (PendingAverage == -1) {
        if (ShuttingDown || closed_)
            return;
        platform::TheClock().ProcessMessages();
    }
    WindowUpdates += 1;
    const int avg = PendingAverage;
    if (avg > WindowMax)
        WindowMax = avg;
    if (avg < WindowMin) {
        WindowMin = avg;
        LastMin = avg;
    }
    if (WindowUpdates == 1)
        PendingAverage = LastMin;
    Plotscope(Scope1, PendingAverage, LastMin);
}

void TMainForm::Plotscope(TScope* scope, int a, int b)
{
    scope->SetPositionA(100 - (a * 100 / 70));
    scope->SetPositionB(101 - (b * 100 / 70));
}

void TMainForm::Scope2Update()
{
    if (ShuttingDown || Scope2Restoring)
        return;
    Scope2->SetPositionA(100 - (WindowMin * 100 / 70));
    Scope2->SetPositionB(100 - (WindowMax * 100 / 70));
    // A failing log must not keep the window from starting a new one.
    const int windowMin = WindowMin;
    const int windowMax = WindowMax;
    WindowMin = 90;
    WindowMax = 0;
    WindowUpdates = 0;
    if (Scope2Log)
        Scope2Log->AppendLine(Scope2Line(windowMin, windowMax));
    if (!ShuttingDown) {
        if (Scope2Log)
            Scope2Log->Flush();
        if (MeasureLog)
            MeasureLog->Flush();
    }
}

void TMainForm::CalButtonClick()
{
    Om->SetDecay(1);
    HT2->SetEnabled(false);
    inputlevel->SetPosition(MMVolumeControl1->ControlInfo().Steps());
    IsCalibrated = false;
    HT2->SetEnabled(true);
    Calibrating = true;
}

void TMainForm::calibrate(int reading)
{
    const int p = inputlevel->Position() - 1;
    try {
        inputlevel->SetPosition(p);
    } catch (...) {
        // A mixer that fails is reported once, not at every tick.
        Calibrating = false;
        throw;
    }
    platform::TheClock().Sleep(75);
    if (p <= 1) {
        Calibrating = false;
        return;
    }
    if (reading + 6 >= DbCalibrate) {
        inputlevel->SetPosition(p);
        Calibrating = false;
        IsCalibrated = true;
        ShowCalibrated();
        Threshold = 100 - (DbCalibrate * 100 / 70);
        Om->SetDecay(16);
    }
}

// ---------------------------------------------------------------------------
// Logs

void TMainForm::HT1Timer()
{
    const QDateTime now = platform::TheClock().WallTime();
    const QString time = TimeText(now);
    MMLabel4->setText(time);
    const QString date = DateText(now);
    MeasureBusy = true;
    // The chart goes on even when the disk fails: the flag is cleared on
    // every way out.
    struct ClearBusy {
        bool& flag;
        ~ClearBusy() { flag = false; }
    } clearBusy{MeasureBusy};
    const bool write = !ShuttingDown && SecondCount != 0;
    const QString line = MeasureLine(LineMarker, time, date, SecondCount != 0 ? SecondSum / SecondCount : 0, LastMin);
    SecondCount = 0;
    SecondSum = 0;
    if (write) {
        if (OnMeasureLine)
            OnMeasureLine(line);
        // A line that could not be written leaves the marker for the next.
        if (MeasureLog)
            MeasureLog->AppendLine(line);
    }
    LineMarker = ' ';
    if (!ShuttingDown && MeasureLog)
        MeasureLog->Flush();
}

void TMainForm::RestoreGraph()
{
    if (!MeasureLog || !MeasureLog->Exists())
        return;
    std::int16_t groupCount = 0;
    int groupSum = 0;
    MeasureBusy = true;
    struct ClearBusy {
        bool& flag;
        ~ClearBusy() { flag = false; }
    } clearBusy{MeasureBusy};
    // An unreadable mean stands for the last readable one (90, silence,
    // before any); an unreadable minimum counts as "no minimum yet".
    int lastMean = 90;
    const QStringList lines = MeasureLog->ReadLines();
    for (const QString& line : lines) {
        if (line.size() != 25)
            continue;
        int a = lastMean;
        int b = 0;
        if (ParseField(line.mid(20, 2), a))
            lastMean = a;
        else
            a = lastMean;
        if (!ParseField(line.mid(23, 2), b))
            b = 0;
        if (b == 0)
            b = a;
        groupSum += a;
        groupCount += 1;
        if (groupCount == 5) {
            groupCount = 0;
            Scope1->Plot(100 - ((groupSum / 5) * 100 / 70), 100 - (b * 100 / 70));
            groupSum = 0;
        }
    }
}

void TMainForm::RestoreGraph2()
{
    Scope2Restoring = true;
    struct ClearRestoring {
        bool& flag;
        ~ClearRestoring() { flag = false; }
    } clear{Scope2Restoring};
    const QStringList lines = Scope2Log->ReadLines();
    for (const QString& line : lines) {
        int min = 25;
        int max = 60;
        if (!ParseField(line.mid(0, 2), min))
            min = 25;
        if (!ParseField(line.mid(3, 2), max))
            max = 60;
        Scope2->Plot(100 - (min * 100 / 70), 100 - (max * 100 / 70));
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
    ShuttingDown = true;
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
    try {
        if (MeasureLog)
            MeasureLog->Close();
    } catch (...) {
    }
    try {
        if (Scope2Log)
            Scope2Log->Close();
    } catch (...) {
    }
    Settings.reset();
    mvi->Close();
}

void TMainForm::WriteSettings()
{
    if (!Settings)
        return;
    // Without a usable gain control (no card) the slider holds no gain: the
    // one stored for the card is kept.
    if (MMVolumeControl1->IsValid())
        Settings->WriteInteger(kSection, "BASEGAIN", inputlevel->Position());
    Settings->WriteBool(kSection, "CALIBRATED", IsCalibrated);
    Settings->WriteInteger(kSection, "THRESHOLD", Threshold);
}

}  // namespace zol
