#include "platform/paintbatch.h"
#include "tests/support/paint_counter.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QWidget>

#include <memory>

using namespace zol;

TEST(PaintBatch, RepaintsWaitForTheOutermostBatchAndComeOncePerWidget)
{
    QWidget window;
    window.resize(200, 100);
    auto* a = new QWidget(&window);
    auto* b = new QWidget(&window);
    auto* gone = new QWidget(&window);
    a->setGeometry(0, 0, 100, 100);
    b->setGeometry(100, 0, 100, 50);
    gone->setGeometry(100, 50, 100, 50);
    window.show();
    QCoreApplication::processEvents();
    test::PaintCounter pa, pb;
    a->installEventFilter(&pa);
    b->installEventFilter(&pb);

    // Outside a batch a repaint is made at once.
    platform::RepaintNow(a, QRegion(10, 10, 5, 5));
    EXPECT_EQ(pa.paints, 1);
    EXPECT_EQ(pa.last, QRegion(10, 10, 5, 5));
    EXPECT_FALSE(platform::PaintBatch::Active());

    {
        platform::PaintBatch outer;
        {
            platform::PaintBatch inner;
            EXPECT_TRUE(platform::PaintBatch::Active());
            platform::RepaintNow(a, QRegion(0, 0, 10, 10));
            platform::RepaintNow(b);
            platform::RepaintNow(gone, QRegion(0, 0, 5, 5));
        }
        platform::RepaintNow(a, QRegion(50, 50, 10, 10));
        platform::RepaintNow(a, QRegion());  // nothing to paint
        delete gone;                          // a widget that goes meanwhile is left out
        EXPECT_EQ(pa.paints, 1);
        EXPECT_EQ(pb.paints, 0);
    }
    EXPECT_FALSE(platform::PaintBatch::Active());
    // The batch's end paints each widget once, everything it was asked for.
    EXPECT_EQ(pa.paints, 2);
    EXPECT_EQ(pa.last, QRegion(0, 0, 10, 10) + QRegion(50, 50, 10, 10));
    EXPECT_EQ(pb.paints, 1);
    EXPECT_EQ(pb.last, QRegion(b->rect()));

    // A batch with nothing asked paints nothing.
    { platform::PaintBatch empty; }
    EXPECT_EQ(pa.paints, 2);
    EXPECT_EQ(pb.paints, 1);
}
