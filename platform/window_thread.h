// The window thread and its message queue.
//
// The window thread is the thread that runs the user interface (Qt's GUI
// thread). Other threads hand work to it by posting tasks, or by a blocking
// call (RunOnWindowThread) that the window thread runs while the caller
// waits. A window-thread wait for another thread (WaitUntil) keeps running
// those blocking calls, so a capture thread that calls back while the window
// thread waits for it cannot deadlock.
//
// The application's general error handler lives here too: exceptions that
// leave an event handler, a timer tick or a worker thread end up in
// HandleException, which reports them and lets the program go on.
#pragma once

#include <QString>
#include <exception>
#include <functional>

namespace zol::platform {

using Task = std::function<void()>;

// Makes the calling thread the window thread. Called once by the program's
// (or the test program's) main before any component is created; calling it
// again from the same thread does nothing.
void InitWindowThread();
bool IsWindowThread();

// Posts a task to the window thread. `target` and `msg` tag the posting so it
// can be withdrawn with RemovePostedMessages (a window's pending messages).
void PostToWindow(Task task, const void* target = nullptr, int msg = 0);
// Withdraws queued postings for `target`; msg 0 withdraws all of them.
// Returns how many were withdrawn.
int RemovePostedMessages(const void* target, int msg = 0);
// Whether Qt's event loop runs the queue (true by default). The simulated
// clock turns it off: it runs the queue itself, in virtual time.
void SetEventLoopRunsQueue(bool value);

// Number of tasks waiting in the window queue (not counting blocking calls).
int PendingTaskCount();

// Runs, on the window thread, the blocking calls waiting for it and the tasks
// that were queued when the call began (tasks they post wait for the next
// call). Returns the number run.
int RunPendingTasks();

// Runs `task` on the window thread and returns when it has run. Called on the
// window thread it runs at once. An exception thrown by the task is rethrown
// in the caller.
void RunOnWindowThread(const Task& task);

// Waits on the window thread until `pred` is true or `timeoutMs` real
// milliseconds have passed, running blocking calls of other threads
// meanwhile. Returns the last value of `pred`. Threads that change what a
// waiter watches call WakeWaiters.
bool WaitUntil(const std::function<bool()>& pred, int timeoutMs);
void WakeWaiters();

// Work accounting for the simulated clock: a thread that has been handed work
// (a posted thread message) counts as busy until it has handled it. Blocking
// calls to the window thread do not count as busy. WorkersIdle is true when
// every handed-out piece of work has been handled or waits for the window
// thread.
void WorkBegin();
void WorkEnd();
bool WorkersIdle();
// No task or blocking call waits for the window thread, every worker is idle
// and no task runs inside another one's message processing: a simulated
// clock may then run the window thread's next step at once.
bool WindowThreadQuiet();
// Waits (on the window thread) until WorkersIdle; with `runCalls` it runs
// blocking calls meanwhile (otherwise a worker blocked on the window thread
// counts as idle).
void WaitWorkersIdle(bool runCalls);

// Application.Terminated: set once the program is closing.
bool Terminating();
void SetTerminating(bool value);

// --- general error handler ---------------------------------------------
using ErrorReporter = std::function<void(const QString& message)>;
// Replaces the reporter (tests record; the GUI shows a message box) and
// returns the previous one. The default prints to standard error.
ErrorReporter SetErrorReporter(ErrorReporter reporter);
// Reports an exception: at once on the window thread, posted from any other.
void HandleException(std::exception_ptr error);
// Convenience for catch blocks: HandleException(std::current_exception()).
void HandleCurrentException();
// Runs `task` and hands any exception to HandleException.
void Guarded(const Task& task);
// The text of an exception, for reporters.
QString ExceptionText(std::exception_ptr error);

}  // namespace zol::platform
