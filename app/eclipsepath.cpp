#include "app/eclipsepath.h"

#include "app/eclipsetrace.h"
#include "app/inifile.h"
#include "app/stationinfo.h"
#include "station/eclipse.h"

namespace zol {

using namespace station;

namespace pathkey {
const char* const kTxLocator = "TXLOCATOR";
const char* const kTxLatitude = "TXLATITUDE";
const char* const kTxLongitude = "TXLONGITUDE";
}  // namespace pathkey

namespace {

const char* const kSection = "STATION";

QString Value(const TIniFile& ini, const char* key)
{
    return ini.ReadString(QString::fromLatin1(kSection), QString::fromLatin1(key), QString()).trimmed();
}

QString Problem(const char* key, const QString& value, const std::string& why)
{
    return QStringLiteral("zol.ini [%1] %2=%3 is not used: %4")
        .arg(QString::fromLatin1(kSection), QString::fromLatin1(key), value, QString::fromStdString(why));
}

// One end: its locator, replaced by its coordinates when both are given.
std::optional<GeoPoint> ReadEnd(const TIniFile& ini, const char* locatorKey, const char* latKey, const char* lonKey,
                                QStringList& problems)
{
    std::optional<GeoPoint> point;
    const QString locator = Value(ini, locatorKey);
    if (!locator.isEmpty()) {
        const auto parsed = ParseLocator(locator.toStdString());
        if (parsed)
            point = *parsed.value;
        else
            problems << Problem(locatorKey, locator, parsed.error);
    }
    const QString lat = Value(ini, latKey), lon = Value(ini, lonKey);
    if (lat.isEmpty() && lon.isEmpty())
        return point;
    const auto la = ParseLatitude(lat.toStdString());
    const auto lo = ParseLongitude(lon.toStdString());
    if (!la)
        problems << Problem(latKey, lat, lat.isEmpty() ? std::string(lonKey) + " needs it" : la.error);
    if (!lo)
        problems << Problem(lonKey, lon, lon.isEmpty() ? std::string(latKey) + " needs it" : lo.error);
    if (la && lo)
        point = GeoPoint{*la.value, *lo.value};
    return point;
}

}  // namespace

TPathEnds ReadPathEnds(const TIniFile& ini)
{
    TPathEnds ends;
    // The receiver is the station of the station's description.
    const TStationInfo station = ReadStationInfo(ini);
    if (station.latitude && station.longitude)
        ends.receiver = GeoPoint{*station.latitude, *station.longitude};
    ends.receiverProblems = station.problems;
    ends.transmitter =
        ReadEnd(ini, pathkey::kTxLocator, pathkey::kTxLatitude, pathkey::kTxLongitude, ends.problems);
    return ends;
}

TEclipseReport EclipseReport(const TPathEnds& ends, const QString& dateText, const QString& iniPath)
{
    TEclipseReport report;
    const Parsed<Date> date = ParseDate(dateText.toStdString());
    if (!date) {
        report.error = QStringLiteral("--eclipse %1: %2").arg(dateText, QString::fromStdString(date.error));
        return report;
    }
    QStringList missing;
    if (!ends.receiver)
        missing << QStringLiteral("the receiver's position (LOCATOR, or LATITUDE and LONGITUDE)");
    if (!ends.transmitter)
        missing << QStringLiteral("the transmitter's position (TXLOCATOR, or TXLATITUDE and TXLONGITUDE)");
    if (!missing.isEmpty()) {
        QStringList lines = ends.receiverProblems + ends.problems;
        lines << QStringLiteral("--eclipse needs %1 in the [STATION] section of %2")
                     .arg(missing.join(QStringLiteral(" and ")), iniPath);
        report.error = lines.join('\n');
        return report;
    }
    const TEclipseTrace path(*ends.receiver, *ends.transmitter);
    if (!path.Midpoint()) {
        report.error = QStringLiteral("--eclipse: the receiver and the transmitter are antipodal; "
                                      "their path has no one midpoint");
        return report;
    }
    const GeoPoint mid = *path.Midpoint();
    QString text = QStringLiteral("Path: receiver %1, transmitter %2, %3 km; midpoint %4\n")
                       .arg(QString::fromStdString(FormatPoint(*ends.receiver)),
                            QString::fromStdString(FormatPoint(*ends.transmitter)),
                            QString::number(GreatCircleDistanceKm(*ends.receiver, *ends.transmitter), 'f', 0),
                            QString::fromStdString(FormatPoint(mid)));
    text += QString::fromStdString(FormatEclipseReport("Midpoint", mid, *date.value, FindLocalEclipse(mid, *date.value)));
    text += QString::fromStdString(
        FormatEclipseReport("Receiver", *ends.receiver, *date.value, FindLocalEclipse(*ends.receiver, *date.value)));
    report.text = text;
    return report;
}

}  // namespace zol
