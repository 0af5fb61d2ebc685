// Constant folding and the fast path of pure chains. Records whose routines are
// the table's own leaf computations and whose operands are all constants are
// computed once, not at every evaluation; what their values depend on at run
// time (the routine table, the angle unit, definitions, the control word) is
// summed up in a stamp that each evaluation compares once.
#pragma once
#include <atomic>
#include <cstdint>

#include "compiler.h"

namespace nx {

namespace jit {
class Code;
}

// Raised by everything that may change what a folded record computes: a slot
// of the routine table, the angle unit, any definition or item change.
extern std::atomic<uint32_t> foldGenerationCounter;
inline uint32_t foldGeneration() { return foldGenerationCounter.load(std::memory_order_relaxed); }
inline void bumpFoldGeneration() { foldGenerationCounter.fetch_add(1, std::memory_order_relaxed); }

// The stamp an evaluation under `word` needs its fast path to carry.
inline uint64_t fastStamp(uint16_t word) { return uint64_t(foldGeneration()) << 16 | word; }

// What one compiled pure chain runs instead of its records.
struct FastPath {
    uint64_t stamp = ~uint64_t(0);     // under which `valid` was last decided
    bool valid = false;                // the folded cells hold their values for that stamp
    OperationRecord *chain = nullptr;  // copies of the records left after folding, and a terminator
    Vec<OperationRecord *> folded;     // the folded records, in the order they run
    jit::Code *code = nullptr;         // machine code for `chain`, when it could be made
    double (*entry)() = nullptr;       // its entry point
    bool entryGivesResult = false;     // the entry returns the value of the result cell
};

// True for routines the compiler may run once on constant operands.
bool isFoldableRoutine(intptr_t routine);
// Takes the foldable routines from the table as start-up left it.
void recordFoldableRoutines();

// Whether an operand is a constant while compiling: a literal, a named
// constant, or the result of a record already marked as foldable.
bool isConstantOperand(const ExprData *data, const Operand &operand);
// Marks a record whose operands are all constants and whose routine folds;
// its result cell then counts as a constant.
void noteFoldable(ExprData *data, OperationRecord *record);

// Builds the fast path of a freshly compiled pure chain (nothing when the chain
// is not pure or nothing folds and there is no code to make).
void buildFastPath(Item *expr);
// Frees what buildFastPath made.
void releaseFastPath(ExprData *data);
// Computes the folded records again for the current stamp; leaves `valid`
// false when one of them would fault under `word`, so the records run.
void refreshFastPath(FastPath &fast, uint16_t word);

// The fast path of a pure expression, ready for an evaluation under `word`,
// or nullptr when its records must run.
inline FastPath *readyFastPath(const ExprData *data, uint16_t word) {
    FastPath *fast = data->fast;
    if (!fast) return nullptr;
    if (fast->stamp != fastStamp(word)) refreshFastPath(*fast, word);
    return fast->valid ? fast : nullptr;
}

} // namespace nx
