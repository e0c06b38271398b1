// Counts a widget's paint events and keeps the region of the last one
// (install it with installEventFilter).
#pragma once

#include <QEvent>
#include <QObject>
#include <QPaintEvent>
#include <QRegion>

namespace zol::test {

struct PaintCounter : QObject {
    int paints = 0;
    QRegion last;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint) {
            ++paints;
            last = static_cast<QPaintEvent*>(e)->region();
        }
        return false;
    }
};

}  // namespace zol::test
