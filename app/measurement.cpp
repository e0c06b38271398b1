#include "app/measurement.h"

#include <cmath>

namespace zol {

int TMeasurement::Reading(double level)
{
    if (!(level >= 1.0))
        level = 1.0;
    return static_cast<int>(std::trunc(20.0 * std::log10(32768.0 / level)));
}

int TMeasurement::ChartPosition(int reading)
{
    if (reading == kNoAudio)
        return kNoAudio;
    return 100 - (reading * 100 / 70);
}

TChartPoint TMeasurement::PlotPositions(int average, int minimum)
{
    if (average == kNoAudio)
        return {kNoAudio, kNoAudio};
    return {ChartPosition(average), minimum == kNoAudio ? kNoAudio : ChartPosition(minimum) + 1};
}

void TMeasurement::BeginRun()
{
    pendingAverage_ = 35;
    windowUpdates_ = 0;
    averageCount_ = 0;
    marker_ = '*';
    windowMin_ = 90;
    windowMax_ = 0;
    windowAudio_ = windowSilent_ = false;
}

void TMeasurement::AddReading(int reading)
{
    averageCount_ += 1;
    secondCount_ += 1;
    averageSum_ += reading;
    secondSum_ += reading;
    if (pendingAverage_ == -1) {
        pendingAverage_ = averageSum_ / averageCount_;
        averageSum_ = 0;
        averageCount_ = 0;
    }
}

void TMeasurement::AddNoAudio()
{
    secondSilent_ += 1;
    if (pendingAverage_ == -1) {
        pendingAverage_ = averageCount_ > 0 ? averageSum_ / averageCount_ : kNoAudio;
        averageSum_ = 0;
        averageCount_ = 0;
    }
}

TAverageStep TMeasurement::TakeAverage()
{
    windowUpdates_ += 1;
    const int avg = pendingAverage_;
    if (avg == kNoAudio) {
        windowSilent_ = true;
        return {kNoAudio, kNoAudio};
    }
    windowAudio_ = true;
    if (avg > windowMax_)
        windowMax_ = avg;
    if (avg < windowMin_) {
        windowMin_ = avg;
        lastMin_ = avg;
    }
    // A window's first step shows where its minimum stands so far.
    if (windowUpdates_ == 1)
        pendingAverage_ = lastMin_;
    return {pendingAverage_, lastMin_};
}

bool TMeasurement::DeliverPartialAverage()
{
    if (averageCount_ <= 0)
        return false;
    pendingAverage_ = averageSum_ / averageCount_;
    averageSum_ = 0;
    averageCount_ = 0;
    return true;
}

TWindowLine TMeasurement::CloseWindow()
{
    TWindowLine line;
    line.min = windowMin_;
    line.max = windowMax_;
    if (windowSilent_ && !windowAudio_)
        line.min = line.max = kNoAudio;
    line.plot = {ChartPosition(line.min), ChartPosition(line.max)};
    windowMin_ = 90;
    windowMax_ = 0;
    windowUpdates_ = 0;
    windowAudio_ = windowSilent_ = false;
    return line;
}

TSecondLine TMeasurement::CloseSecond()
{
    TSecondLine line;
    line.due = secondCount_ != 0 || secondSilent_ != 0;
    line.marker = marker_;
    line.mean = secondCount_ != 0 ? secondSum_ / secondCount_ : secondSilent_ != 0 ? kNoAudio : 0;
    line.minimum = lastMin_;
    secondCount_ = 0;
    secondSum_ = 0;
    secondSilent_ = 0;
    return line;
}

TCalibrationStep TMeasurement::CalibrationStep(int position, int reading) const
{
    // At the bottom (or below it, on a gain control without steps) there is
    // no step left to take.
    if (position <= 1)
        return csGaveUp;
    if (reading + 6 >= dbCalibrate_)
        return csReached;
    return csGoOn;
}

void TMeasurement::StartCalibration()
{
    calibrated_ = false;
    calibrating_ = true;
    stepTaken_ = false;
}

void TMeasurement::EndCalibration(TCalibrationStep outcome)
{
    if (outcome == csGoOn)
        return;
    calibrating_ = false;
    if (outcome == csReached) {
        calibrated_ = true;
        threshold_ = ChartPosition(dbCalibrate_);
    }
}

}  // namespace zol
