// The display connector: a chain link that leaves the audio untouched, copies
// each buffer into a display buffer of its own (on the thread that delivers
// buffers), and feeds its displays from that copy on the window thread, in
// slices of the size each display wants, paced to the audio's real time.
//
// All connectors share one refresh loop on the window thread: a message that
// handles the application's messages, feeds every connector in the loop and
// comes again, until the last connector leaves. In simulated time it sleeps
// 1 ms and posts itself; on the real clock it comes back when the next slice
// is due (at least 1 ms later) and rests while no slice waits, so an idle
// program is not woken a thousand times a second.
//
// The displays are fed outside the connector's lock, from a copy of the
// display buffer, so a slow paint never holds up the thread that delivers
// buffers.
#pragma once

#include "chain/dspcomponent.h"
#include "chain/mmdisplay.h"
#include "chain/volume.h"
#include "platform/clock.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace zol {

// Messages of the connectors' shared hidden window.
constexpr int kConnectorStartMsg = 0xB1F5;
constexpr int kConnectorTriggerMsg = 0xB1F6;
constexpr int kConnectorTickMsg = 0xB1F7;

class TMMConnector : public TMMDSPComponent {
public:
    explicit TMMConnector(QObject* owner = nullptr);
    ~TMMConnector() override;

    TNotifyEvent OnTrigger;

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    bool AutoConvert() const { return autoConvert_; }
    void SetAutoConvert(bool value) { autoConvert_ = value; }
    bool AutoTrigger() const { return autoTrigger_; }
    void SetAutoTrigger(bool value);
    bool Synchronize() const { return synchronize_; }
    void SetSynchronize(bool value) { synchronize_ = value; }
    int Speed() const { return speed_; }
    void SetSpeed(int value);
    TMMTriggerMode TriggerMode() const { return triggerMode_; }
    void SetTriggerMode(TMMTriggerMode value) { triggerMode_ = value; }
    int TriggerLevel() const { return triggerLevel_; }
    void SetTriggerLevel(int value) { triggerLevel_ = value; }
    bool RefreshOnStop() const { return refreshOnStop_; }
    void SetRefreshOnStop(bool value) { refreshOnStop_ = value; }
    bool RealTime() const { return realTime_; }
    void SetRealTime(bool value);
    // One value shared by all connectors.
    bool EnterIdle() const;
    void SetEnterIdle(bool value);

    // --- display slots
    IMMDisplay* Level1() const { return slot_[kLevel1].display; }
    IMMDisplay* Level2() const { return slot_[kLevel2].display; }
    IMMDisplay* Meter1() const { return slot_[kMeter1].display; }
    IMMDisplay* Meter2() const { return slot_[kMeter2].display; }
    IMMDisplay* Oscope1() const { return slot_[kOscope1].display; }
    IMMDisplay* Oscope2() const { return slot_[kOscope2].display; }
    IMMDisplay* Light1() const { return slot_[kLight1].display; }
    IMMDisplay* Light2() const { return slot_[kLight2].display; }
    IMMDisplay* Spectrum1() const { return slot_[kSpectrum1].display; }
    IMMDisplay* Spectrum2() const { return slot_[kSpectrum2].display; }
    IMMDisplay* Spectrum3() const { return slot_[kSpectrum3].display; }
    IMMDisplay* Spectrum4() const { return slot_[kSpectrum4].display; }
    IMMDisplay* Spectrogram1() const { return slot_[kSpectrogram1].display; }
    IMMDisplay* Spectrogram2() const { return slot_[kSpectrogram2].display; }
    void SetLevel1(IMMDisplay* d) { SetSlot(kLevel1, d); }
    void SetLevel2(IMMDisplay* d) { SetSlot(kLevel2, d); }
    void SetMeter1(IMMDisplay* d) { SetSlot(kMeter1, d); }
    void SetMeter2(IMMDisplay* d) { SetSlot(kMeter2, d); }
    void SetOscope1(IMMDisplay* d) { SetSlot(kOscope1, d); }
    void SetOscope2(IMMDisplay* d) { SetSlot(kOscope2, d); }
    void SetLight1(IMMDisplay* d) { SetSlot(kLight1, d); }
    void SetLight2(IMMDisplay* d) { SetSlot(kLight2, d); }
    void SetSpectrum1(IMMDisplay* d) { SetSlot(kSpectrum1, d); }
    void SetSpectrum2(IMMDisplay* d) { SetSlot(kSpectrum2, d); }
    void SetSpectrum3(IMMDisplay* d) { SetSlot(kSpectrum3, d); }
    void SetSpectrum4(IMMDisplay* d) { SetSlot(kSpectrum4, d); }
    void SetSpectrogram1(IMMDisplay* d) { SetSlot(kSpectrogram1, d); }
    void SetSpectrogram2(IMMDisplay* d) { SetSlot(kSpectrogram2, d); }

    // Feeds the displays on demand (for AutoTrigger off).
    virtual void Trigger();

    // --- chain
    void SetWaveFormat(const WAVEFORMATEX* format) override;
    void NotifyStart() override;
    void NotifyPause() override;
    void NotifyRestart() override;
    void NotifyStop() override;
    void NotifyReset() override;
    void BufferReady(PWaveHdr lpWaveHdr) override;
    void Notification(QObject* component, TOperation operation) override;

    // --- state, for the program and its tests
    bool Running() const { return running_; }
    bool Triggering() const { return triggering_; }
    bool Paused() const { return paused_; }
    // Slices shown per group since the last start (levels, meters,
    // oscilloscopes, lights, spectra, spectrograms).
    int SliceCount(int group) const;
    // The PCM format the displays receive (none while idle).
    const WAVEFORMATEX* DisplayFormat() const;

    // --- process-wide state of the refresh loop
    static int ConnectorCount();
    static int LoopCount();
    static int LargestSpeed();
    static bool IdleHandlerInstalled();
    // Message-processing passes the refresh loop has made so far.
    static std::uint64_t MessagePasses();
    // Real clock: the loop rests until a buffer brings a slice to show.
    static bool LoopResting();

    enum Group { gLevels, gMeters, gOscopes, gLights, gSpectra, gSpectrograms, kGroupCount };

private:
    enum SlotIndex {
        kLevel1, kLevel2, kMeter1, kMeter2, kOscope1, kOscope2, kLight1, kLight2,
        kSpectrum1, kSpectrum2, kSpectrum3, kSpectrum4, kSpectrogram1, kSpectrogram2, kSlotCount
    };
    struct Slot {
        IMMDisplay* display = nullptr;
        QObject* object = nullptr;
    };
    struct GroupState {
        bool newData = false;
        int readPos = 0;
    };

    static Group GroupOf(int slot);
    void SetSlot(int index, IMMDisplay* display);
    void ClearSlotsOf(QObject* object);
    bool GroupHasDisplays(int group) const;
    void SendFormatToDisplays();
    void ResetDisplays();
    // Returns whether any group has a display to show the new data.
    bool MarkNewData();

    void EnterLoopRequest();
    void LeaveLoop(bool keepTriggering);
    void HandleStart();
    void HandleTrigger();
    static void HandleTick();
    // One pass of the refresh loop; returns whether the loop goes on.
    static bool RefreshPass(int passes);
    // In simulated time: whether the next pass may run at once, after the
    // passes in which nothing would happen have been skipped.
    static bool NextPassAtOnce(int passes);
    // Virtual time at which this connector's next feeding pass does
    // anything (a slice comes due, or its state changes); 0 when that may be
    // now, INT64_MAX when never without new data.
    std::int64_t NextFeedUs() const;
    static void PostTick();
    // Real clock: plans the loop's next pass after the one that started at
    // `passStartUs` (false: no timer to be had).
    static bool ScheduleNextPass(std::int64_t passStartUs);
    static void PostWake();
    static void Wake();
    // The loop's pass for newly marked data (any thread).
    static void WakeForData();
    // When this connector's next slice is due, or -1 when none waits.
    std::int64_t NextSliceUs();
    // Copies the display buffer for the displays when it changed since the
    // last copy. Caller holds the lock.
    const char* ShowData();
    void CountSlice(int group) { ++count_[group]; }
    static void RecomputeLargestSpeed();
    static void UpdateIdleHandler();

    // One feeding pass over all groups: each group shows its next slice
    // when it is due now.
    void Feed();
    // The same with slices due by `untilUs`; with `allDue` each group shows
    // every such slice, in order.
    void Feed(std::int64_t untilUs, bool allDue);
    std::int64_t DueAtUs(int readPos) const;
    bool Due(int readPos, std::int64_t nowUs) const;
    // Each shows one slice due by `nowUs`, if there is one; returns whether
    // it did.
    bool FeedGroup(int group, std::int64_t nowUs);
    bool FeedOscopes(std::int64_t nowUs);
    bool FeedSpectrograms(std::int64_t nowUs);
    void PauseTick();
    void KillPauseTimer();

    std::atomic<bool> enabled_{true};
    bool autoConvert_ = true;
    std::atomic<bool> autoTrigger_{true};
    bool synchronize_ = true;
    int speed_ = 5000;
    TMMTriggerMode triggerMode_ = tmNone;
    int triggerLevel_ = 0;
    bool refreshOnStop_ = true;
    std::atomic<bool> realTime_{true};

    Slot slot_[kSlotCount];
    GroupState group_[kGroupCount];
    GroupState spectrogram_[2];
    std::atomic<int> count_[kGroupCount] = {};

    std::atomic<bool> running_{false};
    std::atomic<bool> triggering_{false};
    std::atomic<bool> paused_{false};
    bool inLoop_ = false;
    WaveFormatPtr displayFormat_;
    std::vector<char> displayBuffer_;
    int validBytes_ = 0;
    char silence_ = 0;
    // Raised whenever the display buffer's content changes.
    std::uint64_t bufferGeneration_ = 1;
    // The displays' copies of the display buffer (window thread only).
    struct ShowCopy {
        std::vector<char> bytes;
        std::uint64_t generation = 0;
    };
    std::vector<ShowCopy> showCopies_;
    int feedDepth_ = 0;
    mutable std::mutex lock_;
    std::atomic<std::int64_t> arrivalUs_{0};
    std::atomic<int> pending_{0};
    platform::TimerId pauseTimer_ = 0;
};

}  // namespace zol
