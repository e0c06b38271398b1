#include "chain/connector.h"

#include "platform/errors.h"
#include "platform/strings.h"
#include "platform/window_thread.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace zol {


// ---------------------------------------------------------------------------
// properties

void TMMConnector::SetEnabled(bool value)
{
    if (value == enabled_)
        return;
    enabled_ = value;
    if (!value) {
        LeaveLoop(false);
        {
            std::lock_guard lock(lock_);
            // Feeding resumes with the next buffer, not with stale slices.
            for (auto& g : group_)
                g.newData = false;
            for (auto& s : spectrogram_)
                s.newData = false;
        }
        ResetDisplays();
    } else if (running_ && realTime_) {
        UpdateIdleHandler();
        platform::PostToWindow([this] { HandleStart(); }, this, kConnectorStartMsg);
    }
}

void TMMConnector::SetAutoTrigger(bool value)
{
    if (value == autoTrigger_)
        return;
    autoTrigger_ = value;
    if (!value)
        LeaveLoop(true);
    else if (running_ && enabled_ && realTime_)
        platform::PostToWindow([this] { HandleStart(); }, this, kConnectorStartMsg);
}

void TMMConnector::SetSpeed(int value)
{
    value = std::clamp(value, 1, 5000);
    if (value == speed_)
        return;
    speed_ = value;
    RecomputeLargestSpeed();
}

void TMMConnector::SetRealTime(bool value)
{
    if (value == realTime_)
        return;
    if (Opened())
        throw EMMConnectorError(LoadResString(SChangeWhileOpen));
    realTime_ = value;
}

int TMMConnector::SliceCount(int group) const
{
    return group >= 0 && group < kGroupCount ? count_[group].load() : 0;
}

const WAVEFORMATEX* TMMConnector::DisplayFormat() const
{
    if (displayFormat_)
        return displayFormat_.get();
    const WAVEFORMATEX* own = GetWaveFormat();
    return IsValidPcmFormat(own) ? own : nullptr;
}


// ---------------------------------------------------------------------------
// display slots

TMMConnector::Group TMMConnector::GroupOf(int slot)
{
    switch (slot) {
    case kLevel1: case kLevel2: return gLevels;
    case kMeter1: case kMeter2: return gMeters;
    case kOscope1: case kOscope2: return gOscopes;
    case kLight1: case kLight2: return gLights;
    case kSpectrogram1: case kSpectrogram2: return gSpectrograms;
    default: return gSpectra;
    }
}

void TMMConnector::SetSlot(int index, IMMDisplay* display)
{
    QObject* object = display != nullptr ? display->DisplayObject() : nullptr;
    if (display != nullptr && object == static_cast<QObject*>(this))
        return;
    if (display == slot_[index].display)
        return;
    // Paired slots: a display sits in at most one slot of its pair.
    if (display != nullptr && (index < kSpectrum1 || index >= kSpectrogram1) &&
        slot_[index ^ 1].display == display)
        return;
    Slot old;
    {
        std::lock_guard lock(lock_);
        old = slot_[index];
        slot_[index] = Slot{display, object};
        group_[GroupOf(index)].newData = false;
        if (index >= kSpectrogram1)
            spectrogram_[index - kSpectrogram1].newData = false;
    }
    if (old.object != nullptr) {
        bool stillUsed = false;
        for (const Slot& s : slot_)
            stillUsed = stillUsed || s.object == old.object;
        if (!stillUsed)
            RemoveFreeNotification(old.object);
    }
    if (display != nullptr) {
        FreeNotification(object);
        SendFormatToDisplays();
    }
}

void TMMConnector::ClearSlotsOf(QObject* object)
{
    std::lock_guard lock(lock_);
    for (int i = 0; i < kSlotCount; ++i) {
        if (slot_[i].object == object) {
            slot_[i] = Slot{};
            group_[GroupOf(i)].newData = false;
            if (i >= kSpectrogram1)
                spectrogram_[i - kSpectrogram1].newData = false;
        }
    }
}

void TMMConnector::Notification(QObject* component, TOperation operation)
{
    TMMDSPComponent::Notification(component, operation);
    if (operation == opRemove && component != nullptr)
        ClearSlotsOf(component);
}

bool TMMConnector::GroupHasDisplays(int group) const
{
    for (int i = 0; i < kSlotCount; ++i)
        if (slot_[i].display != nullptr && GroupOf(i) == group)
            return true;
    return false;
}

namespace {
// Each display once, in slot order.
template <typename Slots, typename F>
void ForEachDisplay(const Slots& table, F f)
{
    std::vector<IMMDisplay*> seen;
    for (const auto& s : table) {
        if (s.display == nullptr || std::find(seen.begin(), seen.end(), s.display) != seen.end())
            continue;
        seen.push_back(s.display);
    }
    for (IMMDisplay* d : seen)
        f(d);
}
}  // namespace

void TMMConnector::SendFormatToDisplays()
{
    const WAVEFORMATEX* format = DisplayFormat();
    if (format == nullptr)
        return;
    ForEachDisplay(slot_, [format](IMMDisplay* d) { d->SetWaveFormat(format); });
}

void TMMConnector::ResetDisplays()
{
    ForEachDisplay(slot_, [](IMMDisplay* d) { d->ResetDisplay(); });
}

bool TMMConnector::MarkNewData()
{
    bool marked = false;
    for (int g = 0; g < kGroupCount; ++g) {
        if (g == gSpectrograms || !GroupHasDisplays(g))
            continue;
        group_[g].newData = true;
        group_[g].readPos = 0;
        marked = true;
    }
    for (int i = 0; i < 2; ++i) {
        if (slot_[kSpectrogram1 + i].display == nullptr)
            continue;
        spectrogram_[i].newData = true;
        spectrogram_[i].readPos = 0;
        marked = true;
    }
    return marked;
}

void TMMConnector::Trigger()
{
    if (!enabled_ || !(triggering_ || (running_ && !realTime_)))
        return;
    if (platform::IsWindowThread()) {
        if (pending_ > 0)
            return;
        Feed();
        return;
    }
    int expected = 0;
    if (!pending_.compare_exchange_strong(expected, 1))
        return;
    platform::PostToWindow([this] { HandleTrigger(); }, this, kConnectorTriggerMsg);
}

// ---------------------------------------------------------------------------
// feeding

std::int64_t TMMConnector::DueAtUs(int readPos) const
{
    const std::int64_t rate = displayFormat_ ? displayFormat_->nAvgBytesPerSec : 0;
    if (!synchronize_ || rate <= 0)
        return 0;
    return arrivalUs_.load() + static_cast<std::int64_t>(readPos) * 1000000 / rate;
}

bool TMMConnector::Due(int readPos, std::int64_t nowUs) const
{
    return nowUs >= DueAtUs(readPos);
}

const char* TMMConnector::ShowData()
{
    // One copy per nesting level: a display that handles messages while it
    // is fed (a message box) keeps the data it was given.
    const auto level = static_cast<std::size_t>(std::max(feedDepth_, 1));
    if (showCopies_.size() < level)
        showCopies_.resize(level);
    ShowCopy& copy = showCopies_[level - 1];
    if (copy.generation != bufferGeneration_ || copy.bytes.size() != displayBuffer_.size()) {
        copy.bytes = displayBuffer_;
        copy.generation = bufferGeneration_;
    }
    return copy.bytes.data();
}

bool TMMConnector::FeedGroup(int group, std::int64_t nowUs)
{
    IMMDisplay* displays[4];
    int n = 0;
    const char* data = nullptr;
    {
        std::lock_guard lock(lock_);
        GroupState& g = group_[group];
        if (!g.newData || displayBuffer_.empty())
            return false;
        int step = 0;
        for (int i = 0; i < kSlotCount; ++i) {
            if (slot_[i].display != nullptr && GroupOf(i) == group) {
                displays[n++] = slot_[i].display;
                step = std::max(step, slot_[i].display->NeededBytes());
            }
        }
        if (n == 0 || step <= 0) {
            g.newData = false;
            return false;
        }
        if (!Due(g.readPos, nowUs))
            return false;
        const int old = g.readPos;
        g.readPos += step;
        if (old + step > validBytes_) {
            g.newData = false;
            return false;
        }
        data = ShowData() + old;
    }
    for (int i = 0; i < n; ++i)
        displays[i]->ShowPCMData(data);
    CountSlice(group);
    return true;
}

bool TMMConnector::FeedOscopes(std::int64_t nowUs)
{
    IMMDisplay* shown[2] = {nullptr, nullptr};
    const char* data = nullptr;
    {
        std::lock_guard lock(lock_);
        GroupState& g = group_[gOscopes];
        if (!g.newData || displayBuffer_.empty())
            return false;
        IMMDisplay* first = slot_[kOscope1].display != nullptr ? slot_[kOscope1].display : slot_[kOscope2].display;
        if (first == nullptr) {
            g.newData = false;
            return false;
        }
        int needed = 0;
        for (int i = kOscope1; i <= kOscope2; ++i)
            if (slot_[i].display != nullptr)
                needed = std::max(needed, slot_[i].display->NeededBytes());
        if (needed <= 0) {
            g.newData = false;
            return false;
        }
        int step = needed;
        if (first->Scroll() && first->Accelerate()) {
            const int s = first->FFTLength() / 4 * (first->BitLength() + 1) * (first->Mode() + 1);
            if (s > 0)
                step = s;
        }
        int trigger = -1;
        if (triggerMode_ != tmNone && !paused_ && g.readPos < validBytes_)
            trigger = FindTrigger(displayFormat_.get(), displayBuffer_.data() + g.readPos,
                                  validBytes_ - g.readPos, triggerLevel_, triggerMode_, 0);
        if (!Due(g.readPos, nowUs))
            return false;
        if (trigger > 0)
            g.readPos += trigger;
        const int old = g.readPos;
        g.readPos += step;
        if (old + needed > validBytes_) {
            g.newData = false;
            return false;
        }
        shown[0] = slot_[kOscope1].display;
        shown[1] = slot_[kOscope2].display;
        data = ShowData() + old;
    }
    for (IMMDisplay* d : shown)
        if (d != nullptr)
            d->ShowPCMData(data);
    CountSlice(gOscopes);
    return true;
}

bool TMMConnector::FeedSpectrograms(std::int64_t nowUs)
{
    bool shown = false;
    for (int i = 0; i < 2; ++i) {
        IMMDisplay* d = nullptr;
        const char* data = nullptr;
        {
            std::lock_guard lock(lock_);
            GroupState& s = spectrogram_[i];
            d = slot_[kSpectrogram1 + i].display;
            if (!s.newData || d == nullptr || displayBuffer_.empty())
                continue;
            const int needed = d->NeededBytes();
            if (needed <= 0) {
                s.newData = false;
                continue;
            }
            const int step = d->Accelerate() ? std::max(needed / 4, 1) : needed;
            if (!Due(s.readPos, nowUs))
                continue;
            const int old = s.readPos;
            s.readPos += step;
            if (old + needed > validBytes_) {
                s.newData = false;
                continue;
            }
            data = ShowData() + old;
        }
        d->ShowPCMData(data);
        CountSlice(gSpectrograms);
        shown = true;
    }
    return shown;
}

void TMMConnector::Feed()
{
    Feed(platform::TheClock().NowUs(), false);
}

void TMMConnector::Feed(std::int64_t untilUs, bool allDue)
{
    if (!enabled_ || !(triggering_ || (running_ && !realTime_)))
        return;
    {
        std::lock_guard lock(lock_);
        if (displayBuffer_.empty() || !displayFormat_)
            return;
    }
    {
        // The lock is taken per slice and released before the displays draw:
        // a new buffer is copied meanwhile, and shown from the next slice on.
        ++feedDepth_;
        struct Leave {
            int& depth;
            ~Leave() { --depth; }
        } leave{feedDepth_};
        auto each = [allDue](auto&& show) {
            while (show() && allDue) {
            }
        };
        each([&] { return FeedGroup(gLevels, untilUs); });
        each([&] { return FeedGroup(gMeters, untilUs); });
        each([&] { return FeedOscopes(untilUs); });
        each([&] { return FeedGroup(gLights, untilUs); });
        each([&] { return FeedGroup(gSpectra, untilUs); });
        each([&] { return FeedSpectrograms(untilUs); });
    }
    if (OnTrigger)
        OnTrigger(this);
}

// ---------------------------------------------------------------------------
// chain

void TMMConnector::SetWaveFormat(const WAVEFORMATEX* format)
{
    TMMDSPComponent::SetWaveFormat(format);
    SendFormatToDisplays();
}

void TMMConnector::NotifyStart()
{
    TMMDSPComponent::NotifyStart();
    if (IsDesigning() || Input() == nullptr || GetWaveFormat() == nullptr || running_)
        return;
    const WAVEFORMATEX* format = GetWaveFormat();
    // Only PCM is shown; other formats leave the connector idle.
    if (!IsValidPcmFormat(format) || GetBufferSize() <= 0)
        return;
    {
        std::lock_guard lock(lock_);
        displayFormat_ = CopyWaveFormat(format);
        displayBuffer_.assign(static_cast<std::size_t>(GetBufferSize()), 0);
        ++bufferGeneration_;
        validBytes_ = 0;
        silence_ = format->wBitsPerSample == 8 ? static_cast<char>(128) : 0;
        for (auto& g : group_)
            g = GroupState{};
        for (auto& s : spectrogram_)
            s = GroupState{};
    }
    for (auto& count : count_)
        count = 0;
    RecomputeLargestSpeed();
    running_ = true;
    SendFormatToDisplays();
    if (enabled_ && realTime_) {
        UpdateIdleHandler();
        platform::PostToWindow([this] { HandleStart(); }, this, kConnectorStartMsg);
    }
}

void TMMConnector::BufferReady(PWaveHdr lpWaveHdr)
{
    if (Input() != nullptr && enabled_ && !paused_ && lpWaveHdr != nullptr && lpWaveHdr->lpData != nullptr) {
        bool feedNow = false;
        bool wake = false;
        {
            std::lock_guard lock(lock_);
            if (running_ && displayFormat_ && !displayBuffer_.empty()) {
                arrivalUs_ = platform::TheClock().NowUs();
                const int n = static_cast<int>(
                    std::min<std::size_t>(lpWaveHdr->dwBytesRecorded, displayBuffer_.size()));
                std::memcpy(displayBuffer_.data(), lpWaveHdr->lpData, static_cast<std::size_t>(n));
                ++bufferGeneration_;
                validBytes_ = n;
                // A connector without displays has nothing to show: the
                // loop needs no pass for its buffer.
                const bool marked = MarkNewData();
                feedNow = !realTime_ && autoTrigger_;
                wake = realTime_ && autoTrigger_ && marked;
            }
        }
        if (wake)
            WakeForData();
        // Displays are widgets: they are fed on the window thread.
        if (feedNow) {
            if (platform::IsWindowThread())
                Feed();
            else
                platform::Guarded([this] { platform::RunOnWindowThread([this] { Feed(); }); });
        }
    }
    TMMDSPComponent::BufferReady(lpWaveHdr);
}

void TMMConnector::NotifyPause()
{
    TMMDSPComponent::NotifyPause();
    if (IsDesigning() || Input() == nullptr || !running_ || paused_)
        return;
    paused_ = true;
    std::int64_t periodMs = 0;
    {
        std::lock_guard lock(lock_);
        std::fill(displayBuffer_.begin(), displayBuffer_.end(), silence_);
        ++bufferGeneration_;
        const std::int64_t rate = displayFormat_ ? displayFormat_->nAvgBytesPerSec : 0;
        if (rate > 0)
            periodMs = (static_cast<std::int64_t>(displayBuffer_.size()) * 1000 + rate / 2) / rate;
    }
    if (realTime_) {
        periodMs = std::max<std::int64_t>(periodMs, 1);
        pauseTimer_ = platform::TheClock().StartPeriodic(periodMs * 1000, [this] { PauseTick(); });
        if (pauseTimer_ == 0)
            throw EOutOfResources(LoadResString(SNotEnoughTimers));
    }
}

void TMMConnector::PauseTick()
{
    if (!paused_)
        return;
    bool marked;
    {
        std::lock_guard lock(lock_);
        arrivalUs_ = platform::TheClock().NowUs();
        marked = MarkNewData();
    }
    if (marked)
        WakeForData();
}

void TMMConnector::KillPauseTimer()
{
    if (pauseTimer_ != 0) {
        platform::TheClock().KillTimer(pauseTimer_);
        pauseTimer_ = 0;
    }
}

void TMMConnector::NotifyRestart()
{
    TMMDSPComponent::NotifyRestart();
    paused_ = false;
    KillPauseTimer();
}

void TMMConnector::NotifyReset()
{
    TMMDSPComponent::NotifyReset();
    std::lock_guard lock(lock_);
    std::fill(displayBuffer_.begin(), displayBuffer_.end(), silence_);
    ++bufferGeneration_;
}

void TMMConnector::NotifyStop()
{
    // Cleaned up whenever running, also when the input was unlinked without
    // a stop (the loop counter and the buffer must not outlive the run).
    if (!IsDesigning() && running_) {
        running_ = false;
        LeaveLoop(false);
        paused_ = false;
        KillPauseTimer();
        {
            std::lock_guard lock(lock_);
            displayBuffer_.clear();
            displayBuffer_.shrink_to_fit();
            ++bufferGeneration_;
            validBytes_ = 0;
            displayFormat_.reset();
            for (auto& g : group_)
                g.newData = false;
            for (auto& s : spectrogram_)
                s.newData = false;
        }
        platform::RemovePostedMessages(this, kConnectorStartMsg);
        if (refreshOnStop_)
            ResetDisplays();
    }
    TMMDSPComponent::NotifyStop();
}

}  // namespace zol