// Demonstration of the level meter fed through a display connector: the
// capture source (the simulated receiver by default: a fading carrier in the
// 550-750 Hz band with noise; 16-bit stereo at 11025 Hz, 4096-byte buffers,
// capture thread) -> TMMConnector -> two TMMMeter, and a strip chart of the
// level in dB.
//
//   zol [--input sim|default|<ALSA PCM>|<file.wav>] [--shot <file.png> [--after <ms>]]
#include "chain/connector.h"
#include "chain/wavein.h"
#include "displays/meter.h"
#include "displays/scope.h"
#include "platform/clock.h"
#include "platform/errors.h"
#include "platform/wavein_device.h"
#include "platform/window_thread.h"

#include <QApplication>
#include <QImage>
#include <QTimer>
#include <QWidget>

#include <cmath>
#include <cstdio>

using namespace zol;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    platform::InitWindowThread();
    QString shot;
    QString inputName = "sim";
    int afterMs = 3000;
    for (int i = 1; i + 1 < argc; ++i) {
        if (QString(argv[i]) == "--shot")
            shot = argv[++i];
        else if (QString(argv[i]) == "--input")
            inputName = argv[++i];
        else if (QString(argv[i]) == "--after")
            afterMs = QString(argv[++i]).toInt();
    }

    QWidget window;
    window.setWindowTitle("zol level meter");
    window.resize(340, 250);
    window.setStyleSheet("background-color: #999999");

    auto* input = new TMMMeter(&window);
    input->setGeometry(8, 8, 149, 99);
    input->SetCaption("Input Level");
    input->SetColor(clNavy);
    input->SetScaleAngle(70);
    input->SetScaleTicks(36);
    input->SetScaleTicksEnlargeEvery(5);
    input->SetScaleTicksTextEvery(5);
    input->SetSensitivy(-70);

    auto* after = new TMMMeter(&window);
    after->setGeometry(165, 8, 149, 99);
    after->SetCaption("After Filter");
    after->SetColor(clNavy);
    after->SetScaleAngle(70);
    after->SetScaleTicks(36);
    after->SetScaleTicksEnlargeEvery(5);
    after->SetScaleTicksTextEvery(5);
    after->SetTopSpace(15);
    after->SetSamples(100);
    after->SetSensitivy(-70);
    after->SetDecayMode(dmUniform);
    after->SetDecay(10);
    after->SetPeakSpeed(1);
    after->SetPeakDelay(10);

    auto* chart = new TScope(&window);
    chart->setGeometry(8, 115, 306, 120);
    chart->SetGridsize(4);
    chart->SetColor(QColor(0xFF, 0xD2, 0xD2));
    chart->SetGridcolor(QColor(0xFF, 0xB0, 0xB0));
    chart->SetLinecolorA(clNavy);
    chart->SetLinecolorB(clRed);
    chart->SetInterval(10);
    chart->Clear();
    chart->OnUpdate = [after, chart](QObject*) {
        const int v = std::max<int>(after->RawLevel(), 1);
        const int reading = static_cast<int>(20 * std::log10(32768.0 / v));
        chart->SetPositionA(100 - reading * 100 / 70);
        chart->SetPositionB(after->Value());
    };

    std::shared_ptr<platform::WaveInBackend> backend;
    try {
        backend = platform::MakeWaveInBackend(inputName);
    } catch (const EMMError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    TMMWaveIn source(nullptr, backend);
    source.SetBufferSize(4096);
    source.SetCallBackMode(cmThread);
    source.SetMode(mStereo);
    source.SetBitLength(b16Bit);
    TMMConnector connector;
    connector.SetEnterIdle(false);
    source.SetOutput(&connector);
    connector.SetMeter1(input);
    connector.SetMeter2(after);

    window.show();
    try {
        source.Start();
    } catch (const EMMError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    chart->SetActive(true);

    if (!shot.isEmpty()) {
        QTimer::singleShot(afterMs, [&] {
            window.grab().toImage().save(shot);
            app.quit();
        });
    }
    const int rc = app.exec();
    chart->SetActive(false);
    source.Close();
    return rc;
}
