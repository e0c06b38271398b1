#include "app/cmdline.h"

#include "app/version.h"
#include "platform/soundfile.h"

#include <cmath>

namespace zol {

bool TOptions::WavInput() const
{
    return platform::IsAudioFileName(input);
}

bool ParseDuration(const QString& text, double& seconds)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    // Not a number, infinite, overflowing, or too short or too long to be
    // a run: refused rather than ending at once or never.
    if (!ok || !std::isfinite(value) || value < kMinDuration || value > kMaxDuration)
        return false;
    seconds = value;
    return true;
}

namespace {

bool TakesValue(const QString& arg)
{
    static const QStringList names = {"--input", "--mixer",          "--workdir", "--duration",
                                      "--band",  "--snapshot-every", "--eclipse"};
    return names.contains(arg);
}

// Sets the option `arg` to `value`; false, with the reason in options.error,
// when the value is refused.
bool SetValueOption(const QString& arg, const QString& value, TOptions& options, bool& mixerGiven)
{
    if (arg == "--input") {
        options.input = value;
    } else if (arg == "--mixer") {
        options.mixer = value;
        mixerGiven = true;
    } else if (arg == "--workdir") {
        options.workdir = value;
    } else if (arg == "--eclipse") {
        options.eclipse = value;
    } else if (arg == "--duration") {
        if (!ParseDuration(value, options.duration)) {
            options.error = QStringLiteral("--duration needs a number of seconds from %1 to %2, not \"%3\"")
                                .arg(kMinDuration)
                                .arg(kMaxDuration, 0, 'f', 0)
                                .arg(value);
            return false;
        }
    } else if (arg == "--band") {
        if (value == BandText(bd550_750)) {
            options.band = bd550_750;
        } else if (value == BandText(bd700_900)) {
            options.band = bd700_900;
        } else {
            options.error = QStringLiteral("--band needs 550-750 or 700-900, not \"%1\"").arg(value);
            return false;
        }
    } else if (arg == "--snapshot-every") {
        bool ok = false;
        const int minutes = value.trimmed().toInt(&ok);
        if (!ok || minutes < 1 || minutes > kMaxSnapshotMinutes) {
            options.error = QStringLiteral("--snapshot-every needs a whole number of minutes from 1 to %1, not \"%2\"")
                                .arg(kMaxSnapshotMinutes)
                                .arg(value);
            return false;
        }
        options.snapshotEvery = minutes;
    }
    return true;
}

// Sets the switch `arg`; false for a name that is no switch.
bool SetSwitch(const QString& arg, TOptions& options)
{
    if (arg == "--record")
        options.record = true;
    else if (arg == "--headless")
        options.headless = true;
    else if (arg == "--fast")
        options.fast = true;
    else if (arg == "--calibrate")
        options.calibrate = true;
    else if (arg == "--help" || arg == "-h")
        options.help = true;
    else if (arg == "--version")
        options.version = true;
    else
        return false;
    return true;
}

}  // namespace

TOptions ParseCommandLine(const QStringList& arguments)
{
    TOptions options;
    bool mixerGiven = false;
    for (int i = 0; i < arguments.size(); ++i) {
        QString arg = arguments[i];
        QString value;
        bool hasValue = false;
        const int eq = arg.indexOf('=');
        if (arg.startsWith("--") && eq > 0) {
            value = arg.mid(eq + 1);
            arg = arg.left(eq);
            hasValue = true;
        }
        if (TakesValue(arg)) {
            if (!hasValue) {
                if (i + 1 >= arguments.size()) {
                    options.error = QStringLiteral("%1 needs a value").arg(arg);
                    return options;
                }
                value = arguments[++i];
            }
            if (!SetValueOption(arg, value, options, mixerGiven))
                return options;
        } else if (hasValue || !SetSwitch(arg, options)) {
            options.error = QStringLiteral("unknown argument \"%1\" (see --help)").arg(arguments[i]);
            return options;
        }
    }
    if (options.input.isEmpty()) {
        options.error = QStringLiteral("--input needs a device name, \"sim\" or an audio file");
        return options;
    }
    if (options.SimulatedInput() && !mixerGiven)
        options.mixer = QStringLiteral("sim");
    if (options.fast && !options.SimulatedInput() && !options.WavInput())
        options.error = QStringLiteral("--fast works with --input sim or an audio file only");
    else if (options.record && options.WavInput())
        options.error = QStringLiteral("--record keeps captured audio; a replayed file is a recording already");
    return options;
}

QString HelpText()
{
    return QStringLiteral(
        "Usage: zol [options]\n"
        "Records the strength of a received carrier tone and logs it.\n"
        "\n"
        "  --input DEVICE    where the audio comes from: \"default\" (the system's\n"
        "                    recording device, the default), an ALSA PCM name such as\n"
        "                    plughw:1,0, \"sim\" (a built-in simulated receiver) or an\n"
        "                    audio file (WAV, FLAC, ...; mono or stereo) played back\n"
        "                    as if recorded\n"
        "  --mixer MIXER     the sound card mixer whose recording gain zol sets:\n"
        "                    \"default\", an ALSA control device such as hw:1, \"sim\";\n"
        "                    add :ELEMENT to pick the gain element (hw:1:Mic)\n"
        "  --headless        no window; every measure.txt line is also printed\n"
        "  --fast            with sim or a .wav file: run as fast as possible\n"
        "  --duration SECS   close in order after SECS seconds (0.001 to 1000000000)\n"
        "  --workdir DIR     folder of zol.ini, measure.txt and scope2.txt\n"
        "                    (default: the current folder)\n"
        "  --calibrate       press \"Calibrate\" once measuring has started\n"
        "  --band BAND       the pass band at start: 550-750 (the default) or\n"
        "                    700-900 (Hz), as its radio button would choose it\n"
        "  --record          keep the captured audio in the working folder, one\n"
        "                    FLAC file per UTC hour (zol-YYYYMMDDTHHMMSSZ.flac)\n"
        "  --snapshot-every MINUTES\n"
        "                    save a picture of the window every MINUTES (1 to 1440)\n"
        "                    as zol-YYYYMMDDTHHMMZ.png in the working folder\n"
        "  --eclipse DATE    print the solar eclipse of DATE (YYYY-MM-DD) at the\n"
        "                    midpoint of the path and at the receiver, in UTC, from\n"
        "                    the positions in zol.ini's [STATION] section, and exit\n"
        "  --help            this text\n"
        "  --version         the program's version\n");
}

QString VersionText()
{
    return QStringLiteral("zol " ZOL_VERSION);
}

QString BandText(TBand band)
{
    return band == bd700_900 ? QStringLiteral("700-900") : QStringLiteral("550-750");
}

}  // namespace zol
