// What the fuzz targets share: the engine booted with the calculator language
// once per process, commands with engine text, a guard that turns runaway loops
// into stops, a check that a released thread gives back every heap block, and the
// filter that keeps inputs away from the language's raw machine access.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "nxeng296.h"
#include "shell/bootscript.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#include <sanitizer/lsan_interface.h>
#define NOMIX_FUZZ_LSAN 1
#endif
#endif

namespace fuzz {

using Word = intptr_t;

inline constexpr char kItemMarker = '\x01';

// One command whose text travels as an engine string (any byte, zero included).
inline Word call(Word command, std::string_view text, Word m1 = 0, Word m2 = 0, Word rp = 0,
                 Word t = 0) {
    char *engineText = nxStrAlloc(text.data(), static_cast<uint32_t>(text.size()));
    Word result = Nomix(command, engineText, m1, m2, rp, t);
    nxStrFree(engineText);
    return result;
}

// The text parked by a text-returning command, copied at once as a host must.
inline std::string fetch(Word token) {
    const char *s = token ? nxStrReturnB(token) : nullptr;
    return s ? std::string(s, nxStrLen(s)) : std::string();
}

// Aborts with a message: the fuzzer records the input as a finding.
[[noreturn]] inline void finding(const char *what) {
    std::fprintf(stderr, "FINDING: %s\n", what);
    std::fflush(stderr);
    std::abort();
}

// The leak checker scans the system heap, stacks and globals for pointers, but
// not the engine heap (a region of its own). Engine records there hold lists
// and texts from the system heap, which would all look leaked: so the engine
// heap's mappings become root regions. Contiguous anonymous mappings around a
// block of the engine heap are taken as the region.
inline void showEngineHeapToLeakChecker() {
#ifdef NOMIX_FUZZ_LSAN
    void *probe = nxAlloc(16);
    const uintptr_t inside = reinterpret_cast<uintptr_t>(probe);
    std::ifstream maps("/proc/self/maps");
    std::string line;
    uintptr_t regionStart = 0, regionEnd = 0;
    while (std::getline(maps, line)) {
        unsigned long start = 0, end = 0;
        char path[2] = {};
        int fields = std::sscanf(line.c_str(), "%lx-%lx %*s %*s %*s %*s %1s", &start, &end, path);
        bool anonymous = fields == 2;
        if (anonymous && regionEnd == start && regionEnd != 0) {
            regionEnd = end;  // extends the run of mappings
        } else if (regionEnd > inside) {
            break;  // the run holding the probe has ended
        } else {
            regionStart = anonymous ? start : 0;
            regionEnd = anonymous ? end : 0;
        }
    }
    nxFree(probe);
    if (regionStart <= inside && inside < regionEnd)
        __lsan_register_root_region(reinterpret_cast<void *>(regionStart), regionEnd - regionStart);
#endif
}

// Starts the engine and sends the shipped first-phase language, as the
// application does at start-up. A broken boot would make every input look
// harmless, so it stops the run instead.
inline void bootEngine() {
    static const bool booted = [] {
        nxSetMessageCallback([](const char *, const char *) {});
        auto file = nomix::findLanguageFile();
        if (!file) finding("language file not found (set NOMIX_DATA_DIR)");
        nomix::BootScript script = nomix::readBootScriptFile(*file);
        static nomix::BootSender sender(&Nomix);
        sender.sendAll(script.commands);
        if (fetch(call(nx_EvalStr, "1+2")) != " 3") finding("the language did not boot");
        call(nx_ClearError, "");
        showEngineHeapToLeakChecker();
        return true;
    }();
    (void)booted;
}

// True when `word` occurs in `text` as a whole word, ASCII case ignored.
inline bool containsWord(std::string_view text, std::string_view word) {
    auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
    auto isWordChar = [](unsigned char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    };
    for (size_t i = 0; i + word.size() <= text.size(); ++i) {
        size_t k = 0;
        while (k < word.size() && lower(text[i + k]) == lower(word[k])) ++k;
        if (k < word.size()) continue;
        bool startsWord = i == 0 || !isWordChar(text[i - 1]);
        bool endsWord = i + k == text.size() || !isWordChar(text[i + k]);
        if (startsWord && endsWord) return true;
    }
    return false;
}

// True when `text` contains `part` anywhere, ASCII case ignored.
inline bool containsPart(std::string_view text, std::string_view part) {
    auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
    for (size_t i = 0; i + part.size() <= text.size(); ++i) {
        size_t k = 0;
        while (k < part.size() && lower(text[i + k]) == lower(part[k])) ++k;
        if (k == part.size()) return true;
    }
    return false;
}

// The language lets a user read and write any address, call any address and
// drive the command entry itself (release any item, replace routines). Those
// are powers by design, not faults, so inputs that reach for them are skipped.
// The language lets a user read and write any address, call any address and
// drive the command entry itself (release any item, replace routines). Those
// are powers by design, not faults, so inputs that reach for them are skipped.
inline bool usesRawMachineAccess(std::string_view text) {
    for (std::string_view part : {"nomix", "addr", "typehandler", "thread", "stdcall"})
        if (containsPart(text, part)) return true;
    for (std::string_view word : {"at", "batcheval"})
        if (containsWord(text, word)) return true;
    return false;
}

// Faults already found and reported, skipped so that fuzzing finds new ones;
// each has a disabled regression test in tests/regress. Remove a line when its
// fault is fixed.
inline bool hitsKnownFault(std::string_view text) {
    // An embedded-item marker (byte 1 and a 4-byte handle taken on trust).
    if (text.find(kItemMarker) != std::string_view::npos) return true;
    // An open block (Begin, FuncStart) is freed from the wrong heap.
    for (std::string_view word : {"begin", "funcstart"})
        if (containsWord(text, word)) return true;
    return false;
}

// True when the input is not worth running: see the two filters above.
inline bool skipInput(std::string_view text) { return usesRawMachineAccess(text) || hitsKnownFault(text); }

// Sets the engine's stop flag when one input runs longer than its budget, as
// nomixcli does on Ctrl+C: loops that never end are meant to end that way. An
// input that still hangs ignores the flag and is a finding (libFuzzer -timeout).
class StopWatchdog {
public:
    explicit StopWatchdog(std::chrono::milliseconds budget)
        : budget_(budget), thread_([this] { watch(); }) {}
    ~StopWatchdog() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            quit_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }
    StopWatchdog(const StopWatchdog &) = delete;
    StopWatchdog &operator=(const StopWatchdog &) = delete;

    // Marks the start of one input.
    void start() {
        std::lock_guard<std::mutex> lock(mutex_);
        nxRequestStop(0);
        deadline_ = std::chrono::steady_clock::now() + budget_;
        running_ = true;
        wake_.notify_one();
    }
    // Marks its end and clears the flag for the next one.
    void stop() {
        std::lock_guard<std::mutex> lock(mutex_);
        running_ = false;
        nxRequestStop(0);
        wake_.notify_one();
    }

private:
    void watch() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!quit_) {
            wake_.wait(lock, [this] { return running_ || quit_; });
            if (quit_) break;
            if (wake_.wait_until(lock, deadline_, [this] { return !running_ || quit_; })) continue;
            nxRequestStop(1);
            wake_.wait(lock, [this] { return !running_ || quit_; });
        }
    }

    std::chrono::milliseconds budget_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::chrono::steady_clock::time_point deadline_{};
    bool running_ = false;
    bool quit_ = false;
    std::thread thread_;  // last: starts once the state above exists
};

// A fresh child engine thread of the default context, released at the end of
// the scope: everything an input defines goes with it, so inputs do not build
// on one another and a crash reproduces from its own input alone.
class ScratchThread {
public:
    ScratchThread() : thread_(Nomix(nx_NewThread, nullptr, 0, 0, 0, 0)) {}
    ~ScratchThread() {
        if (thread_) Nomix(nx_ReleaseItem, nullptr, thread_, 0, 0, 0);
    }
    ScratchThread(const ScratchThread &) = delete;
    ScratchThread &operator=(const ScratchThread &) = delete;
    Word t() const { return thread_; }

private:
    Word thread_;
};

// Checks that the engine heap holds as many blocks after an input as before:
// releasing a thread must free everything defined and parsed in it.
class HeapBalance {
public:
    HeapBalance() : before_(nxHeapLiveBlocks()) {}
    void check() const {
        int64_t after = nxHeapLiveBlocks();
        if (after != before_) {
            std::fprintf(stderr, "engine heap: %lld live blocks before, %lld after\n",
                         static_cast<long long>(before_), static_cast<long long>(after));
            finding("engine heap blocks leaked by a released thread");
        }
    }

private:
    int64_t before_;
};

} // namespace fuzz
