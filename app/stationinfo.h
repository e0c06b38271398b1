// The station's description: the optional [STATION] section of zol.ini,
// written into the head of every data file so that a file tells by itself
// where and how it was recorded. zol only reads this section.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace zol {

class TIniFile;

// The section and its keys, as they are written in zol.ini.
extern const char* const kStationSection;  // "STATION"
namespace stationkey {
extern const char* const kCallSign;     // "CALLSIGN"
extern const char* const kLocator;      // "LOCATOR"
extern const char* const kLatitude;     // "LATITUDE"
extern const char* const kLongitude;    // "LONGITUDE"
extern const char* const kReceiver;     // "RECEIVER"
extern const char* const kTransmitter;  // "TRANSMITTER"
extern const char* const kFrequency;    // "FREQUENCY"
extern const char* const kNotes;        // "NOTES"
}  // namespace stationkey

struct TStationInfo {
    QString callSign;
    QString locator;      // as given, when it is a valid Maidenhead locator
    QString receiver;
    QString transmitter;  // the received transmitter's name
    QString notes;
    // Where the station is: from LATITUDE and LONGITUDE when both are
    // given, else the centre of the locator's square.
    std::optional<double> latitude;   // degrees, north positive
    std::optional<double> longitude;  // degrees, east positive
    std::optional<double> frequencyKHz;
    // What could not be used, one sentence each (the value is then left
    // out, the others are kept).
    QStringList problems;
};

// Reads the section (a missing section or key leaves the field empty).
// Values are UTF-8 (Latin-1 bytes that are no UTF-8 are read as Latin-1);
// control characters become blanks.
TStationInfo ReadStationInfo(const TIniFile& ini);

// A frequency in kHz: "198", "198 kHz", "7.85MHz", "198000 Hz" (case does
// not matter). None for anything else, or for no positive finite number.
std::optional<double> ParseFrequencyKHz(const QString& text);

}  // namespace zol
