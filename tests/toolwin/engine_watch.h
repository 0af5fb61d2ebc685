// The engine on a thread of its own in a window test, as the desktop program
// runs it: every job on another thread while the window thread keeps handling
// events. The core's calls into the engine are wrapped at link time (the test's
// -Wl,--wrap options in tests/CMakeLists.txt), so a call made from the window
// thread is counted. Include it in one file of a test program.
#pragma once

#include <QtTest>

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

namespace {

thread_local bool onJobThread = false;
std::atomic<bool> watching{false};
std::atomic<int> windowThreadCalls{0};
std::atomic<int> jobThreadCalls{0};

// Every wrapped engine entry reports here.
void noteEngineCall() {
    if (!watching) return;
    ++(onJobThread ? jobThreadCalls : windowThreadCalls);
}

// The desktop program's way: the job on another thread, the window thread
// handling events until it has finished.
void runOnItsOwnThread(const std::function<void()> &job) {
    std::atomic<bool> done{false};
    std::thread worker([&] {
        onJobThread = true;
        job();
        done = true;
    });
    while (!done) QTest::qWait(1);
    worker.join();
}

// Counts engine calls while it lives.
struct Watch {
    Watch() {
        windowThreadCalls = 0;
        jobThreadCalls = 0;
        watching = true;
    }
    ~Watch() { watching = false; }
};

} // namespace

extern "C" {
intptr_t __real_Nomix(intptr_t, const char *, intptr_t, intptr_t, intptr_t, intptr_t);
double __real_nxEvaluateDbl(intptr_t);
void *__real_nxAlloc(size_t);
void __real_nxFree(void *);
char *__real_nxStrAlloc(const char *, uint32_t);
const char *__real_nxStrReturnB(intptr_t);
void __real_nxSetVariableValueDbl(intptr_t, double);
intptr_t __real_nxInStr(intptr_t, const uint32_t *, const uint32_t *, intptr_t, intptr_t);

intptr_t __wrap_Nomix(intptr_t c, const char *text, intptr_t a1, intptr_t a2, intptr_t p, intptr_t t) {
    noteEngineCall();
    return __real_Nomix(c, text, a1, a2, p, t);
}
double __wrap_nxEvaluateDbl(intptr_t e) {
    noteEngineCall();
    return __real_nxEvaluateDbl(e);
}
void *__wrap_nxAlloc(size_t n) {
    noteEngineCall();
    return __real_nxAlloc(n);
}
void __wrap_nxFree(void *block) {
    noteEngineCall();
    __real_nxFree(block);
}
char *__wrap_nxStrAlloc(const char *bytes, uint32_t n) {
    noteEngineCall();
    return __real_nxStrAlloc(bytes, n);
}
const char *__wrap_nxStrReturnB(intptr_t c) {
    noteEngineCall();
    return __real_nxStrReturnB(c);
}
void __wrap_nxSetVariableValueDbl(intptr_t item, double v) {
    noteEngineCall();
    __real_nxSetVariableValueDbl(item, v);
}
intptr_t __wrap_nxInStr(intptr_t start, const uint32_t *text, const uint32_t *search, intptr_t mode, intptr_t c) {
    noteEngineCall();
    return __real_nxInStr(start, text, search, mode, c);
}
}

