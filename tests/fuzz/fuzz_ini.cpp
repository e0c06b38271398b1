// zol.ini as the program reads it at start (the settings, the station's
// description and the path's ends) and rewrites it at close.
#include "tests/fuzz/fuzz_targets.h"

#include "app/eclipsepath.h"
#include "app/inifile.h"
#include "app/stationinfo.h"
#include "platform/errors.h"

#include <QFile>

#include <cmath>

namespace zol::fuzz {

namespace {

const QString kSection = QStringLiteral("ZOLPARAMS");

// Whether every line ends, and ends as the first one does: such a file
// comes back byte for byte.
bool UniformLineEnds(const QByteArray& bytes)
{
    QByteArray first;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r' && bytes[i] != '\n')
            continue;
        const QByteArray end = bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n' ? "\r\n"
                                                                                              : bytes.mid(i, 1);
        if (first.isEmpty())
            first = end;
        else if (end != first)
            return false;
        i += end.size() - 1;
    }
    return bytes.isEmpty() || bytes.endsWith('\r') || bytes.endsWith('\n');
}

// A line a rewrite may replace, or add in the section.
bool IsWrittenKey(const QString& line)
{
    const int eq = line.indexOf('=');
    if (eq <= 0)
        return false;
    const QString key = line.left(eq).trimmed();
    for (const char* k : {"BASEGAIN", "CALIBRATED", "THRESHOLD"})
        if (key.compare(QLatin1String(k), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

void CheckStation(const TIniFile& ini)
{
    const TStationInfo info = ReadStationInfo(ini);
    if (info.latitude)
        Check(std::isfinite(*info.latitude) && std::fabs(*info.latitude) <= 90, "a latitude is within +-90");
    if (info.longitude)
        Check(std::isfinite(*info.longitude) && std::fabs(*info.longitude) <= 180, "a longitude is within +-180");
    Check(info.latitude.has_value() == info.longitude.has_value(), "a position has both coordinates");
    if (info.frequencyKHz)
        Check(std::isfinite(*info.frequencyKHz) && *info.frequencyKHz > 0, "a frequency is positive");
    const TPathEnds ends = ReadPathEnds(ini);
    for (const auto& end : {ends.receiver, ends.transmitter})
        if (end)
            Check(std::fabs(end->latitude) <= 90 && std::fabs(end->longitude) <= 180, "a path end is on the globe");
}

}  // namespace

int IniFile(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString path = QString::fromLocal8Bit(WriteTempFile("zol.ini", data, size));
    TIniFile ini(path);
    Check(ini.ReadError() == 0, "a small file is read");
    if (UniformLineEnds(bytes))
        Check(TIniFile::Serialize(TIniFile::Parse(bytes)) == bytes, "a file of uniform line ends comes back as it was");

    // Start: the settings and the station.
    const int gain = ini.ReadInteger(kSection, "BASEGAIN", 0);
    const int threshold = ini.ReadInteger(kSection, "THRESHOLD", 30);
    ini.ReadInteger(kSection, "DBCALIBRATE", 30);
    const bool calibrated = ini.ReadBool(kSection, "CALIBRATED", false);
    CheckStation(ini);

    // Close: the three keys in one replacement; the rest stays.
    const TIniFile::TText before = TIniFile::Parse(bytes);
    try {
        ini.WriteValues(kSection, {{"BASEGAIN", QString::number(gain)},
                                   {"CALIBRATED", QString::number(calibrated ? 1 : 0)},
                                   {"THRESHOLD", QString::number(threshold)}});
    } catch (const EInOutError&) {
        Broken("a file in a writable folder is written");
    }
    const TIniFile again(path);
    Check(again.ReadInteger(kSection, "BASEGAIN", gain + 1) == gain, "BASEGAIN reads back");
    Check(again.ReadInteger(kSection, "THRESHOLD", threshold + 1) == threshold, "THRESHOLD reads back");
    Check(again.ReadBool(kSection, "CALIBRATED", !calibrated) == calibrated, "CALIBRATED reads back");
    const TIniFile::TText after = TIniFile::Parse(again.ReadError() == 0 ? [&] {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }() : QByteArray());
    Check(after.bom == before.bom, "the byte-order mark is kept");
    Check(after.lines.size() >= before.lines.size() && after.lines.size() <= before.lines.size() + 4,
          "at most a section and its keys are added");
    // Every line but the written keys is kept, in order; a section header
    // may be added at the end.
    QStringList kept, now;
    for (const QString& line : before.lines)
        if (!IsWrittenKey(line))
            kept.append(line);
    for (const QString& line : after.lines)
        if (!IsWrittenKey(line))
            now.append(line);
    if (now.size() == kept.size() + 1 && now.last() == QStringLiteral("[ZOLPARAMS]"))
        now.removeLast();
    Check(now == kept, "only the written keys' lines change");
    return 0;
}

}  // namespace zol::fuzz
