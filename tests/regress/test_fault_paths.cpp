// Paths on which a processor fault escaped or an address was cut short,
// through the command entry and nxEvaluateDbl as a host uses them.
#include <cmath>

#include "regress_engine.h"

namespace regress {
namespace {

class FaultPaths : public RegressTest {};

// MXCSR holds the current unit's masks and rounding; a host may load it alone.
uint32_t mxcsr() {
    uint32_t value;
    __asm__ volatile("stmxcsr %0" : "=m"(value));
    return value;
}
void loadMxcsr(uint32_t value) { __asm__ volatile("ldmxcsr %0" : : "m"(value)); }

// A chain that cannot fault under the masked word runs outside the protected
// region (as machine code, entered without reading MXCSR back); when a host has
// unmasked division by zero in MXCSR alone since the last evaluation, the
// division must not end the program: it ends with the masked word's result.
TEST_F(FaultPaths, AWordChangedBehindTheEngineIsLoadedAgain) {
    Scratch s;
    s.define("Var: num As Double = 1");
    s.define("Var: den As Double = 0");
    Word expr = call(nx_Parse, "num / den", 0, 0, 0, s.t());
    ASSERT_NE(expr, 0);
    EXPECT_TRUE(std::isinf(nxEvaluateDbl(expr)));  // the masked word is now in place
    const uint32_t saved = mxcsr();
    loadMxcsr(saved & ~(1u << 9));  // division by zero unmasked in SSE only
    EXPECT_TRUE(std::isinf(nxEvaluateDbl(expr)));
    loadMxcsr(saved);
    call(nx_ReleaseItem, "", expr);
}

// The plain runner (the alternative evaluator, or put into slot 150) gives way
// to the protected one for a chain that may fault.
TEST_F(FaultPaths, PlainRunnersStillRecover) {
    Scratch s;
    s.define("Var: zero As Long = 0");
    Word expr = call(nx_Parse, "7 \\ zero", 0, 0, 0, s.t());
    ASSERT_NE(expr, 0);
    call(nx_UseAltEvaluator, "");
    call(nx_ClearError, "");
    nxEvaluateDbl(expr);
    // A fault is reported where the expression's names live: the root context.
    EXPECT_EQ(errorCode(0), 28);
    call(nx_ClearError, "");
    call(nx_ReleaseItem, "", expr);
}

// Routine addresses fit a positive Long and call the routine; numbers that are
// no code are refused where the engine would call them outside an evaluation.
TEST_F(FaultPaths, RoutineAddressesFitAndCall) {
    Scratch s;
    Word sine = Nomix(nx_RoutineAddress, nullptr, 208, 0, 0, 0);
    EXPECT_GT(sine, 0);
    EXPECT_LE(sine, 0x7FFFFFFF);
    EXPECT_NE(call(nx_Define, "Func:: MySin(x As Double) As Double", sine, 0, 0, s.t()), 0);
    EXPECT_EQ(s.eval("MySin(0)"), " 0");
    EXPECT_EQ(s.eval("nxAddr(208) - Nomix(12, '', 208)"), " 0");  // the same stub
    EXPECT_EQ(call(nx_AddErrorHandler, "", 12345678, 0, 0, s.t()), 0);
    EXPECT_EQ(s.error(), 11);
    EXPECT_EQ(s.define("DataType: Bad ~~ TypeHandler: 12345678"), 0);
    EXPECT_EQ(s.error(), 11);
}

} // namespace
} // namespace regress
