// Threads, events and thread message queues.
//
// TThread is a thread object in the classic style: created suspended, started
// by Resume, asked to end by Terminate, optionally freeing itself when its
// body returns. TEvent is an auto- or manual-reset event. ThreadQueue is a
// worker thread's message queue; posting to it counts as work handed out, so
// the simulated clock waits for the worker to handle it.
//
// Waits on the window thread (TEvent::WaitFor, TThread::WaitFor) keep running
// blocking calls from other threads, so they cannot deadlock with a worker
// that calls RunOnWindowThread.
#pragma once

#include "platform/window_thread.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>

namespace zol::platform {

constexpr int kInfinite = -1;

class TEvent {
public:
    explicit TEvent(bool manualReset = false, bool initialState = false);
    void Set();
    void Reset();
    // Waits until the event is set (and, for auto-reset, takes it). Returns
    // false on time-out. `timeoutMs` is real time; kInfinite waits forever.
    bool WaitFor(int timeoutMs = kInfinite);
    bool IsSet() const;

private:
    friend class ThreadQueue;
    bool TryTake();
    // A queue whose receiver waits for this event too (woken by Set).
    void Watch(std::condition_variable* waiter);
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::condition_variable* watcher_ = nullptr;
    bool manual_;
    bool set_;
};

// Thread priorities, lowest to highest; applied where the system allows.
enum class TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

class TThread {
public:
    explicit TThread(bool createSuspended = true);
    // Destroying a running thread terminates it and waits for its end. Not
    // for FreeOnTerminate threads, which free themselves.
    virtual ~TThread();
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    // Starts the thread (the first call) or does nothing.
    void Resume();
    void Terminate() { terminated_ = true; }
    bool Terminated() const { return terminated_; }
    bool Started() const { return started_; }
    bool Finished() const { return finished_; }
    // The object deletes itself when Execute returns.
    void SetFreeOnTerminate(bool value) { freeOnTerminate_ = value; }
    bool FreeOnTerminate() const { return freeOnTerminate_; }
    // Waits for the body to return; false on time-out.
    bool WaitFor(int timeoutMs = kInfinite);
    std::thread::id ThreadId() const { return id_; }
    void SetPriority(TThreadPriority priority);
    TThreadPriority Priority() const { return priority_; }

    // Runs `task` on the window thread while this thread waits.
    static void Synchronize(const Task& task) { RunOnWindowThread(task); }

protected:
    virtual void Execute() = 0;

private:
    void Body();
    void ApplyPriority();
    std::thread thread_;
    std::atomic<bool> terminated_{false};
    std::atomic<bool> started_{false};
    std::atomic<bool> finished_{false};
    std::atomic<bool> freeOnTerminate_{false};
    std::thread::id id_;
    TThreadPriority priority_ = TThreadPriority::tpNormal;
    std::mutex mutex_;
    std::condition_variable cv_;
};

// A message as a worker thread receives it: a number and two parameters.
struct ThreadMessage {
    int msg = 0;
    std::intptr_t wParam = 0;
    std::intptr_t lParam = 0;
};

class ThreadQueue {
public:
    ThreadQueue() = default;
    ~ThreadQueue();
    // Posts a message; counts as work until the receiver calls Done.
    void Post(const ThreadMessage& message);
    // Takes the next message without waiting.
    bool Peek(ThreadMessage& out);
    // Waits for a message or for `stop` to be set. Returns true with a message,
    // false when `stop` was set (the message stays queued).
    bool Wait(TEvent& stop, ThreadMessage& out);
    // The receiver has handled a message it took.
    void Done();
    // Drops every queued message (each counts as handled).
    void Clear();
    int Count() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<ThreadMessage> messages_;
    friend class TEvent;
};

}  // namespace zol::platform
