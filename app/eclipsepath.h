// The two ends of the radio path as zol.ini's [STATION] section gives them
// (the receiver: LOCATOR, or LATITUDE and LONGITUDE; the transmitter:
// TXLOCATOR, or TXLATITUDE and TXLONGITUDE), and the report of an eclipse
// date for the path's midpoint and the receiver that --eclipse prints.
#pragma once

#include "station/geo.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace zol {

class TIniFile;

namespace pathkey {
extern const char* const kTxLocator;    // "TXLOCATOR"
extern const char* const kTxLatitude;   // "TXLATITUDE"
extern const char* const kTxLongitude;  // "TXLONGITUDE"
}  // namespace pathkey

struct TPathEnds {
    std::optional<station::GeoPoint> receiver;
    std::optional<station::GeoPoint> transmitter;
    // What could not be used, one sentence each (the receiver's keys, and
    // the transmitter's).
    QStringList receiverProblems;
    QStringList problems;
};

// Coordinates, when both are given, take the locator's place; a value that
// cannot be used is named in `problems` and left out.
TPathEnds ReadPathEnds(const TIniFile& ini);

// The outcome of --eclipse: the text for standard output, or an error for
// standard error (with exit code 2).
struct TEclipseReport {
    QString text;
    QString error;
};
// dateText: "YYYY-MM-DD". iniPath names the settings file in messages.
TEclipseReport EclipseReport(const TPathEnds& ends, const QString& dateText, const QString& iniPath);

}  // namespace zol
