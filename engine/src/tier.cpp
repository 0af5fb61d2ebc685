// The compiled tier: the records of a folded pure chain turned into machine
// code. The Double arithmetic of the table runs inline, the Double functions
// of the C library are called directly, and every other routine is called with
// its own record, so the code computes exactly what the records compute.
#include <algorithm>
#include <bit>
#include <cmath>
#include <vector>

#include "fold.h"
#include "fpu.h"
#include "jit.h"
#include "routines.h"

namespace nx {

namespace {

// When code may use a routine's stand-in.
enum class Needs : uint8_t {
    Nothing,
    Radians,      // the routine scales by the angle unit: bare calls are right in radians
    LibraryWord,  // the routine uses the processor or the C library only under a word that
                  // rounds to nearest at 64-bit precision and masks inexact, underflow, denormal
};

// How the code computes one of the table's routines.
struct KnownRoutine {
    int slot;  // 0: the Double square the compiler puts in place of x^2
    jit::Op op;
    const void *function = nullptr;  // for Call1 and Call2
    Needs needs = Needs::Nothing;
};

// The C library's own entry points, called straight from the code (no
// wrapper, no stub in between).
using Unary = double (*)(double);
const Unary libSin = &::sin, libCos = &::cos, libAtan = &::atan, libExp = &::exp;
double tangent(double x) { return std::sin(x) / std::cos(x); }

// libNomix296's Double logarithm and power as they stand at start-up (their
// records' routines), for the operands the C library does not serve.
NxRoutine tableLn = nullptr, tablePower = nullptr;

// A positive normal Double, tested on its bits (no NaN can fault here).
bool positiveNormal(double x) {
    return std::bit_cast<uint64_t>(x) - 0x0010000000000000u < 0x7FE0000000000000u;
}

// A finite exponent that is not a whole number.
bool fractional(double y) { return std::fabs(y) < 0x1p52 && double(int64_t(y)) != y; }

// Runs a table routine on Double operands (machine code is entered only with
// the word in the x87, so its x87 path computes as the records' would).
double viaRoutine(NxRoutine routine, double x, double y) {
    double result = 0;
    OperationRecord r{};
    r.Arg1 = reinterpret_cast<intptr_t>(&x);
    r.Arg2 = reinterpret_cast<intptr_t>(&y);
    r.Result = reinterpret_cast<intptr_t>(&result);
    routine(&r);
    return result;
}

// The Double logarithm and power as libNomix296 computes them under the
// library word: the C library for the operands it serves, the routine itself
// (its x87 path) for the rest.
double logarithm(double x) { return positiveNormal(x) ? std::log(x) : viaRoutine(tableLn, x, 0); }
// A whole exponent within 32 bits, as libNomix296 tells one (a NaN or a huge
// y is refused before the conversion, which would raise a fault).
bool wholeExponent(double y, int64_t &n) {
    if (!std::islessequal(std::fabs(y), 2147483647.0)) return false;
    n = static_cast<int64_t>(y);
    return static_cast<double>(n) == y;
}

// x^n in Extended by squaring, as libNomix296's integer power computes it
// (the same x87 products in the same order, so the same bits once rounded).
long double wholePower(long double x, int64_t n) {
    uint64_t bits = n < 0 ? 0 - uint64_t(n) : uint64_t(n);
    long double result = 1.0L, square = x;
    while (bits != 0) {
        if (bits & 1) result *= square;
        bits >>= 1;
        if (bits != 0) square *= square;
    }
    return n < 0 ? 1.0L / result : result;
}

double power(double x, double y) {
    if (positiveNormal(x) && fractional(y)) return std::pow(x, y);
    int64_t n = 0;
    if (wholeExponent(y, n)) return n == 2 ? x * x : static_cast<double>(wholePower(x, n));
    return viaRoutine(tablePower, x, y);
}

template <class F> const void *fn(F *f) { return reinterpret_cast<const void *>(f); }

// The Double routines that run without their records. In radians the angle
// factors are 1 and the records' scaling changes no bit, so the trigonometric
// routines become the bare C library calls.
const KnownRoutine kKnown[] = {
    {201, jit::Op::Add},
    {202, jit::Op::Sub},
    {203, jit::Op::Mul},
    {204, jit::Op::Div},
    {213, jit::Op::Abs},
    {0, jit::Op::Square, nullptr, Needs::LibraryWord},
    {216, jit::Op::Sqrt, nullptr, Needs::LibraryWord},
    {208, jit::Op::Call1, fn(libSin), Needs::Radians},
    {209, jit::Op::Call1, fn(libCos), Needs::Radians},
    {210, jit::Op::Call1, fn(&tangent), Needs::Radians},
    {211, jit::Op::Call1, fn(libAtan), Needs::Radians},
    {214, jit::Op::Call1, fn(libExp)},
};

// The same for libNomix296's logarithm and power, known only with the library.
const KnownRoutine kLibrary[] = {
    {215, jit::Op::Call1, fn(&logarithm), Needs::LibraryWord},
    {206, jit::Op::Call2, fn(&power), Needs::LibraryWord},
};

struct KnownAddress {
    intptr_t routine;
    const KnownRoutine *known;
};

std::vector<KnownAddress> &knownAddresses() {
    static std::vector<KnownAddress> addresses;
    return addresses;
}

const KnownRoutine *knownRoutine(intptr_t routine) {
    for (const KnownAddress &k : knownAddresses())
        if (k.routine == routine) return k.known;
    return nullptr;
}

// What the code made so far relies on.
struct Reliance {
    bool radians = false;
    bool libraryWord = false;
};

// One record as a step: computed inline, by a direct call, or by calling its
// routine with the record.
jit::Step stepFor(OperationRecord *r, Reliance &relies) {
    jit::Step step;
    step.x = reinterpret_cast<const void *>(r->Arg1);
    step.y = reinterpret_cast<const void *>(r->Arg2);
    step.result = reinterpret_cast<void *>(r->Result);
    const KnownRoutine *known = knownRoutine(r->Routine);
    if (known && (known->needs != Needs::Radians || angleUnit() == 1)) {
        step.op = known->op;
        step.fn = known->function;
        relies.radians = relies.radians || known->needs == Needs::Radians;
        relies.libraryWord = relies.libraryWord || known->needs == Needs::LibraryWord;
        return step;
    }
    step.op = jit::Op::CallRecord;
    step.fn = reinterpret_cast<const void *>(r->Routine);
    step.record = r;
    return step;
}

} // namespace

void recordCompiledRoutines() {
    auto &addresses = knownAddresses();
    addresses.clear();
    for (const KnownRoutine &k : kKnown) {
        intptr_t routine = k.slot ? routineSlotContent(k.slot) : reinterpret_cast<intptr_t>(&squareDoubleRoutine);
        if (routine) addresses.push_back({routine, &k});
    }
    tableLn = reinterpret_cast<NxRoutine>(routineSlotContent(215));
    tablePower = reinterpret_cast<NxRoutine>(routineSlotContent(206));
    if (!nativeMathLoaded() || !tableLn || !tablePower) return;
    for (const KnownRoutine &k : kLibrary) addresses.push_back({routineSlotContent(k.slot), &k});
}

// Machine code for the fast path's chain, kept when it could be made. Code
// that calls the trigonometric functions bare is right in radians only.
void compileFastPath(FastPath &fast, const Item *expr) {
    std::vector<jit::Step> steps;
    Reliance relies;
    for (OperationRecord *r = fast.chain; r && r->Routine; r = reinterpret_cast<OperationRecord *>(r->Next))
        steps.push_back(stepFor(r, relies));
    installMachineCodeNet();
    std::unique_ptr<jit::Code> code = jit::compile(steps, machineCodeFlagOffset());
    if (!code) return;
    fast.codeEntry = code->entry();
    fast.code = std::move(code);
    fast.radiansOnly = relies.radians;
    fast.libraryWordOnly = relies.libraryWord;
    const jit::Step &last = steps.back();
    fast.entryGivesResult = last.op != jit::Op::CallRecord && expr->address &&
                            reinterpret_cast<intptr_t>(last.result) == expr->address;
}

} // namespace nx
