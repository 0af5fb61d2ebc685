// The one thread the engine and the calculator core run on. The windows never
// call the engine themselves: they hand it jobs and keep painting and reading
// keys while a job runs, so a long calculation shows the busy cursor and Esc
// (or the Stop button) ends it through the engine's stop request. Jobs sent
// while a job waits (Delay, DoEvents, WaitForInput, a message box) run inside
// that wait, as event handlers run inside DoEvents in a classic program.
#pragma once

#include <QObject>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace nomix::gui {

class EngineThread : public QObject {
    Q_OBJECT
public:
    using Job = std::function<void()>;

    EngineThread();
    ~EngineThread() override;

    // The running instance (created by the program before its first window).
    static EngineThread *instance();

    // Runs the job on the engine thread and returns when it has finished,
    // processing window events meanwhile. From the engine thread itself the job
    // runs at once.
    void run(Job job);
    // Runs the job on the engine thread without waiting for it.
    void post(Job job);

    // True while a job computes (not while it waits in a host call): user input
    // to the windows is held back then, except Esc and the Stop button.
    bool computing() const { return active_.load() > 0 && parked_.load() == 0; }
    // How long the job has been computing without a wait, in ms (0 when not).
    long computingForMs() const;
    // True while any job is running, waiting or not.
    bool busy() const { return active_.load() > 0; }
    bool onEngineThread() const { return std::this_thread::get_id() == thread_.get_id(); }
    // True while the engine thread is stopped in a host call, waiting for the
    // windows: a job handed over now (a script pressing a button) runs in order.
    bool waitingForWindows() const { return waitingForWindows_.load() > 0; }

    // Called by the host from the engine thread around every call that reaches
    // the windows: the job is parked meanwhile, so input goes through.
    class Parked {
    public:
        Parked();
        ~Parked();
        Parked(const Parked &) = delete;
        Parked &operator=(const Parked &) = delete;
    };
    // Held by the engine thread while it waits for the window thread to answer
    // a host call: a job the window thread runs meanwhile (opening a window, say)
    // runs right there, since the engine thread is stopped and cannot take it.
    class WaitingForWindows {
    public:
        WaitingForWindows();
        ~WaitingForWindows();
        WaitingForWindows(const WaitingForWindows &) = delete;
        WaitingForWindows &operator=(const WaitingForWindows &) = delete;
    };
    // Host waits on the engine thread: runs the jobs the windows sent meanwhile.
    void runPending();
    // Sleeps up to ms, running jobs that arrive.
    void sleepRunning(int ms);

    // Asks the running job to stop (Esc, Stop, closing).
    static void requestStop();

signals:
    // Emitted (in the window thread) when computing starts or ends.
    void computingChanged(bool computing);

private:
    void loop();
    bool takeJob(Job &job);
    void execute(Job &job);
    void noteChange();

    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> jobs_;
    bool quit_ = false;
    std::atomic<int> active_{0};
    std::atomic<int> parked_{0};
    std::atomic<int> waitingForWindows_{0};
    std::atomic<long long> computingSince_{0};  // steady-clock ms when computing began
    bool lastComputing_ = false;
};

} // namespace nomix::gui
