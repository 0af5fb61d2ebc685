// Chains that cannot fault. With every floating-point fault masked, the
// engine's arithmetic, comparison and conversion routines work only on the
// cells the compiler laid out and never raise a processor exception; a chain
// made of them alone runs the same with or without a protected region, so
// evaluations skip the region's cost for it.
#include <algorithm>
#include <vector>

#include "compiler.h"
#include "fpu.h"
#include "routines.h"

namespace nx {

namespace {

// Routine slots whose routines (the engine's, and libNomix296's after its
// handshake) are leaf computations on the fixed cells the compiler laid out:
// with every fault masked they cannot raise a signal for any operand. Integer
// division and Mod (55, 57), conversions to integers (39, 40, 218, and Int
// and Ceil, 89 and 212, which round to a Long), Complex to Extended (41, which
// may warn the user), natives, loops, everything that
// evaluates sub-expressions, goes through text, or reads through an address or
// a handle are not among them: they run under the protected runner.
constexpr int kPureSlots[] = {
    24, 26, 27, 28, 29, 30, 31, 33, 37, 38, 42,                      // conversions to reals
    43, 44, 45, 47, 48, 49, 50, 51, 52, 53, 54, 56, 58, 59, 60, 61,  // Extended, Long, Complex
    62, 63, 64, 65, 66, 67, 74, 75, 76, 77, 78, 79,                  // comparisons, logic
    82, 85, 86, 87, 88, 90, 91, 92, 93, 95, 115, 116, 117,           // functions
    190, 191, 198,                                                   // Complex, Rand
    201, 202, 203, 204, 205, 206, 207, 208, 209, 210, 211, 213, 214, 215, 216, 219,
};

std::vector<intptr_t> &pureRoutines() {
    static std::vector<intptr_t> routines;
    return routines;
}

intptr_t recordedDoublePower = 0;
NxRoutine recordedProtectedRunner = nullptr;

std::vector<intptr_t> &knownRunners() {
    static std::vector<intptr_t> runners;
    return runners;
}

} // namespace

// Takes the addresses the pure slots and the runner slots hold right after
// start-up (the engine's own routines and libNomix296's), before any host can
// put routines of its own there.
void recordPureRoutines() {
    pureRoutines() = sortedSlotContents(kPureSlots, reinterpret_cast<intptr_t>(&squareDoubleRoutine));
    recordedDoublePower = nativeMathLoaded() ? routineSlotContent(206) : 0;
    knownRunners() = {reinterpret_cast<intptr_t>(&runChain), routineSlotContent(150), routineSlotContent(151)};
    recordedProtectedRunner =
        nativeMathLoaded() ? reinterpret_cast<NxRoutine>(routineSlotContent(150)) : nullptr;
    refreshRunnerKnown();
}

intptr_t nativeDoublePower() { return recordedDoublePower; }

// A host's routine joins the pure ones (see nxDeclarePure).
void declarePure(intptr_t routine) {
    auto &routines = pureRoutines();
    auto at = std::lower_bound(routines.begin(), routines.end(), routine);
    if (routine && (at == routines.end() || *at != routine)) routines.insert(at, routine);
}

// Under a word that rounds to nearest at 64-bit precision and masks the
// inexact, underflow and denormal faults, the square is the processor's Double
// product (one rounding, as libNomix296's Double power squares); under any
// other word the Double is loaded, squared and stored by the x87 (fwait
// charges an unmasked overflow of the store to this record), exactly the
// integer power's one multiplication for the exponent 2.
void squareDoubleRoutine(OperationRecord *r) {
    if ((x87ControlWord() & 0x0F32u) == 0x0332u) {
        double x = load<double>(cellAt(r->Arg1));
        store<double>(cellAt(r->Result), x * x);
        return;
    }
    __asm__ volatile("fldl (%0)\n\t"
                     "fmul %%st(0), %%st\n\t"
                     "fstpl (%1)\n\t"
                     "fwait"
                     :
                     : "r"(r->Arg1), "r"(r->Result)
                     : "memory", "st");
}

// libNomix296's protected runner, taken at start-up; null without the library.
NxRoutine protectedRunner() { return recordedProtectedRunner; }

// True for the runners taken at start-up (the engine's and libNomix296's).
bool isKnownRunner(NxRoutine runner) {
    const auto &known = knownRunners();
    return std::find(known.begin(), known.end(), reinterpret_cast<intptr_t>(runner)) != known.end();
}

bool isPureChain(const OperationRecord *first) {
    const auto &routines = pureRoutines();
    for (const OperationRecord *r = first; r && r->Routine; r = reinterpret_cast<const OperationRecord *>(r->Next))
        if (!std::binary_search(routines.begin(), routines.end(), r->Routine)) return false;
    return true;
}


} // namespace nx

extern "C" NX_API void nxDeclarePure(NxRoutine routine) { nx::declarePure(reinterpret_cast<intptr_t>(routine)); }
