// Loading libNomix296 from the engine's directory: the slots it takes over and
// the fault recovery its protected runner gives the engine's chains.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "compiler.h"
#include "test_rt_support.h"

using namespace nx;
using rt::Chain;

namespace {

intptr_t verdict = 0;
intptr_t answer(intptr_t) { return verdict; }

// Starts the engine, which loads the library; tests skip when it is absent.
bool loadLibrary() {
    if (!defaultContext()) command(nx_Initialize, {}, 0, 0, 0, 0);
    if (nativeMathLoaded()) selectRunner(150);
    return nativeMathLoaded();
}

TEST(NativeMath, TakesOverItsNineSlotsAndLoadsOnlyOnce) {
    initRoutineTable();
    const int slots[] = {48, 59, 93, 95, 206, 215, 216, 150, 151};
    std::vector<intptr_t> before;
    for (int s : slots) before.push_back(routineSlotContent(s));
    const intptr_t divide = routineSlotContent(55);
    if (!loadLibrary()) GTEST_SKIP() << "libNomix296.so is not next to the tests";
    for (size_t i = 0; i < std::size(slots); ++i)
        EXPECT_NE(routineSlotContent(slots[i]), before[i]) << "slot " << slots[i];
    EXPECT_EQ(routineSlotContent(55), divide);
    EXPECT_EQ(currentRunner(), reinterpret_cast<NxRoutine>(routineSlotContent(150)));
    const intptr_t runner = routineSlotContent(150);
    loadNativeMath();
    EXPECT_EQ(routineSlotContent(150), runner);
}

// A chain: a = 1 + 2; b = 7 \ 0 (faults); c = 3 + 4. The handler's verdict
// decides what happens after the fault.
struct DivisionByZero {
    Chain c;
    intptr_t a = c.lng(0), b = c.lng(-1), c3 = c.lng(0);
    Item *handler = nullptr;
    Item *expr;
    explicit DivisionByZero(bool withHandler) {
        c.add(47, c.lng(1), c.lng(2), a);
        c.add(55, c.lng(7), c.lng(0), b);
        c.add(47, c.lng(3), c.lng(4), c3);
        expr = c.expression(c3);
        if (withHandler) {
            handler = heapNew<Item>();
            handler->address = reinterpret_cast<intptr_t>(&answer);
            c.context()->handlers.push_back(handler);
        }
    }
    ~DivisionByZero() {
        c.context()->handlers.clear();
        heapDelete(handler);
    }
};

TEST(NativeMath, AHandlerAnsweringOneSkipsTheFaultingOperation) {
    if (!loadLibrary()) GTEST_SKIP() << "libNomix296.so is not next to the tests";
    DivisionByZero chain(true);
    verdict = 1;
    nxEvaluateExt(reinterpret_cast<intptr_t>(chain.expr));
    EXPECT_EQ(rt::lngAt(chain.a), 3);
    EXPECT_EQ(rt::lngAt(chain.b), -1);  // the skipped result keeps its value
    EXPECT_EQ(rt::lngAt(chain.c3), 7);
    EXPECT_EQ(chain.c.context()->errorCode, 28);
}

TEST(NativeMath, WithoutHandlersTheEvaluationEndsAtTheFault) {
    if (!loadLibrary()) GTEST_SKIP() << "libNomix296.so is not next to the tests";
    DivisionByZero chain(false);
    nxEvaluateExt(reinterpret_cast<intptr_t>(chain.expr));
    EXPECT_EQ(rt::lngAt(chain.a), 3);
    EXPECT_EQ(rt::lngAt(chain.c3), 0);
    EXPECT_EQ(chain.c.context()->errorCode, 28);
}

TEST(NativeMath, AHandlerAnsweringTwoLetsTheFaultReachTheCaller) {
    if (!loadLibrary()) GTEST_SKIP() << "libNomix296.so is not next to the tests";
    DivisionByZero chain(true);
    verdict = 2;
    EXPECT_THROW(nxEvaluateExt(reinterpret_cast<intptr_t>(chain.expr)), ProcessorFault);
    EXPECT_EQ(rt::lngAt(chain.c3), 0);
}

} // namespace

namespace {

// Runs one record of a routine on two Doubles and gives the result's bits.
uint64_t doubleBits(intptr_t routine, double x, double y) {
    Chain c;
    intptr_t result = c.dbl(0);
    c.add(routine, c.dbl(x), c.dbl(y), result);
    runChain(c.expression(result)->chain);
    uint64_t bits;
    std::memcpy(&bits, cellAt(result), 8);
    return bits;
}

} // namespace

// The compiler replaces libNomix296's x^2 by a square: every bit must agree,
// rounding through Extended and overflow included.
TEST(NativeMath, SquaresAgreeBitForBitWithThePower) {
    if (!loadLibrary()) GTEST_SKIP() << "libNomix296.so is not next to the tests";
    command(nx_Initialize, {}, 0, 0, 0, 0);
    ASSERT_EQ(nativeDoublePower(), routineSlotContent(206));
    const double inf = std::numeric_limits<double>::infinity();
    const double values[] = {0.0, -0.0, 1.1, -2.2, 3.0000000000000004, 1e154, 1.3407807929942596e154, 1e200,
                             -1e300, 5e-324, 1e-160, 0.1, 1.0 / 3, inf, -inf, std::nan(""), 12345.678901234567};
    // The library word squares on the processor, the others on the x87: both
    // routines alike under each.
    for (uint16_t word : {uint16_t(0x033F), uint16_t(0x0F3F), uint16_t(0x023F)}) {
        loadControlWord(word);
        for (double x : values)
            EXPECT_EQ(doubleBits(reinterpret_cast<intptr_t>(&squareDoubleRoutine), x, 2.0),
                      doubleBits(routineSlotContent(206), x, 2.0))
                << word << ": " << x;
        for (int i = 0; i < 20000; ++i) {  // a spread of mantissas: double rounding shows up rarely
            double x = std::ldexp(1.0 + i * 0.0000123456789, (i % 200) - 100);
            ASSERT_EQ(doubleBits(reinterpret_cast<intptr_t>(&squareDoubleRoutine), x, 2.0),
                      doubleBits(routineSlotContent(206), x, 2.0))
                << word << ": " << x;
        }
    }
    loadControlWord(0x033F);
}
