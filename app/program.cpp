#include "app/program.h"

#include "app/cmdline.h"
#include "app/zolu.h"
#include "platform/clock.h"
#include "platform/mixerbackend.h"
#include "platform/wavein_device.h"
#include "platform/wavein_sources.h"
#include "platform/window_thread.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace zol {

namespace {
int gSignalPipe[2] = {-1, -1};

void OnSignal(int)
{
    const char c = 1;
    [[maybe_unused]] ssize_t n = ::write(gSignalPipe[1], &c, 1);
}

void Print(FILE* stream, const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}
}  // namespace

int RunZol(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    TOptions options = ParseCommandLine(arguments);
    if (!options.error.isEmpty()) {
        Print(stderr, "zol: " + options.error + "\n");
        return 2;
    }
    if (options.help) {
        Print(stdout, HelpText());
        return 0;
    }
    if (options.version) {
        Print(stdout, VersionText() + "\n");
        return 0;
    }
    // Without a screen (or on the off-screen platform) zol runs headless.
    if (!options.headless) {
        if (qgetenv("QT_QPA_PLATFORM") == "offscreen") {
            options.headless = true;
        } else if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
            Print(stderr, "zol: no display found, running headless\n");
            options.headless = true;
        }
    }
    if (options.headless)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!options.workdir.isEmpty() && !QDir().mkpath(options.workdir)) {
        Print(stderr, "zol: cannot use the folder " + options.workdir + "\n");
        return 2;
    }

    QApplication app(argc, argv);
    platform::InitWindowThread();
    platform::SimClock* sim = nullptr;
    if (options.fast) {
        // A replayed recording is logged with the times it was recorded at.
        QDateTime start = options.WavInput() ? platform::WavRecordingStart(options.input) : QDateTime();
        if (!start.isValid())
            start = QDateTime::currentDateTime();
        auto clock = std::make_unique<platform::SimClock>(start);
        sim = clock.get();
        platform::InstallClock(std::move(clock));
    }

    // The capture source and the mixer the command line names. A source that
    // cannot be used (a missing or unsupported file) ends the program with
    // its reason before anything is written.
    std::shared_ptr<platform::WaveInBackend> source;
    try {
        source = platform::MakeWaveInBackend(options.input);
        platform::SetWaveInBackend(source);
        platform::InstallMixer(platform::CreateMixerBackend(options.mixer));
    } catch (const std::exception& e) {
        Print(stderr, QStringLiteral("zol: %1\n").arg(QString::fromStdString(e.what())));
        return 2;
    }

    TMainForm form(options);
    if (options.headless) {
        platform::SetErrorReporter([](const QString& message) { Print(stderr, "zol: " + message + "\n"); });
        form.OnMeasureLine = [](const QString& line) { Print(stdout, line + "\n"); };
    } else {
        platform::SetErrorReporter([&form](const QString& message) {
            QMessageBox::critical(&form, QStringLiteral("zol"), message);
        });
    }
    bool done = false;
    form.OnClosed = [&] {
        done = true;
        QCoreApplication::quit();
    };
    form.OnMeasuringStarted = [&] {
        if (options.calibrate)
            platform::Guarded([&] { form.CalButtonClick(); });
    };

    // SIGINT and SIGTERM close the window as the user would.
    if (::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        struct sigaction action {};
        action.sa_handler = OnSignal;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGINT, &action, nullptr);
        ::sigaction(SIGTERM, &action, nullptr);
    }
    QSocketNotifier notifier(gSignalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &form, [&form] {
        char buffer[16];
        while (::read(gSignalPipe[0], buffer, sizeof buffer) > 0) {
        }
        form.close();
    });

    if (options.duration > 0) {
        platform::TheClock().StartOneShot(static_cast<std::int64_t>(options.duration * 1e6), [&form] {
            platform::PostToWindow([&form] { form.close(); });
        });
    }

    form.show();
    platform::Guarded([&] { form.FormCreate(); });
    if (sim != nullptr) {
        // A replayed recording ends the run when it is used up (plus a few
        // seconds, so the last second and window reach the logs).
        std::int64_t endedAtMs = -1;
        while (!done) {
            sim->AdvanceMs(20);
            if (options.WavInput() && endedAtMs < 0 && platform::WavFileEnded(source))
                endedAtMs = sim->NowMs();
            if (endedAtMs >= 0 && sim->NowMs() - endedAtMs >= 2000 && !form.Closed())
                form.close();
        }
    } else if (!done) {
        app.exec();
    }
    return 0;
}

}  // namespace zol
