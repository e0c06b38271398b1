// Main of every test program: a QApplication on the offscreen platform, the
// window thread registered, and simulated time.
#include "tests/support/test_support.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>

#if defined(__SANITIZE_THREAD__)
#include <dlfcn.h>
#include <pthread.h>
#include <cstring>
#endif

namespace zol::test {

platform::SimClock& Sim()
{
    auto* sim = dynamic_cast<platform::SimClock*>(&platform::TheClock());
    if (sim == nullptr)
        return ResetSim();
    return *sim;
}

platform::SimClock& ResetSim()
{
    auto clock = std::make_unique<platform::SimClock>();
    auto* raw = clock.get();
    platform::InstallClock(std::move(clock));
    return *raw;
}

ErrorRecorder::ErrorRecorder()
{
    previous_ = platform::SetErrorReporter([this](const QString& m) { messages_.append(m); });
}

ErrorRecorder::~ErrorRecorder()
{
    platform::SetErrorReporter(previous_);
}

}  // namespace zol::test

#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_ignore_thread_begin();
extern "C" void __tsan_ignore_thread_end();

namespace {

struct LibraryThreadStart {
    void* (*routine)(void*);
    void* arg;
};

void* StartUnchecked(void* p)
{
    const LibraryThreadStart start = *static_cast<LibraryThreadStart*>(p);
    delete static_cast<LibraryThreadStart*>(p);
    __tsan_ignore_thread_begin();
    void* const result = start.routine(start.arg);
    __tsan_ignore_thread_end();
    return result;
}

// zol starts its threads with std::thread, or in its own code.
bool StartedByZol(const void* caller)
{
    Dl_info info{};
    Dl_info self{};
    if (dladdr(caller, &info) == 0 || dladdr(reinterpret_cast<void*>(&StartUnchecked), &self) == 0)
        return true;
    return info.dli_fbase == self.dli_fbase ||
           (info.dli_fname != nullptr && std::strstr(info.dli_fname, "libstdc++") != nullptr);
}

}  // namespace

// Libraries start threads of their own: Qt paints large images and
// converts them in pooled threads, the sound server's client library runs
// its main loop in one. They hand work over through futexes or locks set up
// inside those libraries, which ThreadSanitizer cannot see, so every such
// hand-off looks like a race. zol starts its threads with std::thread: those
// and the window thread are checked in full, while the accesses of a thread a
// library starts for itself go unchecked. This definition takes the place of
// the sanitizer's for the libraries, and hands each call on to it.
extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*routine)(void*), void* arg)
{
    using Create = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
    static const auto next = reinterpret_cast<Create>(dlsym(RTLD_NEXT, "pthread_create"));
    if (StartedByZol(__builtin_return_address(0)))
        return next(thread, attr, routine, arg);
    auto* start = new LibraryThreadStart{routine, arg};
    const int rc = next(thread, attr, StartUnchecked, start);
    if (rc != 0)
        delete start;
    return rc;
}
#endif

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    zol::platform::InitWindowThread();
    zol::test::ResetSim();
    ::testing::InitGoogleTest(&argc, argv);
    const int rc = RUN_ALL_TESTS();
    zol::platform::InstallClock(nullptr);
    return rc;
}
