// Immediate repaints of displays, gathered while a batch of feeding runs.
//
// A display that is fed a block repaints the part that changed at once.
// When one pass feeds several displays several blocks each, repainting each
// time would send every intermediate picture to the window system; inside a
// PaintBatch the repaints are gathered instead and made together when the
// outermost batch ends, in one pass of the window's repaint. Outside a batch
// RepaintNow repaints at once, as before. Window thread only.
#pragma once

class QRegion;
class QWidget;

namespace zol::platform {

class PaintBatch {
public:
    PaintBatch();
    ~PaintBatch();
    PaintBatch(const PaintBatch&) = delete;
    PaintBatch& operator=(const PaintBatch&) = delete;

    // Whether a batch is running on this thread.
    static bool Active();
};

// Repaints `region` of `widget` (the whole widget without a region) now, or
// at the end of the running batch.
void RepaintNow(QWidget* widget, const QRegion& region);
void RepaintNow(QWidget* widget);

}  // namespace zol::platform
