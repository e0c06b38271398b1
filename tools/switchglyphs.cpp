// Build-time generator of the switch knob strips.
//
// Each strip holds three knob images side by side: normal, disabled and
// pressed. The top-left pixel (a magenta corner) is the transparent colour
// the switch draws them with. It writes PNG files and a Qt resource
// collection file listing them under the prefix "/bitmaps":
//   V_SWITCH.png       54 x 11, knobs 18 x 11 that travel up and down
//   H_SWITCH.png       33 x 18, knobs 11 x 18 that travel left and right
//   SOURCE_SWITCH.png  54 x 11, the main window's source knobs: a red
//                      indicator line across the grip
//
// Usage: zol_switchglyphs <output directory>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QString>

#include <cstdio>

namespace {

const QRgb kKey = qRgb(0xFF, 0x00, 0xFF);
const QRgb kBlack = qRgb(0x00, 0x00, 0x00);
const QRgb kWhite = qRgb(0xFF, 0xFF, 0xFF);
const QRgb kShadow = qRgb(0x80, 0x80, 0x80);
const QRgb kFace = qRgb(0xC0, 0xC0, 0xC0);
const QRgb kPressedFace = qRgb(0xB0, 0xB0, 0xB0);
const QRgb kDisabledLine = qRgb(0x98, 0x98, 0x98);
const QRgb kIndicator = qRgb(0xFF, 0x00, 0x00);
const QRgb kDisabledIndicator = qRgb(0xC8, 0x90, 0x90);

enum State { kNormal, kDisabled, kPressed };

// Draws one knob of w x h at x0 in `strip`. The grip lines run across the
// direction of travel; `indicator` puts a red line along the middle one.
void DrawKnob(QImage& strip, int x0, int w, int h, State state, bool vertical, bool indicator)
{
    auto set = [&](int x, int y, QRgb c) { strip.setPixel(x0 + x, y, c); };
    const QRgb outline = state == kDisabled ? kShadow : kBlack;
    const QRgb light = state == kPressed ? kShadow : kWhite;
    const QRgb dark = state == kPressed ? kWhite : kShadow;
    const QRgb face = state == kPressed ? kPressedFace : kFace;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const bool edgeX = x == 0 || x == w - 1;
            const bool edgeY = y == 0 || y == h - 1;
            QRgb c = face;
            if (edgeX && edgeY)
                c = kKey;  // rounded corners
            else if (edgeX || edgeY)
                c = outline;
            else if (x == 1 || y == 1)
                c = (x == w - 2 || y == h - 2) ? face : light;
            else if (x == w - 2 || y == h - 2)
                c = dark;
            set(x, y, c);
        }
    }
    // Grip: three lines across the travel, the middle one the indicator.
    const int shift = state == kPressed ? 1 : 0;
    const int along = vertical ? h : w;
    const int across = vertical ? w : h;
    const int mid = along / 2 + shift;
    const QRgb grip = state == kDisabled ? kDisabledLine : kShadow;
    for (int line = -2; line <= 2; line += 2) {
        const int a = mid + line;
        const bool isIndicator = indicator && line == 0;
        const QRgb c = isIndicator ? (state == kDisabled ? kDisabledIndicator : kIndicator) : grip;
        const int from = isIndicator ? 3 : 4;
        for (int b = from + shift; b < across - from + shift; ++b) {
            if (vertical)
                set(b, a, c);
            else
                set(a, b, c);
        }
    }
}

QImage Strip(int knobW, int knobH, bool vertical, bool indicator)
{
    QImage strip(knobW * 3, knobH, QImage::Format_RGB32);
    strip.fill(kKey);
    DrawKnob(strip, 0, knobW, knobH, kNormal, vertical, indicator);
    DrawKnob(strip, knobW, knobW, knobH, kDisabled, vertical, indicator);
    DrawKnob(strip, 2 * knobW, knobW, knobH, kPressed, vertical, indicator);
    return strip;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output directory>\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.exists() && !QDir().mkpath(out.path())) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }
    struct Entry {
        const char* name;
        QImage image;
    };
    const Entry entries[] = {
        {"V_SWITCH", Strip(18, 11, true, false)},
        {"H_SWITCH", Strip(11, 18, false, false)},
        {"SOURCE_SWITCH", Strip(18, 11, true, true)},
    };
    QString qrc = QStringLiteral("<RCC>\n  <qresource prefix=\"/bitmaps\">\n");
    for (const Entry& e : entries) {
        const QString file = QLatin1String(e.name) + QStringLiteral(".png");
        if (!e.image.save(out.filePath(file), "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(out.filePath(file)));
            return 1;
        }
        qrc += QStringLiteral("    <file alias=\"%1\">%2</file>\n").arg(QLatin1String(e.name), file);
    }
    qrc += QStringLiteral("  </qresource>\n</RCC>\n");
    QFile file(out.filePath(QStringLiteral("switchglyphs.qrc")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(qrc.toUtf8()) < 0) {
        std::fprintf(stderr, "cannot write the resource list\n");
        return 1;
    }
    return 0;
}
