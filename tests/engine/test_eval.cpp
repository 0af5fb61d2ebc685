// Running chains: the plain runner, the evaluation entries and their control
// words, fault recovery verdicts, runner selection, and the routines that run
// sub-expressions (short-circuit logic, iif, select, loops, batch evaluation).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "test_rt_support.h"

using namespace nx;
using rt::Chain;

namespace {

constexpr uint16_t kDefaultWord = 0x037F;   // the process's own x87 word
constexpr uint16_t kMaskedWord = 0x033F;    // the engine's default: all faults masked
constexpr uint16_t kTruncateWord = 0x0F3F;  // all masked, rounding toward zero

// The x87 control word as loaded (bit 6 is reserved and reads back as 1).
uint16_t x87Word() {
    uint16_t w;
    __asm__ volatile("fnstcw %0" : "=m"(w));
    return w & ~0x40;
}

// Puts the process's control word back after a test that changes it.
struct RestoreWord {
    ~RestoreWord() { loadControlWord(kDefaultWord); }
};

// A routine that counts its calls and copies its Extended operand to its result.
int calls = 0;
void countAndCopy(OperationRecord *r) {
    ++calls;
    setExt(r, xExt(r));
}

// A sub-expression of its own chain that yields v (and counts when it runs).
Item *constant(Chain &sub, long double v) {
    intptr_t result = sub.ext(0);
    sub.add(&countAndCopy, sub.ext(v), 0, result);
    return sub.expression(result);
}

intptr_t handle(const Item *item) { return reinterpret_cast<intptr_t>(item); }

// Sets the true value for one test and puts it back afterwards.
struct TrueValue {
    int32_t saved;
    explicit TrueValue(int32_t v) : saved(*trueCell()) { *trueCell() = v; }
    ~TrueValue() { *trueCell() = saved; }
};

// ---- evaluation ----

TEST(Evaluate, RunsTheRecordsInChainOrder) {
    Chain c;
    intptr_t x = c.ext(2), y = c.ext(3), sum = c.ext(0), product = c.ext(0);
    c.add(48, x, y, sum);
    c.add(53, sum, y, product);
    Item *e = c.expression(product);
    EXPECT_EQ(nxEvaluateExt(handle(e)), 15);
    EXPECT_EQ(rt::extAt(sum), 5);

    Chain d;
    intptr_t a = d.dbl(0.5), b = d.dbl(0.25), r = d.dbl(0);
    d.add(201, a, b, r);
    EXPECT_EQ(nxEvaluateDbl(handle(d.expression(r))), 0.75);
}

TEST(Evaluate, AChainOfOnlyTheTerminatingRecordReturnsTheCellAsItIs) {
    Chain c;
    intptr_t cell = c.ext(42.5L);
    Item *e = c.expression(cell);
    EXPECT_EQ(e->chain, c.end());
    EXPECT_EQ(nxEvaluateExt(handle(e)), 42.5L);
    EXPECT_EQ(evaluateExt(e), 42.5L);
}

TEST(Evaluate, WithoutAResultCellGivesZero) {
    Chain c;
    c.add(48, c.ext(1), c.ext(2), c.ext(0));
    Item *e = c.expression(0);
    EXPECT_EQ(nxEvaluateExt(handle(e)), 0);
    EXPECT_EQ(nxEvaluateDbl(handle(e)), 0);
    EXPECT_EQ(nxEvaluateExt(0), 0);
    EXPECT_EQ(nxEvaluateDbl(0), 0);
}

TEST(Evaluate, DoubleReadsOnlyTheFirstEightBytesOfTheCell) {
    Chain c;
    intptr_t cell = c.ext(1.5L);
    double raw;
    std::memcpy(&raw, cellAt(cell), 8);
    double got = nxEvaluateDbl(handle(c.expression(cell)));
    EXPECT_EQ(std::memcmp(&got, &raw, 8), 0);
    EXPECT_NE(got, 1.5);
}

TEST(Evaluate, LoadsTheEvaluationWordBeforeAndTheAfterWordAfterwards) {
    RestoreWord restore;
    Chain c;
    c.context()->fpuWordEval = kTruncateWord;
    c.context()->fpuWordAfter = kMaskedWord;
    intptr_t up = c.lng(0), down = c.lng(0);
    c.add(40, c.ext(2.7L), 0, up);
    c.add(40, c.ext(-2.7L), 0, down);
    nxEvaluateExt(handle(c.expression(0)));
    EXPECT_EQ(rt::lngAt(up), 2);
    EXPECT_EQ(rt::lngAt(down), -2);
    EXPECT_EQ(x87Word(), kMaskedWord);

    Chain d;  // the default words round to nearest
    intptr_t nearest = d.lng(0);
    d.add(40, d.ext(2.7L), 0, nearest);
    nxEvaluateDbl(handle(d.expression(0)));
    EXPECT_EQ(rt::lngAt(nearest), 3);
}

TEST(Evaluate, ANestedEvaluationLeavesTheOuterChainItsOwnWord) {
    RestoreWord restore;
    Chain c;
    Chain &branch = c.sub();
    c.context()->fpuWordEval = kTruncateWord;
    c.context()->fpuWordAfter = kMaskedWord;
    Item *one = constant(branch, 1);
    intptr_t chosen = c.ext(0), converted = c.lng(0);
    c.add(83, 0, 0, chosen, c.args({c.lng(1), handle(one), handle(one)}));
    c.add(40, c.ext(2.7L), 0, converted);
    nxEvaluateExt(handle(c.expression(0)));
    EXPECT_EQ(rt::extAt(chosen), 1);
    EXPECT_EQ(rt::lngAt(converted), 2);  // still truncating after the branch ran
}

// A runner that counts how often it is used, then runs the chain plainly.
int runnerCalls = 0;
void countingRunner(OperationRecord *first) {
    ++runnerCalls;
    runChain(first);
}

TEST(Evaluate, UsesTheRunnerSelectedFromTheTable) {
    initRoutineTable();
    const intptr_t saved = routineSlotContent(151);
    setRoutine(151, reinterpret_cast<intptr_t>(&countingRunner));
    selectRunner(151);
    EXPECT_EQ(currentRunner(), &countingRunner);
    Chain c;
    intptr_t r = c.ext(0);
    c.add(48, c.ext(1), c.ext(2), r);
    runnerCalls = 0;
    EXPECT_EQ(nxEvaluateExt(handle(c.expression(r))), 3);
    EXPECT_EQ(runnerCalls, 1);
    setRoutine(151, saved);
    selectRunner(150);
    EXPECT_EQ(currentRunner(), reinterpret_cast<NxRoutine>(routineSlotContent(150)));
}

TEST(Evaluate, APlainRunnerStopsAtTheTerminatingRecordOrABrokenLink) {
    Chain c;
    intptr_t r = c.ext(0);
    OperationRecord *rec = c.add(48, c.ext(1), c.ext(2), r);
    rec->Next = 0;  // a broken chain ends instead of jumping to 0
    runChain(c.first());
    EXPECT_EQ(rt::extAt(r), 3);
    runChain(nullptr);
}

// ---- fault recovery ----

std::vector<int> handlerOrder;
intptr_t verdict = 0;
intptr_t firstHandler(intptr_t) {
    handlerOrder.push_back(1);
    return 77;
}
intptr_t lastHandler(intptr_t) {
    handlerOrder.push_back(2);
    return verdict;
}

// A chain of three records with error handlers registered on its context.
struct FaultingChain {
    Chain c;
    OperationRecord *records[3];
    std::vector<Item *> handlers;
    explicit FaultingChain(std::initializer_list<NxErrorHandler> fns) {
        for (auto &r : records) r = c.add(61, 0, 0, 0);
        for (NxErrorHandler fn : fns) {
            Item *h = heapNew<Item>();
            h->flags = flag::Handler;
            h->address = reinterpret_cast<intptr_t>(fn);
            c.context()->handlers.push_back(h);
            handlers.push_back(h);
        }
    }
    ~FaultingChain() {
        c.context()->handlers.clear();
        for (Item *h : handlers) heapDelete(h);
    }
};

TEST(ExceptionHelper, MapsFaultCodesToErrorNumbers) {
    struct Case { uint32_t code; int32_t error; } cases[] = {
        {0xC000008C, 20}, {0xC000008D, 21}, {0xC000008E, 22}, {0xC000008F, 23}, {0xC0000090, 24},
        {0xC0000091, 25}, {0xC0000092, 26}, {0xC0000093, 27}, {0xC0000094, 28}, {0xC0000095, 29},
        {0xC0000096, 30}, {0xC0000005, -115},
    };
    for (const auto &k : cases) {
        FaultingChain f({});
        ExceptionHelper(f.records[1], k.code);
        EXPECT_EQ(f.c.context()->errorCode, k.error) << std::hex << k.code;
        EXPECT_EQ(f.c.context()->errorDetail, 0);
    }
}

TEST(ExceptionHelper, TheLastHandlersVerdictChoosesWhereToResume) {
    struct Case { intptr_t verdict; int resumeAt; } cases[] = {
        {0, -1}, {1, 2}, {2, 0}, {-1, 0}, {5, 0},  // -1: the terminating record; 0: propagate
    };
    for (const auto &k : cases) {
        FaultingChain f({&firstHandler, &lastHandler});
        verdict = k.verdict;
        handlerOrder.clear();
        intptr_t resume = ExceptionHelper(f.records[1], 0xC0000094);
        EXPECT_EQ(handlerOrder, (std::vector<int>{1, 2}));
        intptr_t expected = k.resumeAt < 0 ? reinterpret_cast<intptr_t>(f.c.end())
                            : k.resumeAt == 0 ? 0
                                              : reinterpret_cast<intptr_t>(f.records[k.resumeAt]);
        EXPECT_EQ(resume, expected) << "verdict " << k.verdict;
        EXPECT_EQ(f.c.context()->errorCode, 28);
    }
}

TEST(ExceptionHelper, WithoutHandlersStopsAtTheTerminatingRecord) {
    FaultingChain f({});
    EXPECT_EQ(ExceptionHelper(f.records[2], 0xC000008E), reinterpret_cast<intptr_t>(f.c.end()));
    EXPECT_EQ(f.c.context()->errorCode, 22);
    EXPECT_EQ(ExceptionHelper(nullptr, 0xC000008E), 0);
}

TEST(ExceptionHelper, HandlersSeeTheFailingRecordAsDetail) {
    static intptr_t seen = 0;
    static ThreadContext *ctx = nullptr;
    FaultingChain f({[](intptr_t) -> intptr_t {
        seen = ctx->errorDetail;
        return 1;
    }});
    ctx = f.c.context();
    ExceptionHelper(f.records[0], 0xC0000091);
    EXPECT_EQ(seen, reinterpret_cast<intptr_t>(f.records[0]));
    EXPECT_EQ(ctx->errorDetail, 0);
}

// ---- short-circuit logic, iif and select ----

TEST(ShortCircuit, RunsTheRightOperandOnlyWhenItDecides) {
    TrueValue one(1);
    struct Case { int slot; long double x, y, expected; int ran; } cases[] = {
        {80, 1, 2, 1, 1},  {80, 1, 0, 0, 1},  {80, 0, 1, 0, 0}, {80, -0.5L, 3, 1, 1},
        {81, 0, 0, 0, 1},  {81, 0, 4, 1, 1},  {81, 2, 0, 1, 0}, {81, 0, -1, 1, 1},
    };
    for (const auto &k : cases) {
        Chain c;
        Item *y = constant(c.sub(), k.y);
        intptr_t result = c.ext(-9);
        calls = 0;
        c.call(k.slot, c.ext(k.x), handle(y), result);
        EXPECT_EQ(rt::extAt(result), k.expected) << "slot " << k.slot << " on " << k.x << ", " << k.y;
        EXPECT_EQ(calls, k.ran) << "slot " << k.slot << " on " << k.x << ", " << k.y;
    }
}

TEST(Iif, RunsOnlyTheChosenBranch) {
    for (int32_t condition : {1, 0, -3}) {
        Chain c;
        Item *a = constant(c.sub(), 10), *b = constant(c.sub(), 20);
        intptr_t result = c.ext(0);
        calls = 0;
        c.call(83, 0, 0, result, c.args({c.lng(condition), handle(a), handle(b)}));
        EXPECT_EQ(rt::extAt(result), condition ? 10 : 20);
        EXPECT_EQ(calls, 1);
    }
}

// A routine that makes its result string the text of its String operand.
void copyText(OperationRecord *r) {
    ++calls;
    setText(r, xText(r));
}

TEST(Iif, OfStringsReplacesTheResultText) {
    Chain c;
    Chain &yes = c.sub(), &no = c.sub();
    intptr_t yesCell = yes.str(""), noCell = no.str("");
    yes.add(&copyText, yes.str("yes"), 0, yesCell);
    no.add(&copyText, no.str("no"), 0, noCell);
    Item *a = yes.expression(yesCell), *b = no.expression(noCell);
    intptr_t result = c.str("old");
    calls = 0;
    c.call(84, 0, 0, result, c.args({c.lng(0), handle(a), handle(b)}));
    EXPECT_EQ(rt::strAt(result), "no");
    c.call(84, 0, 0, result, c.args({c.lng(1), handle(a), handle(b)}));
    EXPECT_EQ(rt::strAt(result), "yes");
    EXPECT_EQ(calls, 2);
}

TEST(Select, TakesTheFirstPairWhoseConditionHolds) {
    struct Case { std::vector<long double> arguments; long double expected; int ran; } cases[] = {
        {{0, 1, 1, 2, 1, 3}, 2, 3},  // two conditions, then the value of the second pair
        {{1, 5}, 5, 2},
        {{0, 1, 0, 2}, -9, 2},       // none holds: the result keeps its value
        {{0, 1, 1}, -9, 1},          // an unpaired last argument is no pair
    };
    for (const auto &k : cases) {
        Chain c;
        std::vector<intptr_t> slots;
        for (long double v : k.arguments) slots.push_back(handle(constant(c.sub(), v)));
        intptr_t list = c.cell((slots.size() + 1) * sizeof(intptr_t));
        auto *words = reinterpret_cast<intptr_t *>(list);
        words[0] = static_cast<intptr_t>(slots.size());
        for (size_t i = 0; i < slots.size(); ++i) words[i + 1] = slots[i];
        intptr_t result = c.ext(-9);
        calls = 0;
        c.call(195, 0, 0, result, list);
        EXPECT_EQ(rt::extAt(result), k.expected);
        EXPECT_EQ(calls, k.ran);
    }
}

// ---- loops ----

// A data type item handled by the engine's handler of a slot.
Item *engineType(Chain &c, int slot, int size) {
    Item *t = c.variable(0);
    t->flags = 0;
    t->dataType = t;
    t->typeHandler = reinterpret_cast<intptr_t>(typeHandlerForSlot(slot));
    t->size = size;
    return t;
}

// Loop bodies: record the counter's value on each pass.
std::vector<long double> passes;
void recordExtended(OperationRecord *r) { passes.push_back(xExt(r)); }
void recordDouble(OperationRecord *r) { passes.push_back(xOf<double>(r)); }
void recordAndStopOnSecond(OperationRecord *r) {
    passes.push_back(xExt(r));
    if (passes.size() == 2) nxRequestStop(1);
}

// Runs For counter = start To finish Step step over `body`; the counter's final value.
long double countedLoop(Chain &c, Item *counter, long double start, long double finish, long double step,
                        NxRoutine body) {
    Chain &sub = c.sub();
    sub.add(body, counter->address, 0, 0);
    Item *expr = sub.expression(0);
    passes.clear();
    c.call(105, 0, 0, 0, c.args({handle(counter), c.ext(start), c.ext(finish), c.ext(step), handle(expr)}));
    return counter->dataType->size == 8 ? rt::dblAt(counter->address) : rt::extAt(counter->address);
}

TEST(CountedLoop, RunsFromStartToFinishAndLeavesTheFirstFailingValue) {
    const long double nan = std::numeric_limits<long double>::quiet_NaN();
    struct Case { long double start, finish, step; std::vector<long double> passes; long double last; } cases[] = {
        {1, 5, 1, {1, 2, 3, 4, 5}, 6},
        {5, 1, -1, {5, 4, 3, 2, 1}, 0},
        {1, 0, 1, {}, 1},
        {0, 1, -1, {}, 0},
        {1, 2, 0.5L, {1, 1.5L, 2}, 2.5L},
        {1, 5, 0, {1}, 1},        // no end test for a zero step: one pass
        {1, nan, 1, {}, 1},       // an unordered end stops at once
        {1e30L, 2e30L, 1, {1e30L}, 1e30L},  // a step too small to move the counter: one pass
    };
    for (const auto &k : cases) {
        Chain c;
        Item *counter = c.variable(c.ext(-1), engineType(c, 4, 10));
        long double last = countedLoop(c, counter, k.start, k.finish, k.step, &recordExtended);
        EXPECT_EQ(passes, k.passes) << k.start << " to " << k.finish << " step " << k.step;
        EXPECT_EQ(last, k.last) << k.start << " to " << k.finish << " step " << k.step;
    }
}

TEST(CountedLoop, WritesADoubleCounterAsADouble) {
    Chain c;
    Item *counter = c.variable(c.dbl(-1), engineType(c, 3, 8));
    EXPECT_EQ(countedLoop(c, counter, 1, 3, 1, &recordDouble), 4);
    EXPECT_EQ(passes, (std::vector<long double>{1, 2, 3}));
}

TEST(CountedLoop, EndsWhenTheHostRequestsAStop) {
    Chain c;
    Item *counter = c.variable(c.ext(-1), engineType(c, 4, 10));
    countedLoop(c, counter, 1, 100, 1, &recordAndStopOnSecond);
    nxRequestStop(0);
    EXPECT_EQ(passes, (std::vector<long double>{1, 2}));
    EXPECT_FALSE(stopRequested());
}

// Conditional-loop parts working on one shared number.
long double loopState = 0;
void belowThree(OperationRecord *r) { setExt(r, loopState < 3 ? 1 : 0); }
void increment(OperationRecord *) { ++loopState; }

TEST(ConditionalLoop, RunsWhileTheConditionHoldsAndUntilTheLoopConditionFails) {
    struct Case { long double from, loopCondition, passes; } cases[] = {
        {0, 1, 3}, {0, 0, 1}, {5, 1, 0},
    };
    for (const auto &k : cases) {
        Chain c;
        Chain &cond = c.sub(), &body = c.sub();
        intptr_t condResult = cond.ext(0);
        cond.add(&belowThree, 0, 0, condResult);
        body.add(&increment, 0, 0, 0);
        Item *until = constant(c.sub(), k.loopCondition);
        loopState = k.from;
        c.call(107, 0, 0, 0, c.args({handle(cond.expression(condResult)), handle(body.expression(0)), handle(until)}));
        EXPECT_EQ(loopState - k.from, k.passes) << "from " << k.from;
    }
}

TEST(ConditionalLoop, EndsWhenTheHostRequestsAStop) {
    Chain c;
    Chain &body = c.sub();
    body.add(&increment, 0, 0, 0);
    Item *always = constant(c.sub(), 1);
    loopState = 0;
    nxRequestStop(1);
    c.call(107, 0, 0, 0, c.args({handle(always), handle(body.expression(0)), handle(always)}));
    nxRequestStop(0);
    EXPECT_EQ(loopState, 0);
}

// ---- batch evaluation ----

TEST(BatchEvaluate, FillsResultsFromInputsLeavingElementZero) {
    for (int32_t declared : {0, 2}) {
        Chain c;
        intptr_t inputs = c.cell(32), outputs = c.cell(32);
        auto *in = reinterpret_cast<double *>(inputs);
        auto *out = reinterpret_cast<double *>(outputs);
        in[0] = 99, in[1] = 1, in[2] = 2, in[3] = 3;
        out[0] = -1;
        Item *var = c.variable(c.dbl(0)), *inArray = c.variable(inputs), *outArray = c.variable(outputs);
        inArray->count = outArray->count = declared;  // 0: bound by address, no count known
        Chain &expr = c.sub();
        intptr_t twice = expr.dbl(0);
        expr.add(203, var->address, expr.dbl(2), twice);
        c.call(199, 0, 0, 0,
               c.args({handle(var), handle(inArray), handle(outArray), c.lng(3), handle(expr.expression(twice))}));
        EXPECT_EQ(out[0], -1);
        EXPECT_EQ(out[1], 2);
        EXPECT_EQ(out[2], 4);
        EXPECT_EQ(out[3], declared ? 0 : 6) << "count " << declared;
        EXPECT_EQ(rt::dblAt(var->address), declared ? 2 : 3);
    }
}

} // namespace
