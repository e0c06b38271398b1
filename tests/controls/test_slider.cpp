#include "controls/slider.h"
#include "tests/support/test_support.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <gtest/gtest.h>

#include <memory>

using namespace zol;

namespace {

void Press(QWidget* w, QPoint p)
{
    QMouseEvent e(QEvent::MouseButtonPress, p, w->mapToGlobal(p), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}
void Move(QWidget* w, QPoint p)
{
    QMouseEvent e(QEvent::MouseMove, p, w->mapToGlobal(p), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}
void Release(QWidget* w, QPoint p)
{
    QMouseEvent e(QEvent::MouseButtonRelease, p, w->mapToGlobal(p), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}
void Key(QWidget* w, int key)
{
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(w, &down);
    QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(w, &up);
}

}  // namespace

TEST(Slider, Defaults)
{
    TMMSlider s;
    EXPECT_EQ(s.width(), 200);
    EXPECT_EQ(s.height(), 40);
    EXPECT_EQ(s.Bevel().BorderWidth(), 5);
    EXPECT_EQ(s.MinValue(), 0);
    EXPECT_EQ(s.MaxValue(), 10);
    EXPECT_EQ(s.Position(), 0);
    EXPECT_EQ(s.Orientation(), orHorizontal);
    EXPECT_EQ(s.ThumbWidth(), 11);
    EXPECT_EQ(s.ThumbHeight(), 23);
    EXPECT_EQ(s.Sensitivity(), -24);
    EXPECT_FALSE(s.Scale().Visible());
    EXPECT_EQ(s.Scale().Origin(), soOuter);
    EXPECT_TRUE(s.Scale().Connect());
    EXPECT_EQ(s.FocusAction(), faFocusRect);
    EXPECT_EQ(s.focusPolicy(), Qt::StrongFocus);
}

TEST(Slider, LogarithmicMapping)
{
    TMMSlider s;
    s.SetMaxValue(64);
    s.SetLogarithmic(true);
    s.SetPosition(64);
    EXPECT_EQ(s.InnerPosition(), 64);
    EXPECT_EQ(s.Position(), 64);
    s.SetPosition(32);  // -6.02 dB of 24
    EXPECT_EQ(s.InnerPosition(), 48);
    EXPECT_EQ(s.Position(), 32);
    s.SetPosition(0);
    EXPECT_EQ(s.InnerPosition(), 0);
    EXPECT_EQ(s.Position(), 0);
    // Below the sensitivity span everything lands at the bottom.
    s.SetPosition(1);  // -36 dB
    EXPECT_EQ(s.InnerPosition(), 0);
    s.SetMinValue(-8);  // a negative position has no level
    s.SetPosition(20);
    s.SetPosition(-4);
    EXPECT_EQ(s.InnerPosition(), -8);
    s.SetMinValue(0);

    // Sensitivity is kept within -96..-20 and keeps the outward position.
    s.SetPosition(32);
    s.SetSensitivity(-10);
    EXPECT_EQ(s.Sensitivity(), -20);
    EXPECT_EQ(s.Position(), 32);
    s.SetSensitivity(-120);
    EXPECT_EQ(s.Sensitivity(), -96);
    EXPECT_NEAR(s.Position(), 32, 1);
    // Switching the mapping off keeps the outward position too.
    s.SetSensitivity(-24);
    s.SetPosition(32);
    s.SetLogarithmic(false);
    EXPECT_EQ(s.InnerPosition(), 32);
}

TEST(Slider, RangeAndChangeEvents)
{
    TMMSlider s;
    int changes = 0;
    s.OnChange = [&](QObject*) { ++changes; };
    s.SetMinValue(5);
    EXPECT_EQ(s.MaxValue(), 10);
    EXPECT_EQ(s.Position(), 5);  // pulled into the range
    EXPECT_EQ(changes, 1);
    s.SetMaxValue(5);  // equal to MinValue: MinValue + 1
    EXPECT_EQ(s.MaxValue(), 6);
    s.SetPosition(6);
    EXPECT_EQ(changes, 2);
    s.SetPosition(6);
    EXPECT_EQ(changes, 2);
    s.SetPosition(100);  // clamped to 6: unchanged
    EXPECT_EQ(changes, 2);
}

TEST(Slider, ThumbGeometry)
{
    TMMSlider s;  // 200 x 40, horizontal
    const int e = s.BevelExtent();
    s.SetMaxValue(10);
    s.SetPosition(0);
    QRect t = s.ThumbRect();
    EXPECT_EQ(t.left(), e);
    EXPECT_EQ(t.width(), 11);
    EXPECT_EQ(t.height(), 23);
    const int trackW = 200 - 2 * e;
    const int trackH = 40 - 2 * e;
    EXPECT_EQ(t.top(), e + trackH / 2 - 23 / 2);
    s.SetPosition(10);
    EXPECT_EQ(s.ThumbRect().left(), e + trackW - 11);
    s.SetPosition(5);
    EXPECT_EQ(s.ThumbRect().left(), e + static_cast<int>(std::nearbyint(5.0 * (trackW - 11) / 10)));
    // A visible scale below pushes the thumb to the track's top.
    s.Scale().SetVisible(true);
    EXPECT_EQ(s.ThumbRect().top(), e);
    s.SetScalePosition(spAboveOrLeft);
    EXPECT_EQ(s.ThumbRect().top(), e + trackH - 23);

    // Vertical: the high end is at the top.
    TMMSlider v;
    v.resize(23, 129);
    EXPECT_EQ(v.Orientation(), orVertical);
    v.SetThumbWidth(23 - 2 * v.BevelExtent());
    v.SetThumbHeight(11);
    v.SetMaxValue(32);
    v.SetPosition(32);
    EXPECT_EQ(v.ThumbRect().top(), v.BevelExtent());
    v.SetPosition(0);
    EXPECT_EQ(v.ThumbRect().bottom(), 129 - v.BevelExtent() - 1);
}

TEST(Slider, Keyboard)
{
    TMMSlider h;
    h.SetPosition(5);
    int tracks = 0, ends = 0;
    h.OnTrack = [&](QObject*) { ++tracks; };
    h.OnTrackEnd = [&](QObject*) { ++ends; };
    Key(&h, Qt::Key_Home);
    EXPECT_EQ(h.Position(), 0);
    EXPECT_EQ(tracks, 1);
    EXPECT_EQ(ends, 1);
    Key(&h, Qt::Key_End);
    EXPECT_EQ(h.Position(), 10);
    Key(&h, Qt::Key_Right);  // at the top already
    EXPECT_EQ(h.Position(), 10);
    Key(&h, Qt::Key_Left);
    EXPECT_EQ(h.Position(), 9);
    Key(&h, Qt::Key_PageDown);
    EXPECT_EQ(h.Position(), 4);
    Key(&h, Qt::Key_PageDown);
    EXPECT_EQ(h.Position(), 0);
    Key(&h, Qt::Key_PageUp);
    EXPECT_EQ(h.Position(), 5);

    TMMSlider v;
    v.resize(20, 120);
    v.SetPosition(5);
    Key(&v, Qt::Key_Home);
    EXPECT_EQ(v.Position(), 10);  // vertical: home is the top
    Key(&v, Qt::Key_End);
    EXPECT_EQ(v.Position(), 0);
    Key(&v, Qt::Key_Up);
    EXPECT_EQ(v.Position(), 1);

    // Keys act on the inner position, not through the logarithmic mapping.
    TMMSlider l;
    l.SetMaxValue(64);
    l.SetLogarithmic(true);
    l.SetPosition(64);
    Key(&l, Qt::Key_Left);
    EXPECT_EQ(l.InnerPosition(), 63);
}

TEST(Slider, MouseClickAndDrag)
{
    TMMSlider v;
    v.resize(30, 130);
    v.SetThumbWidth(18);
    v.SetThumbHeight(11);
    v.SetMaxValue(20);
    v.SetPosition(0);
    const QRect thumb = v.ThumbRect();
    // A click in the groove above the thumb jumps to the clicked value.
    const QPoint above(15, v.BevelExtent() + 5);
    const int expected = v.ValueAt(above);
    EXPECT_GT(expected, 10);
    Press(&v, above);
    EXPECT_EQ(v.Position(), expected);
    EXPECT_FALSE(v.Dragging());
    Move(&v, QPoint(15, 120));  // no drag: nothing moves
    EXPECT_EQ(v.Position(), expected);
    Release(&v, QPoint(15, 120));

    // Dragging starts only on the thumb.
    v.SetPosition(0);
    const QPoint start = v.ThumbRect().center();
    Press(&v, start);
    EXPECT_TRUE(v.Dragging());
    EXPECT_EQ(v.Position(), 0);
    std::vector<int> seen;
    v.OnChange = [&](QObject*) { seen.push_back(v.Position()); };
    const int span = 130 - 2 * v.BevelExtent() - 11;
    for (int dy = 1; dy <= span; ++dy)
        Move(&v, QPoint(start.x(), start.y() - dy));
    EXPECT_EQ(v.Position(), 20);
    ASSERT_EQ(seen.size(), 20u);  // one change per position
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(seen[i], i + 1);
    Release(&v, QPoint(start.x(), start.y() - span));
    EXPECT_FALSE(v.Dragging());
    (void)thumb;
}

TEST(Slider, SharedPaintBuffer)
{
    auto a = std::make_unique<TMMSlider>();
    auto b = std::make_unique<TMMSlider>();
    a->resize(15, 129);
    b->resize(15, 129);
    ASSERT_NE(a->PaintBuffer(), nullptr);
    EXPECT_EQ(a->PaintBuffer(), b->PaintBuffer());
    const QImage* shared = a->PaintBuffer();
    a.reset();
    EXPECT_EQ(b->PaintBuffer(), shared);
    EXPECT_EQ(shared->size(), QSize(15, 129));
    b.reset();
    EXPECT_FALSE(TBitmapCache::Exists());
}

TEST(Slider, PaintsThumbAndDisabledChecker)
{
    TMMSlider s;
    s.SetThumbColor(Qt::red);
    s.SetMaxValue(10);
    s.SetPosition(5);
    QImage image = s.grab().toImage();
    const QRect t = s.ThumbRect();
    EXPECT_EQ(image.pixel(t.center()), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(t.topLeft()), qRgb(0, 0, 0));  // window-frame ring
    s.setEnabled(false);
    image = s.grab().toImage();
    // Same parity pixels become the disabled colour.
    const QPoint c = t.center();
    const QPoint same = (c.x() & 1) == (c.y() & 1) ? c : c + QPoint(1, 0);
    EXPECT_EQ(image.pixel(same), qRgb(255, 255, 255));
    EXPECT_EQ(image.pixel(same + QPoint(1, 0)), qRgb(255, 0, 0));
}

TEST(Slider, FocusBlinkOnTheSharedTimer)
{
    auto& sim = zol::test::Sim();
    TMMSlider a, b;
    a.SetFocusAction(faAll);
    b.SetFocusAction(faFocusThumb);
    QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(&a, &in);
    EXPECT_FALSE(a.Blink());
    sim.AdvanceMs(500);
    EXPECT_TRUE(a.Blink());
    sim.AdvanceMs(500);
    EXPECT_FALSE(a.Blink());
    // The other slider takes the one timer over.
    QApplication::sendEvent(&b, &in);
    sim.AdvanceMs(500);
    EXPECT_TRUE(b.Blink());
    EXPECT_FALSE(a.Blink());
    // While dragging the flag is held on.
    const QPoint c = b.ThumbRect().center();
    Press(&b, c);
    sim.AdvanceMs(1000);
    EXPECT_TRUE(b.Blink());
    Release(&b, c);
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(&b, &out);
    EXPECT_FALSE(b.Blink());
    const int timers = sim.ActiveTimers();
    sim.AdvanceMs(1000);
    EXPECT_FALSE(b.Blink());
    EXPECT_EQ(sim.ActiveTimers(), timers);
}
