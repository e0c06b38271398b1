#include "displays/dibcanvas.h"
#include "platform/errors.h"
#include "tests/support/paint_counter.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPaintEvent>
#include <QWidget>

using namespace zol;

namespace {

QImage TwoByTwo()
{
    QImage picture(2, 2, QImage::Format_RGB32);
    picture.fill(Qt::red);
    return picture;
}

}  // namespace

TEST(DIBGraphicControl, BackgroundPictureSwitches)
{
    TMMDIBGraphicControl c;
    EXPECT_FALSE(c.UseBackGroundDIB());
    EXPECT_FALSE(c.PaletteRealize());
    EXPECT_FALSE(c.PaletteMapped());
    EXPECT_EQ(c.BitsPerPixel(), 8);

    // True needs a picture.
    c.SetUseBackGroundDIB(true);
    EXPECT_FALSE(c.UseBackGroundDIB());
    c.SetBackGroundDIB(TwoByTwo());
    EXPECT_FALSE(c.UseBackGroundDIB());  // at run time a picture alone switches nothing
    EXPECT_TRUE(c.DIBCanvas().BackGroundBitmap().isNull());
    c.SetUseBackGroundDIB(true);
    EXPECT_TRUE(c.UseBackGroundDIB());
    EXPECT_TRUE(c.PaletteRealize());
    EXPECT_FALSE(c.DIBCanvas().BackGroundBitmap().isNull());
    c.SetUseBackGroundDIB(false);
    EXPECT_FALSE(c.PaletteRealize());
    EXPECT_TRUE(c.DIBCanvas().BackGroundBitmap().isNull());

    // While loading the value is only recorded, and applied by Loaded.
    TMMDIBGraphicControl loading;
    loading.BeginLoading();
    loading.SetUseBackGroundDIB(true);
    loading.SetBackGroundDIB(TwoByTwo());
    EXPECT_FALSE(loading.UseBackGroundDIB());
    loading.Loaded();
    EXPECT_TRUE(loading.UseBackGroundDIB());
    EXPECT_FALSE(loading.DIBCanvas().BackGroundBitmap().isNull());

    // At design time the picture switches the use (and the palette) itself.
    TMMDIBGraphicControl design;
    design.SetDesigning(true);
    design.SetPaletteMapped(true);
    design.SetBackGroundDIB(TwoByTwo());
    EXPECT_TRUE(design.UseBackGroundDIB());
    EXPECT_TRUE(design.PaletteRealize());
    design.SetBackGroundDIB(QImage());
    EXPECT_FALSE(design.UseBackGroundDIB());
    EXPECT_FALSE(design.PaletteRealize());
    EXPECT_FALSE(design.PaletteMapped());

    EXPECT_THROW(c.SetBitsPerPixel(16), EMMDIBError);
    EXPECT_EQ(c.BitsPerPixel(), 8);
    c.SetBitsPerPixel(24);
    EXPECT_EQ(c.DIBCanvas().BitsPerPixel(), 24);
}

TEST(DIBGraphicControl, PaintsBevelAndCanvasAndDrawsDirectOnlyWhenShown)
{
    QWidget parent;
    parent.resize(100, 60);
    auto* c = new TMMDIBGraphicControl(&parent);
    c->setGeometry(10, 10, 20, 12);
    c->SetColor(clNavy);
    const QImage& screen = c->ScreenImage();
    ASSERT_EQ(screen.size(), QSize(20, 12));
    // Outer lowered bevel: shadow top-left, highlight bottom-right.
    EXPECT_EQ(screen.pixelColor(0, 0), clBtnShadow);
    EXPECT_EQ(screen.pixelColor(19, 11), clBtnHighlight);
    EXPECT_EQ(screen.pixelColor(1, 1), clNavy);
    EXPECT_EQ(screen.pixelColor(18, 10), clNavy);
    // The canvas follows the control's size.
    EXPECT_EQ(c->DIBCanvas().Width(), 20);
    EXPECT_EQ(c->DIBCanvas().Height(), 12);

    int draws = 0;
    auto draw = [&] {
        ++draws;
        TMMDIBCanvas& dib = c->DIBCanvas();
        dib.BeginDraw();
        dib.SelectColor(clYellow);
        dib.PlotClear();
        dib.EndDraw();
    };
    c->PaintDirect(draw);  // the parent is not shown
    EXPECT_EQ(draws, 0);
    parent.show();
    c->ScreenImage();  // the full paint the showing asked for
    c->PaintDirect(draw);
    EXPECT_EQ(draws, 1);
    // The canvas changed, the screen picture keeps what the routine did not
    // copy there.
    EXPECT_EQ(c->DIBCanvas().ReadPixel(5, 5), 251);
    EXPECT_EQ(c->ScreenImage().pixelColor(5, 5), clNavy);

    TMMDIBGraphicControl orphan;  // no parent window
    orphan.show();
    orphan.PaintDirect(draw);
    EXPECT_EQ(draws, 1);
}

namespace {

using test::PaintCounter;

// A control whose frames are copied to its whole screen picture.
struct CopyingControl : TMMDIBGraphicControl {
    using TMMDIBGraphicControl::TMMDIBGraphicControl;
    void CopyCanvas() { CopyToScreen(rect(), 0, 0); }
};

}  // namespace

TEST(DIBGraphicControl, AFrameThatChangesNothingIsNotRepaintedAndAChangeOnlyWhereItIs)
{
    QWidget parent;
    parent.resize(100, 60);
    auto* c = new CopyingControl(&parent);
    c->setGeometry(10, 10, 40, 30);
    parent.show();
    c->ScreenImage();
    QCoreApplication::processEvents();
    PaintCounter counter;
    c->installEventFilter(&counter);
    // A routine that draws a frame with a dot where it is told and copies
    // the canvas to the screen picture.
    QPoint dot(5, 5);
    auto draw = [&] {
        TMMDIBCanvas& dib = c->DIBCanvas();
        dib.BeginDraw();
        dib.SelectColor(clBlack);
        dib.PlotClear();
        dib.PlotPixel(dot.x(), dot.y(), dib.ColorToPixel(clYellow));
        dib.EndDraw();
        c->CopyCanvas();
    };
    c->PaintDirect(draw);
    const int first = counter.paints;
    EXPECT_GE(first, 1);
    // The same frame: no paint.
    c->PaintDirect(draw);
    c->PaintDirect(draw);
    EXPECT_EQ(counter.paints, first);
    // The dot moves: one paint, of the two pixels' bounds only.
    dot = QPoint(9, 7);
    c->PaintDirect(draw);
    EXPECT_EQ(counter.paints, first + 1);
    EXPECT_EQ(counter.last.boundingRect(), QRect(QPoint(5, 5), QPoint(9, 7)));
    EXPECT_EQ(c->ScreenImage().pixelColor(9, 7), clYellow);
    EXPECT_EQ(c->ScreenImage().pixelColor(5, 5), clBlack);
    c->removeEventFilter(&counter);
}
