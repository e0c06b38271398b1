// The capture source's buffers: the ring it allocates and queues, their
// handling on the capture thread (or the window thread), the device's
// messages and the capture thread itself.
#include "chain/wavein.h"

#include "platform/clock.h"
#include "platform/errors.h"
#include "platform/mmsyserr.h"
#include "platform/strings.h"
#include "platform/window_thread.h"

#include <algorithm>
#include <cstdlib>

namespace zol {

// ---------------------------------------------------------------------------
// Buffers

void TMMCustomWaveIn::AllocBuffers()
{
    const int size = GetBufferSize();
    if (size <= 0)
        return;
    std::vector<WAVEHDR*> buffers;
    {
        std::lock_guard lock(mutex_);
        buffers = buffers_;
    }
    buffers.resize(static_cast<size_t>(numBuffers_), nullptr);
    bool failed = false;
    for (auto& slot : buffers) {
        if (slot != nullptr)
            continue;
        void* block = std::calloc(1, kWaveHdrArea + static_cast<size_t>(size));
        if (block == nullptr) {
            failed = true;
            break;
        }
        auto* hdr = static_cast<WAVEHDR*>(block);
        hdr->lpData = static_cast<char*>(block) + kWaveHdrArea;
        hdr->dwBufferLength = static_cast<std::uint32_t>(size);
        slot = hdr;
    }
    {
        std::lock_guard lock(mutex_);
        buffers_ = std::move(buffers);
    }
    if (failed)
        Fail(LoadResString(SAllocWaveHeader));
}

void TMMCustomWaveIn::FreeBuffers()
{
    std::vector<WAVEHDR*> buffers;
    {
        std::lock_guard lock(mutex_);
        buffers.swap(buffers_);
    }
    for (WAVEHDR* hdr : buffers)
        std::free(hdr);
}

void TMMCustomWaveIn::PrepareBuffers()
{
    for (WAVEHDR* hdr : buffers_) {
        const int rc = device_->PrepareHeader(hdr);
        if (rc != platform::MMSYSERR_NOERROR)
            DeviceError("WaveInPrepareHeader", rc);
    }
}

void TMMCustomWaveIn::UnprepareBuffers()
{
    for (WAVEHDR* hdr : buffers_) {
        if (hdr == nullptr || !(hdr->dwFlags & WHDR_PREPARED))
            continue;
        // The reset has handed every queued buffer back; one the device kept
        // all the same is marked done, so that it can be unprepared.
        if (!(hdr->dwFlags & WHDR_DONE))
            hdr->dwFlags = WHDR_DONE;
        const int rc = device_->UnprepareHeader(hdr);
        if (rc != platform::MMSYSERR_NOERROR)
            DeviceError("WaveInUnprepareHeader", rc);
    }
}

void TMMCustomWaveIn::QueueAllBuffers()
{
    for (WAVEHDR* hdr : buffers_) {
        hdr->dwFlags = (hdr->dwFlags & ~WHDR_DONE) | WHDR_PREPARED;
        const int rc = device_->AddBuffer(hdr);
        if (rc != platform::MMSYSERR_NOERROR)
            DeviceError("WaveInAddBuffer", rc);
        std::lock_guard lock(mutex_);
        ++queued_;
    }
}

// Under the lock.
bool TMMCustomWaveIn::OwnsBuffer(const WAVEHDR* hdr) const
{
    return hdr != nullptr && std::find(buffers_.begin(), buffers_.end(), hdr) != buffers_.end();
}

void TMMCustomWaveIn::FlushStaleBuffers()
{
    // Buffers a timed-out stop left in the queues must not come back as
    // new ones.
    if (thread_)
        thread_->ClearQueue();
    platform::RemovePostedMessages(this, platform::WIM_DATA);
}

// ---------------------------------------------------------------------------
// Buffers on the handling thread

void TMMCustomWaveIn::BufferReady(PWaveHdr lpWaveHdr)
{
    bool stopDue = false;
    const std::int64_t limit = byteLimit_.load();
    const std::int64_t total = totalBytes_.load() + lpWaveHdr->dwBytesRecorded;
    if (limit >= 0 && total >= limit) {
        lpWaveHdr->dwBytesRecorded -= static_cast<std::uint32_t>(total - limit);
        totalBytes_ = limit;
        stopDue = true;
    } else {
        totalBytes_ = total;
    }
    nextBuffer_ = numBuffers_ > 0 ? (nextBuffer_.load() + 1) % numBuffers_ : 0;
    TMMCustomSoundComponent::BufferReady(lpWaveHdr);
    if (stopDue)
        Stop();
}

void TMMCustomWaveIn::BufferDone(WAVEHDR* hdr)
{
    {
        std::lock_guard lock(mutex_);
        if ((phase_ != TMMWaveInPhase::Running && phase_ != TMMWaveInPhase::Stopping) || !OwnsBuffer(hdr))
            return;
        if (phase_ == TMMWaveInPhase::Stopping) {
            // Handed back by the stop: neither passed on nor queued again.
            if (--queued_ <= 0)
                queued_ = 0;
            Changed();
            return;
        }
        ++inFlight_;
        --queued_;
    }
    try {
        BufferReady(hdr);
        Requeue(hdr);
    } catch (...) {
        if (OnError)
            OnError(this);
        EndCallback();
        throw;
    }
    EndCallback();
}

void TMMCustomWaveIn::Requeue(WAVEHDR* hdr)
{
    platform::WaveInDevice* device;
    {
        std::lock_guard lock(mutex_);
        if (phase_ != TMMWaveInPhase::Running)
            return;  // a stop came: the buffer stays with the source
        requeueing_ = true;
        device = device_.get();
    }
    hdr->dwFlags = (hdr->dwFlags & ~WHDR_DONE) | WHDR_PREPARED;
    const int rc = device->AddBuffer(hdr);
    {
        std::lock_guard lock(mutex_);
        requeueing_ = false;
        if (rc == platform::MMSYSERR_NOERROR)
            ++queued_;
        Changed();
    }
    if (rc != platform::MMSYSERR_NOERROR)
        DeviceError("WaveInAddBuffer", rc);
}

void TMMCustomWaveIn::EndCallback()
{
    bool deferredStop;
    std::uint64_t handle;
    {
        std::lock_guard lock(mutex_);
        deferredStop = --inFlight_ == 0 && stopPending_;
        handle = handle_;
        Changed();
    }
    if (deferredStop)
        platform::PostToWindow([this, handle] { WindowMessage(handle, MM_WIM_STOP, nullptr); }, this, MM_WIM_STOP);
}

// ---------------------------------------------------------------------------
// Device messages

void TMMCustomWaveIn::DeviceMessage(std::uint64_t handle, TMMWaveInThread* thread, int msg, WAVEHDR* hdr,
                                    int error)
{
    // Called by the device, on its own thread or inside a device call:
    // records or posts, never waits.
    switch (msg) {
    case platform::WIM_OPEN:
    case platform::WIM_CLOSE: {
        std::lock_guard lock(mutex_);
        if (handle != handle_)
            return;
        (msg == platform::WIM_OPEN ? deviceOpened_ : deviceClosed_) = true;
        Changed();
        return;
    }
    case platform::WIM_DATA:
        if (!HandleMatches(handle))
            return;
        if (thread != nullptr)
            thread->PostBuffer(handle, hdr);
        else
            platform::PostToWindow([this, handle, hdr] { WindowMessage(handle, platform::WIM_DATA, hdr); }, this,
                                   platform::WIM_DATA);
        return;
    case platform::WIM_LOST:
        if (HandleMatches(handle))
            platform::PostToWindow([this, handle, error] { DeviceLost(handle, error); }, this, platform::WIM_LOST);
        return;
    default:
        return;
    }
}

void TMMCustomWaveIn::WindowMessage(std::uint64_t handle, int msg, WAVEHDR* hdr)
{
    if (!HandleMatches(handle))
        return;
    try {
        if (msg == platform::WIM_DATA)
            BufferDone(hdr);
        else if (msg == MM_WIM_STOP)
            Stop();
    } catch (...) {
        const std::exception_ptr error = std::current_exception();
        try {
            Close();
        } catch (...) {
            CloseAfterFailure();
        }
        platform::HandleException(error);
    }
}

void TMMCustomWaveIn::DeviceLost(std::uint64_t handle, int error)
{
    if (!HandleMatches(handle))
        return;
    const QString text = CallPrefix("WaveIn") + LoadResString(SDeviceLost) + QStringLiteral("\n\r") +
                         DeviceErrorText(error);
    if (OnError)
        OnError(this);
    // Stop and close the chain in order; then tell the user.
    try {
        Close();
    } catch (...) {
        platform::HandleCurrentException();
        CloseAfterFailure();
    }
    if (OnDeviceLost)
        OnDeviceLost(this, DeviceErrorText(error));
    else
        platform::HandleException(std::make_exception_ptr(EMMWaveInError(text)));
}

void TMMCustomWaveIn::ThreadGaveUp(std::uint64_t handle, std::exception_ptr error)
{
    {
        std::lock_guard lock(mutex_);
        threadFailed_ = true;
        Changed();
    }
    platform::PostToWindow([this, handle, error] { ThreadFailed(handle, error); }, this, platform::WIM_LOST);
}

void TMMCustomWaveIn::ThreadFailed(std::uint64_t handle, std::exception_ptr error)
{
    if (HandleMatches(handle)) {
        try {
            Close();
        } catch (...) {
            CloseAfterFailure();
        }
    }
    platform::HandleException(error);
}

// ---------------------------------------------------------------------------
// TMMWaveInThread

TMMWaveInThread::TMMWaveInThread(TMMCustomWaveIn* owner) : owner_(owner) {}

TMMWaveInThread::~TMMWaveInThread()
{
    End();
}

bool TMMWaveInThread::Launch(int timeoutMs)
{
    Resume();
    return running_.WaitFor(timeoutMs);
}

void TMMWaveInThread::End()
{
    stop_.Set();
    // The thread finishes the buffer it handles; a link of it that waits for
    // the window thread meanwhile is served by the wait.
    WaitFor(platform::kInfinite);
    queue_.Clear();
}

void TMMWaveInThread::PostBuffer(std::uint64_t handle, WAVEHDR* hdr)
{
    const platform::ThreadMessage m{platform::WIM_DATA, static_cast<std::intptr_t>(handle),
                                    reinterpret_cast<std::intptr_t>(hdr)};
    if (owner_->InlineBuffers() && platform::TheClock().Simulated() && platform::IsWindowThread()) {
        Handle(m);
        return;
    }
    queue_.Post(m);
}

void TMMWaveInThread::Handle(const platform::ThreadMessage& m)
{
    const auto handle = static_cast<std::uint64_t>(m.wParam);
    if (failed_ || m.msg != platform::WIM_DATA || handle != handle_.load())
        return;
    try {
        owner_->BufferDone(reinterpret_cast<WAVEHDR*>(m.lParam));
    } catch (...) {
        // The chain failed: the window thread closes the device in order
        // and reports the error.
        failed_ = true;
        owner_->ThreadGaveUp(handle, std::current_exception());
    }
}

void TMMWaveInThread::Execute()
{
    SetPriority(platform::TThreadPriority::tpHigher);
    running_.Set();
    while (!Terminated()) {
        platform::ThreadMessage m;
        if (!queue_.Peek(m) && !queue_.Wait(stop_, m))
            break;
        Handle(m);
        queue_.Done();
    }
}

}  // namespace zol
