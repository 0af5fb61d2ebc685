// What the fuzz targets share: the engine booted with the calculator language
// once per process, commands with engine text, a guard that turns runaway loops
// into stops, a check that a released thread gives back every heap block, and the
// filter that keeps inputs away from the language's raw machine access.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "engine_call.h"
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
using enginecall::call;
using enginecall::fetch;

inline constexpr char kItemMarker = '\x01';

// Aborts with a message: the fuzzer records the input as a finding.
[[noreturn]] inline void finding(const char *what) {
    std::fprintf(stderr, "FINDING: %s\n", what);
    std::fflush(stderr);
    std::abort();
}

// The leak checker does not scan the engine heap (a region of its own), so
// system-heap texts and lists that engine records hold look leaked. What the
// boot creates lives as long as the process: it is left out of leak reports.
// Everything an input creates goes with its thread, so leaks found after an
// input are real.
class LeakCheckPause {
public:
#ifdef NOMIX_FUZZ_LSAN
    LeakCheckPause() { __lsan_disable(); }
    ~LeakCheckPause() { __lsan_enable(); }
#endif
    LeakCheckPause(const LeakCheckPause &) = delete;
    LeakCheckPause &operator=(const LeakCheckPause &) = delete;
};

// Starts the engine and sends the shipped first-phase language, as the
// application does at start-up. A broken boot would make every input look
// harmless, so it stops the run instead.
inline void bootEngine() {
    static const bool booted = [] {
        LeakCheckPause pause;
        nxSetMessageCallback([](const char *, const char *) {});
        auto file = nomix::findLanguageFile();
        if (!file) finding("language file not found (set NOMIX_DATA_DIR)");
        nomix::BootScript script = nomix::readBootScriptFile(*file);
        static nomix::BootSender sender(&Nomix);
        sender.sendAll(script.commands);
        if (fetch(call(nx_EvalStr, "1+2")) != " 3") finding("the language did not boot");
        call(nx_ClearError, "");
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

// True when, after `keyword`, the first name that follows comes back at least
// `times` times after the next `separator`: a rule or function that refers to
// itself.
inline bool namesItselfAgain(std::string_view text, std::string_view keyword, std::string_view separator,
                             int times) {
    auto isNameChar = [](unsigned char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    };
    for (size_t at = 0; at < text.size(); ++at) {
        if (!containsWord(text.substr(at, keyword.size()), keyword)) continue;
        size_t start = at + keyword.size();
        while (start < text.size() && !isNameChar(text[start])) ++start;
        size_t end = start;
        while (end < text.size() && isNameChar(text[end])) ++end;
        size_t body = text.find(separator, end);
        if (end == start || body == std::string_view::npos) continue;
        std::string_view name = text.substr(start, end - start), rest = text.substr(body);
        int count = 0;
        for (size_t p = 0; (p = rest.find(name, p)) != std::string_view::npos; p += name.size()) {
            bool whole = (p == 0 || !isNameChar(rest[p - 1])) &&
                         (p + name.size() == rest.size() || !isNameChar(rest[p + name.size()]));
            count += whole;
        }
        if (count >= times) return true;
    }
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
    // Max and Min of many arguments: the expansion doubles per argument (hang).
    if ((containsWord(text, "max") || containsWord(text, "min")) &&
        std::count(text.begin(), text.end(), ',') > 6)
        return true;
    // Rules that may rewrite for ever (hang), and bodies that call themselves
    // more than once (hang): a rule head or function name that comes back in
    // its own replacement or body.
    return namesItselfAgain(text, "syntax", "::=", 1) || namesItselfAgain(text, "macro", "=", 1) ||
           namesItselfAgain(text, "func", "=", 2);
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
        ++input_;
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
    // Guards each input by its number: inputs follow one another closely, and
    // a watcher that waited for "not running" after a stop could wake only
    // when the next input was already running, and then miss it.
    void watch() {
        std::unique_lock<std::mutex> lock(mutex_);
        uint64_t guarded = 0;
        while (!quit_) {
            wake_.wait(lock, [&] { return quit_ || (running_ && input_ != guarded); });
            if (quit_) break;
            guarded = input_;
            bool ended = wake_.wait_until(lock, deadline_, [&] { return quit_ || !running_ || input_ != guarded; });
            if (!ended) nxRequestStop(1);
        }
    }

    std::chrono::milliseconds budget_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::chrono::steady_clock::time_point deadline_{};
    bool running_ = false;
    bool quit_ = false;
    uint64_t input_ = 0;
    std::thread thread_;  // last: starts once the state above exists
};

// Everything an input defines goes with its scratch thread, so inputs do not
// build on one another and a crash reproduces from its own input alone.
using enginecall::ScratchThread;

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
