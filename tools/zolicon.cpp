// Build-time generator of the program's icon: the Sun almost covered by the
// Moon above the trace of a received carrier, on a night-blue tile. Drawn
// at every size the desktop asks for, so that small sizes stay sharp.
//
// Writes zol-16.png ... zol-256.png and zolicon.qrc (prefix "/icons") into
// the output directory.
//
// Usage: zol_icon <output directory>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QString>

#include <cmath>
#include <cstdio>

namespace {

const int kSizes[] = {16, 24, 32, 48, 64, 128, 256};

void DrawTile(QPainter& p, double s)
{
    QLinearGradient sky(0, 0, 0, s);
    sky.setColorAt(0.0, QColor(0x0B, 0x16, 0x3F));
    sky.setColorAt(1.0, QColor(0x1E, 0x3A, 0x78));
    QPainterPath tile;
    tile.addRoundedRect(QRectF(0.5, 0.5, s - 1, s - 1), s * 0.16, s * 0.16);
    p.fillPath(tile, sky);
}

void DrawEclipse(QPainter& p, double s)
{
    const QPointF sun(s * 0.5, s * 0.40);
    const double r = s * 0.22;
    // The corona: a glow that fades out around the disc.
    QRadialGradient corona(sun, r * 1.75);
    corona.setColorAt(0.0, QColor(255, 236, 170, 255));
    corona.setColorAt(0.55, QColor(255, 200, 90, 190));
    corona.setColorAt(1.0, QColor(255, 160, 40, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(corona);
    p.drawEllipse(sun, r * 1.75, r * 1.75);
    p.setBrush(QColor(0xFF, 0xC8, 0x3C));
    p.drawEllipse(sun, r, r);
    // The Moon, a little larger, leaves a thin crescent lower left.
    p.setBrush(QColor(0x10, 0x1A, 0x36));
    p.drawEllipse(sun + QPointF(r * 0.28, -r * 0.22), r * 1.02, r * 1.02);
}

void DrawTrace(QPainter& p, double s)
{
    // The carrier's level through the eclipse: steady, a deep dip, steady.
    QPainterPath trace;
    const double left = s * 0.12, right = s * 0.88, base = s * 0.74, depth = s * 0.13;
    const int points = 48;
    for (int i = 0; i <= points; ++i) {
        const double u = static_cast<double>(i) / points;
        const double x = left + (right - left) * u;
        const double dip = std::exp(-std::pow((u - 0.5) / 0.14, 2));
        const double y = base - depth * 0.25 + depth * dip;
        if (i == 0)
            trace.moveTo(x, y);
        else
            trace.lineTo(x, y);
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0x5C, 0xF0, 0x7A), std::max(1.0, s * 0.045), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(trace);
}

QImage DrawIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const double s = size;
    DrawTile(p, s);
    DrawEclipse(p, s);
    DrawTrace(p, s);
    p.end();
    return image;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: zol_icon <output directory>\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.exists() && !QDir().mkpath(out.path())) {
        std::fprintf(stderr, "zol_icon: cannot make %s\n", argv[1]);
        return 1;
    }
    QString qrc = QStringLiteral("<RCC>\n  <qresource prefix=\"/icons\">\n");
    for (int size : kSizes) {
        const QString name = QStringLiteral("zol-%1.png").arg(size);
        if (!DrawIcon(size).save(out.filePath(name), "PNG")) {
            std::fprintf(stderr, "zol_icon: cannot write %s\n", qPrintable(out.filePath(name)));
            return 1;
        }
        qrc += QStringLiteral("    <file>%1</file>\n").arg(name);
    }
    qrc += QStringLiteral("  </qresource>\n</RCC>\n");
    QFile file(out.filePath(QStringLiteral("zolicon.qrc")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(qrc.toUtf8()) < 0) {
        std::fprintf(stderr, "zol_icon: cannot write the resource list\n");
        return 1;
    }
    return 0;
}
