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

// Compares reals, NaN equal to NaN.
void expectSame(long double expected, long double actual, const std::string &what) {
    if (std::isnan(expected))
        EXPECT_TRUE(std::isnan(actual)) << what << " gave " << actual;
    else
        EXPECT_EQ(expected, actual) << what;
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

TEST(RoutineTable, EmptyAndOutOfRangeSlotsGiveSlotZero) {
    initRoutineTable();
    const intptr_t zero = routineAddress(0);
    ASSERT_NE(zero, 0);
    for (intptr_t slot : {-1, 221, 5, 100000, -100000}) EXPECT_EQ(routineAddress(slot), zero) << slot;
    EXPECT_GE(routineTableSize(), 221);
}

TEST(RoutineTable, HoldsARoutineInEveryListedSlotAndNothingElsewhere) {
    initRoutineTable();
    std::set<int> empty = {5, 11, 12, 21, 22, 25, 32, 34, 35, 36, 94, 106, 114, 118, 119, 121, 200, 217, 220,
                           196, 197};  // 196/197 are bound by the definition side
    for (int s = 136; s <= 139; ++s) empty.insert(s);
    for (int s = 144; s <= 149; ++s) empty.insert(s);
    for (int s = 155; s <= 189; ++s) empty.insert(s);
    for (int s = 192; s <= 194; ++s) empty.insert(s);
    for (int slot = 21; slot <= 220; ++slot)
        EXPECT_EQ(routineSlotContent(slot) == 0, empty.count(slot) == 1) << "slot " << slot;
    for (int slot = 1; slot <= 20; ++slot)
        EXPECT_EQ(routineSlotContent(slot), reinterpret_cast<intptr_t>(typeHandlerForSlot(slot))) << slot;
}

TEST(RoutineTable, SpecialSlotsHoldCellsRunnersAndRecovery) {
    initRoutineTable();
    EXPECT_EQ(routineSlotContent(110), reinterpret_cast<intptr_t>(emptyStringCell()));
    EXPECT_EQ(routineSlotContent(111), reinterpret_cast<intptr_t>(trueCell()));
    EXPECT_LT(reinterpret_cast<uintptr_t>(trueCell()), uintptr_t(1) << 31);
    EXPECT_EQ(routineSlotContent(152), reinterpret_cast<intptr_t>(&ExceptionHelper));
    EXPECT_EQ(routineSlotContent(153), reinterpret_cast<intptr_t>(&errorMessageBuilder));
    // Unless libNomix296 replaced them, both runners are the plain one.
    if (!nativeMathLoaded()) {
        EXPECT_EQ(routineSlotContent(150), reinterpret_cast<intptr_t>(&runChain));
        EXPECT_EQ(routineSlotContent(151), reinterpret_cast<intptr_t>(&runChain));
    }
}

TEST(RoutineTable, SettingASlotBeyondTheTableDoublesItsNumber) {
    initRoutineTable();
    std::vector<intptr_t> before;
    for (int s = 0; s <= 220; ++s) before.push_back(routineSlotContent(s));
    const intptr_t marker = 0x1234;
    setRoutine(300, marker);
    EXPECT_EQ(routineTableSize(), 600);
    EXPECT_EQ(routineAddress(300), marker);
    EXPECT_EQ(routineAddress(599), routineAddress(0));
    for (int s = 0; s <= 220; ++s) EXPECT_EQ(routineSlotContent(s), before[s]) << s;
    setRoutine(-3, marker);  // ignored
    setRoutine(intptr_t(1) << 40, marker);  // ignored, instead of exhausting memory
    EXPECT_EQ(routineTableSize(), 600);
    setRoutine(300, 0);
    EXPECT_EQ(routineAddress(300), routineAddress(0));
}

TEST(RoutineTable, SlotZeroReportsAnUndefinedCallback) {
    MessageLog log;
    Chain c;
    c.call(0, 0, 0, 0);
    ASSERT_EQ(MessageLog::seen.size(), 1u);
    EXPECT_EQ(MessageLog::seen[0].first, "Undefined Callback");
    EXPECT_EQ(MessageLog::seen[0].second, "Nomix Fast Math Parser 2.96");
}

// ---- arithmetic ----

struct BinaryCase {
    int slot;
    long double x, y, expected;
};

TEST(ExtendedRoutines, ComputeInExtendedPrecision) {
    const BinaryCase cases[] = {
        {43, 2.5L, 0, -2.5L},        {44, 7, 0, 7},
        {45, 250, 0, 2.5L},          {48, 0.1L, 0.2L, 0.1L + 0.2L},
        {51, 1, 3, -2},              {53, 1.5L, 4, 6},
        {56, 1, 3, 1.0L / 3},        {56, 1, 0, kInf},
        {56, 0, 0, kNaN},            {58, 5.5L, 2, 1.5L},
        {58, -5.5L, 2, -1.5L},       {58, 5, 0, 0},
        {58, 7, -2, 1},              {59, 2, 10, 1024},
        {59, 2, 0.5L, std::sqrt(2.0L)},
    };
    for (const auto &k : cases) {
        Chain c;
        intptr_t result = c.ext(-99);
        c.call(k.slot, c.ext(k.x), c.ext(k.y), result);
        expectSame(k.expected, rt::extAt(result), "slot " + std::to_string(k.slot));
    }
}

TEST(ExtendedRoutines, PowerWithALongExponentIsExactAndSixtyOneDoesNothing) {
    struct Case { long double x; int32_t n; long double expected; } cases[] = {
        {2, 10, 1024}, {2, -2, 0.25L}, {3, 0, 1}, {0, 0, 1}, {-2, 3, -8}, {2, 63, 9223372036854775808.0L},
        {2, std::numeric_limits<int32_t>::min(), 0},
    };
    for (const auto &k : cases) {
        Chain c;
        intptr_t result = c.ext(-99);
        c.call(60, c.ext(k.x), c.lng(k.n), result);
        EXPECT_EQ(rt::extAt(result), k.expected) << k.x << "^" << k.n;
    }
    Chain c;
    intptr_t result = c.ext(42);
    c.call(61, c.ext(1), c.ext(2), result);
    EXPECT_EQ(rt::extAt(result), 42);
}

TEST(DoubleRoutines, ComputeInDouble) {
    const BinaryCase cases[] = {
        {201, 0.1L, 0.2L, 0.1 + 0.2}, {202, 1, 3, -2},        {203, 1.5L, 4, 6},
        {204, 1, 3, 1.0 / 3},         {204, -1, 0, -kInf},    {205, 5.5L, 2, 1.5L},
        {205, 5, 0, 0},               {205, -7, 2, -1},       {206, 2, 10, 1024},
    };
    for (const auto &k : cases) {
        Chain c;
        intptr_t result = c.dbl(-99);
        c.call(k.slot, c.dbl(double(k.x)), c.dbl(double(k.y)), result);
        expectSame(k.expected, rt::dblAt(result), "slot " + std::to_string(k.slot));
    }
    Chain c;
    intptr_t result = c.dbl(0);
    c.call(207, c.dbl(0.5), c.lng(-3), result);
    EXPECT_EQ(rt::dblAt(result), 8.0);
}

TEST(LongRoutines, WrapAroundAndTruncateTowardZero) {
    const int32_t kMax = std::numeric_limits<int32_t>::max(), kMin = std::numeric_limits<int32_t>::min();
    struct Case { int slot; int32_t x, y, expected; } cases[] = {
        {47, 2, 3, 5},       {47, kMax, 1, kMin},  {50, -1, kMin, kMax}, {52, 65536, 65536, 0},
        {52, -3, 7, -21},    {55, 7, 2, 3},        {55, -7, 2, -3},      {55, 7, -2, -3},
        {55, kMin, 1, kMin}, {57, -7, 2, -1},      {57, 7, -2, 1},       {57, 7, 7, 0},
    };
    for (const auto &k : cases) {
        Chain c;
        intptr_t result = c.lng(-99);
        c.call(k.slot, c.lng(k.x), c.lng(k.y), result);
        EXPECT_EQ(rt::lngAt(result), k.expected) << "slot " << k.slot << ": " << k.x << ", " << k.y;
    }
}

TEST(ComplexRoutines, FollowTheComplexProductRule) {
    struct Case { int slot; long double xre, xim, yre, yim, re, im; } cases[] = {
        {49, 1, 2, 3, 4, 4, 6},
        {54, 1, 2, 3, 4, -5, 10},
        {54, 0, 1, 0, 1, -1, 0},
        {190, 5, 0, 3, 4, 8, 4},
        {191, 2, 0, 3, 4, 6, 8},
    };
    for (const auto &k : cases) {
        Chain c;
        intptr_t result = c.complex(-9, -9);
        bool realX = k.slot >= 190;
        c.call(k.slot, realX ? c.ext(k.xre) : c.complex(k.xre, k.xim), c.complex(k.yre, k.yim), result);
        EXPECT_EQ(rt::extAt(result), k.re) << "slot " << k.slot;
        EXPECT_EQ(rt::extAt(result + 10), k.im) << "slot " << k.slot;
    }
}

// ---- conversions ----

TEST(Conversions, ToIntegersRoundToEvenAndKeepTheLowBits) {
    struct Case { int slot; long double x; int32_t expected; } cases[] = {
        {40, 2.5L, 2},   {40, 3.5L, 4},  {40, -2.5L, -2},       {40, -3.5L, -4},
        {40, 2.4999L, 2}, {40, 4294967297.0L, 1}, {40, -1, -1}, {40, 2147483648.0L, std::numeric_limits<int32_t>::min()},
        {218, 2.5L, 2},  {218, 3.5L, 4}, {218, -0.5L, 0},
        {89, 2.1L, 3},   {89, -2.9L, -2}, {212, 2.1L, 3},       {212, -2.9L, -2},
    };
    for (const auto &k : cases) {
        Chain c;
        intptr_t result = c.lng(-99);
        intptr_t x = k.slot == 218 || k.slot == 212 ? c.dbl(double(k.x)) : c.ext(k.x);
        c.call(k.slot, x, 0, result);
        EXPECT_EQ(rt::lngAt(result), k.expected) << "slot " << k.slot << " of " << k.x;
    }
    Chain c;
    intptr_t word = c.lng(0);
    c.call(39, c.ext(70000.5L), 0, word);
    EXPECT_EQ(nx::load<uint16_t>(nx::cellAt(word)), 70000 & 0xFFFF);
}

TEST(Conversions, IntoExtendedReadEachCellFormat) {
    Chain c;
    struct Case { int slot; intptr_t cell; long double expected; } cases[] = {
        {24, c.dbl(0.1), static_cast<long double>(0.1)},
        {26, c.lng(0xFF), 255},
        {27, c.lng(0xFFFF), -1},
        {28, c.lng(0xFFFF), 65535},
        {29, c.lng(-5), -5},
        {30, c.lng(-1), 4294967295.0L},
        {33, c.cell(), 0},
        {219, c.lng(-7), -7},
    };
    for (const auto &k : cases) {
        intptr_t result = c.ext(-99);
        c.call(k.slot, k.cell, 0, result);
        long double got = k.slot == 219 ? rt::dblAt(result) : rt::extAt(result);
        EXPECT_EQ(got, k.expected) << "slot " << k.slot;
    }
    intptr_t quad = c.cell();
    nx::store<int64_t>(nx::cellAt(quad), -(int64_t(1) << 40));
    intptr_t result = c.ext(0);
    c.call(31, quad, 0, result);
    EXPECT_EQ(rt::extAt(result), -1099511627776.0L);

    intptr_t dbl = c.dbl(0), sgl = c.cell();
    c.call(37, c.ext(1.0L / 3), 0, dbl);
    EXPECT_EQ(rt::dblAt(dbl), 1.0 / 3);
    c.call(38, c.ext(1.0L / 3), 0, sgl);
    EXPECT_EQ(nx::load<float>(nx::cellAt(sgl)), 1.0f / 3);
}

TEST(Conversions, ComplexKeepsOnlyTheRealPartAndWarnsOfLoss) {
    MessageLog log;
    Chain c;
    intptr_t result = c.ext(0);
    c.call(41, c.complex(3, 0), 0, result);
    EXPECT_EQ(rt::extAt(result), 3);
    EXPECT_TRUE(MessageLog::seen.empty());
    c.call(41, c.complex(3, 4), 0, result);
    EXPECT_EQ(rt::extAt(result), 3);
    ASSERT_EQ(MessageLog::seen.size(), 1u);
    EXPECT_EQ(MessageLog::seen[0].first, "Data loss");

    intptr_t complex = c.complex(7, 1);  // an imaginary part left over from before
    c.call(42, c.ext(5), 0, complex);
    EXPECT_EQ(rt::extAt(complex), 5);
    EXPECT_EQ(rt::extAt(complex + 10), 0);
}

// ---- comparisons and logic ----

TEST(Comparisons, GiveZeroForTrueUntilTheHostSetsTheTrueValue) {
    TrueValue unset(0);
    for (int slot = 62; slot <= 67; ++slot) {
        Chain c;
        intptr_t result = c.lng(-1);
        c.call(slot, c.ext(1), c.ext(1), result);
        EXPECT_EQ(rt::lngAt(result), 0) << slot;
    }
}

TEST(Comparisons, ReadTheFlagsAsTheProcessorSetsThem) {
    TrueValue one(1);
    // Columns: >, >=, <, <=, =, <>. A NaN compares as both below and equal.
    struct Case { long double x, y; int expected[6]; } cases[] = {
        {2, 1, {1, 1, 0, 0, 0, 1}},
        {1, 2, {0, 0, 1, 1, 0, 1}},
        {1, 1, {0, 1, 0, 1, 1, 0}},
        {kNaN, 1, {0, 0, 1, 1, 1, 0}},
        {1, kNaN, {0, 0, 1, 1, 1, 0}},
        {-kInf, kInf, {0, 0, 1, 1, 0, 1}},
        {0.0L, -0.0L, {0, 1, 0, 1, 1, 0}},
    };
    for (const auto &k : cases)
        for (int i = 0; i < 6; ++i) {
            Chain c;
            intptr_t result = c.lng(-1);
            c.call(62 + i, c.ext(k.x), c.ext(k.y), result);
            EXPECT_EQ(rt::lngAt(result), k.expected[i]) << "slot " << 62 + i << " on " << k.x << ", " << k.y;
        }
}

TEST(Comparisons, OfStringsAreBytewiseUnsignedWithTheShorterFirst) {
    TrueValue one(7);
    // Columns: >, >=, <, <=, =, <>.
    struct Case { const char *x, *y; int expected[6]; } cases[] = {
        {"abd", "abc", {7, 7, 0, 0, 0, 7}},
        {"ab", "abc", {0, 0, 7, 7, 0, 7}},
        {"", "", {0, 7, 0, 7, 7, 0}},
        {"\xe9", "z", {7, 7, 0, 0, 0, 7}},
        {"B", "a", {0, 0, 7, 7, 0, 7}},
    };
    for (const auto &k : cases)
        for (int i = 0; i < 6; ++i) {
            Chain c;
            intptr_t result = c.lng(-1);
            c.call(68 + i, c.str(k.x), c.str(k.y), result);
            EXPECT_EQ(rt::lngAt(result), k.expected[i]) << "slot " << 68 + i << " on " << k.x << ", " << k.y;
        }
}

TEST(Logic, WorksOnAllThirtyTwoBits) {
    struct Case { int slot; int32_t x, y, expected; } cases[] = {
        {74, 0, 0, -1},   {74, 1, 0, -2},      {75, 12, 10, 8},    {76, 12, 10, 14},
        {77, 12, 10, 6},  {78, 12, 10, ~6},    {79, 12, 10, ~12 | 10}, {79, 0, 0, -1},
    };
    for (const auto &k : cases) {
        Chain c;
        intptr_t result = c.lng(99);
        c.call(k.slot, c.lng(k.x), c.lng(k.y), result);
        EXPECT_EQ(rt::lngAt(result), k.expected) << "slot " << k.slot;
    }
}

// ---- functions ----

// Selects an angle unit for one test and goes back to radians afterwards.
struct AngleUnit {
    explicit AngleUnit(int unit) { setAngleUnit(unit); }
    ~AngleUnit() { setAngleUnit(1); }
};

TEST(Trigonometry, FollowsTheAngleUnit) {
    struct Case { int unit, slot; long double x, expected; } cases[] = {
        {2, 85, 90, 1},   {2, 88, 1, 45},   {2, 86, 0, 1},   {3, 85, 100, 1},  {3, 88, 1, 50},
        {1, 88, 1, std::atan(1.0L)},      {2, 208, 90, 1}, {2, 211, 1, 45},  {3, 208, 100, 1},
        {2, 209, 0, 1},   {1, 214, 0, 1},   {1, 216, 16, 4}, {1, 93, 1, 0},     {1, 92, 0, 1},
    };
    for (const auto &k : cases) {
        AngleUnit unit(k.unit);
        Chain c;
        bool dbl = k.slot > 200;
        intptr_t result = dbl ? c.dbl(-9) : c.ext(-9);
        c.call(k.slot, dbl ? c.dbl(double(k.x)) : c.ext(k.x), 0, result);
        long double got = dbl ? rt::dblAt(result) : rt::extAt(result);
        EXPECT_EQ(got, k.expected) << "unit " << k.unit << " slot " << k.slot << " of " << k.x;
    }
    AngleUnit degrees(2);
    Chain c;
    intptr_t result = c.ext(0);
    c.call(87, c.ext(45), 0, result);
    EXPECT_NEAR(static_cast<double>(rt::extAt(result)), 1.0, 1e-15);
}

TEST(Trigonometry, AnUnknownUnitChangesNothing) {
    AngleUnit degrees(2);
    for (int unit : {0, 4, -1}) {
        setAngleUnit(unit);
        EXPECT_EQ(angleUnit(), 2);
        Chain c;
        intptr_t result = c.ext(0);
        c.call(85, c.ext(90), 0, result);
        EXPECT_EQ(rt::extAt(result), 1);
    }
}

TEST(Functions, IntFracSgnAndAbs) {
    struct Case { int slot; long double x, expected; } cases[] = {
        {115, -2.5L, -3}, {115, 2.5L, 2},    {116, -2.5L, -0.5L}, {116, 3.25L, 0.25L},
        {117, -7, -1},    {117, 0, 0},       {117, 1e-4000L, 1},   {90, -3, 3},
        {117, kNaN, 0},
    };
    for (const auto &k : cases) {
        Chain c;
        intptr_t result = c.ext(-99);
        c.call(k.slot, c.ext(k.x), 0, result);
        EXPECT_EQ(rt::extAt(result), k.expected) << "slot " << k.slot << " of " << k.x;
    }
    Chain c;
    intptr_t result = c.lng(0);
    c.call(91, c.lng(-5), 0, result);
    EXPECT_EQ(rt::lngAt(result), 5);
    c.call(91, c.lng(std::numeric_limits<int32_t>::min()), 0, result);
    EXPECT_EQ(rt::lngAt(result), std::numeric_limits<int32_t>::min());
}

TEST(Functions, FactorialsComeFromATableOfExtendedValues) {
    struct Case { int32_t n; long double expected; } cases[] = {
        {0, 1}, {1, 1}, {5, 120}, {20, 2432902008176640000.0L}, {1751, kNaN}, {-1, kNaN},
    };
    for (const auto &k : cases) {
        Chain c;
        intptr_t result = c.ext(0);
        c.call(82, c.lng(k.n), 0, result);
        expectSame(k.expected, rt::extAt(result), std::to_string(k.n) + "!");
    }
    for (int32_t n : {170, 1000, 1750}) {
        Chain c;
        intptr_t result = c.ext(0);
        c.call(82, c.lng(n), 0, result);
        EXPECT_TRUE(std::isfinite(rt::extAt(result))) << n;
        EXPECT_GT(rt::extAt(result), 7.2e306L) << n;
    }
}

// Rand on one Extended argument, or on two Longs.
long double rand1(long double x) {
    Chain c;
    intptr_t result = c.ext(-1);
    intptr_t arg = c.ext(x);
    c.call(198, arg, 0, result, c.args({arg}));
    return rt::extAt(result);
}
long double rand2(int32_t x, int32_t y) {
    Chain c;
    intptr_t result = c.ext(-1);
    intptr_t a = c.lng(x), b = c.lng(y);
    c.call(198, a, b, result, c.args({a, b}));
    return rt::extAt(result);
}

TEST(Rand, ReseedsRepeatsAndAdvancesAsTheGeneratorSays) {
    long double first = rand1(-5);
    EXPECT_EQ(first, 1005581598.0L / 4294967296.0L);  // (-5 * 1664525 + 1013904223) / 2^32
    EXPECT_EQ(rand1(-5), first);
    EXPECT_EQ(rand1(0), first);
    long double next = rand1(1);
    EXPECT_EQ(next, std::fmod(1005581598.0L * 1664525 + 1013904223, 4294967296.0L) / 4294967296.0L);
    EXPECT_EQ(rand1(0), next);
    for (int i = 0; i < 1000; ++i) {
        long double v = rand1(1);
        EXPECT_GE(v, 0);
        EXPECT_LT(v, 1);
    }
}

TEST(Rand, WithTwoArgumentsGivesWholeNumbersInTheRange) {
    rand1(-5);
    std::set<long double> seen;
    for (int i = 0; i < 600; ++i) {
        long double v = rand2(1, 6);
        EXPECT_EQ(v, std::floor(v));
        EXPECT_GE(v, 1);
        EXPECT_LE(v, 6);
        seen.insert(v);
    }
    EXPECT_EQ(seen.size(), 6u);
}

// ---- strings ----

TEST(Strings, ConcatenationReplacesTheResultAndLeaksNothing) {
    Chain c;
    intptr_t x = c.str("abc"), y = c.str("de"), empty = c.str(""), result = c.str("old");
    OperationRecord *joinXY = c.add(46, x, y, result), *joinEmpty = c.add(46, empty, empty, result),
                    *appendX = c.add(46, result, x, result), *doubled = c.add(46, result, result, result);
    auto run = [](OperationRecord *r) { reinterpret_cast<NxRoutine>(r->Routine)(r); };
    int64_t live = heapLiveBlocks();
    run(joinXY);
    EXPECT_EQ(rt::strAt(result), "abcde");
    run(joinEmpty);
    EXPECT_EQ(cellStr(cellAt(result)), sharedEmpty());
    run(appendX);  // the result is also an operand
    run(doubled);
    EXPECT_EQ(rt::strAt(result), "abcabc");
    EXPECT_EQ(heapLiveBlocks(), live);  // "old" freed, "abcabc" new: one block either way
}

TEST(Strings, AscAndChrWorkOnUnsignedBytes) {
    struct Case { const char *text; int32_t position, expected; } cases[] = {
        {"ABC", 1, 65}, {"ABC", 3, 67}, {"ABC", 0, 0}, {"ABC", 4, 0}, {"", 1, 0}, {"\xe9", 1, 233},
    };
    for (const auto &k : cases) {
        Chain c;
        intptr_t result = c.lng(-1);
        c.call(103, c.str(k.text), c.lng(k.position), result);
        EXPECT_EQ(rt::lngAt(result), k.expected) << k.text << " at " << k.position;
    }
    Chain c;
    intptr_t result = c.str("");
    c.call(104, c.lng(65), 0, result);
    EXPECT_EQ(rt::strAt(result), "A");
    c.call(104, c.lng(0x141), 0, result);
    EXPECT_EQ(rt::strAt(result), "A");
    c.call(104, c.lng(0), 0, result);
    EXPECT_EQ(rt::strAt(result), std::string_view("\0", 1));
}

TEST(Strings, CopyToAndFromMemory) {
    Chain c;
    intptr_t buffer = c.cell(16);
    int32_t address = static_cast<int32_t>(buffer);
    c.call(113, c.lng(address), c.str("hello"), 0);
    intptr_t result = c.str("");
    c.call(112, c.lng(address + 1), c.lng(3), result);
    EXPECT_EQ(rt::strAt(result), "ell");
    for (int32_t length : {0, -4}) {
        c.call(112, c.lng(address), c.lng(length), result);
        EXPECT_EQ(rt::strAt(result), "");
    }
    c.call(112, c.lng(0), c.lng(5), result);
    EXPECT_EQ(rt::strAt(result), "");
    c.call(113, c.lng(0), c.str("ignored"), 0);  // no crash
}

TEST(Strings, BaseConvertReadsDigitsOfAnyBaseUpTo36) {
    struct Case { const char *number; int32_t base; long double expected; } cases[] = {
        {"1010", 2, 10},   {"ff", 16, 255},   {"FF", 16, 255},   {"7.4", 8, 7.5L}, {"1.1", 2, 1.5L},
        {".8", 16, 0.5L},  {"z", 36, 35},     {"", 10, 0},       {"12", 2, kNaN},  {"1.2.3", 10, kNaN},
        {"-1", 10, kNaN},  {"1 0", 2, kNaN},  {"g", 16, kNaN},   {"10.", 10, 10},
    };
    for (const auto &k : cases) {
        Chain c;
        intptr_t result = c.ext(-1);
        c.call(96, c.str(k.number), c.lng(k.base), result);
        expectSame(k.expected, rt::extAt(result), std::string(k.number) + " base " + std::to_string(k.base));
    }
}

} // namespace
