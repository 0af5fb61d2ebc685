// The routine table and the numeric and string routines, called on hand-built
// records: tables of operands against expected results.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>
#include <string>

#include "test_rt_support.h"

using namespace nx;
using rt::Chain;

namespace {

const long double kNaN = std::numeric_limits<long double>::quiet_NaN();
const long double kInf = std::numeric_limits<long double>::infinity();
const int32_t kMax = std::numeric_limits<int32_t>::max(), kMin = std::numeric_limits<int32_t>::min();

// An operand or result: its cell format and value.
enum class F { None, Ext, Dbl, Lng, Str };
struct V {
    F f;
    long double n;
    const char *s;
};
V E(long double n) { return {F::Ext, n, nullptr}; }
V D(double n) { return {F::Dbl, n, nullptr}; }
V L(int32_t n) { return {F::Lng, static_cast<long double>(n), nullptr}; }
V S(const char *s) { return {F::Str, 0, s}; }
const V N{F::None, 0, nullptr};

intptr_t cellFor(Chain &c, V v) {
    switch (v.f) {
    case F::Ext: return c.ext(v.n);
    case F::Dbl: return c.dbl(static_cast<double>(v.n));
    case F::Lng: return c.lng(static_cast<int32_t>(v.n));
    case F::Str: return c.str(v.s);
    case F::None: return 0;
    }
    return 0;
}

std::string show(V v) { return v.s ? std::string(v.s) : std::to_string(static_cast<double>(v.n)); }

// Calls routine `slot` on x and y and compares its result with `expected`.
void check(int slot, V x, V y, V expected, std::string_view what = {}) {
    Chain c;
    intptr_t result = expected.f == F::Str ? c.str("old") : c.ext(-12345);
    c.call(slot, cellFor(c, x), cellFor(c, y), result);
    std::string label = "slot " + std::to_string(slot) + " on " + show(x) + ", " + show(y) + " " + std::string(what);
    long double got = 0;
    switch (expected.f) {
    case F::Str: EXPECT_EQ(rt::strAt(result), expected.s) << label; return;
    case F::Ext: got = rt::extAt(result); break;
    case F::Dbl: got = rt::dblAt(result); break;
    case F::Lng: got = rt::lngAt(result); break;
    case F::None: return;
    }
    if (std::isnan(expected.n))
        EXPECT_TRUE(std::isnan(got)) << label << " gave " << static_cast<double>(got);
    else
        EXPECT_EQ(got, expected.n) << label;
}

// Captures the engine's messages for one test.
struct MessageLog {
    static inline std::vector<std::pair<std::string, std::string>> seen;
    static void capture(const char *text, const char *caption) { seen.emplace_back(text, caption); }
    MessageLog() {
        seen.clear();
        nxSetMessageCallback(&capture);
    }
    ~MessageLog() { nxSetMessageCallback(nullptr); }
};

// Sets the true value for one test and puts it back afterwards.
struct TrueValue {
    int32_t saved;
    explicit TrueValue(int32_t v) : saved(*trueCell()) { *trueCell() = v; }
    ~TrueValue() { *trueCell() = saved; }
};

// ---- the table ----

TEST(RoutineTable, HoldsARoutineInEveryListedSlotAndSlotZerosElsewhere) {
    initRoutineTable();
    std::set<int> empty = {5, 11, 12, 21, 22, 25, 32, 34, 35, 36, 94, 106, 114, 118, 119, 121, 200, 217, 220,
                           196, 197};  // 196/197 are bound by the definition side
    for (auto [from, to] : {std::pair{136, 139}, std::pair{144, 149}, std::pair{155, 189}, std::pair{192, 194}})
        for (int s = from; s <= to; ++s) empty.insert(s);
    for (int slot = 21; slot <= 220; ++slot)
        EXPECT_EQ(routineSlotContent(slot) == 0, empty.count(slot) == 1) << "slot " << slot;
    for (int slot = 1; slot <= 20; ++slot)
        EXPECT_EQ(routineSlotContent(slot), reinterpret_cast<intptr_t>(typeHandlerForSlot(slot))) << slot;
    EXPECT_EQ(routineSlotContent(110), reinterpret_cast<intptr_t>(emptyStringCell()));
    EXPECT_EQ(routineSlotContent(111), reinterpret_cast<intptr_t>(trueCell()));
    EXPECT_EQ(routineSlotContent(152), reinterpret_cast<intptr_t>(&ExceptionHelper));
    const intptr_t zero = routineAddress(0);
    ASSERT_NE(zero, 0);
    for (intptr_t slot : {-1, 221, 5, 100000}) EXPECT_EQ(routineAddress(slot), zero) << slot;
}

TEST(RoutineTable, SettingASlotBeyondTheTableDoublesItsNumber) {
    initRoutineTable();
    std::vector<intptr_t> before;
    for (int s = 0; s <= 220; ++s) before.push_back(routineSlotContent(s));
    setRoutine(300, 0x1234);
    EXPECT_EQ(routineTableSize(), 600);
    EXPECT_EQ(routineAddress(300), 0x1234);
    EXPECT_EQ(routineAddress(599), routineAddress(0));
    for (int s = 0; s <= 220; ++s) EXPECT_EQ(routineSlotContent(s), before[s]) << s;
    setRoutine(-3, 1);                   // ignored
    setRoutine(intptr_t(1) << 40, 1);    // ignored, instead of exhausting memory
    EXPECT_EQ(routineTableSize(), 600);
    setRoutine(300, 0);
}

TEST(RoutineTable, SlotZeroReportsAnUndefinedCallback) {
    MessageLog log;
    Chain c;
    c.call(0, 0, 0, 0);
    ASSERT_EQ(MessageLog::seen.size(), 1u);
    EXPECT_EQ(MessageLog::seen[0].first, "Undefined Callback");
    EXPECT_EQ(MessageLog::seen[0].second, "Nomix Fast Math Parser 2.96");
}

// ---- one table for the leaf routines ----

TEST(Routines, ComputeWhatTheirSlotPromises) {
    const struct {
        int slot;
        V x, y, expected;
    } cases[] = {
        // Extended: Mod keeps the sign of x and gives 0 for a zero divisor.
        {45, E(250), N, E(2.5L)},       {56, E(1), E(0), E(kInf)},      {56, E(0), E(0), E(kNaN)},
        {58, E(5.5L), E(2), E(1.5L)},   {58, E(-5.5L), E(2), E(-1.5L)}, {58, E(5), E(0), E(0)},
        {59, E(2), E(10), E(1024)},     {60, E(2), L(-2), E(0.25L)},    {60, E(2), L(63), E(9223372036854775808.0L)},
        {60, E(2), L(kMin), E(0)},
        // Double.
        {204, D(-1), D(0), D(-kInf)},   {205, D(5.5), D(2), D(1.5)},    {205, D(5), D(0), D(0)},
        {205, D(-7), D(2), D(-1)},      {207, D(0.5), L(-3), D(8)},
        // Long: 32-bit wrap-around, quotients truncated toward zero.
        {47, L(kMax), L(1), L(kMin)},   {52, L(65536), L(65536), L(0)}, {55, L(7), L(2), L(3)},
        {55, L(-7), L(2), L(-3)},       {55, L(7), L(-2), L(-3)},       {57, L(-7), L(2), L(-1)},
        {57, L(7), L(-2), L(1)},
        // To integers: nearest, ties to even, low bits kept.
        {40, E(2.5L), N, L(2)},         {40, E(3.5L), N, L(4)},         {40, E(-2.5L), N, L(-2)},
        {40, E(4294967297.0L), N, L(1)}, {40, E(2147483648.0L), N, L(kMin)}, {218, D(2.5), N, L(2)},
        {218, D(3.5), N, L(4)},         {89, E(-2.9L), N, L(-2)},       {212, D(2.1), N, L(3)},
        // Into and out of Extended.
        {30, L(-1), N, E(4294967295.0L)}, {27, L(0xFFFF), N, E(-1)},   {26, L(0x1FF), N, E(255)},
        {37, E(1.0L / 3), N, D(1.0 / 3)}, {219, L(-7), N, D(-7)},
        // Logic on 32 bits.
        {74, L(0), N, L(-1)},           {78, L(12), L(10), L(~6)},      {79, L(12), L(10), L(~12 | 10)},
        // Functions.
        {115, E(-2.5L), N, E(-3)},      {116, E(-2.5L), N, E(-0.5L)},   {117, E(-7), N, E(-1)},
        {117, E(kNaN), N, E(0)},        {91, L(-5), N, L(5)},           {91, L(kMin), N, L(kMin)},
        {82, L(0), N, E(1)},            {82, L(20), N, E(2432902008176640000.0L)},
        {82, L(1751), N, E(kNaN)},      {82, L(-1), N, E(kNaN)},
        // Strings.
        {46, S("abc"), S("de"), S("abcde")}, {46, S(""), S(""), S("")},
        {103, S("ABC"), L(3), L(67)},   {103, S("\xe9"), L(1), L(233)}, {103, S("ABC"), L(4), L(0)},
        {103, S("ABC"), L(0), L(0)},    {104, L(0x141), N, S("A")},
        // BaseConvert: digits below the base, one point; anything else a NaN.
        {96, S("1010"), L(2), E(10)},   {96, S("ff"), L(16), E(255)},   {96, S("7.4"), L(8), E(7.5L)},
        {96, S(".8"), L(16), E(0.5L)},  {96, S("z"), L(36), E(35)},     {96, S(""), L(10), E(0)},
        {96, S("12"), L(2), E(kNaN)},   {96, S("1.2.3"), L(10), E(kNaN)}, {96, S("-1"), L(10), E(kNaN)},
    };
    for (const auto &k : cases) check(k.slot, k.x, k.y, k.expected);
}

TEST(Routines, ComplexArithmeticAndItsConversions) {
    Chain c;
    intptr_t r = c.complex(-9, -9);
    c.call(54, c.complex(1, 2), c.complex(3, 4), r);
    EXPECT_EQ(rt::extAt(r), -5);
    EXPECT_EQ(rt::extAt(r + 10), 10);
    c.call(191, c.ext(2), c.complex(3, 4), r);
    EXPECT_EQ(rt::extAt(r), 6);
    EXPECT_EQ(rt::extAt(r + 10), 8);
    c.call(42, c.ext(5), 0, r);  // a real has no imaginary part: the old one goes
    EXPECT_EQ(rt::extAt(r), 5);
    EXPECT_EQ(rt::extAt(r + 10), 0);

    MessageLog log;
    intptr_t real = c.ext(0);
    c.call(41, c.complex(3, 0), 0, real);
    EXPECT_TRUE(MessageLog::seen.empty());
    c.call(41, c.complex(3, 4), 0, real);
    EXPECT_EQ(rt::extAt(real), 3);
    ASSERT_EQ(MessageLog::seen.size(), 1u);
    EXPECT_EQ(MessageLog::seen[0].first, "Data loss");
}

// ---- comparisons ----

TEST(Comparisons, GiveZeroForTrueUntilTheHostSetsTheTrueValue) {
    TrueValue unset(0);
    for (int slot = 62; slot <= 67; ++slot) check(slot, E(1), E(1), L(0));
}

TEST(Comparisons, ReadTheFlagsAsTheProcessorSetsThem) {
    TrueValue seven(7);
    // Columns: >, >=, <, <=, =, <>. A NaN compares as both below and equal.
    const struct { V x, y; int holds[6]; } cases[] = {
        {E(2), E(1), {1, 1, 0, 0, 0, 1}},     {E(1), E(1), {0, 1, 0, 1, 1, 0}},
        {E(kNaN), E(1), {0, 0, 1, 1, 1, 0}},  {E(1), E(kNaN), {0, 0, 1, 1, 1, 0}},
        {E(0), E(-0.0L), {0, 1, 0, 1, 1, 0}},
        // Strings: bytes unsigned, the shorter first on an equal prefix.
        {S("abd"), S("abc"), {1, 1, 0, 0, 0, 1}}, {S("ab"), S("abc"), {0, 0, 1, 1, 0, 1}},
        {S(""), S(""), {0, 1, 0, 1, 1, 0}},       {S("\xe9"), S("z"), {1, 1, 0, 0, 0, 1}},
    };
    for (const auto &k : cases)
        for (int i = 0; i < 6; ++i) check((k.x.f == F::Str ? 68 : 62) + i, k.x, k.y, L(k.holds[i] ? 7 : 0));
}

// ---- functions with process-wide state ----

TEST(Trigonometry, FollowsTheAngleUnit) {
    const struct { int unit, slot; V x, expected; } cases[] = {
        {2, 85, E(90), E(1)}, {2, 88, E(1), E(45)}, {3, 85, E(100), E(1)}, {1, 88, E(1), E(std::atan(1.0L))},
        {2, 208, D(90), D(1)}, {2, 211, D(1), D(45)}, {3, 209, D(0), D(1)},
    };
    for (const auto &k : cases) {
        setAngleUnit(k.unit);
        check(k.slot, k.x, N, k.expected, "unit " + std::to_string(k.unit));
    }
    setAngleUnit(2);
    for (int unknown : {0, 4}) setAngleUnit(unknown);
    EXPECT_EQ(angleUnit(), 2);
    check(85, E(90), N, E(1), "after unknown units");
    setAngleUnit(1);
}

TEST(Factorial, IsFiniteUpTo1750) {
    for (int32_t n : {170, 1750}) {
        Chain c;
        intptr_t result = c.ext(0);
        c.call(82, c.lng(n), 0, result);
        EXPECT_TRUE(std::isfinite(rt::extAt(result))) << n;
        EXPECT_GT(rt::extAt(result), 7.2e306L) << n;
    }
}

// Rand with one Extended argument, or with two Longs.
long double rand(std::initializer_list<long double> xs) {
    Chain c;
    intptr_t result = c.ext(-1);
    std::vector<intptr_t> cells;
    for (long double x : xs) cells.push_back(xs.size() == 1 ? c.ext(x) : c.lng(static_cast<int32_t>(x)));
    intptr_t list = cells.size() == 1 ? c.args({cells[0]}) : c.args({cells[0], cells[1]});
    c.call(198, cells[0], cells.size() > 1 ? cells[1] : 0, result, list);
    return rt::extAt(result);
}

TEST(Rand, ReseedsRepeatsAndAdvancesAsTheGeneratorSays) {
    const long double first = rand({-5});
    EXPECT_EQ(first, 1005581598.0L / 4294967296.0L);  // (-5 * 1664525 + 1013904223) / 2^32
    EXPECT_EQ(rand({-5}), first);
    EXPECT_EQ(rand({0}), first);
    EXPECT_EQ(rand({1}), std::fmod(1005581598.0L * 1664525 + 1013904223, 4294967296.0L) / 4294967296.0L);
    std::set<long double> dice;
    for (int i = 0; i < 600; ++i) {
        long double v = rand({1, 6});
        EXPECT_TRUE(v == std::floor(v) && v >= 1 && v <= 6) << v;
        dice.insert(v);
    }
    EXPECT_EQ(dice.size(), 6u);
}

// ---- strings ----

TEST(Strings, ConcatenationReplacesTheResultAndLeaksNothing) {
    Chain c;
    intptr_t x = c.str("abc"), result = c.str("old");
    OperationRecord *appendX = c.add(46, result, x, result), *doubled = c.add(46, result, result, result);
    auto run = [](OperationRecord *r) { reinterpret_cast<NxRoutine>(r->Routine)(r); };
    int64_t live = heapLiveBlocks();
    run(appendX);  // the result is also an operand
    run(doubled);
    EXPECT_EQ(rt::strAt(result), "oldabcoldabc");
    EXPECT_EQ(heapLiveBlocks(), live);  // "old" freed, the new text in its place
}

TEST(Strings, CopyToAndFromMemory) {
    Chain c;
    const int32_t address = static_cast<int32_t>(c.cell(16));
    c.call(113, c.lng(address), c.str("hello"), 0);
    const struct { int32_t address, length; const char *expected; } cases[] = {
        {address + 1, 3, "ell"}, {address, 0, ""}, {address, -4, ""}, {0, 5, ""},
    };
    for (const auto &k : cases) check(112, L(k.address), L(k.length), S(k.expected));
    c.call(113, c.lng(0), c.str("ignored"), 0);  // a null address is refused
}

} // namespace
