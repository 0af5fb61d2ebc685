// Start-up: the two phases that build the calculator language in the engine (the
// language file, then the application set-up), measured in a fresh process each
// time, since the language is built once per process. The child times itself and
// prints the processor time of both phases and the wall-clock time of the two;
// the parent reads them. Problems of the phases are reported by --check.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "benchmarks.h"
#include "nomix_engine.h"
#include "nxeng296.h"

extern char **environ;

namespace bench {
namespace {

// Nanoseconds of processor time of each phase, and the wall-clock time of both.
struct StartupTimes {
    long long phase1 = 0;
    long long phase2 = 0;
    long long wall = 0;
    std::string error;  // empty when the child reported its times
};

// Closes a file descriptor when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return fd_; }
    // Closes now, so a reader sees the end of the pipe.
    void reset() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

// Everything the child writes to its standard output.
std::string readAll(int fd) {
    std::string out;
    char buffer[256];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) != 0;) {
        if (n < 0) break;
        out.append(buffer, static_cast<size_t>(n));
    }
    return out;
}

// Starts this program again in child mode and collects what it measured.
StartupTimes spawnStartup() {
    StartupTimes times;
    int ends[2];
    if (pipe(ends) != 0) return {0, 0, 0, "no pipe"};
    Descriptor reader(ends[0]), writer(ends[1]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, writer.get(), STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, reader.get());
    std::string self = "/proc/self/exe", flag(kStartupChildFlag);
    char *argv[] = {self.data(), flag.data(), nullptr};
    pid_t child = 0;
    int failed = posix_spawn(&child, self.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    writer.reset();
    if (failed) return {0, 0, 0, "cannot start a child process"};
    std::string line = readAll(reader.get());
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 ||
        std::sscanf(line.c_str(), "%lld %lld %lld", &times.phase1, &times.phase2, &times.wall) != 3)
        times.error = "the start-up child failed";
    return times;
}

// One child per iteration; its wall-clock time is the benchmark's time, and the
// processor times of the phases go to counters.
void startup(benchmark::State &state) {
    for (auto _ : state) {
        StartupTimes t = spawnStartup();
        if (!t.error.empty()) {
            state.SkipWithError(t.error.c_str());
            break;
        }
        state.SetIterationTime(static_cast<double>(t.wall) * 1e-9);
        state.counters["phase1_ms"] = static_cast<double>(t.phase1) * 1e-6;
        state.counters["phase2_ms"] = static_cast<double>(t.phase2) * 1e-6;
        state.counters["both_ms"] = static_cast<double>(t.phase1 + t.phase2) * 1e-6;
        state.counters["wall_ms"] = static_cast<double>(t.wall) * 1e-6;
    }
}

// A steady-clock interval in nanoseconds.
long long nanoseconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(d).count();
}

// Processor time of this process so far, in nanoseconds.
long long processorTime() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

} // namespace

// The child's side: both phases from a fresh process, timed one by one.
int runStartupChild() {
    using Clock = std::chrono::steady_clock;
    auto start = Clock::now();
    long long cpuStart = processorTime();
    defineLanguage();
    long long cpuLanguage = processorTime();
    defineApplication();
    long long cpuSetup = processorTime();
    auto done = Clock::now();
    std::printf("%lld %lld %lld\n", cpuLanguage - cpuStart, cpuSetup - cpuLanguage, nanoseconds(done - start));
    return 0;
}

// One iteration per repetition: each is a fresh process.
void registerStartupBenchmarks(const RunSettings &settings) {
    auto *b = benchmark::RegisterBenchmark(std::string(kStartupFigure).c_str(), &startup);
    b->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
    withStatistics(b, RunSettings{settings.startupRepetitions, settings.minTime, settings.startupRepetitions});
}

} // namespace bench
