// Renders sliders in their main shapes (horizontal with scales on both
// sides, vertical like the display-gain sliders, focused, disabled) and
// writes a PNG to $ZOL_SHOT_DIR when it is set.
#include "controls/slider.h"

#include <QDir>
#include <QPainter>
#include <gtest/gtest.h>

using namespace zol;

TEST(SliderLook, Shapes)
{
    QWidget form;
    form.resize(330, 170);
    TMMSlider both(&form);
    both.setGeometry(5, 5, 240, 60);
    both.SetMaxValue(20);
    both.SetPosition(15);
    both.Scale().SetVisible(true);
    both.SetScalePosition(spBoth);
    both.SetScaleDistance(4);
    both.Scale().SetTickCount(21);

    TMMSlider below(&form);
    below.setGeometry(5, 70, 240, 45);
    below.SetMaxValue(10);
    below.SetPosition(3);
    below.Scale().SetVisible(true);
    below.Scale().SetStyle(stLowered);
    below.SetScaleDistance(3);
    below.SetThumbHeight(15);

    TMMSlider disabled(&form);
    disabled.setGeometry(5, 120, 240, 40);
    disabled.SetPosition(7);
    disabled.setEnabled(false);

    TMMSlider vertical(&form);  // like the oscilloscope gain slider
    vertical.setGeometry(260, 5, 15, 129);
    vertical.SetThumbWidth(11);
    vertical.SetThumbHeight(9);
    vertical.Bevel().SetBorderWidth(1);
    vertical.SetMaxValue(32);
    vertical.SetPosition(24);

    TMMSlider scaled(&form);
    scaled.setGeometry(285, 5, 40, 129);
    scaled.SetThumbWidth(15);
    scaled.SetThumbHeight(9);
    scaled.Bevel().SetBorderWidth(2);
    scaled.SetMaxValue(5);
    scaled.SetPosition(5);
    scaled.Scale().SetVisible(true);
    scaled.Scale().SetTickCount(6);
    scaled.Scale().SetEnlargeEvery(5);
    scaled.SetScaleDistance(3);

    const QImage shot = form.grab().toImage();
    const QByteArray dir = qgetenv("ZOL_SHOT_DIR");
    if (!dir.isEmpty())
        shot.save(QDir(QString::fromLocal8Bit(dir)).filePath(QStringLiteral("slider_look.png")));

    // The vertical slider's thumb is three quarters up its track.
    const QRect t = vertical.ThumbRect().translated(vertical.pos());
    EXPECT_EQ(vertical.Orientation(), orVertical);
    EXPECT_LT(t.center().y() - vertical.y(), 129 / 2);
    EXPECT_EQ(shot.pixel(t.center()), clBtnFace.rgb());
    // Scales on both sides of the horizontal slider: dark tick pixels above
    // and below its thumb row.
    const QRect bt = both.ThumbRect().translated(both.pos());
    int above = 0, underneath = 0;
    for (int x = both.x(); x < both.x() + both.width(); ++x) {
        for (int y = both.y(); y < bt.top(); ++y)
            above += qGray(shot.pixel(x, y)) < 40;
        for (int y = bt.bottom() + 1; y < both.y() + both.height(); ++y)
            underneath += qGray(shot.pixel(x, y)) < 40;
    }
    EXPECT_GT(above, 21);
    EXPECT_GT(underneath, 21);
}
