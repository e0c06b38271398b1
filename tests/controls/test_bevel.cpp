#include "controls/mmcontrols.h"
#include "controls/mmcursors.h"
#include "controls/bevel.h"
#include "core/mmobserver.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include <vector>

using namespace zol;

namespace {
QImage Paint(const TMMBevel& bevel, int w, int h, bool drawBorder, QRect* inner)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::magenta);
    QPainter p(&image);
    *inner = bevel.PaintBevel(p, QRect(0, 0, w, h), drawBorder);
    return image;
}
QColor At(const QImage& image, int x, int y)
{
    return QColor(image.pixel(x, y));
}
}  // namespace

TEST(Bevel, ExtentCountsEveryPart)
{
    TMMBevel bevel;
    EXPECT_EQ(bevel.BevelExtent(), 1);  // outer lowered, width 1
    bevel.SetBorderStyle(bsSingle);
    bevel.SetBorderWidth(5);
    bevel.SetBevelInner(bvRaised);
    bevel.SetBevelInnerWidth(2);
    bevel.SetBorderSpace(3);
    EXPECT_EQ(bevel.BevelExtent(), 12);
    bevel.SetBevelOuter(bvNone);
    EXPECT_EQ(bevel.BevelExtent(), 11);
    bevel.SetBevelInner(bvSpace);  // counts, though it is not drawn
    EXPECT_EQ(bevel.BevelExtent(), 11);
}

TEST(Bevel, PaintsLoweredFrameAndSliderBorder)
{
    // The main window's slider bevel: outer lowered width 1, border width 5.
    TMMBevel bevel;
    bevel.SetBorderWidth(5);
    bevel.SetBorderColor(QColor(0x10, 0x20, 0x30));
    QRect inner;
    const QImage image = Paint(bevel, 40, 20, true, &inner);
    EXPECT_EQ(inner, QRect(6, 6, 28, 8));
    // Lowered: shadow on top and left, light on bottom and right; the
    // top-right and bottom-left corners belong to the light side.
    EXPECT_EQ(At(image, 0, 0), clBtnShadow);
    EXPECT_EQ(At(image, 20, 0), clBtnShadow);
    EXPECT_EQ(At(image, 0, 10), clBtnShadow);
    EXPECT_EQ(At(image, 39, 0), clBtnHighlight);
    EXPECT_EQ(At(image, 0, 19), clBtnHighlight);
    EXPECT_EQ(At(image, 39, 10), clBtnHighlight);
    EXPECT_EQ(At(image, 20, 19), clBtnHighlight);
    // The border ring fills pixels 1..5 on each side; the inside is untouched.
    EXPECT_EQ(At(image, 1, 1), QColor(0x10, 0x20, 0x30));
    EXPECT_EQ(At(image, 5, 10), QColor(0x10, 0x20, 0x30));
    EXPECT_EQ(At(image, 34, 10), QColor(0x10, 0x20, 0x30));
    EXPECT_EQ(At(image, 6, 6), QColor(Qt::magenta));

    // Without the border flag the rectangle still shrinks by the border.
    const QImage plain = Paint(bevel, 40, 20, false, &inner);
    EXPECT_EQ(inner, QRect(6, 6, 28, 8));
    EXPECT_EQ(At(plain, 3, 10), QColor(Qt::magenta));
}

TEST(Bevel, RaisedInnerSingleBorderAndSpace)
{
    TMMBevel bevel;
    bevel.SetBorderStyle(bsSingle);
    bevel.SetBevelOuter(bvRaised);
    bevel.SetBevelInner(bvLowered);
    bevel.SetBevelInnerWidth(2);
    bevel.SetBorderSpace(1);
    bevel.SetBorderSpaceColor(clRed);
    QRect inner;
    const QImage image = Paint(bevel, 30, 30, true, &inner);
    EXPECT_EQ(inner, QRect(5, 5, 20, 20));
    EXPECT_EQ(At(image, 0, 5), clWindowFrame);
    EXPECT_EQ(At(image, 1, 5), clBtnHighlight);  // raised outer: light left
    EXPECT_EQ(At(image, 28, 5), clBtnShadow);    // dark right
    EXPECT_EQ(At(image, 2, 5), clBtnShadow);     // lowered inner: dark left
    EXPECT_EQ(At(image, 3, 5), clBtnShadow);
    EXPECT_EQ(At(image, 26, 5), clBtnHighlight);
    EXPECT_EQ(At(image, 4, 5), clRed);           // border space ring
    EXPECT_EQ(At(image, 5, 5), QColor(Qt::magenta));
}

TEST(Bevel, AssignIsOneChangeAndSelfAssignNone)
{
    TMMBevel target;
    int changes = 0;
    target.OnChange = [&](TMMObject*) { ++changes; };
    target.Assign(target);
    EXPECT_EQ(changes, 0);

    TMMBevel source;
    source.SetBevelInner(bvRaised);
    source.SetBevelOuter(bvRaised);
    source.SetBevelInnerWidth(3);
    source.SetBevelOuterWidth(4);
    source.SetBorderStyle(bsSingle);
    source.SetBorderWidth(2);
    source.SetBorderSpace(7);
    source.SetBorderColor(clRed);
    source.SetBorderSpaceColor(clBlue);
    source.SetInnerLightColor(clYellow);
    source.SetInnerShadowColor(clNavy);
    source.SetOuterLightColor(clAqua);
    source.SetOuterShadowColor(clMaroon);
    target.Assign(source);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(target.BevelExtent(), source.BevelExtent());
    EXPECT_EQ(target.OuterShadowColor(), clMaroon);
    EXPECT_EQ(target.BorderSpace(), 7);
    // Setting a value it already has is no change.
    target.SetBorderWidth(2);
    EXPECT_EQ(changes, 1);
}

TEST(Observer, NotifiedLastToFirstAndLockAndDetach)
{
    TMMObservable observable;
    std::vector<int> order;
    TMMObserver a([&](TMMObserver*, TMMChange*) { order.push_back(1); });
    TMMObserver b([&](TMMObserver*, TMMChange*) { order.push_back(2); });
    TMMObserver c([&](TMMObserver*, TMMChange*) { order.push_back(3); });
    observable.AddObserver(&a);
    observable.AddObserver(&b);
    observable.AddObserver(&c);
    observable.AddObserver(nullptr);
    TMMChange change;
    observable.Notify(&change);
    EXPECT_EQ(order, (std::vector<int>{3, 2, 1}));

    order.clear();
    b.Lock();
    EXPECT_TRUE(b.Locked());
    observable.Notify(&change);
    EXPECT_EQ(order, (std::vector<int>{3, 1}));
    b.Unlock();

    // An observer belongs to one observable at a time.
    TMMObservable other;
    other.AddObserver(&a);
    EXPECT_EQ(a.Observable(), &other);
    EXPECT_EQ(observable.Count(), 2);
    observable.RemoveObserver(&a);  // not attached here: ignored
    EXPECT_EQ(other.Count(), 1);
    {
        TMMObserver temporary([&](TMMObserver*, TMMChange*) { order.push_back(9); });
        observable.AddObserver(&temporary);
    }  // destroying detaches
    EXPECT_EQ(observable.Count(), 2);
    order.clear();
    observable.Notify(&change);
    EXPECT_EQ(order, (std::vector<int>{3, 2}));
}

TEST(Panel, PaintHookReplacesFillButCaptionStillDrawn)
{
    TMMPanel panel;
    panel.resize(80, 30);
    panel.SetColor(clYellow);
    panel.SetCaption("WWWW");
    QImage plain = panel.grab().toImage();
    EXPECT_EQ(QColor(plain.pixel(5, 5)), clYellow);

    bool hookRan = false;
    panel.SetPaintHook([&](TMMCustomPanel*, QPainter& p, const QRect& inner) {
        hookRan = true;
        EXPECT_EQ(inner, QRect(1, 1, 78, 28));
        p.fillRect(inner, clGreen);
    });
    QImage hooked = panel.grab().toImage();
    EXPECT_TRUE(hookRan);
    EXPECT_EQ(QColor(hooked.pixel(5, 5)), clGreen);
    // The caption is drawn on top of the hook's background, centred.
    int dark = 0;
    for (int x = 20; x < 60; ++x)
        for (int y = 5; y < 25; ++y)
            if (qGray(hooked.pixel(x, y)) < 60)
                ++dark;
    EXPECT_GT(dark, 10);
    // Children are aligned inside the bevel.
    EXPECT_EQ(panel.contentsMargins().left(), panel.BevelExtent());
}

TEST(Cursors, ProgramCursorsAreDrawn)
{
    InstallCursors();
    const QCursor hand = ScreenCursor(crHandPoint);
    EXPECT_FALSE(hand.pixmap().isNull());
    EXPECT_EQ(hand.pixmap().width(), 32);
    EXPECT_NE(hand.pixmap().toImage(), ScreenCursor(2001).pixmap().toImage());
    EXPECT_EQ(ScreenCursor(-3).shape(), Qt::CrossCursor);
}
