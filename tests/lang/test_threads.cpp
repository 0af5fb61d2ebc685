// Engine threads: what a child context inherits and sees, what stays its own, the
// thread a running expression belongs to, release of a whole thread, and
// evaluation from several OS threads at once.
#include <atomic>
#include <thread>

#include "lang_fixture.h"

namespace lang {
namespace {

class Threads : public LangTest {};

// A child finds its ancestors' names, rules and patterns; its own definitions,
// errors and settings stay its own.
TEST_F(Threads, ChildSeesItsAncestorsButNotTheOtherWay) {
    Scratch parent;
    Word p = parent.t();
    ASSERT_NE(define("Var: inParent As Double = 2", 0, 0, 0, p), 0);
    ASSERT_NE(defineSyntax("Dbl({x}) ::= ({x}*2)", 1, p), 0);
    ASSERT_NE(define("Pattern:\\$[0-9]+ ~~ DataType: #2", 32, type(KeptType::Double), 0, p), 0);
    Word child = callNoText(nx_NewThread, 0, 0, 0, p);
    Word grandchild = callNoText(nx_NewThread, 0, 0, 0, child);
    ASSERT_TRUE(child && grandchild);
    ASSERT_NE(define("Var: inChild As Double = 5", 0, 0, 0, child), 0);
    ASSERT_NE(define("Var: inParent As Double = 7", 0, 0, 0, grandchild), 0);

    struct Row { Word t; const char *text; const char *expected; };
    const std::vector<Row> rows = {
        {child, "inParent + inChild", " 7"},   {child, "Dbl(inParent)", " 4"},
        {grandchild, "inParent + inChild", " 12"}, {grandchild, "Dbl(1) + Sin(0)", " 2"},
        {p, "inParent", " 2"},                {p, "inChild", "Undefined identifier"},
        {0, "inParent", "Undefined identifier"}, {0, "Dbl(1)", "Undefined identifier"},
    };
    for (const Row &row : rows) EXPECT_EQ(evalStr(row.text, row.t), row.expected) << row.text << " in " << row.t;
    EXPECT_EQ(call(nx_TokenKind, "$12", 0, 0, 0, grandchild), call(nx_TokenKind, "$12", 0, 0, 0, p));
    EXPECT_NE(call(nx_TokenFlags, "$12", 0, 0, 0, child) & flag::Literal, 0) << "the parent's pattern";
    EXPECT_EQ(call(nx_TokenFlags, "$12") & flag::Literal, 0) << "the root does not have it";

    clearError(p);
    EXPECT_EQ(parse("nope", 0, child), 0);
    EXPECT_EQ(errorCode(child), 3);
    EXPECT_EQ(errorCode(p), 0) << "errors stay in the failing context";
    callNoText(nx_SetFpuWord, 818, 0, 0, child);
    EXPECT_EQ(callNoText(nx_GetFpuWord, 0, 0, 0, p), 0x033F);
    callNoText(nx_ReleaseItem, child, 0, 0, p);
}

// A thread's definitions shadow its ancestors' only inside it.
TEST_F(Threads, ShadowingStaysInTheChild) {
    Scratch s;
    ASSERT_NE(define("Func: Sin(x) = 42", 0, 0, 0, s.t()), 0);
    EXPECT_EQ(evalStr("Sin(0)", s.t()), " 42");
    EXPECT_EQ(evalStr("Sin(0)"), " 0");
    EXPECT_EQ(byName("Sin", nx_ChainLength), 1);
}

// The thread of a running expression, as a native sees it through its record.
std::atomic<Word> seenThread{0};
void whoAmI(OperationRecord *record) { seenThread = nxExprThread(record); }

TEST_F(Threads, ExprThreadFindsTheNearestContextWithPatterns) {
    Scratch noPatterns;
    Word plain = noPatterns.t();
    ASSERT_NE(define("Func:: WhoAmI() As Long", reinterpret_cast<Word>(&whoAmI), 0, 0, plain), 0);
    Word withPatterns = callNoText(nx_NewThread, 0, 0, 0, plain);
    ASSERT_NE(define("Pattern:zz9", 1, 0, 0, withPatterns), 0);
    Word below = callNoText(nx_NewThread, 0, 0, 0, withPatterns);
    Word root = callNoText(nx_DefaultThread);

    struct Row { Word t; Word expected; };
    const std::vector<Row> rows = {{withPatterns, withPatterns}, {below, withPatterns}, {plain, root}};
    for (const Row &row : rows) {
        seenThread = 0;
        Word expr = parse("WhoAmI() + 1", 0, row.t);
        ASSERT_NE(expr, 0);
        nxEvaluateDbl(expr);
        EXPECT_EQ(seenThread.load(), row.expected) << "compiled in " << row.t;
        release(expr, row.t);
    }
    callNoText(nx_ReleaseItem, withPatterns, 0, 0, plain);
}

// Releasing a thread releases everything defined in it.
TEST_F(Threads, ReleasingAThreadFreesItsDefinitions) {
    for (int round = 0; round < 2; ++round) {
        int64_t before = nxHeapLiveBlocks();
        Word t = callNoText(nx_NewThread);
        ASSERT_NE(t, 0);
        ASSERT_NE(define("Var: tv As String = 'text'", 0, 0, 0, t), 0);
        ASSERT_NE(define("Func: tf(a, b = 1) = a + b", 0, 0, 0, t), 0);
        ASSERT_NE(define("Pattern:\\<\\< ~~ \\>\\>", 3, 0, 0, t), 0);
        ASSERT_NE(defineSyntax("Tr({x}) ::= tf({x})", 1, t), 0);
        ASSERT_NE(define("DataType: TT ~~ {Var: a As Long} ~~ {Var: b As Double}", 0, 0, 0, t), 0);
        call(nx_SetErrorMessage, "thread message", 60, 0, 0, t);
        callNoText(nx_AddErrorHandler, routine(153), 0, 0, t);
        Word kept = parse("Tr(2) + tf(1, 2)", 0, t);
        EXPECT_EQ(nxEvaluateDbl(kept), 6.0);
        release(kept, t);
        EXPECT_EQ(evalStr("tv + 'x'", t), "textx");
        callNoText(nx_ReleaseItem, t);
        EXPECT_EQ(errorCode(), 0);
        if (round == 1) {
            EXPECT_EQ(nxHeapLiveBlocks(), before);
        }
    }
}

// Each OS thread evaluates through an engine thread of its own, at the same time.
TEST_F(Threads, ConcurrentEvaluationInSeparateEngineThreads) {
    constexpr int kWorkers = 2, kRuns = 20000;
    std::vector<Word> engineThreads, exprs;
    for (int i = 0; i < kWorkers; ++i) {
        Word t = callNoText(nx_NewThread);
        engineThreads.push_back(t);
        define("Var: k As Double = " + std::to_string(i + 1), 0, 0, 0, t);
        define("Func: g(x) = x*k + 1", 0, 0, 0, t);
        exprs.push_back(parse("g(3) + Sqr(16)*k", 0, t));
        ASSERT_NE(exprs.back(), 0);
    }
    std::vector<int> wrong(kWorkers, 0);
    std::vector<std::thread> workers;
    for (int i = 0; i < kWorkers; ++i)
        workers.emplace_back([&, i] {
            const double expected = 3.0 * (i + 1) + 1 + 4.0 * (i + 1);
            for (int n = 0; n < kRuns; ++n) wrong[i] += nxEvaluateDbl(exprs[i]) != expected;
        });
    for (auto &w : workers) w.join();
    for (int i = 0; i < kWorkers; ++i) {
        EXPECT_EQ(wrong[i], 0) << "worker " << i;
        release(exprs[i], engineThreads[i]);
        callNoText(nx_ReleaseItem, engineThreads[i]);
    }
}

// Parsing, evaluating and releasing at the same time in separate engine threads:
// each parse writes only its own context and reads the shared root.
TEST_F(Threads, ConcurrentParsesInSeparateEngineThreads) {
    constexpr int kWorkers = 2, kRuns = 300;
    std::vector<Word> engineThreads;
    for (int i = 0; i < kWorkers; ++i) {
        engineThreads.push_back(callNoText(nx_NewThread));
        define("Var: k As Double = " + std::to_string(i + 1), 0, 0, 0, engineThreads.back());
    }
    std::vector<int> wrong(kWorkers, 0);
    std::vector<std::thread> workers;
    for (int i = 0; i < kWorkers; ++i)
        workers.emplace_back([&, i] {
            for (int n = 0; n < kRuns; ++n) {
                Word expr = parse("Max(k, 0) * " + std::to_string(n) + " + Sin(0)", 0, engineThreads[i]);
                wrong[i] += expr == 0 || nxEvaluateDbl(expr) != static_cast<double>((i + 1) * n);
                release(expr, engineThreads[i]);
            }
        });
    for (auto &w : workers) w.join();
    for (int i = 0; i < kWorkers; ++i) {
        EXPECT_EQ(wrong[i], 0) << "worker " << i;
        callNoText(nx_ReleaseItem, engineThreads[i]);
    }
}

} // namespace
} // namespace lang
