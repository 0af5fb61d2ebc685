// Inputs that push the engine to its limits: each must end in an error (or a
// result), never in a crash, a hang or a leak of engine heap blocks.
#include <chrono>
#include <string>

#include "regress_engine.h"
#include "stop_later.h"

using namespace regress;

namespace {

std::string repeated(std::string_view piece, size_t times) {
    std::string s;
    s.reserve(piece.size() * times);
    for (size_t i = 0; i < times; ++i) s += piece;
    return s;
}

class Limits : public RegressTest {};

} // namespace

// Text that the compiler must refuse without exhausting the stack or memory.
TEST_F(Limits, DeepOrHugeExpressionsEndInAnError) {
    struct Case {
        const char *what;
        std::string text;
    };
    const Case cases[] = {
        {"a million nested brackets", repeated("(", 1000000) + "1" + repeated(")", 1000000)},
        {"a million unclosed brackets", repeated("(", 1000000)},
        {"a million closing brackets", "1" + repeated(")", 1000000)},
        {"a million nested calls", repeated("Abs(", 1000000) + "1" + repeated(")", 1000000)},
        {"a million prefix minus signs", repeated("- ", 1000000) + "1"},
    };
    for (const Case &c : cases) {
        int64_t before = nxHeapLiveBlocks();
        {
            Scratch s;
            s.eval(c.text);
            EXPECT_NE(s.error(), 0) << c.what;
        }
        EXPECT_EQ(nxHeapLiveBlocks(), before) << c.what;
    }
}

// A long but sound line is computed, not refused. (Past about 400000 tokens
// the rule expander refuses a line with error 32, its runaway limit.)
TEST_F(Limits, LongLineOfAdditionsIsComputed) {
    Scratch s;
    EXPECT_EQ(s.eval("0" + repeated("+1", 100000)), " 100000");
    EXPECT_EQ(s.error(), 0);
}

// A function that calls itself for ever stops at the call-depth limit.
TEST_F(Limits, EndlessRecursionStops) {
    int64_t before = nxHeapLiveBlocks();
    {
        Scratch s;
        s.define("Func: r(x) = r(x + 1)");
        ASSERT_EQ(s.error(), 0);
        s.eval("r(1)");
        EXPECT_NE(s.error(), 0);
        EXPECT_EQ(s.eval("1+1"), " 2") << "the thread must be usable after the limit";
    }
    EXPECT_EQ(nxHeapLiveBlocks(), before);
}

// OPEN FAULT (hang): rules that rewrite for ever are cut off only after 400000
// expansion steps or 4 MiB of text, and every step scans the whole text again,
// so these run for many minutes (quadratic); the stop flag is not looked at.
// Sound: a limit on rule applications that ends them in well under a second.
TEST_F(Limits, EndlessRuleExpansionStopsSoon) {
    const char *rules[][2] = {
        {"Syntax: Grow({x}) ::= Grow(({x}))", "Grow(1)"},
        {"Syntax: Twin({x}) ::= Twin({x}) + Twin({x})", "Twin(1)"},
    };
    for (const auto &rule : rules) {
        Scratch s;
        s.define(rule[0]);
        ASSERT_EQ(s.error(), 0) << rule[0];
        s.eval(rule[1]);
        EXPECT_NE(s.error(), 0) << rule[0];
    }
}

// OPEN FAULT (hang): when a body calls itself twice, the call-depth error ends
// only the innermost chain; every caller goes on with its next call, so the
// evaluation makes 2^20000 calls. The stop flag is not looked at either.
// Sound: an error at the depth limit ends the whole evaluation.
TEST_F(Limits, BranchingRecursionStops) {
    Scratch s;
    s.define("Func: q(x) = q(x) + q(x)");
    ASSERT_EQ(s.error(), 0);
    s.eval("q(1)");
    EXPECT_NE(s.error(), 0);
}

// A loop that never ends by itself ends on the stop flag.
TEST_F(Limits, EndlessLoopEndsOnTheStopFlag) {
    Scratch s;
    {
        StopLater stop(std::chrono::milliseconds(100));
        s.eval("nx_Loop(1, 0, 1)");
    }
    EXPECT_EQ(s.eval("1+1"), " 2") << "the stop flag must not outlive the stop";
}
