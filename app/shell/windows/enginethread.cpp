#include "enginethread.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>

#include <chrono>

#include "nxeng296.h"

namespace nomix::gui {

namespace {
EngineThread *running = nullptr;
}

EngineThread::EngineThread() {
    running = this;
    thread_ = std::thread([this] { loop(); });
}

EngineThread::~EngineThread() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    nxRequestStop(1);
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    nxRequestStop(0);
    if (running == this) running = nullptr;
}

EngineThread *EngineThread::instance() { return running; }

void EngineThread::requestStop() { nxRequestStop(1); }

// The engine thread's loop: one job after another, until the program ends.
void EngineThread::loop() {
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return quit_ || !jobs_.empty(); });
            if (quit_ && jobs_.empty()) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        nxRequestStop(0);  // a stop asked for an earlier job does not end this one
        execute(job);
    }
}

// Runs one job, counted as active; a job never takes the thread down.
void EngineThread::execute(Job &job) {
    // A job run inside another's wait computes, even though the outer one waits.
    int outerParked = parked_.exchange(0);
    ++active_;
    noteChange();
    try {
        job();
    } catch (...) {
        // a failing job is skipped like a failing statement
    }
    --active_;
    parked_ = outerParked;
    noteChange();
}

namespace {
long long nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}
} // namespace

long EngineThread::computingForMs() const {
    long long since = computingSince_.load();
    return computing() && since > 0 ? long(nowMs() - since) : 0;
}

// Tells the windows when computing starts or stops (queued to their thread).
void EngineThread::noteChange() {
    computingSince_ = computing() ? nowMs() : 0;
    QMetaObject::invokeMethod(this, [this] {
        bool now = computing();
        if (now == lastComputing_) return;
        lastComputing_ = now;
        emit computingChanged(now);
    }, Qt::QueuedConnection);
}

bool EngineThread::takeJob(Job &job) {
    std::lock_guard lock(mutex_);
    if (jobs_.empty()) return false;
    job = std::move(jobs_.front());
    jobs_.pop_front();
    return true;
}

void EngineThread::runPending() {
    Job job;
    while (takeJob(job)) execute(job);
}

void EngineThread::sleepRunning(int ms) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        runPending();
        std::unique_lock lock(mutex_);
        if (!wake_.wait_until(lock, until, [this] { return quit_ || !jobs_.empty(); })) return;
        if (quit_) return;
    }
}

void EngineThread::post(Job job) {
    if (onEngineThread()) {
        job();
        return;
    }
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    wake_.notify_all();
}

// Waits in a local event loop until the job has run; the loop quits through a
// queued call, so the windows stay live and the wait costs no polling.
void EngineThread::run(Job job) {
    if (onEngineThread() || waitingForWindows_.load() > 0) {
        job();
        return;
    }
    struct State {
        bool done = false;
        QPointer<QEventLoop> loop;
    };
    auto state = std::make_shared<State>();
    post([this, state, job = std::move(job)] {
        try {
            job();
        } catch (...) {
        }
        QMetaObject::invokeMethod(this, [state] {
            state->done = true;
            if (state->loop) state->loop->quit();
        }, Qt::QueuedConnection);
    });
    if (!QCoreApplication::instance()) {
        // no event loop to keep alive (never the case in the program)
        while (!state->done) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return;
    }
    QEventLoop loop;
    state->loop = &loop;
    while (!state->done) loop.exec();
}

EngineThread::WaitingForWindows::WaitingForWindows() {
    if (running && running->onEngineThread()) ++running->waitingForWindows_;
}

EngineThread::WaitingForWindows::~WaitingForWindows() {
    if (running && running->onEngineThread()) --running->waitingForWindows_;
}

EngineThread::Parked::Parked() {
    if (running && running->onEngineThread()) {
        ++running->parked_;
        running->noteChange();
    }
}

EngineThread::Parked::~Parked() {
    if (running && running->onEngineThread()) {
        --running->parked_;
        running->noteChange();
    }
}

} // namespace nomix::gui
