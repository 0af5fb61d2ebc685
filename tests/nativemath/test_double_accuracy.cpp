// The Double logarithm, power and square root (slots 215, 206 and 216)
// against the x87 computation they replace where the C library or the
// processor's own Double arithmetic stands in for it: over twelve million operands spread across the domain, every result within one unit of
// the last place of the x87 Extended result rounded to a Double, the special
// values (zeros with their sign, infinities, NaNs) the same, and under the
// trapping word 0x0332 the same operands fault with the same codes.
#include <cfloat>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

#include "../../nativemath/testing/fake_engine.h"
#include "doublemath.h"

using namespace fake;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kDenormal = std::numeric_limits<double>::denorm_min();

// The x87 paths, built into this test from the library's own source.
void referenceLn(OperationRecord *r) {
    nm::writeDouble(r->Result, nm::doubleLnX87(nm::readDouble(r->Arg1)));
}
void referencePower(OperationRecord *r) {
    nm::writeDouble(r->Result, nm::doublePowerX87(nm::readDouble(r->Arg1), nm::readDouble(r->Arg2)));
}
void referenceSqrt(OperationRecord *r) { nm::writeDouble(r->Result, nm::doubleSqrtX87(nm::readDouble(r->Arg1))); }

NxRoutine referenceFor(int slot) { return slot == 215 ? referenceLn : slot == 216 ? referenceSqrt : referencePower; }

// A deterministic stream of 64-bit numbers (SplitMix64), the same on every machine.
class Bits {
public:
    explicit Bits(uint64_t seed) : state_(seed) {}
    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15u);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return z ^ (z >> 31);
    }
    double unit() { return double(next() >> 11) * 0x1p-53; }            // [0, 1)
    double between(double lo, double hi) { return lo + (hi - lo) * unit(); }
    int64_t whole(int64_t lo, int64_t hi) { return lo + int64_t(next() % uint64_t(hi - lo + 1)); }
    double positiveNormal() {
        return std::bit_cast<double>(0x0010000000000000u + next() % 0x7FE0000000000000u);
    }
    double denormal() { return std::bit_cast<double>(1 + next() % 0x000FFFFFFFFFFFFFu); }
    double nearOne() { return 1 + (unit() - 0.5) * std::ldexp(1.0, -int(whole(1, 52))); }
    template <size_t N> double pick(const double (&from)[N]) { return from[next() % N]; }

private:
    uint64_t state_;
};

const double kEdgeBases[] = {
    0, -0.0, 1, -1, 2, 0.5, -2, -8, 10, M_E, kDenormal, -kDenormal, 0x1p-1030, DBL_MIN,
    -DBL_MIN, DBL_MAX, -DBL_MAX, 1 + DBL_EPSILON, 1 - DBL_EPSILON / 2, kInf, -kInf, kNaN, -kNaN,
};
const double kEdgeExponents[] = {
    0, -0.0, 1, -1, 2, -2, 3, -3, 0.5, -0.5, 1.5, -2.5, 1.0 / 3, 100.5, -1074.5, 2147483647.0,
    -2147483647.0, 2147483648.0, 4294967296.0, 4294967297.0, 1e300, -1e300, DBL_MAX, -DBL_MAX,
    DBL_MIN, kDenormal, -kDenormal, kInf, -kInf, kNaN,
};

struct Operand {
    double x, y;
};

// One family of operands: the routine, how many, and how each is made (the
// index lets a family walk a fixed list).
struct Family {
    const char *name;
    int slot;
    size_t count;
    std::function<Operand(Bits &, size_t)> make;
};

const Family kFamilies[] = {
    {"ln: positive normals over every binade", 215, 3000000,
     [](Bits &b, size_t) { return Operand{b.positiveNormal(), 0}; }},
    {"ln: close to 1", 215, 1000000, [](Bits &b, size_t) { return Operand{b.nearOne(), 0}; }},
    {"ln: zeros, negatives, denormals, infinities, NaNs", 215, 40000,
     [](Bits &b, size_t i) {
         double x = i % 3 == 0 ? b.denormal() : i % 3 == 1 ? -b.positiveNormal() : b.pick(kEdgeBases);
         return Operand{x, 0};
     }},
    {"ln: edges", 215, std::size(kEdgeBases),
     [](Bits &, size_t i) { return Operand{kEdgeBases[i], 0}; }},
    {"power: fractional exponents, results from underflow to overflow", 206, 3000000,
     [](Bits &b, size_t) {
         double x = b.positiveNormal();
         double t = b.between(-1080, 1030);  // log2 of the result
         return Operand{x, x == 1 ? 0.5 : t / std::log2(x)};
     }},
    {"power: bases close to 1, large exponents", 206, 1000000,
     [](Bits &b, size_t) { return Operand{b.nearOne(), b.between(-0.5, 0.5) * std::ldexp(1.0, int(b.whole(0, 62)))}; }},
    {"power: half exponents", 206, 1000000,
     [](Bits &b, size_t) { return Operand{b.between(0x1p-8, 0x1p8), double(b.whole(-200, 200)) + 0.5}; }},
    {"power: small exponents", 206, 1000000,
     [](Bits &b, size_t) { return Operand{b.positiveNormal(), b.between(-1, 1) * std::ldexp(1.0, -int(b.whole(0, 60)))}; }},
    {"power: whole exponents, also beyond 32 bits", 206, 500000,
     [](Bits &b, size_t i) {
         double y = i % 4 == 0 ? 2147483648.0 + double(b.whole(0, 1 << 30)) : double(b.whole(-1100, 1100));
         return Operand{b.between(0.5, 2), y};
     }},
    {"power: negative bases with whole exponents", 206, 500000,
     [](Bits &b, size_t) { return Operand{-b.between(0x1p-10, 0x1p10), double(b.whole(-100, 100))}; }},
    {"power: zero, negative, denormal and non-finite operands", 206, 40000,
     [](Bits &b, size_t i) {
         double x = i % 3 == 0 ? b.denormal() : i % 3 == 1 ? -b.positiveNormal() : b.pick(kEdgeBases);
         double y = i % 2 == 0 ? b.between(-3, 3) : b.pick(kEdgeExponents);
         return Operand{x, y};
     }},
    {"power: squares over every binade, overflow and underflow included", 206, 1000000,
     [](Bits &b, size_t i) { return Operand{i % 2 ? b.positiveNormal() : -b.positiveNormal(), 2}; }},
    {"square root: positive normals over every binade", 216, 1000000,
     [](Bits &b, size_t) { return Operand{b.positiveNormal(), 0}; }},
    {"square root: zeros, negatives, denormals, infinities, NaNs", 216, 40000,
     [](Bits &b, size_t i) {
         double x = i % 3 == 0 ? b.denormal() : i % 3 == 1 ? -b.positiveNormal() : b.pick(kEdgeBases);
         return Operand{x, 0};
     }},
    {"power: edges, every base with every exponent", 206, std::size(kEdgeBases) * std::size(kEdgeExponents),
     [](Bits &, size_t i) {
         return Operand{kEdgeBases[i / std::size(kEdgeExponents)], kEdgeExponents[i % std::size(kEdgeExponents)]};
     }},
};

// Within one unit of the last place; zeros, infinities and NaNs exactly alike
// (a zero's sign counts, a NaN's payload does not).
bool agree(double expected, double actual) {
    if (std::isnan(expected) || std::isnan(actual)) return std::isnan(expected) && std::isnan(actual);
    if (expected == 0 || actual == 0 || std::isinf(expected) || std::isinf(actual))
        return std::bit_cast<uint64_t>(expected) == std::bit_cast<uint64_t>(actual);
    if (std::signbit(expected) != std::signbit(actual)) return false;
    int64_t a = int64_t(std::bit_cast<uint64_t>(expected) & ~(uint64_t(1) << 63));
    int64_t b = int64_t(std::bit_cast<uint64_t>(actual) & ~(uint64_t(1) << 63));
    return (a > b ? a - b : b - a) <= 1;
}

// What one batch of operands gave under one word: each result cell (a faulting
// record writes nothing, so its cell keeps the marker) and each fault's record
// index and code.
struct Outcome {
    std::vector<double> results;
    std::vector<std::pair<size_t, uint32_t>> faults;
};

constexpr double kUnwritten = -12345.678;

// The sanitizer build looks for memory faults, not for accuracy: a twentieth
// of each large family keeps its run within minutes there.
#ifdef NOMIX_SANITIZE
constexpr size_t kShare = 20;
#else
constexpr size_t kShare = 1;
#endif

size_t operandCount(const Family &family) {
    return family.count < 100000 ? family.count : family.count / kShare;
}

Outcome runBatch(NxRoutine routineToRun, std::vector<Operand> &operands, uint16_t word) {
    Outcome outcome;
    outcome.results.assign(operands.size(), kUnwritten);
    engine().reset();
    Chain chain;
    chain.context.fpuWordEval = word;
    for (size_t i = 0; i < operands.size(); ++i)
        chain.add(routineToRun, &operands[i].x, &operands[i].y, &outcome.results[i]);
    OperationRecord *first = chain.link();
    loadControlWord(word);
    run(150, first);
    loadControlWord(0x037F);
    for (const Recovery &r : engine().recoveries)
        outcome.faults.push_back({size_t(r.failing - first), r.code});
    return outcome;
}

class DoubleAccuracy : public Fixture {};

} // namespace

TEST_F(DoubleAccuracy, LibraryResultsStayWithinOneUnitAndFaultAlike) {
    constexpr size_t kBatch = 4096;
    size_t total = 0;
    Bits bits(20261209);
    for (const Family &family : kFamilies) {
        SCOPED_TRACE(family.name);
        NxRoutine library = routine(family.slot);
        NxRoutine reference = referenceFor(family.slot);
        size_t mismatches = 0;
        const size_t count = operandCount(family);
        std::vector<Operand> operands;
        for (size_t start = 0; start < count; start += kBatch) {
            operands.clear();
            for (size_t i = start; i < std::min(count, start + kBatch); ++i)
                operands.push_back(family.make(bits, i));
            for (uint16_t word : {uint16_t(0x033F), uint16_t(0x0332)}) {
                Outcome expected = runBatch(reference, operands, word);
                Outcome actual = runBatch(library, operands, word);
                EXPECT_EQ(expected.faults, actual.faults) << "word " << word << ", batch at " << start;
                for (size_t i = 0; i < operands.size(); ++i) {
                    if (agree(expected.results[i], actual.results[i])) continue;
                    if (++mismatches <= 5)
                        ADD_FAILURE() << std::hexfloat << "word " << word << ": x " << operands[i].x
                                      << " y " << operands[i].y << ": x87 " << expected.results[i]
                                      << ", library " << actual.results[i];
                }
            }
        }
        EXPECT_EQ(mismatches, 0u);
        total += count;
    }
    EXPECT_GE(total, 10000000u / kShare);
}

// Under any other word (another rounding or precision, or a fault the library
// raises where the x87 may not: inexact, underflow, denormal) both routines
// keep the x87 path: the same bits and the same faults as before (4^0.5 and
// ln 1 are exact: the x87 raises no inexact fault for them, the library might).
TEST_F(DoubleAccuracy, OtherWordsKeepTheX87BitForBit) {
    const uint16_t words[] = {0x0F3F, 0x073F, 0x0B3F, 0x027F, 0x033D, 0x0322, 0x031F};
    Bits bits(7);
    for (uint16_t word : words) {
        SCOPED_TRACE(::testing::Message() << "word " << std::hex << word);
        for (int slot : {215, 206, 216}) {
            std::vector<Operand> operands = {{4, 0.5}, {1, 0.5}, {0x1p-1060, 1.5}, {1e300, 1.5}};
            for (int i = 0; i < 2000; ++i)
                operands.push_back({i % 2 ? bits.positiveNormal() : bits.between(0.5, 2), bits.between(-1100, 1100)});
            Outcome expected = runBatch(referenceFor(slot), operands, word);
            Outcome actual = runBatch(routine(slot), operands, word);
            EXPECT_EQ(expected.faults, actual.faults) << "slot " << slot;
            for (size_t i = 0; i < operands.size(); ++i)
                ASSERT_EQ(std::bit_cast<uint64_t>(expected.results[i]), std::bit_cast<uint64_t>(actual.results[i]))
                    << "slot " << slot << std::hexfloat << ": x " << operands[i].x << " y " << operands[i].y;
        }
    }
}
