// Constant folding. While an expression compiles, a record whose routine is one
// of the table's own leaf computations and whose operands are all constants is
// marked; once the chain is complete, a pure chain gets a second chain without
// those records, whose results then sit in their cells. The folded records are
// run again whenever the stamp they were run under no longer holds, and the
// records themselves run instead whenever a folded one would fault under the
// evaluation's control word: a folded value never hides a fault.
#include "fold.h"

#include <algorithm>
#include <vector>

#include "cells.h"
#include "fpu.h"
#include "jit.h"
#include "routines.h"

namespace nx {

std::atomic<uint32_t> foldGenerationCounter{1};

namespace {

// Slots whose routines compute their result cell from their operand cells
// alone (with the angle unit and the control word): conversions between real
// types, Extended, Long, Double and Complex arithmetic, and the numeric
// functions. Rand keeps a seed, comparisons and logic store the host's true
// value, and everything else reads through addresses or may warn the user.
constexpr int kFoldableSlots[] = {
    24, 26, 27, 28, 29, 30, 31, 33, 37, 38, 42,                 // conversions to reals
    43, 44, 45, 47, 48, 49, 50, 51, 52, 53, 54, 56, 58, 59, 60,  // Extended, Long, Complex
    82, 85, 86, 87, 88, 90, 91, 92, 93, 95, 115, 116, 117,      // functions
    190, 191,                                                   // Extended with Complex
    201, 202, 203, 204, 205, 206, 207, 208, 209, 210, 211, 213, 214, 215, 216, 219,
};

// Comparisons and logic: no side effect, but they store the host's true value.
constexpr int kRepeatableSlots[] = {62, 63, 64, 65, 66, 67, 74, 75, 76, 77, 78, 79};

std::vector<intptr_t> &foldableRoutines() {
    static std::vector<intptr_t> routines;
    return routines;
}

std::vector<intptr_t> &repeatableRoutines() {
    static std::vector<intptr_t> routines;
    return routines;
}

bool isRepeatableRoutine(intptr_t routine) {
    const auto &routines = repeatableRoutines();
    return isFoldableRoutine(routine) || std::binary_search(routines.begin(), routines.end(), routine);
}

bool isRepeatableChain(const OperationRecord *r) {
    for (; r && r->Routine; r = reinterpret_cast<const OperationRecord *>(r->Next))
        if (!isRepeatableRoutine(r->Routine)) return false;
    return true;
}

// Saves both units' control state, loads `word` with every fault masked and
// the flags cleared, and puts the saved state back at the end.
class MaskedWords {
public:
    explicit MaskedWords(uint16_t word) {
        __asm__ volatile("fnstcw %0\n\tstmxcsr %1" : "=m"(x87_), "=m"(mxcsr_));
        uint16_t masked = word | 0x3Fu;
        uint32_t mxcsr = mxcsrControlFor(masked);
        __asm__ volatile("fnclex\n\tfldcw %0\n\tldmxcsr %1" : : "m"(masked), "m"(mxcsr));
    }
    ~MaskedWords() {
        __asm__ volatile("fnclex\n\tfldcw %0\n\tldmxcsr %1" : : "m"(x87_), "m"(mxcsr_));
    }
    MaskedWords(const MaskedWords &) = delete;
    MaskedWords &operator=(const MaskedWords &) = delete;

    // The fault flags raised since the constructor, in both units (the x87
    // status word and MXCSR use the same six bits).
    static uint32_t raised() {
        uint16_t status;
        uint32_t mxcsr;
        __asm__ volatile("fnstsw %0\n\tstmxcsr %1" : "=m"(status), "=m"(mxcsr));
        return (uint32_t(status) | mxcsr) & 0x3Fu;
    }

private:
    uint16_t x87_ = 0;
    uint32_t mxcsr_ = 0;
};

// A copy of a record for the folded chain: the same fields, its own link.
OperationRecord *copyRecord(ExprData *data, const OperationRecord *r) {
    auto *copy = static_cast<OperationRecord *>(data->carve(sizeof(OperationRecord)));
    *copy = *r;
    copy->Next = 0;
    return copy;
}

} // namespace

void recordFoldableRoutines() {
    foldableRoutines() = sortedSlotContents(kFoldableSlots, reinterpret_cast<intptr_t>(&squareDoubleRoutine));
    repeatableRoutines() = sortedSlotContents(kRepeatableSlots);
    recordCompiledRoutines();
}

FastPath::FastPath() = default;
FastPath::~FastPath() = default;

bool isFoldableRoutine(intptr_t routine) {
    const auto &routines = foldableRoutines();
    return std::binary_search(routines.begin(), routines.end(), routine);
}

bool isConstantOperand(const Operand &operand) {
    const Item *item = operand.item;
    if (!item || operand.dynamic || !item->address) return false;
    if (item->has(flag::Constant) && !item->has(flag::Variable) && operand.code.empty()) return true;
    return item->folded;
}

void noteFoldable(ExprData *data, OperationRecord *record, Item *result) {
    if (!record->Result) return;
    data->foldable.push_back(record);
    if (result) result->folded = true;
}

void refreshFastPath(ExprData &data, const ThreadContext *ctx) {
    FastPath &fast = *data.fast;
    uint16_t word = ctx->fpuWordEval;
    fast.stamp = fastStamp(ctx);
    fast.valid = true;
    uint32_t raised = 0;
    if (!fast.folded.empty()) {
        MaskedWords masked(word);
        for (OperationRecord *r : fast.folded) reinterpret_cast<NxRoutine>(r->Routine)(r);
        raised = MaskedWords::raised();
    }
    // A flag whose fault the word leaves unmasked means the records must run,
    // so that the fault is raised by the record that causes it.
    fast.valid = (raised & ~uint32_t(word) & 0x3Fu) == 0;
    bool codeFits = (!fast.radiansOnly || angleUnit() == 1) && (!fast.libraryWordOnly || (word & 0x0F32u) == 0x0332u);
    fast.entry = fast.valid && codeFits ? fast.codeEntry : nullptr;
    bool hot = fast.entry && fast.entryGivesResult && (word & 0x3Fu) == 0x3Fu && ctx->fpuWordAfter == word &&
               currentRunnerKnown();
    data.hot = {hot ? fast.entry : nullptr, foldGeneration(), word};
}

namespace {

// The chain without its folded records: copies of the others and of the
// terminator; false for a broken chain.
bool foldChain(ExprData *data, OperationRecord *chain, FastPath &fast) {
    std::vector<OperationRecord *> marked(data->foldable.begin(), data->foldable.end());
    std::sort(marked.begin(), marked.end());
    Code kept;
    OperationRecord *r = chain;
    for (; r && r->Routine; r = reinterpret_cast<OperationRecord *>(r->Next)) {
        if (std::binary_search(marked.begin(), marked.end(), r))
            fast.folded.push_back(r);
        else
            kept.append(copyRecord(data, r));
    }
    if (!r) return false;
    kept.append(copyRecord(data, r));  // the terminator, naming the same context
    fast.chain = kept.first;
    return true;
}

} // namespace

void buildFastPath(Item *expr) {
    auto *data = static_cast<ExprData *>(expr->extra);
    if (!data || !data->pure || !expr->chain || !expr->context || !chainEnd(expr->chain)) return;
    auto *fast = heapNew<FastPath>();
    fast->chain = expr->chain;
    if (!data->foldable.empty() && !foldChain(data, expr->chain, *fast)) {
        heapDelete(fast);
        return;
    }
    Vec<OperationRecord *>().swap(data->foldable);
    fast->repeatable = isRepeatableChain(expr->chain);
    compileFastPath(*fast, expr);
    data->fast = fast;
    refreshFastPath(*data, expr->context);
}

void releaseFastPath(ExprData *data) {
    if (!data || !data->fast) return;
    data->hot = {};
    heapDelete(data->fast);
    data->fast = nullptr;
}

} // namespace nx
