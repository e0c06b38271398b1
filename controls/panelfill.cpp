#include "controls/panelfill.h"

#include <QPainter>

#include <algorithm>

namespace zol {

TMMPanelFill::TMMPanelFill(QWidget* parent) : TMMPanel(parent)
{
    SetFillBevel(true);
    // The interior is filled before the bevel is drawn, not again after it.
    SetPaintHook([](TMMCustomPanel*, QPainter&, const QRect&) {});
    observer_.SetOnNotify([this](TMMObserver*, TMMChange*) { update(); }, this);
}

TMMPanelFill::~TMMPanelFill()
{
    Destroying();
    if (bitmapList_)
        bitmapList_->RemoveObserver(&observer_);
}

void TMMPanelFill::SetBitmapList(TMMBitmapList* list)
{
    if (bitmapList_ == list)
        return;
    if (bitmapList_) {
        bitmapList_->RemoveObserver(&observer_);
        RemoveFreeNotification(bitmapList_);
    }
    bitmapList_ = list;
    if (bitmapList_) {
        bitmapList_->AddObserver(&observer_);
        FreeNotification(bitmapList_);
    }
    update();
}

void TMMPanelFill::SetBitmapIndex(int index)
{
    index = std::max(index, -1);
    if (bitmapIndex_ == index)
        return;
    bitmapIndex_ = index;
    update();
}

void TMMPanelFill::Notification(QObject* component, TOperation operation)
{
    TMMPanel::Notification(component, operation);
    // The list is gone (its observable detached us already).
    if (operation == opRemove && component == bitmapList_) {
        bitmapList_ = nullptr;
        update();
    }
}

QImage TMMPanelFill::FillBitmap() const
{
    if (bitmapList_ == nullptr || bitmapIndex_ < 0 || bitmapIndex_ >= bitmapList_->Count())
        return QImage();
    return bitmapList_->Item(bitmapIndex_);
}

void TMMPanelFill::Paint(QPainter& painter)
{
    const QImage tile = FillBitmap();
    if (tile.isNull() || tile.width() <= 0 || tile.height() <= 0) {
        painter.fillRect(rect(), Color());
    } else {
        for (int y = 0; y < height(); y += tile.height())
            for (int x = 0; x < width(); x += tile.width())
                painter.drawImage(x, y, tile);
    }
    TMMPanel::Paint(painter);
}

}  // namespace zol
