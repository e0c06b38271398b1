// Renders the input-gain slider with a scale and a mixer block, checks a few
// pixels, and writes PNGs to $ZOL_SHOT_DIR when it is set (to look at them).
#include "mixer_test_util.h"

#include "mixer/mixerblock.h"

#include <QDir>
#include <QPainter>

using namespace zol;
using namespace zol::test;

namespace {

void Save(const QImage& image, const char* name)
{
    const QByteArray dir = qgetenv("ZOL_SHOT_DIR");
    if (!dir.isEmpty())
        image.save(QDir(QString::fromLocal8Bit(dir)).filePath(QString::fromLatin1(name)));
}

}  // namespace

using MixerLook = SimMixerTest;

TEST_F(MixerLook, SliderWithScaleAndBlock)
{
    MainMixer m;
    QWidget form;
    form.resize(360, 320);
    form.setAutoFillBackground(true);
    QPalette pal = form.palette();
    pal.setColor(QPalette::Window, QColor(0x99, 0x99, 0x99));
    form.setPalette(pal);

    TMMMixerSlider inputlevel(&form);
    inputlevel.setGeometry(7, 10, 322, 40);
    inputlevel.SetChannel(chLeft);
    inputlevel.SetThumbColor(clRed);
    inputlevel.Scale().SetVisible(true);
    inputlevel.Scale().SetTickCount(17);
    inputlevel.Scale().SetEnlargeEvery(4);
    inputlevel.SetControl(&m.volume);
    inputlevel.SetPosition(40);

    TMMMixerBlock block(&form);
    block.setGeometry(20, 60, 120, 250);
    new TMMCustomBlockLabel(&block, 0);
    new TMMCustomBlockLabel(&block, 1);
    new TMMMixerBlockSlider(&block, srPan);
    new TMMCustomBlockLabel(&block, 2);
    new TMMMixerBlockSlider(&block, srLeftVolume);
    new TMMMixerBlockSlider(&block, srRightVolume);
    new TMMCustomBlockCheck(&block);
    block.SetLine(&m.wavein);

    TMMMixerBlock single(&form);
    single.setGeometry(180, 60, 100, 250);
    new TMMCustomBlockLabel(&single, 0);
    auto* only = new TMMMixerBlockSlider(&single, srLeftVolume);
    single.SetLine(&m.mic);
    only->SetPosition(32);

    const QImage shot = form.grab().toImage();
    Save(shot, "mixer_look.png");

    // The red thumb sits at position 40 of 64; the scale's ticks below it.
    const QRect thumb = inputlevel.ThumbRect().translated(inputlevel.pos());
    EXPECT_EQ(shot.pixel(thumb.center()), qRgb(255, 0, 0));
    int dark = 0;
    for (int y = thumb.bottom() + 1; y < inputlevel.geometry().bottom(); ++y)
        for (int x = inputlevel.x(); x < inputlevel.geometry().right(); ++x)
            dark += qGray(shot.pixel(x, y)) < 40;
    EXPECT_GT(dark, 17);  // ticks drawn
    // The block's volume sliders stand side by side and show ticks.
    ASSERT_NE(block.LeftSlider(), nullptr);
    ASSERT_NE(block.RightSlider(), nullptr);
    EXPECT_FALSE(block.LeftSlider()->isHidden());
    EXPECT_GT(block.LeftSlider()->height(), 60);
    EXPECT_EQ(block.NameLabel()->text(), QStringLiteral("Recording Control"));
    EXPECT_EQ(single.NameLabel()->text(), QStringLiteral("Microphone"));
}
