// The main window's toolkit components through the real window: the source
// switches (a display fed by exactly one connector, whatever the switching),
// the labels (raised credits, the time of day rewritten each second, the
// turned chart labels), the 5-second chart's frame and the designer's client
// height, also read back from the drawn window. With $ZOL_SHOT_DIR set the window is
// written there as a PNG.
#include "app/zolu.h"
#include "chain/connector.h"
#include "chain/mmdisplay.h"
#include "controls/designer.h"
#include "controls/label.h"
#include "controls/panelfill.h"
#include "controls/switch.h"
#include "displays/scope.h"
#include "platform/mixerbackend.h"
#include "platform/wavein_device.h"
#include "platform/wavein_sources.h"
#include "resources/bitmaps.h"
#include "tests/support/test_support.h"
#include "tests/support/window_test.h"

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>
#include <random>

using namespace zol;

namespace {

// A display for a connector slot that no display of the window holds yet.
class StandInDisplay : public QObject, public IMMDisplay {
public:
    void SetWaveFormat(const WAVEFORMATEX*) override {}
    int NeededBytes() const override { return 1024; }
    void ShowPCMData(const char*) override { ++slices; }
    void ResetDisplay() override {}
    QObject* DisplayObject() override { return this; }
    int slices = 0;
};

void ClickAt(QWidget* w, QPoint p)
{
    QMouseEvent press(QEvent::MouseButtonPress, p, w->mapToGlobal(p), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(w, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, p, w->mapToGlobal(p), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(w, &release);
}

void KeyAt(QWidget* w, int key)
{
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(w, &down);
}

class ToolkitWindowTest : public test::WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        platform::SetWaveInBackend(platform::MakeSimReceiverBackend());
        OpenForm();
    }
    void Run(int ms) { test::Sim().AdvanceMs(ms); }

    // Pixels of `image` inside `r` that are darker than `level` on every channel.
    static QList<QPoint> Dark(const QImage& image, const QRect& r, int level)
    {
        QList<QPoint> points;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x) {
                const QColor c = image.pixelColor(x, y);
                if (c.red() < level && c.green() < level && c.blue() < level)
                    points.append(QPoint(x, y));
            }
        return points;
    }
    static QRect Bounds(const QList<QPoint>& points)
    {
        QRect r;
        for (const QPoint& p : points)
            r = r.united(QRect(p, QSize(1, 1)));
        return r;
    }
};

}  // namespace

TEST_F(ToolkitWindowTest, ComponentsAtTheirPlaces)
{
    TMainForm& f = *form;
    // The designer's runtime height is the client height.
    EXPECT_EQ(f.MMDesigner1->RuntimeHeight(), 570);
    EXPECT_FALSE(f.MMDesigner1->Update());
    EXPECT_EQ(f.size(), QSize(719, 570));

    EXPECT_EQ(f.MMLabel1->geometry(), QRect(0, 1, 209, 24));
    EXPECT_FALSE(f.MMLabel1->Caption().isEmpty());
    EXPECT_EQ(f.MMLabel1->font().pixelSize(), 19);
    EXPECT_TRUE(f.MMLabel1->font().bold());
    EXPECT_EQ(f.MMLabel1->EffectStyle(), lsRaised);
    EXPECT_EQ(f.MMLabel4->geometry(), QRect(208, 1, 97, 24));
    EXPECT_EQ(f.MMLabel4->Alignment(), taCenter);

    EXPECT_EQ(f.MMPanelFill1->geometry(), QRect(5, 169, 703, 187));
    EXPECT_EQ(f.Scope1->parentWidget(), f.MMPanelFill1);
    for (TMMLabel* turned : {f.MMLabel2, f.MMLabel3}) {
        EXPECT_EQ(turned->Angle(), 90);
        EXPECT_EQ(turned->font().pixelSize(), 16);
        EXPECT_LE(turned->geometry().right(), 27);  // left of the chart
        EXPECT_GE(turned->geometry().top(), 3);
        EXPECT_LE(turned->geometry().bottom(), 184);
    }
    EXPECT_EQ(f.MMLabel2->parentWidget(), f.MMPanelFill1);
    EXPECT_EQ(f.MMLabel2->Caption(), QStringLiteral("5 sec Signal view"));
    EXPECT_EQ(f.MMLabel3->Caption(), QStringLiteral("30 Sec Signal/Noise"));

    // The time of day, rewritten every second once logging runs.
    Run(3500);
    const QString first = f.MMLabel4->Caption();
    EXPECT_TRUE(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d$").match(first).hasMatch()) << first.toStdString();
    Run(1000);
    EXPECT_NE(f.MMLabel4->Caption(), first);
    EXPECT_TRUE(errors.Messages().isEmpty()) << errors.Messages().join("; ").toStdString();
}

TEST_F(ToolkitWindowTest, SourceSwitchesFeedEachDisplayFromExactlyOneConnector)
{
    TMainForm& f = *form;
    struct Source {
        TMMSwitch* sw;
        IMMDisplay* (TMMConnector::*get)() const;
        void (TMMConnector::*set)(IMMDisplay*);
        TMMConnector::Group group;
    };
    const Source sources[] = {
        {f.ScopeSw, &TMMConnector::Oscope1, &TMMConnector::SetOscope1, TMMConnector::gOscopes},
        {f.SpectrumSw, &TMMConnector::Spectrum1, &TMMConnector::SetSpectrum1, TMMConnector::gSpectra},
    };
    EXPECT_EQ(f.ScopeSw->geometry(), QRect(482, 105, 20, 24));
    EXPECT_EQ(f.SpectrumSw->geometry(), QRect(683, 105, 20, 24));
    StandInDisplay standIns[2];
    Run(2500);
    std::mt19937 rng(5);
    for (int i = 0; i < 2; ++i) {
        const Source& s = sources[i];
        EXPECT_EQ(s.sw->Position(), 1);
        EXPECT_EQ(s.sw->toolTip(), QStringLiteral("UP=Before filter DOWN = After filter"));
        EXPECT_FALSE(s.sw->BuiltInGlyph());
        EXPECT_EQ(s.sw->NumGlyphs(), 3);
        // The display the slot holds at start (after the filter), or a
        // stand-in where the window has none yet.
        IMMDisplay* display = (f.c2->*s.get)();
        if (display == nullptr) {
            (f.c2->*s.set)(&standIns[i]);
            display = &standIns[i];
        }
        ASSERT_EQ((f.c1->*s.get)(), nullptr);

        int changes = 0;
        auto handler = s.sw->OnChange;
        s.sw->OnChange = [&](QObject* sender) {
            ++changes;
            handler(sender);
        };
        int expectedChanges = 0;
        for (int round = 0; round < 200; ++round) {
            const int before = s.sw->Position();
            switch (rng() % 5) {
            case 0:
                s.sw->SetPosition(static_cast<int>(rng() % 3));
                break;
            case 1:
                s.sw->SetPosition(before);
                break;
            case 2:
                ClickAt(s.sw, QPoint(10, rng() % 2 ? 4 : 19));
                break;
            case 3:
                KeyAt(s.sw, rng() % 2 ? Qt::Key_Up : Qt::Key_Down);
                break;
            default:
                KeyAt(s.sw, rng() % 2 ? Qt::Key_Home : Qt::Key_End);
                break;
            }
            expectedChanges += s.sw->Position() != before;
            TMMConnector* on = s.sw->Position() == 1 ? f.c2 : f.c1;
            TMMConnector* off = s.sw->Position() == 1 ? f.c1 : f.c2;
            ASSERT_EQ((on->*s.get)(), display) << "round " << round;
            ASSERT_EQ((off->*s.get)(), nullptr) << "round " << round;
        }
        EXPECT_EQ(changes, expectedChanges);
        EXPECT_GT(changes, 40);

        // Up: the display is fed before the filter, by c1 alone.
        s.sw->SetPosition(0);
        const int c1Before = f.c1->SliceCount(s.group);
        const int c2Before = f.c2->SliceCount(s.group);
        Run(500);
        EXPECT_GT(f.c1->SliceCount(s.group), c1Before);
        EXPECT_EQ(f.c2->SliceCount(s.group), c2Before);
        s.sw->SetPosition(1);
        EXPECT_EQ((f.c2->*s.get)(), display);
    }
    EXPECT_TRUE(errors.Messages().isEmpty()) << errors.Messages().join("; ").toStdString();
}

TEST_F(ToolkitWindowTest, DrawnWindow)
{
    Run(3500);
    TMainForm& f = *form;
    const QImage shot = f.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QByteArray dirName = qgetenv("ZOL_SHOT_DIR");
    if (!dirName.isEmpty())
        shot.save(QDir(QString::fromLocal8Bit(dirName)).filePath(QStringLiteral("main_window.png")));
    ASSERT_EQ(shot.size(), QSize(719, 570));

    // The raised credits on the panel's grey: a dark face with white
    // highlights and grey shadows beside it.
    const QRect credits = f.MMLabel1->geometry().adjusted(2, 2, -2, -2);
    ASSERT_GT(Dark(shot, credits, 0x30).size(), 50);
    int highlights = 0, shadows = 0, panel = 0;
    for (int y = credits.top(); y <= credits.bottom(); ++y)
        for (int x = credits.left(); x <= credits.right(); ++x) {
            highlights += shot.pixel(x, y) == qRgb(0xFF, 0xFF, 0xFF);
            shadows += shot.pixel(x, y) == qRgb(0x80, 0x80, 0x80);
            panel += shot.pixel(x, y) == qRgb(0x99, 0x99, 0x99);
        }
    EXPECT_GT(highlights, 20);
    EXPECT_GT(shadows, 20);
    EXPECT_GT(panel, credits.width() * credits.height() / 2);  // transparent
    // The time of day is written in the label.
    EXPECT_GT(Dark(shot, f.MMLabel4->geometry().adjusted(2, 2, -2, -2), 0x30).size(), 50);

    // The chart frame: a lowered bevel round the 5-second chart.
    EXPECT_EQ(shot.pixel(5, 169), QColor(clBtnShadow).rgb());
    EXPECT_EQ(shot.pixel(5 + 702, 169 + 186), QColor(clBtnHighlight).rgb());

    // The source switches: the knob down (position 1), the place above it
    // in the switch's colour, the red indicator line across the knob.
    const QImage knobs = LoadBitmapResource(QStringLiteral("SOURCE_SWITCH"));
    for (TMMSwitch* sw : {f.ScopeSw, f.SpectrumSw}) {
        const QPoint at = sw->mapTo(&f, QPoint(1, 1));
        EXPECT_EQ(shot.pixel(at + QPoint(9, 5)), QColor(clBtnFace).rgb());
        EXPECT_EQ(shot.pixel(at + QPoint(1, 11)), knobs.pixel(1, 0));
        EXPECT_EQ(shot.pixel(at + QPoint(8, 11 + 5)), qRgb(0xFF, 0x00, 0x00));
        EXPECT_EQ(shot.pixel(at + QPoint(0, 11)), QColor(clBtnFace).rgb());  // the knob's clear corner
    }

    // The turned labels: their text runs upwards (taller than wide).
    for (TMMLabel* turned : {f.MMLabel2, f.MMLabel3}) {
        const QRect r(turned->mapTo(&f, QPoint(0, 0)), turned->size());
        const QRect text = Bounds(Dark(shot, r.adjusted(1, 1, -1, -1), 0x30));
        ASSERT_FALSE(text.isEmpty());
        EXPECT_GT(text.height(), 4 * text.width()) << turned->Caption().toStdString();
    }
}
