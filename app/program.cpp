#include "app/program.h"

#include "app/capturekeeper.h"

#include "app/cmdline.h"
#include "app/stationrun.h"
#include "app/eclipsepath.h"
#include "app/inifile.h"
#include "app/zolu.h"
#include "chain/wavein.h"
#include "platform/clock.h"
#include "platform/mixerbackend.h"
#include "platform/wavein_device.h"
#include "platform/wavein_sources.h"
#include "platform/window_thread.h"
#include "resources/icon.h"
#include "timers/longtimer.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QSocketNotifier>

#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
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

// Makes the working folder and its parents; says so when it made one.
// Returns false (with the reason printed) when it cannot be used.
bool PrepareFolder(const QString& path)
{
    const QString absolute = QDir(path).absolutePath();
    QString made;
    for (int i = absolute.indexOf('/', 1); ; i = absolute.indexOf('/', i + 1)) {
        const QString part = i < 0 ? absolute : absolute.left(i);
        const QByteArray name = QFile::encodeName(part);
        struct stat st {};
        if (::stat(name.constData(), &st) != 0) {
            if (::mkdir(name.constData(), 0777) != 0 && errno != EEXIST) {
                Print(stderr, QStringLiteral("zol: cannot make the folder %1: %2\n")
                                  .arg(part, QString::fromLocal8Bit(std::strerror(errno))));
                return false;
            }
            made = part;
        } else if (!S_ISDIR(st.st_mode)) {
            Print(stderr, QStringLiteral("zol: cannot use the folder %1: %2\n")
                              .arg(absolute, QString::fromLocal8Bit(std::strerror(ENOTDIR))));
            return false;
        }
        if (i < 0)
            break;
    }
    if (!made.isEmpty())
        Print(stderr, QStringLiteral("zol: created the folder %1 for zol.ini, measure.txt and scope2.txt\n").arg(absolute));
    return true;
}

// --eclipse: the report for the path of the working folder's zol.ini. Reads
// only; nothing is created.
int PrintEclipse(const TOptions& options)
{
    const QString iniPath = QDir(options.workdir.isEmpty() ? QStringLiteral(".") : options.workdir)
                                .absoluteFilePath(QStringLiteral("zol.ini"));
    const TIniFile ini(iniPath);
    const TEclipseReport report = EclipseReport(ReadPathEnds(ini), options.eclipse, iniPath);
    if (!report.error.isEmpty()) {
        Print(stderr, "zol: " + report.error + "\n");
        return 2;
    }
    Print(stdout, report.text);
    return 0;
}

// SIGINT and SIGTERM close the window as the user would.
void CloseOnSignals(TMainForm& form, std::unique_ptr<QSocketNotifier>& notifier)
{
    if (::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    notifier = std::make_unique<QSocketNotifier>(gSignalPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, &form, [&form] {
        char buffer[16];
        while (::read(gSignalPipe[0], buffer, sizeof buffer) > 0) {
        }
        form.close();
    });
}

// What one run of the window needs from the command line and the source.
struct TRun {
    explicit TRun(const TOptions& o) : options(o) {}
    const TOptions& options;
    std::shared_ptr<platform::WaveInBackend> source;
    platform::SimClock* sim = nullptr;
    bool measuring = false;
    int errors = 0;
};

// A replayed recording: held back until measuring begins, so its first
// second is measured (in --fast the log's times are then the recording's
// own); the log's seconds start over with it, so they cover the same parts
// of the recording however long the start took in real time. Once it has
// been played, the window finishes its last second and its last 30-second
// window, and closes.
platform::TimerId WatchRecording(TMainForm& form, TRun& run)
{
    if (!run.options.WavInput())
        return 0;
    platform::HoldWavFile(run.source, true);
    const QDateTime recorded = run.sim != nullptr ? platform::WavRecordingStart(run.options.input) : QDateTime();
    form.OnMeasuringStarted = [&form, &run, recorded] {
        run.measuring = true;
        if (run.sim != nullptr && recorded.isValid())
            run.sim->SetWallTime(recorded);
        TMMLongTimer::RestartSharedSecond();
        platform::HoldWavFile(run.source, false);
        if (run.options.calibrate)
            platform::Guarded([&] { form.CalButtonClick(); });
    };
    return platform::TheClock().StartPeriodic(50000, [&form, &run] {
        platform::PostToWindow(
            [&form, &run] {
                if (run.measuring && platform::WavFileEnded(run.source))
                    form.EndOfInput();
            },
            &run);
    });
}

// Reports errors (a box, or a line on standard error headless) and counts
// them for the exit code; tells of a capture device that records again.
void InstallReporters(TMainForm& form, TRun& run)
{
    const TOptions& options = run.options;
    platform::ErrorReporter show;
    if (options.headless) {
        // One line a message: the line breaks after a failing call's name
        // become blanks.
        show = [](const QString& message) {
            Print(stderr, "zol: " + QString(message).replace(QStringLiteral("\n\r"), QStringLiteral(" ")) + "\n");
        };
        form.OnMeasureLine = [](const QString& line) { Print(stdout, line + "\n"); };
    } else {
        show = [&form](const QString& message) { QMessageBox::critical(&form, QStringLiteral("zol"), message); };
    }
    // Every error reported makes the run's exit code 1.
    platform::SetErrorReporter([&run, show](const QString& message) {
        ++run.errors;
        show(message);
    });
    // A capture device that records again after it was missing is good
    // news, not an error: told without a box to click away.
    form.Capture->OnRecovered = [&form, headless = options.headless](const QString& message) {
        if (headless) {
            Print(stderr, "zol: " + message + "\n");
            return;
        }
        auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("zol"), message, QMessageBox::Ok, &form);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setModal(false);
        box->show();
    };
}

// Closes the window when the --duration is up (0: no timer).
platform::TimerId StartDuration(TMainForm& form, TRun& run)
{
    if (run.options.duration <= 0)
        return 0;
    return platform::TheClock().StartOneShot(static_cast<std::int64_t>(run.options.duration * 1e6), [&form, &run] {
        platform::PostToWindow(
            [&form, &run] {
                if (!run.measuring)
                    Print(stderr, QStringLiteral("zol: the --duration of %1 s ended before measuring began: "
                                                 "nothing was logged\n")
                                      .arg(run.options.duration));
                form.close();
            },
            &run);
    });
}

// Runs the window until it has closed; returns the exit code.
int RunWindow(QApplication& app, TRun& run)
{
    const TOptions& options = run.options;
    TMainForm form(options);
    InstallReporters(form, run);
    bool done = false;
    form.OnClosed = [&] {
        done = true;
        QCoreApplication::quit();
    };
    form.OnMeasuringStarted = [&] {
        run.measuring = true;
        if (options.calibrate)
            platform::Guarded([&] { form.CalButtonClick(); });
    };
    const platform::TimerId watch = WatchRecording(form, run);
    std::unique_ptr<QSocketNotifier> notifier;
    CloseOnSignals(form, notifier);
    const platform::TimerId duration = StartDuration(form, run);

    // In simulated time the capture thread would only be handed each buffer
    // and waited for: the buffers are handled where they are delivered.
    if (run.sim != nullptr)
        form.mvi->SetInlineBuffers(true);
    TStationRun station(form, options);
    // A headless run is seen by no one: the window is not shown, so its
    // displays compute what the measurement needs but draw nothing (unless
    // it is to be pictured).
    if (options.headless && options.snapshotEvery <= 0)
        form.FeedMeasurementOnly();
    else
        form.show();
    platform::Guarded([&] { form.FormCreate(); });
    platform::Guarded([&] { station.Started(); });
    if (run.sim != nullptr) {
        while (!done)
            run.sim->AdvanceMs(20);
    } else if (!done) {
        app.exec();
    }
    station.FinishRecording();
    platform::TheClock().KillTimer(watch);
    platform::TheClock().KillTimer(duration);
    platform::RemovePostedMessages(&run);
    platform::SetErrorReporter(nullptr);
    return run.errors > 0 ? 1 : 0;
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
    if (!options.eclipse.isNull())
        return PrintEclipse(options);
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

    QApplication app(argc, argv);
    QApplication::setWindowIcon(ProgramIcon());
    platform::InitWindowThread();
    TRun run(options);
    if (options.fast) {
        // A replayed recording is logged with the times it was recorded at
        // (set when measuring begins); the simulated receiver with now.
        auto clock = std::make_unique<platform::SimClock>(QDateTime::currentDateTime());
        run.sim = clock.get();
        platform::InstallClock(std::move(clock));
    }

    // The capture source and the mixer the command line names. A source that
    // cannot be used (a missing or unsupported file) ends the program with
    // its reason before anything is written.
    try {
        run.source = platform::MakeWaveInBackend(options.input);
        platform::SetWaveInBackend(run.source);
        platform::InstallMixer(platform::CreateMixerBackend(options.mixer));
    } catch (const std::exception& e) {
        Print(stderr, QStringLiteral("zol: %1\n").arg(QString::fromStdString(e.what())));
        return 2;
    }
    if (!options.workdir.isEmpty() && !PrepareFolder(options.workdir))
        return 2;
    return RunWindow(app, run);
}

}  // namespace zol
