#include "platform/thread.h"

#include <pthread.h>
#include <sched.h>

#include <chrono>

namespace zol::platform {

// ---------------------------------------------------------------------------
// TEvent

TEvent::TEvent(bool manualReset, bool initialState) : manual_(manualReset), set_(initialState) {}

void TEvent::Set()
{
    {
        // Notified under the lock: a waiter that wakes may destroy the event
        // as soon as it can take the lock.
        std::lock_guard lock(mutex_);
        set_ = true;
        cv_.notify_all();
        // The watching queue stops watching under this lock, so it is alive.
        if (watcher_ != nullptr)
            watcher_->notify_all();
    }
    WakeWaiters();
}

void TEvent::Watch(std::condition_variable* waiter)
{
    std::lock_guard lock(mutex_);
    watcher_ = waiter;
}

void TEvent::Reset()
{
    std::lock_guard lock(mutex_);
    set_ = false;
}

bool TEvent::IsSet() const
{
    std::lock_guard lock(mutex_);
    return set_;
}

bool TEvent::TryTake()
{
    std::lock_guard lock(mutex_);
    if (!set_)
        return false;
    if (!manual_)
        set_ = false;
    return true;
}

bool TEvent::WaitFor(int timeoutMs)
{
    if (IsWindowThread())
        return WaitUntil([this] { return TryTake(); }, timeoutMs < 0 ? INT32_MAX : timeoutMs);
    std::unique_lock lock(mutex_);
    auto ready = [this] { return set_; };
    if (timeoutMs < 0)
        cv_.wait(lock, ready);
    else if (!cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready))
        return false;
    if (!manual_)
        set_ = false;
    return true;
}

// ---------------------------------------------------------------------------
// TThread

TThread::TThread(bool createSuspended)
{
    if (!createSuspended)
        Resume();
}

TThread::~TThread()
{
    if (thread_.joinable()) {
        if (std::this_thread::get_id() == id_) {
            thread_.detach();
        } else {
            Terminate();
            WaitFor(kInfinite);
            thread_.join();
        }
    }
}

void TThread::Resume()
{
    if (started_.exchange(true))
        return;
    std::lock_guard lock(mutex_);
    thread_ = std::thread([this] { Body(); });
    id_ = thread_.get_id();
}

void TThread::Body()
{
    {
        // Resume stores the id under this lock; wait until it has.
        std::lock_guard lock(mutex_);
    }
    ApplyPriority();
    try {
        Execute();
    } catch (...) {
        HandleCurrentException();
    }
    if (freeOnTerminate_) {
        thread_.detach();
        finished_ = true;
        WakeWaiters();
        delete this;
        return;
    }
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
    }
    cv_.notify_all();
    WakeWaiters();
}

bool TThread::WaitFor(int timeoutMs)
{
    if (!started_)
        return true;
    if (IsWindowThread())
        return WaitUntil([this] { return finished_.load(); }, timeoutMs < 0 ? INT32_MAX : timeoutMs);
    std::unique_lock lock(mutex_);
    auto done = [this] { return finished_.load(); };
    if (timeoutMs < 0) {
        cv_.wait(lock, done);
        return true;
    }
    return cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), done);
}

void TThread::SetPriority(TThreadPriority priority)
{
    priority_ = priority;
    if (started_ && !finished_ && std::this_thread::get_id() == id_)
        ApplyPriority();
}

void TThread::ApplyPriority()
{
    // Real-time scheduling needs privileges most users lack; without them the
    // thread keeps its normal priority, which is harmless here.
    if (priority_ > TThreadPriority::tpNormal) {
        sched_param param{};
        param.sched_priority = 1 + static_cast<int>(priority_) - static_cast<int>(TThreadPriority::tpNormal);
        pthread_setschedparam(pthread_self(), SCHED_RR, &param);
    }
}

// ---------------------------------------------------------------------------
// ThreadQueue

ThreadQueue::~ThreadQueue()
{
    Clear();
}

void ThreadQueue::Post(const ThreadMessage& message)
{
    WorkBegin();
    {
        std::lock_guard lock(mutex_);
        messages_.push_back(message);
    }
    cv_.notify_all();
}

bool ThreadQueue::Peek(ThreadMessage& out)
{
    std::lock_guard lock(mutex_);
    if (messages_.empty())
        return false;
    out = messages_.front();
    messages_.pop_front();
    return true;
}

bool ThreadQueue::Wait(TEvent& stop, ThreadMessage& out)
{
    // Messages and the stop event wake the receiver at once. The event's
    // wake-up can come between its test and the wait, so the wait still
    // looks again now and then.
    stop.Watch(&cv_);
    struct Unwatch {
        TEvent& stop;
        ~Unwatch() { stop.Watch(nullptr); }
    } unwatch{stop};
    std::unique_lock lock(mutex_);
    for (;;) {
        if (stop.IsSet()) {
            lock.unlock();
            stop.WaitFor(0);
            return false;
        }
        if (!messages_.empty()) {
            out = messages_.front();
            messages_.pop_front();
            return true;
        }
        cv_.wait_for(lock, std::chrono::milliseconds(50));
    }
}

void ThreadQueue::Done()
{
    WorkEnd();
}

void ThreadQueue::Clear()
{
    int dropped;
    {
        std::lock_guard lock(mutex_);
        dropped = static_cast<int>(messages_.size());
        messages_.clear();
    }
    for (int i = 0; i < dropped; ++i)
        WorkEnd();
}

int ThreadQueue::Count() const
{
    std::lock_guard lock(mutex_);
    return static_cast<int>(messages_.size());
}

}  // namespace zol::platform
