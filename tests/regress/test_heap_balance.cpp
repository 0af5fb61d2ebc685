// Releasing an engine thread gives back every engine-heap block that was taken
// in it, whatever was defined there: inputs that fuzzing found leaking.
#include "regress_engine.h"

using namespace regress;

namespace {
class HeapBalance : public RegressTest {};
} // namespace

// fuzz_expr (leak): an array whose element count lies far outside the 32-bit
// range ("Local(x, Abs(1e17), 1)" reached it through the Local and array
// rules) leaves two engine-heap blocks behind when its thread is released.
// Sound: the definition fails or succeeds, and the thread takes all with it.
TEST_F(HeapBalance, HugeArrayCountsLeaveNothingBehind) {
    struct Case {
        const char *definition;
        const char *expression;
    };
    const Case cases[] = {
        {"Count: 1e17 ~~ Var: a", "1"},
        {"Var: a(1e17)", "1"},
        {"", "Local(x, Abs(1e17), 1)"},
    };
    for (const Case &c : cases) {
        int64_t before = nxHeapLiveBlocks();
        {
            Scratch s;
            s.define(c.definition);
            s.eval(c.expression);
        }
        EXPECT_EQ(nxHeapLiveBlocks(), before) << c.definition << " | " << c.expression;
    }
}
