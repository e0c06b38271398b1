#include "app/stationinfo.h"

#include "app/inifile.h"
#include "station/geo.h"

#include <QRegularExpression>
#include <QStringDecoder>

#include <cmath>

namespace zol {

const char* const kStationSection = "STATION";
namespace stationkey {
const char* const kCallSign = "CALLSIGN";
const char* const kLocator = "LOCATOR";
const char* const kLatitude = "LATITUDE";
const char* const kLongitude = "LONGITUDE";
const char* const kReceiver = "RECEIVER";
const char* const kTransmitter = "TRANSMITTER";
const char* const kFrequency = "FREQUENCY";
const char* const kNotes = "NOTES";
}  // namespace stationkey

namespace {

// The settings file keeps one character per byte; station texts are UTF-8
// where they can be.
QString Text(const TIniFile& ini, const char* key)
{
    const QByteArray bytes = ini.ReadString(kStationSection, key, QString()).toLatin1();
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(bytes);
    if (utf8.hasError())
        text = QString::fromLatin1(bytes);
    for (QChar& c : text)
        if (c.category() == QChar::Other_Control)
            c = ' ';
    return text.trimmed();
}

QString Problem(const char* key, const QString& value, const std::string& why)
{
    return QStringLiteral("zol.ini [%1] %2=%3 is not used: %4")
        .arg(kStationSection, key, value, QString::fromStdString(why));
}

}  // namespace

std::optional<double> ParseFrequencyKHz(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral("^\\s*([0-9]+(?:\\.[0-9]*)?|\\.[0-9]+)\\s*(hz|khz|mhz)?\\s*$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    bool ok = false;
    double value = m.captured(1).toDouble(&ok);
    const QString unit = m.captured(2).toLower();
    if (unit == QLatin1String("hz"))
        value /= 1000.0;
    else if (unit == QLatin1String("mhz"))
        value *= 1000.0;
    if (!ok || !std::isfinite(value) || value <= 0)
        return std::nullopt;
    return value;
}

TStationInfo ReadStationInfo(const TIniFile& ini)
{
    using namespace stationkey;
    TStationInfo info;
    info.callSign = Text(ini, kCallSign);
    info.receiver = Text(ini, kReceiver);
    info.transmitter = Text(ini, kTransmitter);
    info.notes = Text(ini, kNotes);

    const QString locator = Text(ini, kLocator);
    if (!locator.isEmpty()) {
        const auto parsed = station::ParseLocator(locator.toStdString());
        if (parsed) {
            info.locator = locator;
            info.latitude = parsed.value->latitude;
            info.longitude = parsed.value->longitude;
        } else {
            info.problems << Problem(kLocator, locator, parsed.error);
        }
    }
    // Coordinates, more precise than a locator, take its place; only both
    // together name a place.
    const QString lat = Text(ini, kLatitude);
    const QString lon = Text(ini, kLongitude);
    if (lat.isEmpty() && !lon.isEmpty()) {
        info.problems << Problem(kLongitude, lon, "LATITUDE is needed with it");
    } else if (!lat.isEmpty() && lon.isEmpty()) {
        info.problems << Problem(kLatitude, lat, "LONGITUDE is needed with it");
    } else if (!lat.isEmpty()) {
        const auto la = station::ParseLatitude(lat.toStdString());
        const auto lo = station::ParseLongitude(lon.toStdString());
        if (!la)
            info.problems << Problem(kLatitude, lat, la.error);
        if (!lo)
            info.problems << Problem(kLongitude, lon, lo.error);
        if (la && lo) {
            info.latitude = *la.value;
            info.longitude = *lo.value;
        }
    }
    const QString frequency = Text(ini, kFrequency);
    if (!frequency.isEmpty()) {
        info.frequencyKHz = ParseFrequencyKHz(frequency);
        if (!info.frequencyKHz)
            info.problems << Problem(kFrequency, frequency, "a frequency is a positive number in kHz, "
                                                            "or with Hz, kHz or MHz after it");
    }
    return info;
}

}  // namespace zol
