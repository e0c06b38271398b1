// What a station adds to a run of the window beside its own behaviour: the
// band chosen on the command line, pictures of the window, the UTC data
// file and the recording of the captured audio.
#pragma once

#include "app/cmdline.h"

#include <QObject>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

namespace zol {

namespace platform {
class AudioRecorder;
}
class TDataFile;
class TMainForm;
class TPictureTimer;

class TStationRun {
public:
    // Before the window's start (FormCreate): hooks into the capture and
    // the start of measuring.
    TStationRun(TMainForm& form, const TOptions& options);
    ~TStationRun();
    TStationRun(const TStationRun&) = delete;
    TStationRun& operator=(const TStationRun&) = delete;

    // After the window's start: applies the options to it.
    void Started();
    // Ends the recording: what was captured is in its files.
    void FinishRecording();

    TPictureTimer* Pictures() const { return pictures_.get(); }
    TDataFile* DataFile() const { return data_.get(); }
    // The recording's files so far.
    QStringList Recordings() const;

private:
    void MeasuringStarted();
    void StartDataFile();
    void AddReading();
    void BandChanged();
    void Closing();

    TMainForm& form_;
    const TOptions options_;
    std::unique_ptr<TPictureTimer> pictures_;
    std::unique_ptr<TDataFile> data_;
    // The capture thread hands its buffers to the recorder through this,
    // which the capture keeps as long as it needs it, and marks a buffer
    // that reached full scale for the next reading's flag.
    struct TRecordTap {
        ~TRecordTap();
        std::mutex mutex;
        std::unique_ptr<platform::AudioRecorder> recorder;
        std::atomic<bool> sixteenBit{true};
        std::atomic<bool> clipped{false};
    };
    std::shared_ptr<TRecordTap> tap_;
    std::unique_ptr<QObject> closeWatch_;
    QStringList finishedRecordings_;
    // The window's handlers before ours, given back when this goes.
    std::function<void()> measuring_;
    std::function<void(QObject*)> reading_;
    bool readingHooked_ = false;
    QList<QMetaObject::Connection> connections_;
};

}  // namespace zol
