// Mouse and key input sent straight to a widget.
#pragma once

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>

namespace zol::test {

inline void Press(QWidget* w, QPoint p)
{
    QMouseEvent e(QEvent::MouseButtonPress, p, w->mapToGlobal(p), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

inline void Drag(QWidget* w, QPoint p)
{
    QMouseEvent e(QEvent::MouseMove, p, w->mapToGlobal(p), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

inline void Release(QWidget* w, QPoint p)
{
    QMouseEvent e(QEvent::MouseButtonRelease, p, w->mapToGlobal(p), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

inline void Click(QWidget* w, QPoint p)
{
    Press(w, p);
    Release(w, p);
}

inline void Key(QWidget* w, int key)
{
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(w, &down);
    QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(w, &up);
}

}  // namespace zol::test
