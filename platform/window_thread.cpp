#include "platform/window_thread.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>

namespace zol::platform {

namespace {

struct Posted {
    Task task;
    const void* target;
    int msg;
};

struct BlockingCall {
    const Task* task;
    std::exception_ptr error;
    bool done = false;
};

const QEvent::Type kWakeEvent = static_cast<QEvent::Type>(QEvent::User + 0x2A1);

// Receives the wake-up event that makes the Qt event loop run the queue.
class Dispatcher : public QObject {
public:
    bool event(QEvent* e) override;
};

struct State {
    std::mutex mutex;
    std::condition_variable cv;  // blocking calls, worker progress, events
    // Only what WaitWorkersIdle waits for (a worker done, a blocking call
    // waiting), so other wake-ups do not wake that wait for nothing.
    std::condition_variable idleCv;
    std::deque<Posted> queue;
    std::deque<BlockingCall*> calls;
    bool wakePosted = false;
    bool loopRunsQueue = true;
    std::thread::id windowThread;
    Dispatcher* dispatcher = nullptr;
    int busy = 0;     // work handed out and not yet handled
    int blocked = 0;  // threads waiting in RunOnWindowThread
    int runDepth = 0; // nesting of RunPendingTasks (window thread only)
    std::atomic<bool> terminating{false};
    ErrorReporter reporter;
};

State& S()
{
    static State* state = new State;  // lives until exit: threads may post late
    return *state;
}

void DefaultReporter(const QString& message)
{
    std::fprintf(stderr, "zol: %s\n", message.toLocal8Bit().constData());
    std::fflush(stderr);
}

// Asks the Qt event loop to run the queue (caller holds the mutex).
void WakeLocked(State& s)
{
    if (s.wakePosted || !s.loopRunsQueue || s.dispatcher == nullptr || QCoreApplication::instance() == nullptr)
        return;
    s.wakePosted = true;
    QCoreApplication::postEvent(s.dispatcher, new QEvent(kWakeEvent));
}

// Runs the blocking calls that wait now. Window thread only.
int RunCalls()
{
    State& s = S();
    int count = 0;
    for (;;) {
        BlockingCall* call;
        {
            std::lock_guard lock(s.mutex);
            if (s.calls.empty())
                return count;
            call = s.calls.front();
            s.calls.pop_front();
        }
        try {
            (*call->task)();
        } catch (...) {
            call->error = std::current_exception();
        }
        {
            // The caller stops counting as blocked the moment its call is
            // done, not when it wakes: otherwise its remaining work could
            // look idle to WaitWorkersIdle in between.
            std::lock_guard lock(s.mutex);
            call->done = true;
            --s.blocked;
        }
        s.cv.notify_all();
        ++count;
    }
}

bool Dispatcher::event(QEvent* e)
{
    if (e->type() != kWakeEvent)
        return QObject::event(e);
    State& s = S();
    {
        std::lock_guard lock(s.mutex);
        s.wakePosted = false;
    }
    RunPendingTasks();
    std::lock_guard lock(s.mutex);
    if (!s.queue.empty() || !s.calls.empty())
        WakeLocked(s);
    return true;
}

}  // namespace

void InitWindowThread()
{
    State& s = S();
    std::lock_guard lock(s.mutex);
    if (s.windowThread == std::this_thread::get_id() && s.dispatcher)
        return;
    s.windowThread = std::this_thread::get_id();
    delete s.dispatcher;
    s.dispatcher = new Dispatcher;
    s.wakePosted = false;
    if (!s.queue.empty() || !s.calls.empty())
        WakeLocked(s);
}

bool IsWindowThread()
{
    State& s = S();
    // Before InitWindowThread there is only one thread that matters.
    return s.windowThread == std::thread::id() || s.windowThread == std::this_thread::get_id();
}

void PostToWindow(Task task, const void* target, int msg)
{
    State& s = S();
    {
        std::lock_guard lock(s.mutex);
        s.queue.push_back(Posted{std::move(task), target, msg});
        WakeLocked(s);
    }
    s.cv.notify_all();
}

int RemovePostedMessages(const void* target, int msg)
{
    State& s = S();
    std::deque<Posted> removed;  // destroyed outside the lock
    std::lock_guard lock(s.mutex);
    int count = 0;
    for (auto it = s.queue.begin(); it != s.queue.end();) {
        if (it->target == target && (msg == 0 || it->msg == msg)) {
            removed.push_back(std::move(*it));
            it = s.queue.erase(it);
            ++count;
        } else {
            ++it;
        }
    }
    return count;
}

void SetEventLoopRunsQueue(bool value)
{
    State& s = S();
    std::lock_guard lock(s.mutex);
    s.loopRunsQueue = value;
    if (value && (!s.queue.empty() || !s.calls.empty()))
        WakeLocked(s);
}

int PendingTaskCount()
{
    State& s = S();
    std::lock_guard lock(s.mutex);
    return static_cast<int>(s.queue.size());
}

int RunPendingTasks()
{
    State& s = S();
    int count = RunCalls();
    size_t snapshot;
    {
        std::lock_guard lock(s.mutex);
        snapshot = s.queue.size();
    }
    ++s.runDepth;
    struct Leave {
        int& depth;
        ~Leave() { --depth; }
    } leave{s.runDepth};
    for (size_t i = 0; i < snapshot; ++i) {
        Posted item;
        {
            std::lock_guard lock(s.mutex);
            if (s.queue.empty())
                break;
            item = std::move(s.queue.front());
            s.queue.pop_front();
        }
        Guarded(item.task);
        ++count;
        count += RunCalls();
    }
    return count;
}

void RunOnWindowThread(const Task& task)
{
    if (IsWindowThread()) {
        task();
        return;
    }
    State& s = S();
    BlockingCall call{&task, nullptr, false};
    std::unique_lock lock(s.mutex);
    s.calls.push_back(&call);
    ++s.blocked;
    WakeLocked(s);
    s.cv.notify_all();
    s.idleCv.notify_all();
    s.cv.wait(lock, [&] { return call.done; });
    lock.unlock();
    s.cv.notify_all();
    if (call.error)
        std::rethrow_exception(call.error);
}

bool WaitUntil(const std::function<bool()>& pred, int timeoutMs)
{
    State& s = S();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        RunCalls();
        if (pred())
            return true;
        std::unique_lock lock(s.mutex);
        if (std::chrono::steady_clock::now() >= deadline)
            break;
        // Short waits: the predicate may watch state changed without a wake.
        s.cv.wait_until(lock, std::min(deadline, std::chrono::steady_clock::now() +
                                                     std::chrono::milliseconds(2)),
                        [&] { return !s.calls.empty(); });
    }
    RunCalls();
    return pred();
}

void WakeWaiters()
{
    S().cv.notify_all();
}

void WorkBegin()
{
    State& s = S();
    std::lock_guard lock(s.mutex);
    ++s.busy;
}

void WorkEnd()
{
    State& s = S();
    {
        std::lock_guard lock(s.mutex);
        --s.busy;
    }
    s.cv.notify_all();
    s.idleCv.notify_all();
}

bool WorkersIdle()
{
    State& s = S();
    std::lock_guard lock(s.mutex);
    return s.busy <= s.blocked;
}

bool WindowThreadQuiet()
{
    State& s = S();
    std::lock_guard lock(s.mutex);
    return s.runDepth <= 1 && s.queue.empty() && s.calls.empty() && s.busy <= s.blocked;
}

void WaitWorkersIdle(bool runCalls)
{
    State& s = S();
    for (;;) {
        if (runCalls)
            RunCalls();
        std::unique_lock lock(s.mutex);
        if (s.busy <= s.blocked && (!runCalls || s.calls.empty()))
            return;
        s.idleCv.wait_for(lock, std::chrono::milliseconds(5), [&] {
            return s.busy <= s.blocked || (runCalls && !s.calls.empty());
        });
    }
}

bool Terminating()
{
    return S().terminating.load();
}

void SetTerminating(bool value)
{
    S().terminating.store(value);
}

ErrorReporter SetErrorReporter(ErrorReporter reporter)
{
    State& s = S();
    std::lock_guard lock(s.mutex);
    ErrorReporter old = s.reporter ? s.reporter : ErrorReporter(DefaultReporter);
    s.reporter = std::move(reporter);
    return old;
}

QString ExceptionText(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return QString::fromStdString(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

void HandleException(std::exception_ptr error)
{
    if (!error)
        return;
    if (!IsWindowThread()) {
        PostToWindow([error] { HandleException(error); });
        return;
    }
    ErrorReporter reporter;
    {
        State& s = S();
        std::lock_guard lock(s.mutex);
        reporter = s.reporter;
    }
    const QString text = ExceptionText(error);
    try {
        if (reporter)
            reporter(text);
        else
            DefaultReporter(text);
    } catch (...) {
        DefaultReporter(text);
    }
}

void HandleCurrentException()
{
    HandleException(std::current_exception());
}

void Guarded(const Task& task)
{
    try {
        task();
    } catch (...) {
        HandleCurrentException();
    }
}

}  // namespace zol::platform
