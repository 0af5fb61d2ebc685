// The net under machine code entered without reading MXCSR back: a fault a
// host unmasked in MXCSR alone is caught while the code runs (in the code or
// in a C library function it calls) and the evaluation ends with the masked
// result; a fault anywhere else still reaches the handler that was there
// before. Its own program, so that the test's handler is installed first.
#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <ucontext.h>

#include "compiled_support.h"

using namespace nx;
using rt::Chain;
using rt::Compiled;

namespace {

// The handler before the engine's: counts what reaches it and masks MXCSR so
// the faulting instruction completes.
volatile sig_atomic_t passedOn = 0;
void earlierHandler(int, siginfo_t *, void *context) {
    passedOn = passedOn + 1;
    static_cast<ucontext_t *>(context)->uc_mcontext.fpregs->mxcsr |= 0x1F80u;
}

uint32_t mxcsr() {
    uint32_t v;
    __asm__ volatile("stmxcsr %0" : "=m"(v));
    return v;
}
void loadMxcsr(uint32_t v) { __asm__ volatile("ldmxcsr %0" : : "m"(v)); }

class CodeFaults : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        struct sigaction action = {};
        action.sa_sigaction = earlierHandler;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigaction(SIGFPE, &action, nullptr);
        if (!defaultContext()) command(nx_Initialize, {}, 0, 0, 0, 0);
    }
    void SetUp() override {
        loadControlWordFully(0x033F);
        passedOn = 0;
    }
    void TearDown() override { loadControlWordFully(0x033F); }
};

TEST_F(CodeFaults, AFaultUnmaskedInMxcsrAloneEndsWithTheMaskedResult) {
    struct Case {
        int slot;
        double x, y;
        uint32_t unmask;  // MXCSR mask bits cleared by the "host"
        double expected;
    } cases[] = {
        {204, 1, 0, 1u << 9, INFINITY},                // division by zero in the code
        {203, 1e308, 10, 1u << 10, INFINITY},          // overflow in the code
        {202, INFINITY, INFINITY, 1u << 7, NAN},       // invalid operation in the code
        {214, 1000, 0, 1u << 10, INFINITY},            // overflow inside the C library's exp
    };
    for (const Case &c : cases) {
        Chain chain;
        intptr_t x = chain.dbl(c.x), y = chain.dbl(c.y), r = chain.dbl(0);
        chain.add(c.slot, x, y, r);
        Compiled e(chain, r);
        ASSERT_TRUE(e.hot()) << c.slot;
        loadMxcsr(mxcsr() & ~c.unmask);
        double v = nxEvaluateDbl(e.handle());
        EXPECT_TRUE(v == c.expected || (std::isnan(v) && std::isnan(c.expected))) << c.slot << ": " << v;
        EXPECT_EQ(passedOn, 0) << c.slot;
        EXPECT_EQ(mxcsr() & 0x1F80u, 0x1F80u) << "the evaluation's word is in force afterwards";
        loadControlWordFully(0x033F);
    }
}

TEST_F(CodeFaults, AFaultOutsideTheCodeGoesToTheEarlierHandler) {
    Chain chain;
    intptr_t x = chain.dbl(2), y = chain.dbl(3), r = chain.dbl(0);
    chain.add(203, x, y, r);
    Compiled e(chain, r);  // the net is in place from here on
    EXPECT_EQ(nxEvaluateDbl(e.handle()), 6);
    loadMxcsr(mxcsr() & ~(1u << 9));
    volatile double one = 1, zero = 0;
    volatile double q = one / zero;  // the host's own division
    (void)q;
    EXPECT_EQ(passedOn, 1);
}

} // namespace
