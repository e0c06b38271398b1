// Capture through ALSA from a private PulseAudio server whose default source
// is a 650 Hz sine (tools/pulse-env.sh). Skipped unless ZOL_PULSE or CI is
// set.
#include "chain/wavein.h"
#include "platform/clock.h"
#include "platform/wavein_alsa.h"
#include "tests/support/test_support.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace zol;
namespace pf = zol::platform;

namespace {

bool PulseWanted()
{
    return std::getenv("ZOL_PULSE") != nullptr || std::getenv("CI") != nullptr;
}

// The ALSA configuration that sends "default" to PulseAudio, unless the
// test script has set one up already.
void EnsureAlsaConfig(const QString& dir)
{
    if (std::getenv("ALSA_CONFIG_PATH") != nullptr)
        return;
    QFile conf(dir + "/asound.conf");
    if (conf.open(QIODevice::WriteOnly))
        conf.write("pcm.!default { type pulse }\nctl.!default { type pulse }\n");
    conf.close();
    const QByteArray path = "/usr/share/alsa/alsa.conf:" + QFile::encodeName(conf.fileName());
    setenv("ALSA_CONFIG_PATH", path.constData(), 1);
}

// Starts a program with extra environment variables and its output sent to
// /dev/null. Plain fork and exec: a process spawned through QProcess leaves
// the thread sanitizer unable to see this process's later locking.
pid_t Spawn(const QStringList& args, const QStringList& extraEnv)
{
    std::vector<std::string> strings;
    for (const QString& a : args)
        strings.push_back(a.toStdString());
    // The extra variables replace those of the same name (the shared
    // server's PULSE_SERVER must not reach a helper of the private one).
    std::vector<std::string> names;  // "NAME="
    for (const QString& e : extraEnv)
        names.push_back(e.left(e.indexOf('=') + 1).toStdString());
    std::vector<std::string> envStrings;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry(*e);
        if (std::none_of(names.begin(), names.end(), [&](const std::string& n) { return entry.rfind(n, 0) == 0; }))
            envStrings.push_back(entry);
    }
    for (const QString& e : extraEnv)
        envStrings.push_back(e.toStdString());
    std::vector<char*> argv, envp;
    for (auto& a : strings)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : envStrings)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 1);
        ::dup2(null, 2);
        execvpe(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    return pid;
}

// Waits up to `ms` for the child to end; true when it ended with status 0.
bool Reap(pid_t pid, int ms)
{
    for (int waited = 0; pid > 0 && waited <= ms; waited += 10) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        pf::WaitUntil([] { return false; }, 10);
    }
    return false;
}

// A PulseAudio server of this test alone (same recipe as tools/pulse-env.sh).
class PrivatePulse {
public:
    bool Start()
    {
        if (!dir_.isValid())
            return false;
        QDir(dir_.path()).mkpath("run");
        pid_ = Spawn({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--disable-shm=yes",
                      "--use-pid-file=no", "--system=no", "-L",
                      "module-native-protocol-unix socket=" + dir_.path() + "/native auth-anonymous=1", "-L",
                      "module-null-sink channels=1", "-L", "module-sine sink=null frequency=650",
                      "--log-target=file:" + dir_.path() + "/pulse.log"},
                     {"HOME=" + dir_.path(), "PULSE_RUNTIME_PATH=" + dir_.path() + "/run"});
        if (pid_ <= 0)
            return false;
        for (int i = 0; i < 100; ++i) {
            if (Pactl({"info"})) {
                Pactl({"set-default-source", "null.monitor"});
                return true;
            }
            pf::WaitUntil([] { return false; }, 100);
        }
        return false;
    }
    QString Server() const { return "unix:" + dir_.path() + "/native"; }
    // Freezes the server (it keeps its socket but answers nothing).
    void Freeze() { ::kill(pid_, SIGSTOP); }
    void Thaw() { ::kill(pid_, SIGCONT); }
    QString Dir() const { return dir_.path(); }
    void Kill()
    {
        if (pid_ > 0) {
            Thaw();
            ::kill(pid_, SIGKILL);
            Reap(pid_, 5000);
            pid_ = -1;
        }
    }
    ~PrivatePulse() { Kill(); }

private:
    bool Pactl(const QStringList& args)
    {
        return Reap(Spawn(QStringList{"pactl"} + args, {"PULSE_SERVER=" + Server()}), 5000);
    }
    QTemporaryDir dir_;
    pid_t pid_ = -1;
};

// Real time for these tests; the window queue is pumped by hand.
class RealTime {
public:
    RealTime() { pf::InstallClock(std::make_unique<pf::RealClock>()); }
    ~RealTime() { test::ResetSim(); }
};

bool PumpUntil(const std::function<bool()>& done, int timeoutMs)
{
    const std::int64_t end = pf::TheClock().NowMs() + timeoutMs;
    while (!done() && pf::TheClock().NowMs() < end) {
        pf::RunPendingTasks();
        QCoreApplication::processEvents();
        pf::WaitUntil(done, 5);
    }
    pf::RunPendingTasks();
    return done();
}

// Collects what the capture delivers (on the capture thread).
class Collector : public TMMDSPComponent {
public:
    void BufferReady(PWaveHdr hdr) override
    {
        std::lock_guard lock(mutex);
        sizes.push_back(hdr->dwBytesRecorded);
        const auto* s = reinterpret_cast<const std::int16_t*>(hdr->lpData);
        for (std::uint32_t i = 0; i + 1 < hdr->dwBytesRecorded / 2; i += 2)
            left.push_back(s[i]);
        TMMDSPComponent::BufferReady(hdr);
    }
    int Buffers()
    {
        std::lock_guard lock(mutex);
        return static_cast<int>(sizes.size());
    }
    std::mutex mutex;
    std::vector<std::uint32_t> sizes;
    std::vector<std::int16_t> left;
};

void Configure(TMMWaveIn& w, Collector& c)
{
    w.SetCallBackMode(cmThread);
    w.SetBufferSize(4096);
    w.SetMode(mStereo);
    w.SetBitLength(b16Bit);
    w.SetSampleRate(11025);
    w.SetOutput(&c);
}

}  // namespace

TEST(WaveInAlsa, CapturesTheSineInWholeBuffersStopsAndReopens)
{
    if (!PulseWanted())
        GTEST_SKIP() << "no PulseAudio server (ZOL_PULSE and CI unset)";
    RealTime realTime;
    test::ErrorRecorder errors;
    auto backend = std::make_shared<pf::AlsaWaveInBackend>("default");
    ASSERT_GE(backend->DeviceCount(), 1);
    EXPECT_EQ(backend->PcmName(0), "default");
    WAVEFORMATEX f{};
    MakePcmFormat(f, 16, 2, 11025);
    EXPECT_EQ(backend->QueryFormat(0, f), 0);

    Collector c;
    TMMWaveIn w(nullptr, backend);
    Configure(w, c);
    EXPECT_FALSE(w.ProductName().isEmpty());
    w.Start();
    ASSERT_TRUE(w.IsStarted());
    // About 1.5 s of audio: 16 buffers of 92.9 ms.
    ASSERT_TRUE(PumpUntil([&] { return c.Buffers() >= 16; }, 10000));
    w.Stop();  // while data flows
    // A stop that meets a buffer on the capture thread completes through
    // the window's queue.
    EXPECT_TRUE(PumpUntil([&] { return !w.IsStarted(); }, 5000));
    {
        std::lock_guard lock(c.mutex);
        // Whole buffers while capturing; the one the stop interrupted may
        // come back partly filled, in whole frames.
        for (size_t i = 0; i + 1 < c.sizes.size(); ++i)
            EXPECT_EQ(c.sizes[i], 4096u) << i;
        EXPECT_EQ(c.sizes.back() % 4, 0u);
        // Skip the first buffers (the stream settles), then measure.
        const std::vector<std::int16_t> s(c.left.begin() + 2048, c.left.end());
        ASSERT_GT(s.size(), 8000u);
        int crossings = 0;
        int peak = 0;
        double sumSquares = 0;
        for (size_t i = 1; i < s.size(); ++i) {
            if ((s[i - 1] < 0) != (s[i] < 0))
                ++crossings;
            peak = std::max(peak, std::abs(static_cast<int>(s[i])));
            sumSquares += static_cast<double>(s[i]) * s[i];
        }
        const double seconds = static_cast<double>(s.size()) / 11025.0;
        const double hz = crossings / 2.0 / seconds;
        const double rms = std::sqrt(sumSquares / s.size());
        EXPECT_NEAR(hz, 650.0, 15.0);
        // A sine: peak / rms = sqrt(2); the source's level is well above noise.
        EXPECT_NEAR(peak / rms, std::sqrt(2.0), 0.15);
        // The server's sine peaks at half of full scale (-6 dB).
        EXPECT_NEAR(peak, 16384, 1700);
        std::printf("captured %zu frames: %.1f Hz, peak %d, rms %.0f\n", s.size(), hz, peak, rms);
    }
    w.Close();
    EXPECT_FALSE(w.IsOpen());
    EXPECT_FALSE(c.Opened());

    // Reopened, it delivers again; closed while data flows.
    const int before = c.Buffers();
    w.Start();
    ASSERT_TRUE(PumpUntil([&] { return c.Buffers() >= before + 4; }, 10000));
    w.Close();
    // A close that meets a buffer on the capture thread follows its stop.
    EXPECT_TRUE(PumpUntil([&] { return !w.IsOpen(); }, 5000));
    EXPECT_FALSE(c.Opened());
    EXPECT_TRUE(errors.Messages().isEmpty()) << errors.Messages().join("|").toStdString();
}

namespace {
// Points the sound library at another server for one test, and back at the
// one the other tests share afterwards.
class ServerOverride {
public:
    explicit ServerOverride(const QString& server)
        : saved_(qgetenv("PULSE_SERVER")), had_(qEnvironmentVariableIsSet("PULSE_SERVER"))
    {
        qputenv("PULSE_SERVER", server.toLocal8Bit());
    }
    ~ServerOverride()
    {
        if (had_)
            qputenv("PULSE_SERVER", saved_);
        else
            qunsetenv("PULSE_SERVER");
    }

private:
    QByteArray saved_;
    bool had_;
};
}  // namespace

TEST(WaveInAlsa, ServerGoneMidCaptureIsReportedAsALostDevice)
{
    if (!PulseWanted())
        GTEST_SKIP() << "no PulseAudio server (ZOL_PULSE and CI unset)";
    PrivatePulse pulse;
    ASSERT_TRUE(pulse.Start()) << "private PulseAudio server did not start";
    EnsureAlsaConfig(pulse.Dir());
    ServerOverride server(pulse.Server());
    RealTime realTime;
    test::ErrorRecorder errors;
    auto backend = std::make_shared<pf::AlsaWaveInBackend>("default");
    Collector c;
    TMMWaveIn w(nullptr, backend);
    Configure(w, c);
    QStringList events;
    w.OnStop = [&](QObject*) { events << "stop"; };
    w.OnClose = [&](QObject*) { events << "close"; };
    w.Start();
    ASSERT_TRUE(PumpUntil([&] { return c.Buffers() >= 4; }, 10000));
    pulse.Kill();
    // The loss reaches the general error handler, the chain is stopped and
    // closed, and nothing hangs.
    ASSERT_TRUE(PumpUntil([&] { return !errors.Messages().isEmpty(); }, 15000));
    EXPECT_TRUE(errors.Messages()[0].startsWith("WaveIn:\n\rThe recording device stopped delivering audio\n\r"))
        << errors.Messages()[0].toStdString();
    std::printf("reported: %s\n", errors.Messages()[0].toLocal8Bit().constData());
    EXPECT_FALSE(w.IsOpen());
    EXPECT_EQ(events, (QStringList{"stop", "close"}));
    EXPECT_FALSE(c.Opened());
}

TEST(WaveInAlsa, FrozenServerIsReportedAsALostDeviceWithoutAHang)
{
    if (!PulseWanted())
        GTEST_SKIP() << "no PulseAudio server (ZOL_PULSE and CI unset)";
    PrivatePulse pulse;
    ASSERT_TRUE(pulse.Start()) << "private PulseAudio server did not start";
    EnsureAlsaConfig(pulse.Dir());
    ServerOverride server(pulse.Server());
    RealTime realTime;
    test::ErrorRecorder errors;
    auto backend = std::make_shared<pf::AlsaWaveInBackend>("default");
    Collector c;
    TMMWaveIn w(nullptr, backend);
    Configure(w, c);
    w.Start();
    ASSERT_TRUE(PumpUntil([&] { return c.Buffers() >= 4; }, 10000));
    pulse.Freeze();
    // Silence while running counts as a lost device after a few seconds.
    ASSERT_TRUE(PumpUntil([&] { return !errors.Messages().isEmpty(); },
                          pf::AlsaWaveInBackend::kStallMs + 10000));
    std::printf("reported: %s\n", errors.Messages()[0].toLocal8Bit().constData());
    EXPECT_TRUE(errors.Messages()[0].startsWith("WaveIn:\n\rThe recording device stopped delivering audio"));
    EXPECT_FALSE(w.IsOpen());
    pulse.Kill();
}
