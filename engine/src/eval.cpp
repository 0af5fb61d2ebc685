// Running operation chains: the plain runner, the process-wide current runner,
// the evaluation entry points, exception recovery and the stop flag.
#include <atomic>
#include <type_traits>

#include "compiler.h"
#include "fold.h"
#include "routines.h"

namespace nx {
namespace {

// The plain loop, inlined where evaluations run pure chains.
inline void runRecords(OperationRecord *first) {
    for (OperationRecord *r = first; r && r->Routine; r = reinterpret_cast<OperationRecord *>(r->Next))
        reinterpret_cast<NxRoutine>(r->Routine)(r);
}

NxRoutine runner = &runChain;
bool runnerKnown = true;  // isKnownRunner(runner), kept so evaluations need not search
std::atomic<bool> stopFlag{false};

// Loads a context's evaluation control word for the lifetime of the scope and
// its after-word when it ends, also when a fault leaves as an exception.
class EvaluationWords {
public:
    explicit EvaluationWords(const ThreadContext *ctx) : ctx_(ctx) {
        if (ctx_) loadControlWord(ctx_->fpuWordEval);
    }
    ~EvaluationWords() {
        if (ctx_) loadControlWord(ctx_->fpuWordAfter);
    }
    EvaluationWords(const EvaluationWords &) = delete;
    EvaluationWords &operator=(const EvaluationWords &) = delete;

private:
    const ThreadContext *ctx_;
};

// Loads a context's evaluation word for a nested evaluation and puts back the
// x87 and SSE control state that was active before, so the outer chain goes on
// under its own word rather than the context's after-word. When the word is
// already in place (a nested evaluation in the same context) there is nothing
// to load or to put back.
class NestedWords {
public:
    explicit NestedWords(const ThreadContext *ctx) {
        x87_ = x87ControlWord();
        if (!ctx) return;
        uint16_t word = ctx->fpuWordEval;
        if (maskedWordInPlace(word, x87_)) return;
        __asm__ volatile("stmxcsr %0" : "=m"(mxcsr_));
        restore_ = true;
        saved_ = loadedControlWord;
        loadControlWordFully(word);
    }
    ~NestedWords() {
        if (!restore_) return;
        uint32_t mxcsr = mxcsr_ & ~0x3Fu;  // drop the sticky flags
        __asm__ volatile("fnclex\n\tfldcw %0" : : "m"(x87_));
        __asm__ volatile("ldmxcsr %0" : : "m"(mxcsr));
        loadedControlWord = saved_;
    }
    NestedWords(const NestedWords &) = delete;
    NestedWords &operator=(const NestedWords &) = delete;

private:
    uint16_t x87_ = 0;
    uint32_t mxcsr_ = 0;
    uint16_t saved_ = 0;
    bool restore_ = false;
};

// True when an evaluation of expr may run its chain with the plain loop: the
// chain cannot fault (see purity.cpp), every fault is masked, and the current
// runner is one of the engine's or libNomix296's own (a host's runner is
// always called). The result is the same without the cost of a protected region.
inline bool runsUnprotected(const Item *expr) {
    auto *data = static_cast<const ExprData *>(expr->extra);
    return runnerKnown && data && data->pure && expr->context && (expr->context->fpuWordEval & 0x3Fu) == 0x3Fu;
}

// Runs a pure expression whose context's masked word is in place: its folded
// chain (or the machine code made from it) when its stamp holds, else its
// records. `fast` tells which ran; the value is what the code returned.
inline double runPure(const Item *expr, FastPath *&fast) {
    fast = readyFastPath(static_cast<const ExprData *>(expr->extra), expr->context);
    if (fast) return runFastPath(*fast);
    runRecords(expr->chain);
    return 0;
}

// The fault flags of both units among `watch` (x87 status word and MXCSR use
// the same six bits).
inline uint32_t raisedFlags(uint32_t watch) {
    uint16_t status;
    __asm__ volatile("fnstsw %0" : "=m"(status));
    return (uint32_t(status) | mxcsrNow()) & watch;
}

// Clears the flags of both units (only when some are up: a load stalls).
inline void clearFlags() {
    uint32_t mxcsr = mxcsrNow();
    if (mxcsr & 0x3Fu) {
        mxcsr &= ~0x3Fu;
        __asm__ volatile("ldmxcsr %0" : : "m"(mxcsr));
    }
    uint16_t status;
    __asm__ volatile("fnstsw %0" : "=m"(status));
    if (status & 0x3Fu) __asm__ volatile("fnclex");
}

// A pure expression whose routines have no side effect, under a word that
// unmasks faults (the graph's): its fast path runs under the word's masked
// form, which is usually in place already (the after-word), and the flags tell
// whether a fault the word unmasks came up. True when the fast path's result
// stands (`fast` and `given` then say how to read it; the masked form is left
// in place). False when the records must run instead, from the start under the
// protected runner, so the fault is raised by the record that causes it and
// its handlers decide as always; the flags are then clear.
inline bool ranMaskedFirst(const Item *expr, FastPath *&fast, double &given) {
    auto *data = static_cast<const ExprData *>(expr->extra);
    const ThreadContext *ctx = expr->context;
    if (!runnerKnown || !data || !data->pure || !data->fast || !data->fast->repeatable || !ctx) return false;
    fast = readyFastPath(data, ctx);
    if (!fast) return false;
    const uint16_t word = ctx->fpuWordEval;
    const uint32_t watch = ~uint32_t(word) & 0x3Fu;
    loadControlWord(word | 0x3Fu);
    if (raisedFlags(watch)) clearFlags();
    given = runFastPath(*fast);
    if (!raisedFlags(watch)) return true;
    clearFlags();
    return false;
}

// The chain of an expression under the current runner, or with the plain loop
// when it cannot fault. A chain that may fault never runs under one of the
// plain runners (the engine's, or libNomix296's alternative one): it gives the
// same results under the protected runner, and a processor fault must never
// end the program. A host's own runner is called as it is.
void runExpression(const Item *expr) {
    if (!expr->chain) return;
    FastPath *fast = nullptr;
    if (runsUnprotected(expr)) {
        runPure(expr, fast);
        return;
    }
    double given = 0;
    if (ranMaskedFirst(expr, fast, given)) return;  // the caller puts its words back
    if (fast) loadControlWord(expr->context->fpuWordEval);
    evaluationRunner()(expr->chain);
}

double readDouble(const void *cell) { return load<double>(cell); }

// What an evaluation reads: the value the machine code returned when that is
// the result cell's, else the first sizeof(T) bytes of the cell (0 without one).
template <class T, T (*read)(const void *)> T resultValue(const Item *expr, const FastPath *fast, double given) {
    if (std::is_same_v<T, double> && fast && fast->entry && fast->entryGivesResult) return static_cast<T>(given);
    return expr->address ? read(cellAt(expr->address)) : T(0);
}

// A pure expression under its masked word, as nxEvaluateExt/Dbl read it. The
// routines leave the control words alone: when the after-word is the
// evaluation word, it is still in place.
template <class T, T (*read)(const void *)> T evaluatePure(const Item *expr) {
    const ThreadContext *ctx = expr->context;
    uint16_t word = ctx->fpuWordEval;
    loadControlWord(word);
    FastPath *fast = nullptr;
    double given = runPure(expr, fast);
    T value = resultValue<T, read>(expr, fast, given);
    if (ctx->fpuWordAfter != word) loadControlWord(ctx->fpuWordAfter);
    return value;
}

// Runs an expression as nxEvaluateExt/Dbl do and reads the first sizeof(T)
// bytes of its result cell (0 without one).
template <class T, T (*read)(const void *)> T evaluateAs(const Item *expr) {
    if (!expr) return 0;
    const ThreadContext *ctx = expr->context;
    if (expr->chain && runsUnprotected(expr)) return evaluatePure<T, read>(expr);
    FastPath *fast = nullptr;
    double given = 0;
    if (expr->chain && ranMaskedFirst(expr, fast, given)) {
        T value = resultValue<T, read>(expr, fast, given);
        if (ctx->fpuWordAfter != (ctx->fpuWordEval | 0x3Fu)) loadControlWord(ctx->fpuWordAfter);
        return value;
    }
    EvaluationWords words(ctx);
    if (expr->chain) evaluationRunner()(expr->chain);
    return expr->address ? read(cellAt(expr->address)) : T(0);
}


} // namespace

// The plain runner: calls each record's routine in chain order until the
// terminating record, which is reached but never called.
void runChain(OperationRecord *first) { runRecords(first); }

// The runner every evaluation uses.
NxRoutine currentRunner() { return runner; }

// The runner an evaluation calls for a chain that may fault: the current one,
// except that the plain runners (the engine's, and libNomix296's alternative
// one) give way to the protected runner, which gives the same results and
// never lets a processor fault end the program. A host's own runner is called
// as it is.
NxRoutine evaluationRunner() {
    NxRoutine guarded = protectedRunner();
    return guarded && runnerKnown ? guarded : runner;
}

// Makes the runner in a table slot (150 at each parse, 151 after command 94) the
// one every evaluation uses; an empty slot keeps the plain runner.
void selectRunner(int slot) {
    intptr_t address = routineSlotContent(slot);
    NxRoutine chosen = address ? reinterpret_cast<NxRoutine>(address) : &runChain;
    if (chosen == runner) return;
    runner = chosen;
    refreshRunnerKnown();
}

bool currentRunnerKnown() { return runnerKnown; }

// Fast paths decide once per stamp whether they may bypass the runner.
void refreshRunnerKnown() {
    runnerKnown = isKnownRunner(runner);
    bumpFoldGeneration();
}

// nxEvaluateDbl when the machine code cannot be entered at once.
__attribute__((noinline)) double evaluateDoubleFully(Item *expr) { return evaluateAs<double, &readDouble>(expr); }

// Evaluates an expression under its context's control words and reads its
// 10-byte result (0 without a result cell).
long double evaluateExt(Item *expr) { return evaluateAs<long double, &loadExt>(expr); }

// A sub-expression's value from inside a running chain.
long double evaluateNested(Item *expr) {
    if (!expr) return 0;
    NestedWords words(expr->context);
    runExpression(expr);
    return expr->address ? loadExt(cellAt(expr->address)) : 0.0L;
}

// Runs a sub-expression from inside a running chain.
void runNested(Item *expr) {
    if (!expr) return;
    NestedWords words(expr->context);
    runExpression(expr);
}

namespace {

// One piece of work run as the routine of a record: its function, argument,
// and whether it ran to its end.
struct GuardedWork {
    void (*work)(void *);
    void *arg;
    bool done;
};

void guardedWorkRoutine(OperationRecord *r) {
    auto *w = reinterpret_cast<GuardedWork *>(r->Arg1);
    w->work(w->arg);
    w->done = true;
}

} // namespace

// Runs a piece of engine work that reads through addresses the language chose
// (the text of a value whose cell holds a string handle, say) as the one record
// of a chain of its own in ctx, under the protected runner: a processor fault
// becomes an error of ctx, reported to its handlers like a fault of any chain,
// instead of ending the program. False when the work did not run to its end.
// Nothing the work owns is released when a fault cuts it short.
bool runGuarded(ThreadContext *ctx, void (*work)(void *), void *arg) {
    NxRoutine guarded = protectedRunner();
    if (!guarded) {
        work(arg);
        return true;
    }
    GuardedWork w{work, arg, false};
    OperationRecord records[2] = {};
    records[0].Arg1 = reinterpret_cast<intptr_t>(&w);
    records[0].Next = reinterpret_cast<intptr_t>(&records[1]);
    records[0].Routine = reinterpret_cast<intptr_t>(&guardedWorkRoutine);
    records[1].Arg1 = reinterpret_cast<intptr_t>(ctx);
    try {
        guarded(records);
    } catch (const ProcessorFault &) {
        return false;
    }
    return w.done;
}

// True while the host asks the loop routines to stop.
bool stopRequested() { return stopFlag.load(std::memory_order_relaxed); }

} // namespace nx


extern "C" {

// The value of an expression handle as a 10-byte and as an 8-byte real.
NX_API long double nxEvaluateExt(intptr_t expr) { return nx::evaluateExt(reinterpret_cast<nx::Item *>(expr)); }

// The hot path is a few loads, a compare of the x87 word and a jump into
// machine code; everything else lives out of line, so this stays a leaf.
NX_API double nxEvaluateDbl(intptr_t handle) {
    auto *expr = reinterpret_cast<nx::Item *>(handle);
    if (const nx::HotEntry *hot = nx::hotEntry(expr)) [[likely]]
        return hot->entry();
    return nx::evaluateDoubleFully(expr);
}

// Called by a protecting runner with the record whose routine faulted: records
// the fault as an engine error, lets the context's handlers decide, and answers
// where to resume: the terminating record (stop), the next record (skip), or 0
// (let the fault propagate).
NX_API intptr_t ExceptionHelper(OperationRecord *failing, uint32_t code) {
    if (!failing) return 0;
    OperationRecord *end = nx::chainEnd(failing);
    if (!end) return 0;
    // A function body's chain ends in its member context, which has no handlers
    // of its own: the fault is reported where the body's names live, as the
    // routines do, so that it reaches the host.
    nx::ThreadContext *ctx = end->Arg1 ? nx::recordContext(failing) : nullptr;
    if (!ctx) return reinterpret_cast<intptr_t>(end);
    constexpr uint32_t kIntegerDivide = 0xC0000094, kIntegerOverflow = 0xC0000095;
    if (code == kIntegerDivide && nx::isLongDivisionOverflow(failing)) code = kIntegerOverflow;
    ctx->errorCode = static_cast<int32_t>(static_cast<double>(code) - double(0xC000008Cu) + 20.0);
    ctx->errorDetail = reinterpret_cast<intptr_t>(failing);
    intptr_t verdict = nx::callHandlers(ctx);
    ctx->errorDetail = 0;
    if (verdict == 0) return reinterpret_cast<intptr_t>(end);
    if (verdict == 1) return failing->Next;
    return 0;
}

// Sets or clears the flag the engine's loop routines watch (a host's Ctrl+C).
NX_API void nxRequestStop(int stop) { nx::stopFlag.store(stop != 0, std::memory_order_relaxed); }

NX_API int nxStopRequested(void) { return nx::stopRequested() ? 1 : 0; }

} // extern "C"
