#include "platform/paintbatch.h"

#include "platform/window_thread.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QRegion>
#include <QWidget>

#include <algorithm>
#include <utility>
#include <vector>

namespace zol::platform {

namespace {

struct Pending {
    QPointer<QWidget> widget;
    QRegion region;
};

struct BatchState {
    int depth = 0;
    std::vector<Pending> pending;
};

BatchState& State()
{
    thread_local BatchState state;
    return state;
}

void Flush(std::vector<Pending> pending)
{
    // Marked first, then each window repaints everything marked in it at once.
    std::vector<QPointer<QWidget>> windows;
    for (Pending& p : pending) {
        if (p.widget.isNull())
            continue;
        p.widget->update(p.region);
        QPointer<QWidget> top(p.widget->window());
        if (std::find(windows.begin(), windows.end(), top) == windows.end())
            windows.push_back(top);
    }
    for (const QPointer<QWidget>& top : windows)
        if (!top.isNull())
            QCoreApplication::sendPostedEvents(top.data(), QEvent::UpdateRequest);
}

}  // namespace

PaintBatch::PaintBatch()
{
    ++State().depth;
}

PaintBatch::~PaintBatch()
{
    BatchState& state = State();
    if (--state.depth > 0 || state.pending.empty())
        return;
    // A paint that fails is reported; the batch's other paints still run.
    Guarded([&state] { Flush(std::exchange(state.pending, {})); });
}

bool PaintBatch::Active()
{
    return State().depth > 0;
}

void RepaintNow(QWidget* widget, const QRegion& region)
{
    if (widget == nullptr || region.isEmpty())
        return;
    BatchState& state = State();
    if (state.depth == 0) {
        widget->repaint(region);
        return;
    }
    for (Pending& p : state.pending) {
        if (p.widget == widget) {
            p.region += region;
            return;
        }
    }
    state.pending.push_back({QPointer<QWidget>(widget), region});
}

void RepaintNow(QWidget* widget)
{
    if (widget != nullptr)
        RepaintNow(widget, QRegion(widget->rect()));
}

}  // namespace zol::platform
