// Test support for libNomix296: loads the library from the test program's
// directory and gives it a fake engine that records what the library asks of
// it (routine installs, recoveries, native-call results) and answers the way
// each test wants.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "../include/nomix296.h"

namespace fake {

// The library's two exports, loaded once per test program.
struct Library {
    NxHandshakeFn handshake = nullptr;
    NxTryStdCallFn tryStdCall = nullptr;
};

inline Library loadLibrary() {
    auto path = std::filesystem::read_symlink("/proc/self/exe").parent_path() / "libNomix296.so";
    void *module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) throw std::runtime_error(dlerror());
    Library library;
    library.handshake = reinterpret_cast<NxHandshakeFn>(dlsym(module, "Handshake"));
    library.tryStdCall = reinterpret_cast<NxTryStdCallFn>(dlsym(module, "TryStdCall"));
    if (!library.handshake || !library.tryStdCall) throw std::runtime_error("exports missing");
    return library;
}

inline const Library &library() {
    static const Library loaded = loadLibrary();
    return loaded;
}

struct Command {
    intptr_t code, arg1, arg2;
};

struct Recovery {
    OperationRecord *failing;
    uint32_t code;
};

struct Stored {
    OperationRecord *record;
    intptr_t integer;
    long double real;
};

// Everything the library did to the engine. Recovery and calls may come from
// several threads at once, hence the lock.
struct Engine {
    std::mutex lock;
    std::vector<Command> commands;
    std::map<intptr_t, intptr_t> routines;  // slot -> address installed
    std::vector<Recovery> recoveries;
    std::vector<Stored> stored;
    std::vector<std::pair<OperationRecord *, intptr_t>> afterCalls;
    std::vector<const char *> events;  // "store" / "after", in call order
    // The verdict for a fault; the default skips the failing record.
    std::function<intptr_t(OperationRecord *, uint32_t)> verdict;

    void reset() {
        std::lock_guard guard(lock);
        recoveries.clear();
        stored.clear();
        afterCalls.clear();
        events.clear();
        verdict = [](OperationRecord *failing, uint32_t) { return failing->Next; };
    }
};

inline Engine &engine() {
    static Engine instance;
    return instance;
}

inline intptr_t recover(OperationRecord *failing, uint32_t code) {
    std::function<intptr_t(OperationRecord *, uint32_t)> verdict;
    {
        std::lock_guard guard(engine().lock);
        engine().recoveries.push_back({failing, code});
        verdict = engine().verdict;
    }
    return verdict(failing, code);
}

inline intptr_t command(intptr_t code, const char *, intptr_t arg1, intptr_t arg2, intptr_t, intptr_t) {
    std::lock_guard guard(engine().lock);
    engine().commands.push_back({code, arg1, arg2});
    if (code == nx_SetRoutine) engine().routines[arg1] = arg2;
    if (code == nx_RoutineAddress && arg1 == 152) return reinterpret_cast<intptr_t>(&recover);
    return 0;
}

inline void storeResult(OperationRecord *record, intptr_t integer, long double real) {
    std::lock_guard guard(engine().lock);
    engine().stored.push_back({record, integer, real});
    engine().events.push_back("store");
}

inline void afterCall(OperationRecord *record, intptr_t words) {
    std::lock_guard guard(engine().lock);
    engine().afterCalls.push_back({record, words});
    engine().events.push_back("after");
}

// Loads the library and shakes hands with the fake engine, once per program.
inline void handshake() {
    static const bool done = [] {
        engine().reset();
        library().handshake(&command, &storeResult, &afterCall);
        return true;
    }();
    (void)done;
}

// The routine the library installed in a slot.
inline NxRoutine routine(intptr_t slot) {
    handshake();
    return reinterpret_cast<NxRoutine>(engine().routines.at(slot));
}

inline void run(intptr_t runnerSlot, OperationRecord *first) { routine(runnerSlot)(first); }

// The two leading fields of the engine's ThreadContext that the runner reads.
struct Context {
    uint16_t fpuWordEval = 0x033F;
    uint16_t fpuWordAfter = 0x033F;
};

// A hand-built chain: add records, then link() ties them to a terminator whose
// Arg1 is the chain's context.
struct Chain {
    Context context;
    std::vector<OperationRecord> records;

    void add(NxRoutine routine, const void *arg1, const void *arg2 = nullptr, void *result = nullptr) {
        records.push_back({reinterpret_cast<intptr_t>(arg1), reinterpret_cast<intptr_t>(arg2),
                           reinterpret_cast<intptr_t>(result), 0, 0,
                           reinterpret_cast<intptr_t>(routine)});
    }
    OperationRecord *link() {
        records.push_back({reinterpret_cast<intptr_t>(&context), 0, 0, 0, 0, 0});
        for (size_t i = 0; i + 1 < records.size(); ++i)
            records[i].Next = reinterpret_cast<intptr_t>(&records[i + 1]);
        return &records.front();
    }
    OperationRecord *at(size_t i) { return &records.at(i); }
    OperationRecord *terminator() { return &records.back(); }
};

// Hardware operations written in assembly, so neither the optimiser nor a
// sanitizer gets between the test and the fault it wants.
inline int32_t hardwareDivide(int32_t dividend, int32_t divisor) {
    int32_t quotient;
    __asm__ volatile("cltd\n\tidivl %2" : "=a"(quotient) : "0"(dividend), "r"(divisor) : "edx", "cc");
    return quotient;
}

inline int32_t hardwareLoad(intptr_t address) {
    int32_t value;
    __asm__ volatile("movl (%1), %0" : "=r"(value) : "r"(address) : "memory");
    return value;
}

// Loads an x87 control word and mirrors it into MXCSR, as the engine does
// before it runs a chain.
inline void loadControlWord(uint16_t word) {
    __asm__ volatile("fnclex\n\tfldcw %0" : : "m"(word));
    uint32_t mxcsr;
    __asm__ volatile("stmxcsr %0" : "=m"(mxcsr));
    mxcsr &= ~((0x3Fu << 7) | (3u << 13) | 0x3Fu);
    mxcsr |= (uint32_t(word) & 0x3Fu) << 7 | ((uint32_t(word) >> 10) & 3u) << 13;
    __asm__ volatile("ldmxcsr %0" : : "m"(mxcsr));
}

inline uint16_t controlWord() {
    uint16_t word;
    __asm__ volatile("fnstcw %0" : "=m"(word));
    return word;
}

// Test routines: Long arithmetic on 4-byte cells.
inline void addLong(OperationRecord *r) {
    *reinterpret_cast<int32_t *>(r->Result) =
        *reinterpret_cast<int32_t *>(r->Arg1) + *reinterpret_cast<int32_t *>(r->Arg2);
}

inline void divideLong(OperationRecord *r) {
    *reinterpret_cast<int32_t *>(r->Result) =
        hardwareDivide(*reinterpret_cast<int32_t *>(r->Arg1), *reinterpret_cast<int32_t *>(r->Arg2));
}

// Resets the fake engine and the FPU around each test.
class Fixture : public ::testing::Test {
protected:
    void SetUp() override {
        handshake();
        engine().reset();
        loadControlWord(0x037F);
    }
    void TearDown() override { loadControlWord(0x037F); }
};

} // namespace fake
