// Loading libNomix296 from the engine's directory: the slots it takes over and
// the fault recovery its protected runner gives the engine's chains.
#include <gtest/gtest.h>

#include <vector>

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
