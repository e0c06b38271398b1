// Writes the seed inputs of the fuzz targets with the program's own writers
// (the settings file, the log lines, the component streams, the recorder)
// into FOLDER/<target>/:  zol_fuzzseeds FOLDER
// The seeds are kept in tests/fuzz/corpus; run this again when a format
// gains a field.
#include "app/inifile.h"
#include "app/logfiles.h"
#include "chain/equalizer.h"
#include "chain/objectlist.h"
#include "controls/bitmaplist.h"
#include "platform/soundfile.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QImage>

#include <cmath>
#include <cstdio>
#include <vector>

using namespace zol;

namespace {

QString gRoot;

void Put(const char* target, const char* name, const QByteArray& bytes)
{
    QDir().mkpath(gRoot + "/" + target);
    QFile f(gRoot + "/" + target + "/" + name);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "zol_fuzzseeds: cannot write %s/%s\n", target, name);
        std::exit(1);
    }
}

void IniSeeds()
{
    const QString path = gRoot + "/zol.ini.tmp-seed";
    QFile::remove(path);
    TIniFile ini(path);
    ini.WriteValues("ZOLPARAMS", {{"BASEGAIN", "62"}, {"THRESHOLD", "30"}, {"DBCALIBRATE", "35"}, {"CALIBRATED", "0"}});
    ini.WriteValues("STATION", {{"CALLSIGN", "PA0ZZZ"}, {"LOCATOR", "JO22xk"}, {"TXLOCATOR", "IO91vl"},
                                {"RECEIVER", "Direct-conversion receiver, 1 m loop"},
                                {"TRANSMITTER", "Longwave broadcaster"}, {"FREQUENCY", "198 kHz"},
                                {"NOTES", "loop aimed north-east"}});
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    const QByteArray crlf = f.readAll();
    f.close();
    QFile::remove(path);
    Put("ini", "station-crlf", crlf);
    TIniFile::TText text = TIniFile::Parse(crlf);
    text.bom = true;
    text.lineEnd = "\n";
    text.lines.replaceInStrings("LOCATOR=JO22xk", "LATITUDE=52.1 N\nLONGITUDE=-4.3");
    Put("ini", "bom-lf-coordinates", TIniFile::Serialize(text));
    text.bom = false;
    text.lineEnd = "\r";
    text.lines = QStringList{"; settings", "[zolparams]", " basegain = 0x1F ", "THRESHOLD=-7", "CALIBRATED=yes",
                             "[STATION]", "FREQUENCY=7.85MHz", "TXLATITUDE=91", "TXLONGITUDE=10 E", "CALLSIGN=\xC3\xA9"};
    Put("ini", "cr-odd-values", TIniFile::Serialize(text));
    Put("ini", "no-section", QByteArray("just some text\nwithout = a section"));
}

// The chart's shape bytes the log targets read first, then the log.
QByteArray Shaped(char keep, char period, char budget, const QByteArray& log)
{
    return QByteArray(1, keep) + QByteArray(1, period) + QByteArray(1, budget) + log;
}

void LogSeeds()
{
    QByteArray measure;
    for (int i = 0; i < 40; ++i) {
        const QString time = QString::asprintf("23:59:%02d", 20 + i % 40);
        measure += MeasureLine(i == 0 ? '*' : ' ', time, DateText(QDate(2026, 8, 12), "%d/%m/%Y"), 30 + i % 9,
                               i < 5 ? 0 : 31)
                       .toLatin1() +
                   "\r\n";
    }
    Put("measure", "whole-lines-full-read", Shaped(10, 3, char(200), measure));
    Put("measure", "whole-lines-tail", Shaped(3, 2, 2, measure));
    Put("measure", "cut-and-damaged", Shaped(5, 1, 4, measure.left(300) + "garbage\n" + measure.mid(300, 200)));
    QByteArray scope;
    for (int i = 0; i < 60; ++i)
        scope += Scope2Line(25 + i % 20, 50 + i % 11).toLatin1() + "\r\n";
    Put("scope2", "whole-lines-full-read", Shaped(20, 4, char(200), scope));
    Put("scope2", "whole-lines-tail", Shaped(6, 2, 3, scope));
    Put("scope2", "cut-and-damaged", Shaped(8, 1, 5, scope.left(100) + "x,\r7\n" + scope.mid(100, 50) + "4"));
}

void StreamSeeds()
{
    Put("equ", "band-550-750", EqualizerBandStream({{0, 500, -99}, {550, 750, 0}, {800, 22050, -99}}));
    Put("equ", "band-700-900", EqualizerBandStream({{0, 650, -90}, {700, 900, 0}, {950, 22000, -90}}, 512));
    TMMEqualizer eq;
    eq.SetDescription(QStringLiteral("A filter set with a description"));
    eq.SetFFTLength(1024);
    for (int i = 0; i < 6; ++i)
        eq.Filters()->AddFilter(100.0f * i, 100.0f * i + 80, -3.0f * i, i % 3 != 0);
    Put("equ", "described", eq.SaveFilterStream());

    TObjectList list;
    list.Add(new TMMEQFilter(100, 200, -3));
    list.Add(new TMMFIRFilterItem(440, 1));
    list.Add(new TMMEQFilter(300, 400, 6, false));
    Put("obj", "mixed", list.SaveToBytes());
    TObjectList one;
    one.Add(new TMMFIRFilterItem(50, -2));
    Put("obj", "one-item", one.SaveToBytes());

    TMMBitmapList bitmaps;
    QImage pattern(12, 9, QImage::Format_RGB32);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 12; ++x)
            pattern.setPixel(x, y, qRgb(x * 20, y * 25, (x ^ y) * 16));
    bitmaps.Add(pattern);
    bitmaps.Add(QImage());
    QImage flat(30, 20, QImage::Format_RGB32);
    flat.fill(qRgb(7, 7, 7));
    bitmaps.Add(flat);
    Put("bitmaplist", "plain", bitmaps.SaveListItems());
    bitmaps.SetCompressed(true);
    Put("bitmaplist", "compressed", bitmaps.SaveListItems());
    TMMBitmapList mono;
    QImage bits(16, 16, QImage::Format_Mono);
    bits.fill(1);
    mono.Add(bits);
    mono.SetCompressed(true);
    Put("bitmaplist", "mono-compressed", mono.SaveListItems());
}

// A WAV file of `frames` frames of a tone, in the given sample width
// (8, 16: integer; 32: float) and channels.
QByteArray Wav(int bits, int channels, int rate, int frames)
{
    QByteArray data;
    for (int i = 0; i < frames * channels; ++i) {
        const double v = 0.5 * std::sin(0.37 * i);
        if (bits == 8) {
            data.append(static_cast<char>(128 + std::lround(v * 127)));
        } else if (bits == 16) {
            const auto s = static_cast<std::int16_t>(std::lround(v * 32767));
            data.append(reinterpret_cast<const char*>(&s), 2);
        } else {
            const float f = static_cast<float>(v);
            data.append(reinterpret_cast<const char*>(&f), 4);
        }
    }
    auto u32 = [](std::uint32_t v) { return QByteArray(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [](std::uint16_t v) { return QByteArray(reinterpret_cast<const char*>(&v), 2); };
    const int align = channels * bits / 8;
    QByteArray out = "RIFF" + u32(static_cast<std::uint32_t>(36 + data.size())) + "WAVEfmt " + u32(16) +
                     u16(bits == 32 ? 3 : 1) + u16(static_cast<std::uint16_t>(channels)) + u32(rate) +
                     u32(static_cast<std::uint32_t>(rate * align)) + u16(static_cast<std::uint16_t>(align)) +
                     u16(static_cast<std::uint16_t>(bits)) + "data" + u32(static_cast<std::uint32_t>(data.size()));
    return out + data;
}

void AudioSeeds()
{
    Put("audiofile", "stereo-16.wav", Wav(16, 2, 11025, 400));
    Put("audiofile", "mono-8.wav", Wav(8, 1, 8000, 600));
    Put("audiofile", "stereo-float.wav", Wav(32, 2, 44100, 200));
    const QString path = gRoot + "/audiofile/recording.flac";
    QDir().mkpath(gRoot + "/audiofile");
    platform::SoundFileWriter writer;
    if (!writer.Create(path, 11025, 2)) {
        std::fprintf(stderr, "zol_fuzzseeds: %s\n", qPrintable(writer.Error()));
        std::exit(1);
    }
    std::vector<std::int16_t> samples(2 * 1500);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::int16_t>(8000 * std::sin(0.37 * static_cast<double>(i / 2)));
    writer.Write(samples.data(), 1500);
    writer.Close();
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: zol_fuzzseeds FOLDER\n");
        return 2;
    }
    gRoot = QString::fromLocal8Bit(argv[1]);
    IniSeeds();
    LogSeeds();
    StreamSeeds();
    AudioSeeds();
    return 0;
}
