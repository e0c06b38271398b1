#include "displays/ledmouse.h"

#include <QMouseEvent>

namespace zol {

namespace {
QPoint Pos(const QMouseEvent* event)
{
    return event->position().toPoint();
}
}  // namespace

void TMMLEDMouseEvents::MousePressed(QObject* sender, QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        leftDown_ = true;
    if (OnMouseDown)
        OnMouseDown(sender, event->button(), event->modifiers(), Pos(event).x(), Pos(event).y());
}

void TMMLEDMouseEvents::MouseReleased(QObject* sender, QMouseEvent* event, const QRect& area)
{
    const bool click = event->button() == Qt::LeftButton && leftDown_ && area.contains(Pos(event));
    if (event->button() == Qt::LeftButton)
        leftDown_ = false;
    if (click && OnClick)
        OnClick(sender);
    if (OnMouseUp)
        OnMouseUp(sender, event->button(), event->modifiers(), Pos(event).x(), Pos(event).y());
}

void TMMLEDMouseEvents::MouseDoubleClicked(QObject* sender, QMouseEvent* event)
{
    // The release that follows a double click is no second click.
    if (event->button() == Qt::LeftButton) {
        leftDown_ = false;
        if (OnDblClick)
            OnDblClick(sender);
    }
    if (OnMouseDown)
        OnMouseDown(sender, event->button(), event->modifiers(), Pos(event).x(), Pos(event).y());
}

void TMMLEDMouseEvents::MouseMoved(QObject* sender, QMouseEvent* event)
{
    if (OnMouseMove)
        OnMouseMove(sender, event->modifiers(), Pos(event).x(), Pos(event).y());
}

}  // namespace zol
