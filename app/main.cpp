// Demonstration of the level meter fed through a display connector: a tone
// source (a slowly fading 650 Hz carrier with noise, 16-bit stereo at
// 11025 Hz, 4096-byte buffers delivered in real time from a timer thread)
// -> TMMConnector -> two TMMMeter, and a strip chart of the level.
//
//   zol [--shot <file.png> [--after <ms>]]
#include "chain/connector.h"
#include "displays/meter.h"
#include "displays/scope.h"
#include "platform/clock.h"
#include "platform/window_thread.h"

#include <QApplication>
#include <QImage>
#include <QTimer>
#include <QWidget>

#include <cmath>
#include <random>
#include <vector>

namespace {

using namespace zol;

class ToneSource : public TMMCustomSoundComponent {
public:
    ToneSource()
    {
        MakePcmFormat(format_, 16, 2, 11025);
        SetBufferSize(4096);
        block_.assign(kWaveHdrArea + 4096, 0);
        hdr_ = reinterpret_cast<WAVEHDR*>(block_.data());
        hdr_->lpData = block_.data() + kWaveHdrArea;
        hdr_->dwBufferLength = 4096;
    }
    ~ToneSource() override { Close(); }
    bool HasLinkProperty(const QString& name) const override { return name == "Output"; }

    void Open()
    {
        SetWaveFormat(&format_);
        NotifyOpen();
        NotifyStart();
        const std::int64_t periodUs = 4096LL * 1000000 / format_.nAvgBytesPerSec;
        timer_ = platform::TheClock().StartPeriodic(periodUs, [this] { Fill(); });
    }
    void Close()
    {
        if (timer_ == 0)
            return;
        platform::TheClock().KillTimer(timer_);
        timer_ = 0;
        NotifyStop();
        NotifyClose();
    }

private:
    void Fill()
    {
        auto* s = reinterpret_cast<std::int16_t*>(hdr_->lpData);
        for (int i = 0; i < 1024; ++i, ++n_) {
            const double t = n_ / 11025.0;
            const double fade = 0.55 + 0.45 * std::sin(2 * M_PI * t / 6.0);
            const double v = 20000 * fade * std::sin(2 * M_PI * 650 * t) + noise_(rng_);
            s[2 * i] = s[2 * i + 1] = static_cast<std::int16_t>(std::clamp(v, -32768.0, 32767.0));
        }
        hdr_->dwBytesRecorded = 4096;
        BufferReady(hdr_);
    }

    WAVEFORMATEX format_{};
    std::vector<char> block_;
    WAVEHDR* hdr_ = nullptr;
    platform::TimerId timer_ = 0;
    long n_ = 0;
    std::mt19937 rng_{1};
    std::normal_distribution<double> noise_{0.0, 300.0};
};

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    platform::InitWindowThread();
    QString shot;
    int afterMs = 3000;
    for (int i = 1; i + 1 < argc; ++i) {
        if (QString(argv[i]) == "--shot")
            shot = argv[++i];
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

    ToneSource source;
    TMMConnector connector;
    connector.SetEnterIdle(false);
    source.SetOutput(&connector);
    connector.SetMeter1(input);
    connector.SetMeter2(after);

    window.show();
    source.Open();
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
