// The form description of the main window: its components with their
// settings and places, panel by panel, and the sound-processing chain.
#include "app/zolu.h"

#include "app/capturekeeper.h"

#include "chain/connector.h"
#include "app/filterpresets.h"
#include "chain/equalizer.h"
#include "chain/wavein.h"
#include "controls/designer.h"
#include "controls/label.h"
#include "controls/mmcontrols.h"
#include "controls/panelfill.h"
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
#include "platform/errors.h"
#include "platform/intervaltimer.h"
#include "resources/bitmaps.h"
#include "timers/hitimer.h"
#include "timers/longtimer.h"

#include <QGuiApplication>
#include <QLabel>
#include <QFontMetrics>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

#include <algorithm>

namespace zol {

namespace {

const QColor kLampOff(0x80, 0x40, 0x40);
const QColor kLampOffered(0x80, 0x00, 0x40);

// A chart's side label: turned 90 degrees, reading upwards, centred along
// the chart whose top is at `top` and which is `height` high.
TMMLabel* MakeChartLabel(QWidget* parent, const QString& caption, int top, int height)
{
    auto* label = new TMMLabel(parent);
    QFont f(QStringLiteral("Tahoma"));
    f.setPixelSize(16);
    label->setFont(f);
    label->SetCaption(caption);
    label->SetAngle(90);
    const QFontMetrics metrics(f);
    const int e = 2 * (label->Margin() + label->BevelExtent());
    const int length = std::min(metrics.horizontalAdvance(caption) + e, height);
    label->setGeometry(3, top + (height - length) / 2, metrics.height() + e, length);
    return label;
}

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
        const int fromTop = 100 - TMeasurement::ChartPosition(i * 10);
        const int y = std::min(top + height * fromTop / 100 - 7, top + height - 14);
        auto* label = MakeLabel(parent, QStringLiteral("-%1").arg(i * 10), QRect(left, y, 22, 14));
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
}

}  // namespace

void TMainForm::BuildWindow()
{
    BuildFrame();
    BuildMeters();
    BuildAnalysers();
    BuildControls();
    BuildSwitches();
    BuildHeader();
    BuildCharts();
    BuildShutdownPanel();
    BuildTimers();
    BuildDesigner();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

// The window and the grey panel that holds almost everything.
void TMainForm::BuildFrame()
{
    resize(719, 575);
    setFixedSize(719, 575);
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
}

// The two level meters and the dB read-out over the after-filter meter.
void TMainForm::BuildMeters()
{
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
}

// The oscilloscope and the spectrum analyser with their gain sliders, and
// the marker line over the analyser.
void TMainForm::BuildAnalysers()
{
    Oscillo = new TMMOscope(Panel1);
    Oscillo->setObjectName("Oscillo");
    Oscillo->setGeometry(328, 1, 176, 130);
    Oscillo->SetKind(okConLines);
    Oscillo->SetAccelerate(false);
    Oscillo->SetForegroundColor(clLime);
    Oscillo->SetScaleTextColor(clWhite);
    Oscillo->SetScaleLineColor(clWhite);
    Oscillo->SetBitLength(b16Bit);
    Oscillo->SetMode(mStereo);
    Oscillo->SetGain(20);
    Oscillo->SetDrawGrid(true);
    Oscillo->SetFFTLength(512);

    // The form sets the position before the handler is bound: the
    // oscilloscope keeps its gain of 20 until the slider is moved.
    scopegain = new TMMSlider(Panel1);
    scopegain->setObjectName("scopegain");
    scopegain->setGeometry(311, 4, 13, 132);
    scopegain->SetOrientation(orVertical);
    scopegain->SetMaxValue(32);
    scopegain->SetPosition(32);
    scopegain->OnChange = [this](QObject*) { ScopegainChange(); };

    // The spectrum analyser and its gain slider.
    Spectrum = new TMMSpectrum(Panel1);
    Spectrum->setObjectName("Spectrum");
    Spectrum->setGeometry(527, 3, 176, 126);
    Spectrum->SetDrawGrid(true);
    Spectrum->SetSpotSpace(0);
    Spectrum->SetInactive1Color(clBlack);
    Spectrum->SetInactive2Color(clBlack);
    Spectrum->SetInactive3Color(clBlack);
    Spectrum->SetScaleTextColor(clWhite);
    Spectrum->SetScaleLineColor(clWhite);
    Spectrum->SetPoint2(75);
    Spectrum->SetMode(mStereo);
    Spectrum->SetBitLength(b16Bit);
    Spectrum->SetRefFreq(50);
    Spectrum->SetGain(sg12db);
    Spectrum->SetFFTLength(1024);
    Spectrum->SetKind(skLines);
    Spectrum->SetWindow(fwGaussian);
    Spectrum->SetVerticalScale(20);
    Spectrum->SetPeakDelay(10);

    spectrgain = new TMMSlider(Panel1);
    spectrgain->setObjectName("spectrgain");
    spectrgain->setGeometry(508, 4, 15, 129);
    spectrgain->SetOrientation(orVertical);
    spectrgain->SetMaxValue(5);
    spectrgain->SetPosition(5);
    spectrgain->OnChange = [this](QObject*) { SpectrgainChange(); };

    // The marker line stands over the analyser.
    Panel2 = new TMMPanel(Panel1);
    Panel2->Bevel().SetBevelOuter(bvNone);
    Panel2->SetColor(clWhite);
    Panel2->setGeometry(549, 5, 1, 125);
    Panel2->raise();
}

// The source switches over the lower right corners of the oscilloscope and
// the spectrum analyser: up feeds the display before the filter, down
// (position 1, as at start) after it.
void TMainForm::BuildSwitches()
{
    const QImage knobs = LoadBitmapResource(QStringLiteral("SOURCE_SWITCH"));
    auto make = [&](const char* name, int left, void (TMainForm::*handler)()) {
        auto* sw = new TMMSwitch(Panel1);
        sw->setObjectName(name);
        sw->BeginLoading();
        sw->setGeometry(left, 105, 20, 24);
        sw->SetKind(skVertical);
        sw->SetGlyph(knobs);
        sw->SetNumGlyphs(3);
        sw->SetNumPositions(2);
        sw->SetPosition(1);
        sw->setToolTip(QStringLiteral("UP=Before filter DOWN = After filter"));
        sw->Loaded();
        sw->raise();
        sw->OnChange = [this, handler](QObject*) { (this->*handler)(); };
        return sw;
    };
    ScopeSw = make("ScopeSw", 482, &TMainForm::ScopeSwChange);
    SpectrumSw = make("SpectrumSw", 683, &TMainForm::SpectrumSwChange);
}

// Band selection, the calibration button and its lamp.
void TMainForm::BuildControls()
{
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
}

// The credits line and the time of day.
void TMainForm::BuildHeader()
{
    MMLabel1 = new TMMLabel(Panel1);
    MMLabel1->setObjectName("MMLabel1");
    MMLabel1->setGeometry(0, 1, 209, 24);
    MMLabel1->SetCaption(QStringLiteral("zol eclipse log"));
    MMLabel4 = new TMMLabel(Panel1);
    MMLabel4->setObjectName("MMLabel4");
    MMLabel4->setGeometry(208, 1, 97, 24);
    MMLabel4->SetAlignment(taCenter);
    for (TMMLabel* l : {MMLabel1, MMLabel4}) {
        QFont lf(QStringLiteral("Times New Roman"));
        lf.setPixelSize(19);
        lf.setBold(true);
        l->setFont(lf);
    }
}

// The two strip charts with their frames, scale marks and side labels.
void TMainForm::BuildCharts()
{
    // The 5-second chart and its frame.
    MMPanelFill1 = new TMMPanelFill(Panel1);
    MMPanelFill1->setObjectName("MMPanelFill1");
    MMPanelFill1->setGeometry(5, 169, 703, 187);
    Scope1 = new TScope(MMPanelFill1);
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
    AddScaleLabels(MMPanelFill1, 682, 3, 180);
    MMLabel2 = MakeChartLabel(MMPanelFill1, QStringLiteral("5 sec Signal view"), 3, 180);
    MMLabel2->setObjectName("MMLabel2");

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
    MMLabel3 = MakeChartLabel(Panel3, QStringLiteral("30 Sec Signal/Noise"), 4, 180);
    MMLabel3->setObjectName("MMLabel3");
}

// The shut-down progress bar and message, hidden until closing.
void TMainForm::BuildShutdownPanel()
{
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
}

// The measurement, log and staged-start timers.
void TMainForm::BuildTimers()
{
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

// The designer: in the running program it sets the client height.
void TMainForm::BuildDesigner()
{
    MMDesigner1 = new TMMDesigner(this);
    MMDesigner1->setObjectName("MMDesigner1");
    MMDesigner1->BeginLoading();
    MMDesigner1->SetUpdate(false);
    MMDesigner1->SetRuntimeHeight(570);
    MMDesigner1->Loaded();
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
    Capture = std::make_unique<TCaptureKeeper>(*mvi);

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
    c2->SetOscope1(Oscillo);
    c2->SetSpectrum1(Spectrum);

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

}  // namespace zol
