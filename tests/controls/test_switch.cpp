// The bitmap switch: natural sizes from the glyph, positions by property,
// click, drag and keys with OnChange only on a real change, and the knob
// images read back from pixels.
#include "controls/switch.h"
#include "resources/bitmaps.h"
#include "tests/controls/input_events.h"

#include <gtest/gtest.h>

using namespace zol;
using zol::test::Click;
using zol::test::Drag;
using zol::test::Key;
using zol::test::Press;
using zol::test::Release;

TEST(Switch, SizesFromTheGlyph)
{
    QWidget form;
    TMMSwitch v(&form);
    EXPECT_EQ(v.Kind(), skVertical);
    EXPECT_EQ(v.NumPositions(), 2);
    EXPECT_EQ(v.Position(), 0);
    EXPECT_TRUE(v.BuiltInGlyph());
    EXPECT_EQ(v.NumGlyphs(), 3);
    EXPECT_EQ(v.Glyph().size(), QSize(54, 11));
    EXPECT_EQ(v.size(), QSize(18 + 2, 2 * 11 + 2));
    v.setGeometry(10, 20, 100, 100);  // any bounds end at the natural size
    EXPECT_EQ(v.geometry(), QRect(10, 20, 20, 24));
    v.Bevel().SetBorderWidth(2);  // extent 3
    EXPECT_EQ(v.size(), QSize(24, 28));
    v.SetNumPositions(3);
    EXPECT_EQ(v.size(), QSize(24, 3 * 11 + 6));

    TMMSwitch h(&form);
    h.SetKind(skHorizontal);
    EXPECT_EQ(h.Glyph().size(), QSize(33, 18));
    EXPECT_EQ(h.size(), QSize(33 * 2 / 3 + 2, 18 + 2));
    h.SetNumGlyphs(1);  // the whole strip is one image
    EXPECT_EQ(h.size(), QSize(66 + 2, 20));
    h.SetNumGlyphs(3);

    // The main window's knobs: three 18 x 11 images give 20 x 24.
    TMMSwitch custom(&form);
    const QImage source = LoadBitmapResource("SOURCE_SWITCH");
    ASSERT_EQ(source.size(), QSize(54, 11));
    custom.SetGlyph(source);
    EXPECT_FALSE(custom.BuiltInGlyph());
    EXPECT_EQ(custom.size(), QSize(20, 24));
    custom.SetKind(skHorizontal);  // a glyph of its own is kept
    EXPECT_EQ(custom.Glyph().size(), QSize(54, 11));
    EXPECT_EQ(custom.size(), QSize(54 * 2 / 3 + 2, 13));
    custom.SetGlyph(QImage());  // back to the built-in knobs of the kind
    EXPECT_TRUE(custom.BuiltInGlyph());
    EXPECT_EQ(custom.Glyph().size(), QSize(33, 18));

    // Sizes are free while loading and applied after it.
    TMMSwitch loading(&form);
    loading.BeginLoading();
    loading.SetKind(skHorizontal);
    loading.setGeometry(0, 0, 50, 50);
    EXPECT_EQ(loading.size(), QSize(50, 50));
    loading.Loaded();
    EXPECT_EQ(loading.size(), QSize(24, 20));
}

TEST(Switch, PositionsAndChanges)
{
    QWidget form;
    TMMSwitch s(&form);
    int changes = 0;
    s.OnChange = [&](QObject* sender) {
        EXPECT_EQ(sender, &s);
        ++changes;
    };
    s.SetPosition(5);
    EXPECT_EQ(s.Position(), 1);
    EXPECT_EQ(changes, 1);
    s.SetPosition(1);
    s.SetPosition(7);  // clamped to the same
    EXPECT_EQ(changes, 1);
    s.SetPosition(-3);
    EXPECT_EQ(s.Position(), 0);
    EXPECT_EQ(changes, 2);
    s.SetNumPositions(1);
    EXPECT_EQ(s.NumPositions(), 2);
    s.SetNumPositions(4);
    s.SetPosition(3);
    EXPECT_EQ(changes, 3);
    s.SetNumPositions(2);
    EXPECT_EQ(s.Position(), 1);
    EXPECT_EQ(changes, 4);

    // Nothing fires while loading.
    s.BeginLoading();
    s.SetPosition(0);
    s.Loaded();
    EXPECT_EQ(changes, 4);
    EXPECT_EQ(s.Position(), 0);
}

TEST(Switch, ClicksDragsAndKeys)
{
    QWidget form;
    TMMSwitch s(&form);
    form.show();
    int changes = 0;
    s.OnChange = [&](QObject*) { ++changes; };

    // The lower half of a vertical two-position switch is position 1.
    Click(&s, QPoint(10, 18));
    EXPECT_EQ(s.Position(), 1);
    EXPECT_EQ(changes, 1);
    Click(&s, QPoint(10, 20));  // on the knob: no jump
    EXPECT_EQ(changes, 1);
    Click(&s, QPoint(10, 3));
    EXPECT_EQ(s.Position(), 0);
    EXPECT_EQ(changes, 2);

    // Dragging the knob: the pressed image while held.
    Press(&s, QPoint(9, 5));
    EXPECT_TRUE(s.Dragging());
    EXPECT_EQ(s.KnobImage(), 2);
    Drag(&s, QPoint(9, 9));  // 4 * 2 / 11 = 0 positions
    EXPECT_EQ(s.Position(), 0);
    Drag(&s, QPoint(9, 11));  // 6 * 2 / 11 = 1
    EXPECT_EQ(s.Position(), 1);
    Drag(&s, QPoint(9, 40));
    EXPECT_EQ(s.Position(), 1);
    EXPECT_EQ(changes, 3);
    Release(&s, QPoint(9, 40));
    EXPECT_FALSE(s.Dragging());
    EXPECT_EQ(s.KnobImage(), 0);

    Key(&s, Qt::Key_Home);
    EXPECT_EQ(s.Position(), 0);
    Key(&s, Qt::Key_Left);  // not for a vertical switch
    Key(&s, Qt::Key_Up);
    EXPECT_EQ(s.Position(), 0);
    Key(&s, Qt::Key_Down);
    EXPECT_EQ(s.Position(), 1);
    Key(&s, Qt::Key_Down);
    Key(&s, Qt::Key_Right);
    EXPECT_EQ(changes, 5);
    Key(&s, Qt::Key_Up);
    Key(&s, Qt::Key_End);
    EXPECT_EQ(s.Position(), 1);
    EXPECT_EQ(changes, 7);

    TMMSwitch h(&form);
    h.SetKind(skHorizontal);
    h.SetNumPositions(3);
    h.setFocus();
    Key(&h, Qt::Key_Right);
    Key(&h, Qt::Key_Right);
    Key(&h, Qt::Key_Down);
    EXPECT_EQ(h.Position(), 2);
    Key(&h, Qt::Key_Left);
    EXPECT_EQ(h.Position(), 1);
    Click(&h, QPoint(1 + 11 * 0 + 5, 9));
    EXPECT_EQ(h.Position(), 0);

    // A disabled switch ignores the mouse and shows image 1.
    s.setEnabled(false);
    Click(&s, QPoint(10, 3));
    EXPECT_EQ(s.Position(), 1);
    EXPECT_EQ(s.KnobImage(), 1);
}

TEST(Switch, DrawsTheKnobWithItsTransparentColour)
{
    QWidget form;
    TMMSwitch s(&form);
    s.SetColor(QColor(0x20, 0x40, 0x60));
    s.SetPosition(1);
    const QImage glyph = s.Glyph().convertToFormat(QImage::Format_RGB32);
    const QRgb key = glyph.pixel(0, 0);
    QImage shot = s.grab().toImage().convertToFormat(QImage::Format_RGB32);
    // Knob of position 1 at (1, 12); its corner is the transparent colour.
    EXPECT_EQ(shot.pixel(1, 12), qRgb(0x20, 0x40, 0x60));
    EXPECT_NE(glyph.pixel(1, 0), key);
    EXPECT_EQ(shot.pixel(1 + 1, 12), glyph.pixel(1, 0));
    EXPECT_EQ(shot.pixel(1 + 9, 12 + 5), glyph.pixel(9, 5));
    // Position 0's place shows the colour; the bevel is lowered.
    EXPECT_EQ(shot.pixel(9, 5), qRgb(0x20, 0x40, 0x60));
    EXPECT_EQ(shot.pixel(0, 0), QColor(clBtnShadow).rgb());
    EXPECT_EQ(shot.pixel(19, 23), QColor(clBtnHighlight).rgb());

    // Disabled: image 1 from the strip.
    s.setEnabled(false);
    shot = s.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shot.pixel(1 + 1, 12), glyph.pixel(18 + 1, 0));
    EXPECT_NE(glyph.pixel(18 + 1, 0), glyph.pixel(1, 0));
}
