// Constant folding and the fast path of pure chains. Records whose routines are
// the table's own leaf computations and whose operands are all constants are
// computed once, not at every evaluation; what their values depend on at run
// time (the routine table, the angle unit, definitions, the control word) is
// summed up in a stamp that each evaluation compares once.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>

#include <cstring>

#include "compiler.h"
#include "context.h"
#include "fpu.h"

namespace nx {

namespace jit {
class Code;
}

// Raised by everything that may change what a folded record computes: a slot
// of the routine table, the angle unit, any definition or item change.
extern std::atomic<uint32_t> foldGenerationCounter;
inline uint32_t foldGeneration() { return foldGenerationCounter.load(std::memory_order_relaxed); }
inline void bumpFoldGeneration() { foldGenerationCounter.fetch_add(1, std::memory_order_relaxed); }

// The stamp an evaluation in a context needs its fast path to carry: the
// generation and the context's two control words.
inline uint64_t fastStamp(const ThreadContext *ctx) {
    uint32_t words;  // fpuWordEval, then fpuWordAfter
    std::memcpy(&words, &ctx->fpuWordEval, sizeof words);
    return uint64_t(foldGeneration()) << 32 | words;
}

// What one compiled pure chain runs instead of its records.
struct FastPath {
    FastPath();
    ~FastPath();
    FastPath(const FastPath &) = delete;
    FastPath &operator=(const FastPath &) = delete;

    uint64_t stamp = ~uint64_t(0);     // under which `valid` was last decided
    bool valid = false;                // the folded cells hold their values for that stamp
    OperationRecord *chain = nullptr;  // the records left after folding (copies when some were)
    Vec<OperationRecord *> folded;     // the folded records, in the order they run
    std::unique_ptr<jit::Code> code;   // machine code for `chain`, when it could be made
    double (*codeEntry)() = nullptr;   // its entry point
    double (*entry)() = nullptr;       // codeEntry while the code is right for the stamp
    bool radiansOnly = false;          // the code calls the trigonometric functions bare
    bool libraryWordOnly = false;      // the code computes as the routines do under the library word
    bool entryGivesResult = false;     // the entry returns the value of the result cell
    bool repeatable = false;           // running the chain twice changes nothing but its cells
};

// True for routines the compiler may run once on constant operands.
bool isFoldableRoutine(intptr_t routine);
// Takes the foldable routines from the table as start-up left it, and the
// routines the compiled tier computes itself.
void recordFoldableRoutines();
void recordCompiledRoutines();

// Machine code for a fast path's chain (tier.cpp); nothing when it cannot be made.
void compileFastPath(FastPath &fast, const Item *expr);

// Whether an operand is a constant while compiling: a literal, a named
// constant, or the result of a record already marked as foldable.
bool isConstantOperand(const Operand &operand);
// Marks a record whose operands are all constants and whose routine folds;
// its result (the temporary `result`, when given) then counts as a constant.
void noteFoldable(ExprData *data, OperationRecord *record, Item *result);

// Builds the fast path of a freshly compiled pure chain (nothing when the chain
// is not pure or nothing folds and there is no code to make).
void buildFastPath(Item *expr);
// Frees what buildFastPath made.
void releaseFastPath(ExprData *data);
// Computes the folded records again for the context's current stamp; leaves
// `valid` false when one of them would fault under its word, so the records
// run. Decides the expression's hot entry for the stamp too.
void refreshFastPath(ExprData &data, const ThreadContext *ctx);

// Runs a fast path: its machine code (returning what the code returns) or its
// folded chain (returning 0).
inline double runFastPath(const FastPath &fast) {
    if (fast.entry) return fast.entry();
    runChain(fast.chain);
    return 0;
}

// The fast path of a pure expression, ready for an evaluation under `word`,
// or nullptr when its records must run.
inline FastPath *readyFastPath(const ExprData *data, const ThreadContext *ctx) {
    FastPath *fast = data->fast;
    if (!fast) return nullptr;
    if (fast->stamp != fastStamp(ctx)) refreshFastPath(*const_cast<ExprData *>(data), ctx);
    return fast->valid ? fast : nullptr;
}

double evaluateDoubleFully(Item *expr);  // eval.cpp

// Set by machine code while it runs, for the SIGFPE net (codefaults.cpp).
extern thread_local constinit uint32_t machineCodeRunning __attribute__((tls_model("initial-exec")));
int32_t machineCodeFlagOffset();  // its offset from the thread pointer
void installMachineCodeNet();

// The machine code nxEvaluateDbl may enter at once: decided under the current
// generation (which every change of a context's words raises too), with the
// masked word in the x87 (read back: a host that changed the rounding or the
// masks through the C library changed it there too). MXCSR is not read back;
// see codefaults.cpp.
inline const HotEntry *hotEntry(const Item *expr) {
    if (!expr || !expr->chain) return nullptr;
    auto *data = static_cast<const ExprData *>(expr->extra);
    if (!data || !data->hot.entry || data->hot.generation != foldGeneration()) return nullptr;
    return ((x87ControlWord() ^ data->hot.word) & ~0x40u) == 0 ? &data->hot : nullptr;
}


} // namespace nx
