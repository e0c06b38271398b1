#include "controls/mmcursors.h"

#include <QBitmap>
#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>

#include <map>

namespace zol {

namespace {
std::map<int, QCursor>& Table()
{
    static std::map<int, QCursor> table;
    return table;
}

// A pointing hand: index finger up, hot spot at its tip.
QCursor DrawHand()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(Qt::black);
    p.setBrush(Qt::white);
    QPolygon hand;
    hand << QPoint(9, 1) << QPoint(12, 1) << QPoint(12, 10) << QPoint(15, 9) << QPoint(18, 10)
         << QPoint(21, 11) << QPoint(24, 13) << QPoint(24, 22) << QPoint(21, 28) << QPoint(11, 28)
         << QPoint(5, 19) << QPoint(4, 15) << QPoint(6, 14) << QPoint(9, 17);
    p.drawPolygon(hand);
    p.drawLine(15, 10, 15, 15);
    p.drawLine(18, 11, 18, 15);
    p.drawLine(21, 12, 21, 15);
    p.end();
    return QCursor(pixmap, 10, 1);
}

// The other cursors: an arrow with a small numbered mark so each number has
// its own image; none of them is used by the main window.
QCursor DrawArrow(int id)
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setPen(Qt::black);
    p.setBrush(Qt::white);
    QPolygon arrow;
    arrow << QPoint(0, 0) << QPoint(0, 16) << QPoint(4, 12) << QPoint(7, 19) << QPoint(9, 18)
          << QPoint(6, 11) << QPoint(11, 11);
    p.drawPolygon(arrow);
    p.setBrush(Qt::black);
    const int n = id - crFirstCursor;
    for (int bit = 0; bit < 5; ++bit)
        if (n & (1 << bit))
            p.drawRect(14 + bit * 3, 26, 2, 2);
    p.end();
    return QCursor(pixmap, 0, 0);
}
}  // namespace

void InstallCursors()
{
    auto& table = Table();
    if (!table.empty() || qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr)
        return;
    for (int id = crFirstCursor; id <= crLastCursor; ++id)
        table.emplace(id, id == crHandPoint ? DrawHand() : DrawArrow(id));
}

QCursor ScreenCursor(int id)
{
    switch (id) {
    case 0: return QCursor(Qt::ArrowCursor);
    case -2: return QCursor(Qt::ArrowCursor);
    case -3: return QCursor(Qt::CrossCursor);
    case -4: return QCursor(Qt::IBeamCursor);
    case -11: return QCursor(Qt::WaitCursor);
    case -21: return QCursor(Qt::PointingHandCursor);
    default: break;
    }
    InstallCursors();
    auto it = Table().find(id);
    return it == Table().end() ? QCursor(Qt::ArrowCursor) : it->second;
}

}  // namespace zol
