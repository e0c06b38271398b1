// The effect label: offsets of the highlight and shadow copies per direction
// and their extruded steps read back from pixels, the presets, the button
// behaviour, texture, background and turned text.
#include "controls/label.h"
#include "tests/controls/input_events.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>

using namespace zol;

namespace {

const QRgb kWhiteBg = qRgb(0xFF, 0xFF, 0xFF);
const QRgb kFace = qRgb(0x00, 0x00, 0x00);
const QRgb kShadowRed = qRgb(0xFF, 0x00, 0x00);
const QRgb kHighlightBlue = qRgb(0x00, 0x00, 0xFF);

using Pixels = std::set<std::pair<int, int>>;

// A label with a crisp font, no bevel, on white.
void Prepare(TMMLabel& label)
{
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(20);
    f.setBold(true);
    f.setStyleStrategy(QFont::NoAntialias);
    label.setFont(f);
    label.SetCaption(QStringLiteral("H|"));
    label.Bevel().SetBevelOuter(bvNone);
    label.resize(80, 40);
    label.SetFontColor(QColor::fromRgb(kFace));
    label.SetColourShadow(QColor::fromRgb(kShadowRed));
}

QImage Draw(const TMMLabel& label)
{
    QImage bg(label.size(), QImage::Format_ARGB32_Premultiplied);
    bg.fill(kWhiteBg);
    return label.Compose(bg).convertToFormat(QImage::Format_RGB32);
}

Pixels Of(const QImage& image, QRgb colour)
{
    Pixels p;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == colour)
                p.insert({x, y});
    return p;
}

Pixels Shifted(const Pixels& p, QPoint by)
{
    Pixels out;
    for (auto [x, y] : p)
        out.insert({x + by.x(), y + by.y()});
    return out;
}

// The face drawn alone, at the place it takes with `margin`.
Pixels FaceAt(int margin)
{
    TMMLabel plain;
    Prepare(plain);
    plain.SetEffectStyle(lsNone);
    Pixels face = Of(Draw(plain), kFace);
    return Shifted(face, QPoint(margin, margin));
}

}  // namespace

TEST(Label, CopiesAreOffsetPerDirection)
{
    for (int d = ldUp; d <= ldUpLeft; ++d) {
        const auto direction = static_cast<TMMLabelDirection>(d);
        TMMLabel label;
        Prepare(label);
        label.SetEffectStyle(lsNone);
        label.SetDirectionShadow(direction);
        label.SetDepthShadow(2);
        EXPECT_EQ(label.EffectStyle(), lsCustom);
        EXPECT_EQ(label.Margin(), 2);
        const QImage image = Draw(label);
        const Pixels face = FaceAt(2);
        ASSERT_FALSE(face.empty());
        EXPECT_EQ(Of(image, kFace), face) << d;
        // Red is exactly the face moved two steps, where the face does not cover it.
        Pixels expected;
        for (auto p : Shifted(face, DirectionStep(direction) * 2))
            if (!face.count(p))
                expected.insert(p);
        EXPECT_EQ(Of(image, kShadowRed), expected) << "direction " << d;
    }
    EXPECT_EQ(DirectionStep(ldUpRight), QPoint(1, -1));
    EXPECT_EQ(DirectionStep(ldDownLeft), QPoint(-1, 1));
}

TEST(Label, ExtrudedCopiesFillEveryStep)
{
    TMMLabel label;
    Prepare(label);
    label.SetEffectStyle(lsNone);
    label.SetDirectionShadow(ldRight);
    label.SetDepthShadow(3);
    label.SetStyleShadow(loExtrude);
    const Pixels face = FaceAt(3);
    Pixels expected;
    for (int k = 1; k <= 3; ++k)
        for (auto p : Shifted(face, QPoint(k, 0)))
            if (!face.count(p))
                expected.insert(p);
    EXPECT_EQ(Of(Draw(label), kShadowRed), expected);

    // loNormal: the full depth only, so one pixel right of a stroke stays white.
    label.SetStyleShadow(loNormal);
    const QImage normal = Draw(label);
    int gaps = 0;
    for (auto [x, y] : face) {
        if (!face.count({x + 1, y}) && !face.count({x - 2, y})) {
            EXPECT_EQ(normal.pixel(x + 1, y), kWhiteBg);
            ++gaps;
        }
    }
    EXPECT_GT(gaps, 10);
}

TEST(Label, ShadowPresetAndRaisedDefault)
{
    TMMLabel label;
    Prepare(label);
    // Default: raised, white highlight up-left, grey shadow down-right.
    EXPECT_EQ(label.EffectStyle(), lsRaised);
    label.SetColourHighlight(QColor::fromRgb(kHighlightBlue));
    QImage raised = Draw(label);
    const Pixels face = FaceAt(1);
    for (auto [x, y] : face) {
        if (!face.count({x - 1, y - 1}) && !face.count({x - 2, y - 2}))
            EXPECT_EQ(raised.pixel(x - 1, y - 1), kHighlightBlue);
        if (!face.count({x + 1, y + 1}) && !face.count({x + 2, y + 2}))
            EXPECT_EQ(raised.pixel(x + 1, y + 1), kShadowRed);
    }

    // lsShadow: no highlight, one shadow copy at (2, 2); the highlight colour is reset.
    label.SetEffectStyle(lsShadow);
    EXPECT_EQ(label.ColourHighlight(), clWhite);
    EXPECT_EQ(label.DirectionHighlight(), ldNone);
    EXPECT_EQ(label.DepthShadow(), 2);
    const QImage shadow = Draw(label);
    const Pixels face2 = FaceAt(2);
    Pixels expected;
    for (auto p : Shifted(face2, QPoint(2, 2)))
        if (!face2.count(p))
            expected.insert(p);
    EXPECT_EQ(Of(shadow, kShadowRed), expected);
    EXPECT_TRUE(Of(shadow, kHighlightBlue).empty());

    label.SetEffectStyle(lsFlying);
    EXPECT_EQ(label.ColourHighlight(), clGray);
    EXPECT_EQ(label.DepthShadow(), 5);
    EXPECT_EQ(label.DirectionHighlight(), ldDownRight);
    label.SetEffectStyle(lsSunken);
    EXPECT_EQ(label.ColourHighlight(), clWhite);
    EXPECT_EQ(label.DirectionHighlight(), ldDownRight);
    EXPECT_EQ(label.DirectionShadow(), ldUpLeft);
}

TEST(Label, AsButtonPressesAndReleases)
{
    QWidget form;
    TMMLabel label(&form);
    label.SetEffectStyle(lsShadow);
    label.SetAsButton(true);
    EXPECT_EQ(label.EffectStyle(), lsRaised);
    test::Press(&label, QPoint(5, 5));
    EXPECT_EQ(label.EffectStyle(), lsSunken);
    test::Drag(&label, QPoint(500, 5));
    EXPECT_EQ(label.EffectStyle(), lsRaised);
    test::Drag(&label, QPoint(6, 6));
    EXPECT_EQ(label.EffectStyle(), lsSunken);
    test::Release(&label, QPoint(6, 6));
    EXPECT_EQ(label.EffectStyle(), lsRaised);
    EXPECT_TRUE(label.AsButton());
    // A preset without a button look ends it.
    label.SetEffectStyle(lsNone);
    EXPECT_FALSE(label.AsButton());
    test::Press(&label, QPoint(5, 5));
    EXPECT_EQ(label.EffectStyle(), lsNone);
    test::Release(&label, QPoint(5, 5));
    // A disabled button does not press.
    label.SetAsButton(true);
    label.setEnabled(false);
    test::Press(&label, QPoint(5, 5));
    EXPECT_EQ(label.EffectStyle(), lsRaised);
}

TEST(Label, BackgroundTextureAndTurnedText)
{
    TMMLabel label;
    Prepare(label);
    label.SetEffectStyle(lsNone);
    // Transparent: the background shows; opaque: Color fills it.
    EXPECT_EQ(Draw(label).pixel(78, 38), kWhiteBg);
    label.SetTransparent(false);
    label.SetColor(QColor(0x11, 0x22, 0x33));
    EXPECT_EQ(Draw(label).pixel(78, 38), qRgb(0x11, 0x22, 0x33));
    label.SetTransparent(true);

    // A texture shows through the face.
    const Pixels face = Of(Draw(label), kFace);
    QImage texture(4, 4, QImage::Format_RGB32);
    texture.fill(qRgb(0x00, 0xC0, 0x00));
    label.SetBitmap(texture);
    const QImage textured = Draw(label);
    EXPECT_TRUE(Of(textured, kFace).empty());
    EXPECT_EQ(Of(textured, qRgb(0x00, 0xC0, 0x00)), face);

    // Turned 90 degrees: the text runs upwards, starting near the left edge.
    label.SetBitmap(QImage());
    label.SetAlignment(taCenter);
    label.SetCaption(QStringLiteral("HHHH"));
    label.resize(40, 120);
    label.SetAngle(90);
    EXPECT_EQ(label.Alignment(), taLeftJustify);
    const Pixels turned = Of(Draw(label), kFace);
    ASSERT_FALSE(turned.empty());
    int minX = 1000, maxX = -1, minY = 1000, maxY = -1;
    for (auto [x, y] : turned) {
        minX = std::min(minX, x);
        maxX = std::max(maxX, x);
        minY = std::min(minY, y);
        maxY = std::max(maxY, y);
    }
    EXPECT_GT(maxY - minY, 2 * (maxX - minX));
    EXPECT_LT(minX, 10);
    EXPECT_GE(minY, 0);
    EXPECT_EQ(label.Angle(), 90);
    label.SetAngle(-270);
    EXPECT_EQ(label.Angle(), 90);
}

TEST(Label, RepaintOfAnUnchangedLabelCopiesItsPicture)
{
    TMMLabel label;
    Prepare(label);
    const QImage first = label.grab().toImage();
    const int composed = label.Compositions();
    EXPECT_GE(composed, 1);
    // Painted again without a change (a neighbour's repaint): the same
    // pixels, from the picture already composed.
    const QImage again = label.grab().toImage();
    EXPECT_EQ(again, first);
    EXPECT_EQ(label.Compositions(), composed);
    // A changed caption, colour or bevel is composed and shown anew.
    label.SetCaption(QStringLiteral("|H"));
    const QImage changed = label.grab().toImage();
    EXPECT_EQ(label.Compositions(), composed + 1);
    EXPECT_NE(changed, first);
    label.SetFontColor(QColor::fromRgb(kHighlightBlue));
    const QImage blue = label.grab().toImage();
    EXPECT_EQ(label.Compositions(), composed + 2);
    EXPECT_FALSE(Of(blue.convertToFormat(QImage::Format_RGB32), kHighlightBlue).empty());
    label.Bevel().SetBevelOuter(bvRaised);
    label.grab();
    EXPECT_EQ(label.Compositions(), composed + 3);
    // Back to the first caption and colour, no bevel: the first pixels.
    label.SetCaption(QStringLiteral("H|"));
    label.SetFontColor(QColor::fromRgb(kFace));
    label.Bevel().SetBevelOuter(bvNone);
    EXPECT_EQ(label.grab().toImage(), first);
}
