// The arithmetic routines libNomix296 installs: the handshake's slots, power
// (integer and general paths), logarithm, square root and Extended addition,
// masked and with faults unmasked.
#include <cfloat>
#include <cstring>
#include <cmath>
#include <limits>

#include "../../nativemath/testing/fake_engine.h"

using namespace fake;

namespace {

constexpr long double kInf = std::numeric_limits<long double>::infinity();
constexpr long double kNaN = std::numeric_limits<long double>::quiet_NaN();

// Calls a two-operand Extended routine on fresh cells.
long double callExtended(intptr_t slot, long double x, long double y = 0) {
    long double result = -123;
    OperationRecord record = {reinterpret_cast<intptr_t>(&x), reinterpret_cast<intptr_t>(&y),
                              reinterpret_cast<intptr_t>(&result), 0, 0, 0};
    routine(slot)(&record);
    return result;
}

double callDouble(intptr_t slot, double x, double y = 0) {
    double result = -123;
    OperationRecord record = {reinterpret_cast<intptr_t>(&x), reinterpret_cast<intptr_t>(&y),
                              reinterpret_cast<intptr_t>(&result), 0, 0, 0};
    routine(slot)(&record);
    return result;
}

// NaN equals NaN, and zeros must agree in sign.
::testing::AssertionResult same(long double expected, long double actual) {
    bool equal = (std::isnan(expected) && std::isnan(actual)) ||
                 (expected == actual && std::signbit(expected) == std::signbit(actual));
    if (equal) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "expected " << expected << ", got " << actual;
}

} // namespace

class Routines : public Fixture {};

TEST_F(Routines, HandshakeInstallsNineSlotsInOrderThenFetchesRecovery) {
    std::vector<Command> calls = engine().commands;
    const intptr_t slots[] = {48, 59, 93, 95, 206, 215, 216, 150, 151};
    ASSERT_EQ(calls.size(), 10u);
    for (size_t i = 0; i < 9; ++i) {
        EXPECT_EQ(calls[i].code, nx_SetRoutine);
        EXPECT_EQ(calls[i].arg1, slots[i]);
        EXPECT_NE(calls[i].arg2, 0);
    }
    EXPECT_EQ(calls[9].code, nx_RoutineAddress);
    EXPECT_EQ(calls[9].arg1, 152);
}

TEST_F(Routines, PowerEdgeCases) {
    struct Case { long double x, y, expected; } cases[] = {
        {2, 10, 1024},           {2, -2, 0.25L},          {0, 0, 1},
        {0, 3, 0},               {-8, 3, -512},           {10, -1, 0.1L},
        {kNaN, 0, 1},            {-2, 0, 1},              {4, 0.5L, 2},
        {0, -2, kInf},           {0, -0.5L, kInf},        {kInf, 0.5L, kInf},
        {kInf, -0.5L, 0},        {0.5L, kInf, 0},         {2, kInf, kInf},
        {2, -kInf, 0},           {2, kNaN, kNaN},         {-8, 1.0L / 3, kNaN},
        {-1, 2147483647.0L, -1}, {-1, 2147483648.0L, kNaN},  // beyond 32 bits: general power
        {-1, 4294967296.0L, kNaN}, {2, 4294967296.0L, kInf},  {2, -4294967296.0L, 0},
        {2, 2147483647.0L, kInf}, {2, -2147483647.0L, 0},   {-2, 1e30L, kNaN},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.x << " ^ " << c.y);
        EXPECT_TRUE(same(c.expected, callExtended(59, c.x, c.y)));
        EXPECT_TRUE(same(double(c.expected), callDouble(206, double(c.x), double(c.y))));
    }
}

// 2^(y*log2 x) carries the rounding of y*log2 x into the result, so the
// Extended result drifts a few units of the last place as |y*log2 x| grows.
TEST_F(Routines, GeneralPowerAgreesWithTheLibrary) {
    struct Case { long double x, y; } cases[] = {
        {2, 0.5L}, {8, 1.0L / 3}, {10, 2.5L}, {1.5L, -7.25L}, {1e-300L, 0.001L}, {3, 100.5L},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.x << " ^ " << c.y);
        long double expected = std::pow(c.x, c.y);
        EXPECT_LE(std::fabs(callExtended(59, c.x, c.y) - expected), 1e-17L * expected);
        EXPECT_DOUBLE_EQ(callDouble(206, double(c.x), double(c.y)), double(expected));
    }
    EXPECT_LE(std::fabs(callExtended(59, 2, 0.5L) - std::sqrt(2.0L)), LDBL_EPSILON);
    EXPECT_EQ(callDouble(206, 2, 0.5), std::sqrt(2.0));
}

TEST_F(Routines, IntegerPowersAreBitExactWhereRepeatedMultiplyIsExact) {
    struct Case { long double x; int n; } cases[] = {
        {3, 40}, {-3, 39}, {1.5L, 20}, {10, 19}, {7, 22}, {-2, 63}, {0.5L, 16382}, {2, -1000},
        {-0.5L, -63}, {1, 2147483647}, {-1, -2147483647},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.x << " ^ " << c.n);
        long double expected = 1;
        int steps = c.n < 0 ? -c.n : c.n;
        long double factor = c.n < 0 ? 1 / c.x : c.x;  // exact for these bases
        for (int i = 0; i < steps && i < 20000; ++i) expected *= factor;
        if (steps > 20000) expected = (c.x < 0 && (steps & 1)) ? -1 : 1;
        EXPECT_TRUE(same(expected, callExtended(59, c.x, c.n)));
    }
}

TEST_F(Routines, LogarithmAndSquareRootTakeTheX87Results) {
    struct Case { long double x, ln, sqrt; } cases[] = {
        {1, 0, 1},            {4, 2 * std::log(2.0L), 2}, {0, -kInf, 0},
        {-0.0L, -kInf, -0.0L}, {-1, kNaN, kNaN},          {kInf, kInf, kInf},
        {-kInf, kNaN, kNaN},  {kNaN, kNaN, kNaN},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << "x = " << c.x);
        EXPECT_TRUE(same(c.ln, callExtended(93, c.x)));
        EXPECT_TRUE(same(c.sqrt, callExtended(95, c.x)));
        EXPECT_TRUE(same(double(c.ln), callDouble(215, double(c.x))));
        EXPECT_TRUE(same(double(c.sqrt), callDouble(216, double(c.x))));
    }
    EXPECT_LE(std::fabs(callExtended(93, std::exp(1.0L)) - 1), LDBL_EPSILON);
    EXPECT_EQ(callDouble(216, 2), std::sqrt(2.0));
}

TEST_F(Routines, ExtendedAdditionUsesTheFullPrecision) {
    struct Case { long double x, y, expected; } cases[] = {
        {1, 2, 3},
        {1, LDBL_EPSILON, 1 + LDBL_EPSILON},  // lost in a Double
        {LDBL_MAX, LDBL_MAX, kInf},
        {kInf, -kInf, kNaN},
    };
    for (const Case &c : cases) EXPECT_TRUE(same(c.expected, callExtended(48, c.x, c.y)));
}

TEST_F(Routines, ExtendedCellsAreTenBytesWide) {
    unsigned char cell[16];
    std::memset(cell, 0xAA, sizeof cell);
    long double x = 2, y = 3;
    OperationRecord record = {reinterpret_cast<intptr_t>(&x), reinterpret_cast<intptr_t>(&y),
                              reinterpret_cast<intptr_t>(cell), 0, 0, 0};
    routine(48)(&record);
    long double sum = 0;
    std::memcpy(&sum, cell, 10);
    EXPECT_EQ(sum, 5);
    for (int i = 10; i < 16; ++i) EXPECT_EQ(cell[i], 0xAA) << "byte " << i;
}

// With invalid operation, division by zero and overflow unmasked (0x332), the
// routines fault under the protected runner and the fault names the cause;
// results that exist (code 0) come out without a spurious fault.
TEST_F(Routines, UnmaskedFaultsReachRecovery) {
    constexpr uint32_t kNone = 0;
    struct Case { intptr_t slot; long double x, y; uint32_t code; long double expected = 77; } cases[] = {
        {59, -8, 1.0L / 3, 0xC0000090},  {59, 0, -2, 0xC000008E},     {59, 0, -0.5L, 0xC000008E},
        {59, 2, 20000, 0xC0000091},      {93, 0, 0, 0xC000008E},      {93, -1, 0, 0xC0000090},
        {95, -1, 0, 0xC0000090},         {48, LDBL_MAX, LDBL_MAX, 0xC0000091},
        {206, -8, 1.0L / 3, 0xC0000090}, {206, 10, 400, 0xC0000091},  {215, 0, 0, 0xC000008E},
        {216, -1, 0, 0xC0000090},
        {59, 1e2000L, 2, kNone, 1e4000L},  // squaring once more would overflow
        {59, 1e3000L, 1, kNone, 1e3000L},
        {59, 0.5L, 1e30L, kNone, 0},       // exponent beyond 64 bits: no invalid conversion
        {59, 0.5L, kInf, kNone, 0},
        {59, 4, 0.5L, kNone, 2},
        {206, 2, 10, kNone, 1024},
        {206, 2, kNaN, kNone, kNaN},       // a NaN exponent stays quiet
        {206, 1e200L, 2, 0xC0000091},      // the whole exponent's own path overflows too
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << "slot " << c.slot << " x " << c.x << " y " << c.y);
        engine().reset();
        bool isDouble = c.slot > 200;
        long double x = c.x, y = c.y, result = 77;
        double dx = double(c.x), dy = double(c.y), dresult = 77;
        Chain chain;
        chain.context.fpuWordEval = 0x0332;
        if (isDouble) chain.add(routine(c.slot), &dx, &dy, &dresult);
        else chain.add(routine(c.slot), &x, &y, &result);
        OperationRecord *first = chain.link();
        loadControlWord(0x0332);
        run(150, first);
        loadControlWord(0x037F);
        long double written = isDouble ? dresult : result;
        if (c.code == kNone) {
            EXPECT_TRUE(engine().recoveries.empty());
        } else {
            ASSERT_EQ(engine().recoveries.size(), 1u);
            EXPECT_EQ(engine().recoveries[0].failing, chain.at(0));
            EXPECT_EQ(engine().recoveries[0].code, c.code);
        }
        EXPECT_TRUE(same(written, isDouble ? double(c.expected) : c.expected));  // a faulting record writes nothing
    }
}
