// The panel fill: a bitmap of its list tiled from the top-left corner, the
// colour otherwise, the bevel's border band showing the fill.
#include "controls/panelfill.h"

#include <gtest/gtest.h>

using namespace zol;

namespace {

QImage Tile()
{
    QImage tile(7, 5, QImage::Format_RGB32);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            tile.setPixel(x, y, qRgb(x * 30, y * 40, 200));
    return tile;
}

QImage Shot(QWidget& w)
{
    return w.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

}  // namespace

TEST(PanelFill, TilesTheListsBitmapOrFillsTheColour)
{
    TMMBitmapList list;
    list.Add(QImage(3, 3, QImage::Format_RGB32));
    list.Add(Tile());
    TMMPanelFill panel;
    panel.resize(40, 23);  // the last row and column are cut
    panel.SetColor(QColor(0x12, 0x34, 0x56));
    EXPECT_EQ(panel.BitmapIndex(), -1);
    EXPECT_TRUE(panel.FillBevel());
    panel.SetBitmapIndex(-5);
    EXPECT_EQ(panel.BitmapIndex(), -1);

    panel.SetBitmapList(&list);
    QImage shot = Shot(panel);
    EXPECT_EQ(shot.pixel(20, 11), qRgb(0x12, 0x34, 0x56));  // no index: the colour

    panel.SetBitmapIndex(1);
    shot = Shot(panel);
    const QImage tile = Tile();
    // Inside the one-pixel bevel every pixel is the tile's at (x mod 7, y mod 5).
    for (int y = 1; y < 22; ++y)
        for (int x = 1; x < 39; ++x)
            ASSERT_EQ(shot.pixel(x, y), tile.pixel(x % 7, y % 5)) << x << "," << y;
    EXPECT_EQ(shot.pixel(0, 0), QColor(clBtnShadow).rgb());

    panel.SetBitmapIndex(2);  // beyond the count
    EXPECT_EQ(Shot(panel).pixel(20, 11), qRgb(0x12, 0x34, 0x56));

    // The border band shows the fill; without FillBevel it has its colour.
    panel.SetBitmapIndex(1);
    panel.Bevel().SetBorderWidth(3);
    panel.Bevel().SetBorderColor(QColor(0xAA, 0x00, 0xAA));
    EXPECT_EQ(Shot(panel).pixel(2, 2), tile.pixel(2, 2));
    panel.SetFillBevel(false);
    EXPECT_EQ(Shot(panel).pixel(2, 2), qRgb(0xAA, 0x00, 0xAA));
    EXPECT_EQ(Shot(panel).pixel(5, 5), tile.pixel(5, 0));

    // A changed list shows; a removed list leaves the colour.
    QImage red(7, 5, QImage::Format_RGB32);
    red.fill(qRgb(0xFF, 0, 0));
    list.SetItem(1, red);
    EXPECT_EQ(Shot(panel).pixel(10, 10), qRgb(0xFF, 0, 0));
}

TEST(PanelFill, ForgetsAListThatIsFreed)
{
    auto* list = new TMMBitmapList;
    list->Add(Tile());
    TMMPanelFill panel;
    panel.resize(20, 20);
    panel.SetColor(QColor(0x01, 0x02, 0x03));
    panel.SetBitmapList(list);
    panel.SetBitmapIndex(0);
    EXPECT_FALSE(panel.FillBitmap().isNull());
    delete list;
    EXPECT_EQ(panel.BitmapList(), nullptr);
    EXPECT_EQ(Shot(panel).pixel(10, 10), qRgb(0x01, 0x02, 0x03));
    // A panel freed before its list detaches from it.
    TMMBitmapList other;
    {
        TMMPanelFill shortLived;
        shortLived.SetBitmapList(&other);
    }
    other.Add(Tile());  // tells no freed observer
    EXPECT_EQ(other.Count(), 1);
}
