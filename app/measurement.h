// The measurement, free of the window, the clock and the files: dB readings
// go in, ten a second; out come what the logs and the charts take from them.
// measure.txt gets each second's mean reading and the latest window minimum;
// the 5-second chart asks for the mean of the readings since its last step;
// every 30 seconds a window closes with the smallest and largest of those
// averages. It also decides each step of a calibration. All dB values are
// whole dB below full scale (0 full scale, 90 silence).
//
// A tick without audio (no capture device, or one that stopped delivering)
// is no reading: it is counted so that the second and the average still
// close on time, but what they give is kNoAudio when no reading came in.
#pragma once

#include <cstdint>

#include <limits>

namespace zol {

// A value measured without any audio: logged as "--", drawn as a gap. No
// reading, average or chart position can take it.
constexpr int kNoAudio = std::numeric_limits<int>::min();

// Chart positions of the two traces of a step.
struct TChartPoint {
    int a = 0;
    int b = 0;
};

// What a 5-second step plots, in dB: trace A and trace B (both kNoAudio
// when the step had no audio).
struct TAverageStep {
    int average = 0;
    int minimum = 0;
};

// A second closed for measure.txt.
struct TSecondLine {
    bool due = false;  // ticks came in: a line is written
    char marker = ' '; // '*' until the run's first line is written
    // Mean reading of the second (0 without ticks; kNoAudio when all its
    // ticks had no audio).
    int mean = 0;
    int minimum = 0;   // the latest window minimum (0 until one is known)
};

// A 30-second window closed for scope2.txt and the 30-second chart.
struct TWindowLine {
    // Smallest 5-second average (the signal) and largest (the noise); both
    // kNoAudio when every step of the window had no audio.
    int min = 0;
    int max = 0;
    TChartPoint plot;  // positions of min (trace A) and max (trace B)
};

enum TCalibrationStep {
    csGoOn,     // the target is not reached yet: one more step down
    csGaveUp,   // the gain reached the bottom without meeting the target
    csReached,  // the reading is within 6 dB of the target
};

class TMeasurement {
public:
    // The dB reading of a raw peak level: trunc(20 log10(32768 / level)),
    // the level raised to 1 first (silence and nonsense read 90).
    static int Reading(double level);
    // Where a reading lies on a chart: 100 at 0 dB (top), 0 at 70 dB
    // (bottom), the division truncating toward zero. kNoAudio stays
    // kNoAudio.
    static int ChartPosition(int reading);
    // The live 5-second chart's positions of an average and a minimum; the
    // minimum's trace is drawn one unit higher.
    static TChartPoint PlotPositions(int average, int minimum);

    // A run begins: no window updates or pending readings, an empty window,
    // the "*" marker for the first line, and 35 as the last average.
    void BeginRun();

    // One reading (every 100 ms). Counts it for the second and for the
    // average; delivers the average when one has been asked for.
    void AddReading(int reading);
    // A tick without audio: no reading, but the second gets a line and an
    // average asked for is delivered (kNoAudio when no reading came in).
    void AddNoAudio();

    // --- the 5-second chart
    // Asks for the average of the readings since the last delivery; the
    // next reading delivers it.
    void RequestAverage() { pendingAverage_ = -1; }
    bool AverageRequested() const { return pendingAverage_ == -1; }
    // Takes the delivered average into the window and says what to plot:
    // the average and the latest minimum (the minimum twice on the first
    // update of a window); an average without audio leaves the window as
    // it is and plots a gap.
    TAverageStep TakeAverage();
    // At the end of the input: delivers the average of the readings
    // gathered so far, if there are any.
    bool DeliverPartialAverage();

    // --- the 30-second chart
    // Closes the window (when it has updates or not) and starts the next.
    TWindowLine CloseWindow();

    // --- measure.txt
    // Closes the second: its mean and the sums start again.
    TSecondLine CloseSecond();
    // The second's line was written, or none was due: later lines carry a
    // blank marker. (A line that failed keeps "*" for the next.)
    void MarkerUsed() { marker_ = ' '; }

    // --- calibration
    // The decision of one step: `position` is the gain position the step
    // has just set, `reading` this tick's reading from before the step.
    TCalibrationStep CalibrationStep(int position, int reading) const;
    void StartCalibration();
    // Ends a running calibration with a step's outcome: reaching the target
    // marks the gain calibrated and sets the threshold to its position.
    void EndCalibration(TCalibrationStep outcome);
    // Stops without a result (the gain could not be set).
    void StopCalibration() { calibrating_ = false; }
    // Whether a tick's reading shows the gain the last step set: the meter
    // has analysed kCalibrationSettleMs of audio (two of its blocks) since
    // that step. `audioMs`
    // is the meter's count of audio analysed. Ticks that queued while the
    // window's thread was busy read the level from before the step; a step
    // on them would turn the gain down past the target.
    bool CalibrationReadingFresh(std::int64_t audioMs) const
    {
        return !stepTaken_ || audioMs - stepAudioMs_ >= kCalibrationSettleMs;
    }
    void CalibrationStepTaken(std::int64_t audioMs)
    {
        stepTaken_ = true;
        stepAudioMs_ = audioMs;
    }
    static constexpr std::int64_t kCalibrationSettleMs = 20;
    // The gain changed by hand, or a calibration starts.
    void Uncalibrate() { calibrated_ = false; }

    // --- settings
    bool IsCalibrated() const { return calibrated_; }
    void SetCalibrated(bool value) { calibrated_ = value; }
    int Threshold() const { return threshold_; }
    void SetThreshold(int value) { threshold_ = value; }
    int DbCalibrate() const { return dbCalibrate_; }
    void SetDbCalibrate(int value) { dbCalibrate_ = value; }

    // --- state
    bool Calibrating() const { return calibrating_; }
    int PendingAverage() const { return pendingAverage_; }
    int AverageSum() const { return averageSum_; }
    int AverageCount() const { return averageCount_; }
    int SecondSum() const { return secondSum_; }
    int SecondCount() const { return secondCount_; }
    int WindowMin() const { return windowMin_; }
    int WindowMax() const { return windowMax_; }
    int LastMin() const { return lastMin_; }
    int WindowUpdates() const { return windowUpdates_; }
    char LineMarker() const { return marker_; }

private:
    // -1 while the 5-second chart waits for an average; otherwise the last
    // average delivered.
    int pendingAverage_ = 35;
    int averageSum_ = 0;  // readings since the last delivery
    int averageCount_ = 0;
    int secondSum_ = 0;  // readings since the last closed second
    int secondCount_ = 0;
    int secondSilent_ = 0;  // ticks without audio in the second
    bool windowAudio_ = false;   // the window has had an average with audio
    bool windowSilent_ = false;  // ... and one without
    int windowMin_ = 90;  // averages of the current 30-second window
    int windowMax_ = 0;
    int lastMin_ = 0;  // the latest new window minimum, kept across windows
    int windowUpdates_ = 0;
    char marker_ = '*';
    bool calibrating_ = false;
    bool stepTaken_ = false;        // a step of this calibration was taken
    std::int64_t stepAudioMs_ = 0;  // the meter's audio count at that step
    bool calibrated_ = false;
    int threshold_ = 30;
    int dbCalibrate_ = 30;
};

}  // namespace zol
