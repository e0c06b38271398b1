// Click, double-click and mouse events of the LED controls.
#pragma once

#include "core/mmcomponent.h"

#include <QRect>

#include <functional>

class QMouseEvent;

namespace zol {

class TMMLEDMouseEvents {
public:
    using TMouseEvent = std::function<void(QObject* sender, Qt::MouseButton button,
                                           Qt::KeyboardModifiers shift, int x, int y)>;
    using TMouseMoveEvent = std::function<void(QObject* sender, Qt::KeyboardModifiers shift, int x, int y)>;

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TMouseMoveEvent OnMouseMove;

protected:
    // Called from the widget's mouse handlers; `sender` is the widget. A
    // click is a left press and release inside `area`.
    void MousePressed(QObject* sender, QMouseEvent* event);
    void MouseReleased(QObject* sender, QMouseEvent* event, const QRect& area);
    void MouseDoubleClicked(QObject* sender, QMouseEvent* event);
    void MouseMoved(QObject* sender, QMouseEvent* event);

private:
    bool leftDown_ = false;
};

}  // namespace zol
