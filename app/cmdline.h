// The program's command line. Without arguments zol captures from the
// system's default recording device and uses its default mixer.
#pragma once

#include <QString>
#include <QStringList>

namespace zol {

// The pass band the window starts with (the two radio buttons).
enum TBand { bd550_750, bd700_900 };

struct TOptions {
    QString input = QStringLiteral("default");  // ALSA PCM name, "sim" or an audio file
    QString mixer = QStringLiteral("default");  // ALSA ctl name (optionally ":Element") or "sim"
    bool headless = false;
    bool fast = false;
    double duration = -1;  // seconds of the clock in use; negative: until closed
    QString workdir;       // empty: the current directory
    bool calibrate = false;
    TBand band = bd550_750;
    bool record = false;       // keep the captured audio in the working folder
    int snapshotEvery = 0;     // minutes between pictures of the window; 0: none
    QString eclipse;  // --eclipse DATE: print the eclipse of the date and exit
    bool help = false;
    bool version = false;
    QString error;  // not empty when the command line is wrong

    bool SimulatedInput() const { return input == QLatin1String("sim"); }
    // An audio file (WAV, FLAC, ...) rather than a device.
    bool WavInput() const;
};

// --duration: seconds of the clock in use, within these bounds.
constexpr double kMinDuration = 0.001;
constexpr double kMaxDuration = 1e9;  // about 31 years
// --snapshot-every: whole minutes, at most a day.
constexpr int kMaxSnapshotMinutes = 1440;

// Reads a duration; false for anything that is no finite number of seconds
// within the bounds (nan, inf, 1e309, 0, 1e-9, ...).
bool ParseDuration(const QString& text, double& seconds);

// Parses the arguments (without the program name).
TOptions ParseCommandLine(const QStringList& arguments);
QString HelpText();
// "zol" and the program's version.
QString VersionText();
// The text of a band ("550-750").
QString BandText(TBand band);

}  // namespace zol
