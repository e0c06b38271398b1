// A panel whose background is a bitmap of a bitmap list, tiled from the
// top-left corner, or its plain colour.
#pragma once

#include "controls/bitmaplist.h"
#include "controls/mmcontrols.h"
#include "core/mmobserver.h"

namespace zol {

class TMMPanelFill : public TMMPanel {
public:
    explicit TMMPanelFill(QWidget* parent = nullptr);
    ~TMMPanelFill() override;

    TMMBitmapList* BitmapList() const { return bitmapList_; }
    void SetBitmapList(TMMBitmapList* list);
    int BitmapIndex() const { return bitmapIndex_; }
    // Never below -1 (no bitmap).
    void SetBitmapIndex(int index);
    // When true the bevel's border band is not painted: the fill shows there.
    bool FillBevel() const { return !DrawBorder(); }
    void SetFillBevel(bool value) { SetDrawBorder(!value); }

    // The bitmap tiled now, or a null image when the colour fills.
    QImage FillBitmap() const;

    void Notification(QObject* component, TOperation operation) override;

protected:
    void Paint(QPainter& painter) override;

private:
    TMMBitmapList* bitmapList_ = nullptr;
    int bitmapIndex_ = -1;
    TMMObserver observer_;
};

}  // namespace zol
