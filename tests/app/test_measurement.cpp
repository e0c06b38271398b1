// The measurement without the window: readings, chart positions, the
// 5-second averages and their handshake, the 30-second windows, the seconds
// of measure.txt with their run marker, and the calibration's decisions.
#include "app/measurement.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace zol;

namespace {

// Delivers `average` as the next 5-second average (the sums start empty)
// and takes it into the window.
TAverageStep Step(TMeasurement& m, int average)
{
    EXPECT_EQ(m.AverageCount(), 0);
    m.RequestAverage();
    m.AddReading(average);
    EXPECT_FALSE(m.AverageRequested());
    return m.TakeAverage();
}

}  // namespace

TEST(Measurement, ReadingsAndChartPositions)
{
    EXPECT_EQ(TMeasurement::Reading(32768), 0);
    EXPECT_EQ(TMeasurement::Reading(1), 90);
    EXPECT_EQ(TMeasurement::Reading(0), 90);
    EXPECT_EQ(TMeasurement::Reading(-5), 90);
    EXPECT_EQ(TMeasurement::Reading(std::nan("")), 90);
    EXPECT_EQ(TMeasurement::Reading(3277), 19);  // 19.9998: truncated, not rounded
    EXPECT_EQ(TMeasurement::Reading(3276), 20);
    EXPECT_EQ(TMeasurement::Reading(32767), 0);
    EXPECT_EQ(TMeasurement::Reading(1.5), 86);

    EXPECT_EQ(TMeasurement::ChartPosition(0), 100);
    EXPECT_EQ(TMeasurement::ChartPosition(70), 0);
    EXPECT_EQ(TMeasurement::ChartPosition(35), 50);
    EXPECT_EQ(TMeasurement::ChartPosition(50), 29);  // 71.4 is 71
    EXPECT_EQ(TMeasurement::ChartPosition(90), -28);  // below the picture
    // Division toward zero also below 0 dB: -14.3 is -14, not -15.
    EXPECT_EQ(TMeasurement::ChartPosition(-10), 114);
    // The live minimum's trace is one unit higher than the plain mapping.
    const TChartPoint p = TMeasurement::PlotPositions(40, 35);
    EXPECT_EQ(p.a, 43);
    EXPECT_EQ(p.b, 51);
}

TEST(Measurement, AveragesAreTheMeanOfAllReadingsSinceTheLastDelivery)
{
    TMeasurement m;
    EXPECT_EQ(m.PendingAverage(), 35);
    // Without a request the sums keep growing.
    for (int r : {10, 11, 12})
        m.AddReading(r);
    EXPECT_EQ(m.AverageCount(), 3);
    EXPECT_EQ(m.AverageSum(), 33);
    EXPECT_EQ(m.PendingAverage(), 35);
    // The request is answered by the next reading, with every reading since
    // the last delivery: (10 + 11 + 12 + 12) div 4 = 11.
    m.RequestAverage();
    EXPECT_TRUE(m.AverageRequested());
    EXPECT_EQ(m.PendingAverage(), -1);
    m.AddReading(12);
    EXPECT_FALSE(m.AverageRequested());
    EXPECT_EQ(m.PendingAverage(), 11);
    EXPECT_EQ(m.AverageSum(), 0);
    EXPECT_EQ(m.AverageCount(), 0);
    // The next delivery covers only what came after.
    m.AddReading(40);
    m.RequestAverage();
    m.AddReading(45);
    EXPECT_EQ(m.PendingAverage(), 42);
    // The seconds counted the same readings.
    EXPECT_EQ(m.SecondCount(), 6);
    EXPECT_EQ(m.SecondSum(), 130);

    // At the end of the input the readings gathered are delivered as they are.
    EXPECT_FALSE(m.DeliverPartialAverage());
    EXPECT_EQ(m.PendingAverage(), 42);
    m.AddReading(30);
    m.AddReading(33);
    EXPECT_TRUE(m.DeliverPartialAverage());
    EXPECT_EQ(m.PendingAverage(), 31);
    EXPECT_EQ(m.AverageCount(), 0);
}

TEST(Measurement, ThirtySecondWindows)
{
    TMeasurement m;
    m.BeginRun();
    // Averages 40, 35, 38, 50, 41, 39.
    TAverageStep plotted;
    for (int avg : {40, 35, 38, 50, 41, 39})
        plotted = Step(m, avg);
    EXPECT_EQ(m.WindowMin(), 35);
    EXPECT_EQ(m.WindowMax(), 50);
    EXPECT_EQ(m.LastMin(), 35);
    EXPECT_EQ(m.WindowUpdates(), 6);
    EXPECT_EQ(plotted.average, 39);  // the average and the running minimum
    EXPECT_EQ(plotted.minimum, 35);
    const TWindowLine w = m.CloseWindow();
    EXPECT_EQ(w.min, 35);
    EXPECT_EQ(w.max, 50);
    EXPECT_EQ(w.plot.a, 50);
    EXPECT_EQ(w.plot.b, 29);
    EXPECT_EQ(m.WindowMin(), 90);
    EXPECT_EQ(m.WindowMax(), 0);
    EXPECT_EQ(m.WindowUpdates(), 0);
    // The latest minimum is kept across windows ...
    EXPECT_EQ(m.LastMin(), 35);
    // ... and a window's first step plots it for the average too: here the
    // silence (90) is no new minimum, so 35 stands for it.
    plotted = Step(m, 90);
    EXPECT_EQ(plotted.average, 35);
    EXPECT_EQ(plotted.minimum, 35);
    EXPECT_EQ(m.PendingAverage(), 35);
    EXPECT_EQ(m.WindowMax(), 90);
    EXPECT_EQ(m.WindowMin(), 90);
    // Later steps plot their own average; a new minimum of this window
    // replaces the last one even when it is higher.
    plotted = Step(m, 60);
    EXPECT_EQ(plotted.average, 60);
    EXPECT_EQ(plotted.minimum, 60);
    EXPECT_EQ(m.LastMin(), 60);
    plotted = Step(m, 60);  // equal is no new minimum
    EXPECT_EQ(m.LastMin(), 60);
    plotted = Step(m, 95);
    EXPECT_EQ(plotted.average, 95);
    EXPECT_EQ(m.WindowMax(), 95);
    const TWindowLine w2 = m.CloseWindow();
    EXPECT_EQ(w2.min, 60);
    EXPECT_EQ(w2.max, 95);

    // A window with no updates closes as it began.
    const TWindowLine empty = m.CloseWindow();
    EXPECT_EQ(empty.min, 90);
    EXPECT_EQ(empty.max, 0);
    EXPECT_EQ(empty.plot.a, -28);
    EXPECT_EQ(empty.plot.b, 100);

    // Before any minimum a run's first step plots 0 for both traces.
    TMeasurement fresh;
    fresh.BeginRun();
    plotted = Step(fresh, 90);
    EXPECT_EQ(plotted.average, 0);
    EXPECT_EQ(plotted.minimum, 0);
}

TEST(Measurement, SecondsAndTheRunMarker)
{
    TMeasurement m;
    m.BeginRun();
    // A second without readings: no line is due; the marker is spent all the same.
    TSecondLine s = m.CloseSecond();
    EXPECT_FALSE(s.due);
    EXPECT_EQ(s.mean, 0);
    EXPECT_EQ(s.minimum, 0);
    EXPECT_EQ(s.marker, '*');
    m.MarkerUsed();
    EXPECT_EQ(m.LineMarker(), ' ');

    // A new run marks its first line; a line that could not be written
    // leaves the marker for the next.
    m.BeginRun();
    Step(m, 7);  // the latest minimum
    m.CloseSecond();
    for (int r : {30, 31, 33})
        m.AddReading(r);
    s = m.CloseSecond();
    EXPECT_TRUE(s.due);
    EXPECT_EQ(s.mean, 31);  // 94 div 3
    EXPECT_EQ(s.minimum, 7);
    EXPECT_EQ(s.marker, '*');
    EXPECT_EQ(m.SecondCount(), 0);
    EXPECT_EQ(m.SecondSum(), 0);
    m.AddReading(40);
    s = m.CloseSecond();
    EXPECT_EQ(s.marker, '*');
    m.MarkerUsed();
    m.AddReading(40);
    s = m.CloseSecond();
    EXPECT_EQ(s.marker, ' ');
    EXPECT_EQ(s.mean, 40);

    // A new run starts its window, its average and its marker afresh.
    m.AddReading(50);
    m.RequestAverage();
    m.BeginRun();
    EXPECT_EQ(m.PendingAverage(), 35);
    EXPECT_EQ(m.AverageCount(), 0);
    EXPECT_EQ(m.WindowMin(), 90);
    EXPECT_EQ(m.WindowMax(), 0);
    EXPECT_EQ(m.WindowUpdates(), 0);
    EXPECT_EQ(m.LineMarker(), '*');
}

namespace {

// A calibration run from the top position `steps`: each tick's reading
// comes from `readingAt(position)`, the position the gain had during that
// tick. Returns the position where it ended.
template <typename F>
int Calibrate(TMeasurement& m, int steps, F readingAt, int& ticks)
{
    m.StartCalibration();
    int position = steps;
    ticks = 0;
    while (m.Calibrating()) {
        const int reading = readingAt(position);
        const int p = position - 1;
        position = p;
        const TCalibrationStep step = m.CalibrationStep(p, reading);
        m.EndCalibration(step);
        ++ticks;
        if (ticks > 1000)
            break;
    }
    return position;
}

}  // namespace

TEST(Measurement, CalibrationDecisions)
{
    TMeasurement m;
    m.SetDbCalibrate(35);
    m.SetThreshold(30);
    m.SetCalibrated(true);
    m.StartCalibration();
    EXPECT_TRUE(m.Calibrating());
    EXPECT_FALSE(m.IsCalibrated());
    // Within 6 dB of the target: 29 is enough, 28 is not.
    EXPECT_EQ(m.CalibrationStep(40, 29), csReached);
    EXPECT_EQ(m.CalibrationStep(40, 28), csGoOn);
    EXPECT_EQ(m.CalibrationStep(40, 90), csReached);
    // At the bottom the calibration gives up, even with the target met.
    EXPECT_EQ(m.CalibrationStep(1, 90), csGaveUp);
    EXPECT_EQ(m.CalibrationStep(0, 10), csGaveUp);
    EXPECT_EQ(m.CalibrationStep(2, 10), csGoOn);
    m.EndCalibration(csGoOn);
    EXPECT_TRUE(m.Calibrating());
    EXPECT_EQ(m.Threshold(), 30);

    // The reading rises by 2 dB per step from 10: the first tick whose
    // reading is 29 or more ends it, one step below where that reading was
    // measured, and the threshold becomes the target's position.
    int ticks = 0;
    const int end = Calibrate(m, 64, [](int position) { return 10 + 2 * (64 - position); }, ticks);
    EXPECT_EQ(ticks, 11);  // readings 10, 12, ..., 30
    EXPECT_EQ(end, 53);  // the reading 30 was taken at 54
    EXPECT_FALSE(m.Calibrating());
    EXPECT_TRUE(m.IsCalibrated());
    EXPECT_EQ(m.Threshold(), 50);

    // A target never reached: one step per tick down to position 1, not
    // calibrated, the threshold as it was.
    TMeasurement never;
    never.SetDbCalibrate(95);
    never.SetThreshold(30);
    std::vector<int> seen;
    const int bottom = Calibrate(never, 64, [&](int position) {
        seen.push_back(position);
        return 10;
    }, ticks);
    EXPECT_EQ(bottom, 1);
    EXPECT_EQ(ticks, 63);
    ASSERT_EQ(seen.size(), 63u);
    for (size_t i = 0; i < seen.size(); ++i)
        EXPECT_EQ(seen[i], 64 - static_cast<int>(i));
    EXPECT_FALSE(never.Calibrating());
    EXPECT_FALSE(never.IsCalibrated());
    EXPECT_EQ(never.Threshold(), 30);

    // Stopped (the gain could not be set) or changed by hand.
    never.StartCalibration();
    never.StopCalibration();
    EXPECT_FALSE(never.Calibrating());
    never.SetCalibrated(true);
    never.Uncalibrate();
    EXPECT_FALSE(never.IsCalibrated());
}

TEST(Measurement, TicksWithoutAudioAreNoReadings)
{
    TMeasurement m;
    m.BeginRun();
    Step(m, 40);  // the window's minimum so far: 40
    m.CloseSecond();
    m.MarkerUsed();

    // A second of ticks without audio has a line, whose mean says so; the
    // minimum is the one known.
    for (int i = 0; i < 10; ++i)
        m.AddNoAudio();
    TSecondLine s = m.CloseSecond();
    EXPECT_TRUE(s.due);
    EXPECT_EQ(s.mean, kNoAudio);
    EXPECT_EQ(s.minimum, 40);
    // A second with some audio is the mean of its readings only.
    m.AddNoAudio();
    m.AddReading(30);
    m.AddNoAudio();
    m.AddReading(33);
    s = m.CloseSecond();
    EXPECT_EQ(s.mean, 31);
    // A second without ticks still has no line.
    EXPECT_FALSE(m.CloseSecond().due);

    // An average asked for is delivered by a tick without audio too: the
    // mean of the readings before it, or no audio when there were none.
    m.RequestAverage();
    m.AddNoAudio();
    EXPECT_FALSE(m.AverageRequested());
    EXPECT_EQ(m.PendingAverage(), 31);  // (30 + 33) div 2, the readings since the last delivery
    m.TakeAverage();
    m.RequestAverage();
    m.AddNoAudio();
    EXPECT_EQ(m.PendingAverage(), kNoAudio);
    const TAverageStep gap = m.TakeAverage();
    EXPECT_EQ(gap.average, kNoAudio);
    EXPECT_EQ(gap.minimum, kNoAudio);
    // It leaves the window as it was: min 31, max 40.
    EXPECT_EQ(m.WindowMin(), 31);
    EXPECT_EQ(m.WindowMax(), 40);
    TWindowLine w = m.CloseWindow();
    EXPECT_EQ(w.min, 31);
    EXPECT_EQ(w.max, 40);

    // A window whose every step had no audio has no values at all.
    for (int i = 0; i < 6; ++i) {
        m.RequestAverage();
        m.AddNoAudio();
        m.TakeAverage();
    }
    w = m.CloseWindow();
    EXPECT_EQ(w.min, kNoAudio);
    EXPECT_EQ(w.max, kNoAudio);
    EXPECT_EQ(w.plot.a, kNoAudio);
    EXPECT_EQ(w.plot.b, kNoAudio);
    // A window without steps at all keeps its old form.
    w = m.CloseWindow();
    EXPECT_EQ(w.min, 90);
    EXPECT_EQ(w.max, 0);
    // The last minimum is untouched by the gap.
    EXPECT_EQ(m.LastMin(), 31);

    EXPECT_EQ(TMeasurement::ChartPosition(kNoAudio), kNoAudio);
    const TChartPoint p = TMeasurement::PlotPositions(kNoAudio, 35);
    EXPECT_EQ(p.a, kNoAudio);
    EXPECT_EQ(p.b, kNoAudio);
}
