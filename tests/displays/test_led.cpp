#include "displays/led.h"
#include "displays/ledcache.h"
#include "displays/leddigit.h"
#include "displays/ledpanel.h"
#include "platform/errors.h"
#include "resources/bitmaps.h"
#include "tests/displays/test_led_support.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <gtest/gtest.h>

#include <memory>
#include <set>

using namespace zol;
using zol::test::FindSegments;
using zol::test::ReadGlyph;
using zol::test::ReadGlyphs;
using zol::test::SegmentPoints;

namespace {

const QRgb kWhite = qRgb(0xFF, 0xFF, 0xFF);
const QRgb kBlack = qRgb(0x00, 0x00, 0x00);
const QRgb kSilver = qRgb(0xC0, 0xC0, 0xC0);

struct SizeRow {
    TMMLEDSize size;
    const char* name;
    int width, height;
};
const SizeRow kSizes[] = {
    {ls06x07, "06X07", 4, 7},   {ls07x11, "07X11", 5, 9},   {ls08x13, "08X13", 7, 13},
    {ls11x19, "11X19", 9, 19},  {ls13x20, "13X20", 11, 20}, {ls13x21, "13X21", 11, 21},
    {ls15x24, "15X24", 13, 24}, {ls15x25, "15X25", 13, 25}, {ls17x29, "17X29", 15, 29},
    {ls18x25, "18X25", 15, 23}, {ls19x33, "19X33", 17, 33}, {ls21x37, "21X37", 19, 37},
    {ls23x41, "23X41", 21, 41},
};

QRgb Px(const QImage& image, int x, int y)
{
    return image.pixel(x, y) | 0xFF000000u;
}

QImage Grab(QWidget& w)
{
    return w.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

std::set<QRgb> Colours(const QImage& image, QRect area = QRect())
{
    if (area.isNull())
        area = image.rect();
    std::set<QRgb> colours;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            colours.insert(Px(image, x, y));
    return colours;
}

void SendMouse(QWidget& w, QEvent::Type type, QPoint pos)
{
    QMouseEvent event(type, QPointF(pos), QPointF(w.mapToGlobal(pos)), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &event);
}

}  // namespace

TEST(LEDGlyphs, StripsOfEverySizeCarryTheirGlyphsInTemplateColours)
{
    for (const SizeRow& row : kSizes) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(LEDStripName(ltDigit, row.size), QStringLiteral("LCD_") + row.name);
        EXPECT_EQ(LEDStripName(ltMinus, row.size), QStringLiteral("LCDS_") + row.name);
        const QImage digits = LoadBitmapResource(QStringLiteral("LCD_") + row.name);
        const QImage symbols = LoadBitmapResource(QStringLiteral("LCDS_") + row.name);
        ASSERT_FALSE(digits.isNull());
        ASSERT_FALSE(symbols.isNull());
        EXPECT_EQ(digits.size(), QSize(11 * row.width, row.height));
        EXPECT_EQ(symbols.size(), QSize(4 * row.width, row.height));
        for (const QImage* strip : {&digits, &symbols})
            EXPECT_EQ(Colours(*strip), (std::set<QRgb>{kWhite, kBlack, kSilver}));

        // Glyph 0 is all unlit, glyphs 1..10 are the digits 0..9; every
        // segment that is not lit is drawn unlit.
        const SegmentPoints seg = FindSegments(row.size);
        ASSERT_EQ(seg.width, row.width);
        EXPECT_EQ(ReadGlyph(digits, 0, 0, seg, kWhite), ' ');
        for (const QPoint& p : seg.at)
            EXPECT_EQ(Px(digits, p.x(), p.y()), kSilver);
        EXPECT_FALSE(Colours(digits, QRect(0, 0, row.width, row.height)).count(kWhite));
        for (int d = 0; d <= 9; ++d) {
            const int x0 = (d + 1) * row.width;
            EXPECT_EQ(ReadGlyph(digits, x0, 0, seg, kWhite), '0' + d) << "digit " << d;
            EXPECT_EQ(ReadGlyph(digits, x0, 0, seg, kSilver) == ' ', d == 8) << "digit " << d;
        }

        // Symbols: unlit, period (low), colon (two dots, no bar), minus.
        const int w = row.width, h = row.height;
        EXPECT_FALSE(Colours(symbols, QRect(0, 0, w, h)).count(kWhite));
        EXPECT_EQ(ReadGlyph(symbols, 3 * w, 0, seg, kWhite), '-');
        int periodTop = h, colonRuns = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (Px(symbols, w + x, y) == kWhite)
                    periodTop = std::min(periodTop, y);
        EXPECT_GE(periodTop, h * 3 / 4);
        bool previous = false;
        for (int y = 0; y < h; ++y) {
            const bool on = Px(symbols, 2 * w + w / 2, y) == kWhite;
            colonRuns += on && !previous;
            previous = on;
        }
        EXPECT_EQ(colonRuns, 2);
        EXPECT_NE(Px(symbols, 2 * w + seg.at[6].x(), seg.at[6].y()), kWhite);
    }
    EXPECT_TRUE(LoadBitmapResource(QStringLiteral("LCD_99X99")).isNull());
}

TEST(DigitCache, SharesStripsByLookAndCountsReferences)
{
    ASSERT_EQ(TDigitCache::Instance(), nullptr);
    const QColor back(0x10, 0x20, 0x30);
    const QImage* a = TDigitCache::AcquireDigitBitmap(ltDigit, ls13x21, back, clGreen, clLime, true);
    ASSERT_NE(TDigitCache::Instance(), nullptr);
    const QImage* b = TDigitCache::AcquireDigitBitmap(ltDigit, ls13x21, back, clGreen, clLime, true);
    EXPECT_EQ(a, b);
    EXPECT_EQ(TDigitCache::Instance()->Count(), 1);
    EXPECT_EQ(TDigitCache::Instance()->RefCount(a), 2);

    // Any key value that differs makes a strip of its own.
    const QImage* minus = TDigitCache::AcquireDigitBitmap(ltMinus, ls13x21, back, clGreen, clLime, true);
    const QImage* dark = TDigitCache::AcquireDigitBitmap(ltDigit, ls13x21, back, clGreen, clLime, false);
    const QImage* red = TDigitCache::AcquireDigitBitmap(ltDigit, ls13x21, back, clGreen, clRed, true);
    EXPECT_EQ(TDigitCache::Instance()->Count(), 4);
    EXPECT_NE(minus, a);
    EXPECT_NE(dark, a);
    EXPECT_NE(red, a);
    EXPECT_EQ(a->size(), QSize(121, 21));
    EXPECT_EQ(minus->size(), QSize(44, 21));

    // Recolouring: lit -> LEDColor, background -> background, unlit ->
    // inactive colour, or background without inactive drawing.
    const SegmentPoints seg = FindSegments(ls13x21);
    const QPoint segA = seg.at[0];
    EXPECT_EQ(Px(*a, 9 * 11 + segA.x(), segA.y()), clLime.rgb());  // "8"
    EXPECT_EQ(Px(*a, segA.x(), segA.y()), clGreen.rgb());          // unlit glyph
    EXPECT_EQ(Px(*a, 9 * 11 + 5, 5), back.rgb());                   // inside the "8"
    EXPECT_EQ(Px(*dark, segA.x(), segA.y()), back.rgb());
    EXPECT_EQ(Px(*red, 9 * 11 + segA.x(), segA.y()), clRed.rgb());
    EXPECT_EQ(Colours(*dark), (std::set<QRgb>{back.rgb(), clLime.rgb()}));

    TDigitCache::ReleaseDigitBitmap(a);
    EXPECT_EQ(a, nullptr);
    EXPECT_EQ(TDigitCache::Instance()->RefCount(b), 1);
    TDigitCache::ReleaseDigitBitmap(b);
    EXPECT_EQ(TDigitCache::Instance()->Count(), 3);
    const QImage* none = nullptr;
    TDigitCache::ReleaseDigitBitmap(none);  // nothing held: nothing happens
    EXPECT_EQ(TDigitCache::Instance()->Count(), 3);
    TDigitCache::ReleaseDigitBitmap(minus);
    TDigitCache::ReleaseDigitBitmap(dark);
    ASSERT_NE(TDigitCache::Instance(), nullptr);
    TDigitCache::ReleaseDigitBitmap(red);
    EXPECT_EQ(TDigitCache::Instance(), nullptr);  // the last strip frees the cache

    // A size without strips is a clear error and leaves no cache behind.
    try {
        TDigitCache::AcquireDigitBitmap(ltDigit, static_cast<TMMLEDSize>(13), back, clGreen, clLime, true);
        ADD_FAILURE() << "no error for a missing strip";
    } catch (const EOutOfResources& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Bitmap resource LCD_13 not found"));
    }
    EXPECT_EQ(TDigitCache::Instance(), nullptr);
}

TEST(LEDDigit, SizeFollowsTheGlyphsAndDigitsShareOneStrip)
{
    {
        TMMLEDDigit digit;
        EXPECT_EQ(digit.size(), QSize(11, 21));
        for (const SizeRow& row : kSizes) {
            digit.SetDigitSize(row.size);
            EXPECT_EQ(digit.size(), QSize(row.width, row.height)) << row.name;
        }
        digit.SetDigitSize(static_cast<TMMLEDSize>(13));  // out of range: ignored
        EXPECT_EQ(digit.DigitSize(), ls23x41);

        TMMPanel parent;
        parent.SetColor(clPurple);
        TMMLEDDigit child(&parent);  // takes the parent's colour
        EXPECT_EQ(child.Color(), clPurple);
        EXPECT_EQ(TDigitCache::Instance()->Count(), 2);

        TMMLEDDigit other;
        other.SetDigitSize(ls23x41);
        EXPECT_EQ(other.Strip(), digit.Strip());
        EXPECT_EQ(TDigitCache::Instance()->Count(), 2);
        EXPECT_EQ(TDigitCache::Instance()->RefCount(digit.Strip()), 2);
        other.SetLEDColor(clRed);
        EXPECT_NE(other.Strip(), digit.Strip());
        EXPECT_EQ(TDigitCache::Instance()->Count(), 3);
        other.SetDisplayType(ltColon);  // symbol strip: 4 glyphs, same glyph size
        EXPECT_EQ(other.Strip()->width(), 4 * 21);
        EXPECT_EQ(other.GlyphIndex(), 2);
        EXPECT_EQ(other.size(), QSize(21, 41));
    }
    EXPECT_EQ(TDigitCache::Instance(), nullptr);
}

TEST(LEDDigit, ValueRangeZeroBlankEnabledAndInactiveSegments)
{
    TMMLEDDigit digit;
    digit.SetColor(clBlack);
    const SegmentPoints seg = FindSegments(ls13x21);
    auto shown = [&] { return ReadGlyph(Grab(digit), 0, 0, seg, clLime.rgb()); };
    EXPECT_EQ(shown(), '0');
    digit.SetValue(7);
    EXPECT_EQ(shown(), '7');
    EXPECT_EQ(digit.GlyphIndex(), 8);
    digit.SetValue(-3);  // outside 0..9 after mod 10: ignored
    EXPECT_EQ(digit.Value(), 7);
    digit.SetValue(24);  // keeps the units
    EXPECT_EQ(digit.Value(), 4);

    // MinValue 2: writes of 0 and 1 are ignored; the limits accept 0..9 only.
    digit.SetMinValue(2);
    digit.SetValue(0);
    digit.SetValue(1);
    EXPECT_EQ(digit.Value(), 4);
    digit.SetValue(2);
    EXPECT_EQ(shown(), '2');
    digit.SetMinValue(-1);
    digit.SetMaxValue(10);
    EXPECT_EQ(digit.MinValue(), 2);
    EXPECT_EQ(digit.MaxValue(), 9);
    digit.SetMaxValue(5);
    digit.SetValue(6);
    EXPECT_EQ(digit.Value(), 2);
    digit.SetMinValue(0);
    digit.SetValue(0);

    // Unlit segments in InactiveColor, or invisible without DrawInactive.
    const QPoint a = seg.at[0], g = seg.at[6];
    QImage image = Grab(digit);
    EXPECT_EQ(Px(image, a.x(), a.y()), clLime.rgb());
    EXPECT_EQ(Px(image, g.x(), g.y()), clGreen.rgb());
    digit.SetDrawInactive(false);
    image = Grab(digit);
    EXPECT_EQ(Px(image, g.x(), g.y()), kBlack);
    EXPECT_EQ(Colours(image), (std::set<QRgb>{kBlack, clLime.rgb()}));
    digit.SetDrawInactive(true);

    digit.SetZeroBlank(true);
    EXPECT_EQ(shown(), ' ');
    EXPECT_EQ(Px(Grab(digit), a.x(), a.y()), clGreen.rgb());
    digit.SetZeroBlank(false);
    digit.SetValue(3);
    digit.SetEnabled(false);
    EXPECT_EQ(digit.GlyphIndex(), 0);
    EXPECT_EQ(shown(), ' ');
    EXPECT_EQ(Px(Grab(digit), a.x(), a.y()), clGreen.rgb());
    digit.SetEnabled(true);
    EXPECT_EQ(shown(), '3');

    // A new background recolours the strip.
    digit.SetColor(clNavy);
    EXPECT_EQ(Px(Grab(digit), 5, 5), clNavy.rgb());
    digit.TMMGraphicControl::SetColor(clMaroon);  // through the base class too
    EXPECT_EQ(Px(Grab(digit), 5, 5), clMaroon.rgb());
}

TEST(LEDDigit, CascadesTensAndRaisesRollEvents)
{
    TMMLEDDigit units, tens, hundreds;
    units.SetCascadeValues(true);
    tens.SetCascadeValues(true);
    units.SetConnect(&tens);
    tens.SetConnect(&hundreds);
    units.SetValue(357);
    EXPECT_EQ(units.Value(), 7);
    EXPECT_EQ(tens.Value(), 5);
    EXPECT_EQ(hundreds.Value(), 3);

    // A ring of Connect digits would cascade forever: refused.
    hundreds.SetConnect(&units);
    EXPECT_EQ(hundreds.Connect(), nullptr);
    units.SetConnect(&units);
    EXPECT_EQ(units.Connect(), &tens);

    int forward = 0, backward = 0;
    units.OnRollForward = [&](QObject* sender) { forward += sender == &units; };
    units.OnRollBackward = [&](QObject* sender) { backward += sender == &units; };
    units.SetValue(9);
    units.SetValue(10);
    EXPECT_EQ(forward, 1);
    EXPECT_EQ(tens.Value(), 1);
    units.SetValue(9);
    EXPECT_EQ(backward, 1);
    units.BeginLoading();
    units.SetValue(0);
    units.Loaded();
    EXPECT_EQ(forward, 1);

    {
        TMMLEDDigit temporary;
        hundreds.SetConnect(&temporary);
    }
    EXPECT_EQ(hundreds.Connect(), nullptr);  // told when it went away
}

TEST(LEDPanel, MainWindowReadout)
{
    // D1: two digits ls13x21, LEDSpace 5, no bevel, 0..100, white, unlit
    // segments invisible.
    {
        TMMLEDPanel d1;
        d1.Bevel().SetBevelOuter(bvNone);
        d1.SetDrawInactive(false);
        d1.SetLEDColor(clWhite);
        d1.SetLEDSpace(5);
        d1.SetMinValue(0);
        d1.SetMaxValue(100);
        d1.SetBounds(274, 104, 27, 21);
        EXPECT_EQ(d1.size(), QSize(27, 21));
        EXPECT_EQ(d1.Digit(2)->pos(), QPoint(0, 0));
        EXPECT_EQ(d1.Digit(1)->pos(), QPoint(16, 0));
        EXPECT_EQ(TDigitCache::Instance()->Count(), 1);
        EXPECT_EQ(TDigitCache::Instance()->RefCount(d1.Digit(1)->Strip()), 2);

        const SegmentPoints seg = FindSegments(ls13x21);
        auto shown = [&] { return ReadGlyphs(Grab(d1), 0, 0, 16, 2, seg, kWhite); };
        EXPECT_EQ(shown(), QStringLiteral("00"));
        for (auto [value, text] : {std::pair{7, "07"}, {90, "90"}, {100, "00"}, {25, "25"}, {150, "00"},
                                    {-4, "00"}}) {
            d1.SetValue(value);
            EXPECT_EQ(shown(), QString::fromLatin1(text)) << value;
        }
        d1.SetValue(88);
        const QImage image = Grab(d1);
        EXPECT_EQ(Colours(image), (std::set<QRgb>{kWhite, kBlack}));
        EXPECT_EQ(Colours(image, QRect(11, 0, 5, 21)), (std::set<QRgb>{kBlack}));  // the space
        d1.SetValue(11);
        EXPECT_EQ(Colours(Grab(d1)), (std::set<QRgb>{kWhite, kBlack}));
    }
    EXPECT_EQ(TDigitCache::Instance(), nullptr);
}

TEST(LEDPanel, ZeroBlankClampingMinusAndOnChange)
{
    TMMLEDPanel panel;
    panel.Bevel().SetBevelOuter(bvNone);
    panel.SetNumDigits(3);
    panel.SetMinValue(-100);
    const SegmentPoints seg = FindSegments(ls13x21);
    auto shown = [&] { return ReadGlyphs(Grab(panel), 0, 0, 12, 3, seg, clLime.rgb()); };
    EXPECT_EQ(panel.size(), QSize(35, 21));

    panel.SetZeroBlank(true);
    for (auto [value, text] : {std::pair{5, "  5"}, {42, " 42"}, {-5, "- 5"}, {-42, "-42"}, {100, "100"},
                                {0, "  0"}, {10, " 10"}}) {
        panel.SetValue(value);
        EXPECT_EQ(shown(), QString::fromLatin1(text)) << value;
    }
    panel.SetZeroBlank(false);
    for (auto [value, text] : {std::pair{5, "005"}, {-5, "-05"}, {42, "042"}}) {
        panel.SetValue(value);
        EXPECT_EQ(shown(), QString::fromLatin1(text)) << value;
    }

    // 150 with MaxValue 100: clamped, one OnChange; the same value again
    // changes nothing.
    int changes = 0;
    panel.OnChange = [&](QObject* sender) { changes += sender == &panel; };
    panel.SetValue(150);
    EXPECT_EQ(panel.Value(), 100);
    EXPECT_EQ(shown(), QStringLiteral("100"));
    EXPECT_EQ(changes, 1);
    panel.SetValue(150);
    EXPECT_EQ(changes, 1);
    // Narrower limits re-clamp through the same write.
    panel.SetMaxValue(50);
    EXPECT_EQ(panel.Value(), 50);
    EXPECT_EQ(changes, 2);
    panel.SetMinValue(60);
    EXPECT_EQ(panel.Value(), 50);  // clamped to the upper limit last
    panel.SetMinValue(-100);
    panel.SetMaxValue(100);
    panel.SetValue(-100);
    EXPECT_EQ(shown(), QStringLiteral("-00"));  // the minus takes the top digit

    // Extreme values and a narrowed panel never break the digits.
    panel.SetMinValue(std::numeric_limits<int>::min());
    panel.SetMaxValue(std::numeric_limits<int>::max());
    panel.SetValue(std::numeric_limits<int>::min());
    EXPECT_EQ(shown(), QStringLiteral("-48"));
    panel.SetValue(std::numeric_limits<int>::max());
    EXPECT_EQ(shown(), QStringLiteral("647"));
    panel.SetNumDigits(1);
    EXPECT_EQ(ReadGlyphs(Grab(panel), 0, 0, 12, 1, seg, clLime.rgb()), QStringLiteral("7"));
}

TEST(LEDPanel, LayoutAndLookReachEveryDigit)
{
    {
        TMMLEDPanel panel;  // default bevel: lowered, extent 1
        panel.SetDigitSize(ls06x07);
        panel.SetNumDigits(3);
        panel.SetLEDSpace(2);
        EXPECT_EQ(panel.size(), QSize(2 + (4 + 2) * 3 - 2, 2 + 7));
        EXPECT_EQ(panel.Digit(3)->pos(), QPoint(1, 1));
        EXPECT_EQ(panel.Digit(2)->pos(), QPoint(7, 1));
        EXPECT_EQ(panel.Digit(1)->pos(), QPoint(13, 1));
        EXPECT_EQ(panel.Digit(4), nullptr);

        panel.SetNumDigits(0);
        panel.SetNumDigits(10);
        EXPECT_EQ(panel.NumDigits(), 3);
        panel.SetLEDSpace(0);
        EXPECT_EQ(panel.LEDSpace(), 1);
        panel.resize(100, 100);  // the size is forced back
        Grab(panel);
        EXPECT_EQ(panel.size(), QSize(2 + 5 * 3 - 1, 9));
        panel.Bevel().SetBorderWidth(2);
        EXPECT_EQ(panel.size(), QSize(6 + 5 * 3 - 1, 13));
        EXPECT_EQ(panel.Digit(3)->pos(), QPoint(3, 3));
        panel.Bevel().SetBorderWidth(0);

        // One strip for all digits; the minus digit takes a symbol strip.
        EXPECT_EQ(TDigitCache::Instance()->Count(), 1);
        EXPECT_EQ(TDigitCache::Instance()->RefCount(panel.Digit(1)->Strip()), 3);
        panel.SetMinValue(-9);
        panel.SetValue(-9);
        EXPECT_EQ(panel.Digit(3)->DisplayType(), ltMinus);
        EXPECT_EQ(TDigitCache::Instance()->Count(), 2);
        panel.SetValue(9);
        EXPECT_EQ(TDigitCache::Instance()->Count(), 1);

        // Look changes pass to every digit.
        panel.SetLEDColor(clRed);
        panel.SetInactiveColor(clNavy);
        panel.SetColor(clTeal);
        panel.SetDrawInactive(false);
        for (int i = 1; i <= 3; ++i) {
            EXPECT_EQ(panel.Digit(i)->LEDColor(), clRed);
            EXPECT_EQ(panel.Digit(i)->InactiveColor(), clNavy);
            EXPECT_EQ(panel.Digit(i)->Color(), clTeal);
            EXPECT_FALSE(panel.Digit(i)->DrawInactive());
        }
        panel.SetDigitSize(ls13x21);
        panel.SetLEDSpace(5);
        EXPECT_EQ(panel.size(), QSize(2 + 16 * 3 - 5, 23));
        const SegmentPoints seg = FindSegments(ls13x21);
        QImage image = Grab(panel);
        EXPECT_EQ(ReadGlyphs(image, 1, 1, 16, 3, seg, clRed.rgb()), QStringLiteral("009"));
        EXPECT_EQ(Px(image, 1 + 5, 1 + 10), clTeal.rgb());
        EXPECT_FALSE(Colours(image).count(clNavy.rgb()));
        panel.SetDrawInactive(true);
        EXPECT_TRUE(Colours(Grab(panel)).count(clNavy.rgb()));

        panel.SetEnabled(false);
        image = Grab(panel);
        EXPECT_EQ(ReadGlyphs(image, 1, 1, 16, 3, seg, clRed.rgb()), QStringLiteral("   "));
        EXPECT_EQ(Px(image, 1 + seg.at[6].x(), 1 + seg.at[6].y()), clNavy.rgb());
        panel.SetEnabled(true);
        EXPECT_EQ(ReadGlyphs(Grab(panel), 1, 1, 16, 3, seg, clRed.rgb()), QStringLiteral("009"));

        // Clicks on the digits reach the panel.
        int clicks = 0, doubles = 0;
        panel.OnClick = [&](QObject* s) { clicks += s == &panel; };
        panel.OnDblClick = [&](QObject* s) { doubles += s == &panel; };
        QWidget* under = panel.childAt(20, 10);
        EXPECT_TRUE(under == nullptr || under->testAttribute(Qt::WA_TransparentForMouseEvents));
        SendMouse(panel, QEvent::MouseButtonPress, QPoint(20, 10));
        SendMouse(panel, QEvent::MouseButtonRelease, QPoint(20, 10));
        SendMouse(panel, QEvent::MouseButtonDblClick, QPoint(20, 10));
        SendMouse(panel, QEvent::MouseButtonRelease, QPoint(20, 10));
        EXPECT_EQ(clicks, 1);
        EXPECT_EQ(doubles, 1);
    }
    EXPECT_EQ(TDigitCache::Instance(), nullptr);
}

TEST(LED, FillCaptionAndColourChanges)
{
    TMMLED plain;
    EXPECT_EQ(plain.size(), QSize(16, 8));
    EXPECT_EQ(Px(Grab(plain), 5, 4), clLime.rgb());
    plain.SetEnabled(false);
    EXPECT_EQ(Px(Grab(plain), 5, 4), clGreen.rgb());

    // MMLED1 of the main window.
    TMMLED lamp;
    lamp.SetBounds(647, 137, 59, 21);
    lamp.SetColor(QColor(0x80, 0x00, 0x40));
    lamp.SetFontColor(clYellow);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(11);
    lamp.SetFont(font);
    lamp.SetLEDColor(QColor(0x80, 0x40, 0x40));
    QImage image = Grab(lamp);
    EXPECT_EQ(Px(image, 0, 0), clBtnShadow.rgb());  // lowered bevel
    EXPECT_EQ(Px(image, 58, 20), clBtnHighlight.rgb());
    EXPECT_EQ(Colours(image, QRect(1, 1, 57, 19)), (std::set<QRgb>{qRgb(0x80, 0x40, 0x40)}));

    lamp.SetCaption(QStringLiteral("Calibrated"));
    lamp.SetLEDColor(clRed);
    image = Grab(lamp);
    EXPECT_EQ(Px(image, 1, 1), clRed.rgb());
    EXPECT_EQ(Px(image, 57, 19), clRed.rgb());
    // The caption is centred: its yellow (antialiased) pixels sit in the
    // middle.
    const auto textArea = [](const QImage& image) {
        QRect text;
        for (int y = 1; y < 20; ++y)
            for (int x = 1; x < 58; ++x)
                if (qGreen(Px(image, x, y)) >= 0x60)
                    text |= QRect(x, y, 1, 1);
        return text;
    };
    const QRect text = textArea(image);
    ASSERT_FALSE(text.isNull());
    EXPECT_LE(std::abs((text.left() - 1) - (57 - text.right())), 3);
    EXPECT_LE(std::abs((text.top() - 1) - (19 - text.bottom())), 4);
    EXPECT_GT(text.width(), 30);

    // Disabled shows Color whatever the caption; the caption stays.
    lamp.SetEnabled(false);
    image = Grab(lamp);
    EXPECT_EQ(Px(image, 1, 1), qRgb(0x80, 0x00, 0x40));
    EXPECT_EQ(textArea(image), text);
    EXPECT_FALSE(Colours(image).count(clRed.rgb()));
    lamp.SetEnabled(true);
    lamp.SetCaption(QString());
    lamp.SetLEDColor(QColor(0x80, 0x00, 0x40));
    image = Grab(lamp);
    EXPECT_TRUE(textArea(image).isNull());
    EXPECT_EQ(Colours(image, QRect(1, 1, 57, 19)), (std::set<QRgb>{qRgb(0x80, 0x00, 0x40)}));

    int clicks = 0, doubles = 0, downs = 0;
    lamp.OnClick = [&](QObject* s) { clicks += s == &lamp; };
    lamp.OnDblClick = [&](QObject* s) { doubles += s == &lamp; };
    lamp.OnMouseDown = [&](QObject*, Qt::MouseButton b, Qt::KeyboardModifiers, int x, int y) {
        downs += b == Qt::LeftButton && x == 10 && y == 5;
    };
    SendMouse(lamp, QEvent::MouseButtonPress, QPoint(10, 5));
    SendMouse(lamp, QEvent::MouseButtonRelease, QPoint(10, 5));
    SendMouse(lamp, QEvent::MouseButtonDblClick, QPoint(10, 5));
    SendMouse(lamp, QEvent::MouseButtonRelease, QPoint(10, 5));
    SendMouse(lamp, QEvent::MouseButtonPress, QPoint(10, 5));
    SendMouse(lamp, QEvent::MouseButtonRelease, QPoint(80, 5));  // released outside: no click
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(doubles, 1);
    EXPECT_EQ(downs, 3);
}

// Renders the main window's read-out and lamp; with ZOL_LED_SHOT set it is
// written there (4x) to be looked at.
TEST(LED, MainWindowPictureLooksRight)
{
    QWidget window;
    window.resize(200, 110);
    window.setAutoFillBackground(true);
    QPalette palette = window.palette();
    palette.setColor(QPalette::Window, QColor(0x99, 0x99, 0x99));
    window.setPalette(palette);

    auto* d1 = new TMMLEDPanel(&window);
    d1->Bevel().SetBevelOuter(bvNone);
    d1->SetDrawInactive(false);
    d1->SetLEDColor(clWhite);
    d1->SetLEDSpace(5);
    d1->SetBounds(10, 10, 27, 21);
    d1->SetValue(20);

    auto* lamp1 = new TMMLED(&window);
    lamp1->SetBounds(50, 10, 59, 21);
    lamp1->SetColor(QColor(0x80, 0x00, 0x40));
    lamp1->SetFontColor(clYellow);
    lamp1->SetLEDColor(QColor(0x80, 0x40, 0x40));

    auto* lamp2 = new TMMLED(&window);
    lamp2->SetBounds(120, 10, 59, 21);
    lamp2->SetColor(QColor(0x80, 0x00, 0x40));
    lamp2->SetFontColor(clYellow);
    lamp2->SetLEDColor(clRed);
    lamp2->SetCaption(QStringLiteral("Calibrated"));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(10);
    lamp2->SetFont(font);

    // Default look (lime on black, unlit segments green) in two sizes.
    auto* big = new TMMLEDPanel(&window);
    big->SetDigitSize(ls23x41);
    big->SetNumDigits(3);
    big->SetMinValue(-100);
    big->SetValue(-7);
    big->move(10, 50);
    auto* small = new TMMLEDPanel(&window);
    small->SetDigitSize(ls06x07);
    small->SetNumDigits(4);
    small->SetMaxValue(9999);
    small->SetValue(1234);
    small->move(120, 50);

    const QImage image = Grab(window);
    EXPECT_EQ(ReadGlyphs(image, 11, 51, 22, 3, FindSegments(ls23x41), clLime.rgb()), QStringLiteral("-07"));
    EXPECT_EQ(ReadGlyphs(image, 121, 51, 5, 4, FindSegments(ls06x07), clLime.rgb()), QStringLiteral("1234"));
    const SegmentPoints seg = FindSegments(ls13x21);
    EXPECT_EQ(ReadGlyphs(image, 10, 10, 16, 2, seg, kWhite), QStringLiteral("20"));
    EXPECT_EQ(Px(image, 80, 20), qRgb(0x80, 0x40, 0x40));
    EXPECT_EQ(Px(image, 121, 11), clRed.rgb());
    const QByteArray path = qgetenv("ZOL_LED_SHOT");
    if (!path.isEmpty())
        EXPECT_TRUE(image.scaled(image.size() * 4).save(QString::fromLocal8Bit(path)));
}
