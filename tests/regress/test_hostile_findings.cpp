// Faults that the hostile nomixcli session found in the engine, fed through the
// engine's command entry as the calculator sends them;
// tests/app/test_cli_hostile.cpp has the same inputs as a user types them.
#include <chrono>

#include "regress_engine.h"
#include "stop_later.h"
#include "shell/binding.h"
#include "shell/bootstrap.h"
#include "shell/script.h"

using namespace regress;

namespace {

class HostileFindings : public RegressTest {};

} // namespace

// nomixcli session: an endless loop ended by Ctrl+C answers "Ok". The loop
// routines return on the stop flag without raising error 33, so the host
// cannot tell a stopped calculation from a finished one.
// Sound: the stop ends the loop with error 33 (nx_ErrStopped).
TEST_F(HostileFindings, LoopsStoppedByTheHostRaiseError33) {
    const char *loops[] = {"nx_Loop(1, 0, 1)", "nx_For(i, 1, 1e300, 1, i)"};
    for (const char *loop : loops) {
        Scratch s;
        s.define("Var: i");
        Nomix(nx_ClearError, nullptr, 0, 0, 0, 0);
        {
            StopLater stop(std::chrono::milliseconds(100));
            s.eval(loop);
        }
        // Routines report where the names they were compiled with live: a
        // scratch thread without patterns of its own reports in its parent.
        EXPECT_EQ(errorCode(0), nx_ErrStopped) << loop;
    }
}

// nomixcli session: a text that doubles without end ends the loop silently:
// no error, and the variable is left holding the empty text (its value lost).
// Sound: an error (the engine heap is exhausted, or a size limit) and the
// variable keeps its last value. (Through the calculator's binding: the
// session's language, both phases.)
TEST(HostileFindingsCalculator, TextThatDoublesForEverEndsInAnError) {
    nomix::Binding &b = nomix::binding();
    nomix::DefineApplicationLanguage(b);
    nomix::runStatement(b, "grow = \"ab\"");
    ASSERT_EQ(b.EvalStr("grow == \"ab\""), " 1");
    b.EvalStr("nx_Loop(1, grow = grow + grow, 1)");
    EXPECT_NE(b.ErrorCode(), 0);
    EXPECT_EQ(b.EvalStr("grow == \"\""), " 0") << "the text must not be lost";
}

// fuzz_define (use-after-poison): "Var: a(3) As Double" then "a(4)" read the
// memory after the array, and "a(1000000) = 7" wrote far outside it. An index
// outside an array the engine made is error 20, "Array bounds exceeded", and
// touches nothing but a spare cell; the array and the heap stay intact.
TEST(HostileFindingsCalculator, ArrayIndexesOutsideTheArrayAreRefused) {
    nomix::Binding &b = nomix::binding();
    nomix::DefineApplicationLanguage(b);
    nomix::runStatement(b, "Def Var: arr(3) As Double");
    nomix::runStatement(b, "arr(3) = 5");
    const char *outside[] = {"arr(4)", "arr(-1)", "arr(1000000) = 7", "arr(-2147483647) = 7", "arr(4) = 1"};
    for (const char *text : outside) {
        b.ClearError();
        nomix::runStatement(b, text);
        EXPECT_EQ(b.ErrorCode(), 20) << text;
    }
    EXPECT_EQ(b.EvalStr("arr(3)"), " 5");
    EXPECT_EQ(b.EvalStr("arr(0)"), " 0");
    EXPECT_EQ(b.EvalStr("arr(1) = 2"), "Ok");
    EXPECT_EQ(b.EvalStr("arr(1) + arr(3)"), " 7");
}
