// Running chains: the plain runner, the evaluation entries and their control
// words, fault recovery verdicts, runner selection, and the routines that run
// sub-expressions (short-circuit logic, iif, select, loops, batch evaluation).
#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "test_rt_support.h"

using namespace nx;
using rt::Chain;

namespace {

constexpr uint16_t kMaskedWord = 0x033F;    // the engine's default: all faults masked
constexpr uint16_t kTruncateWord = 0x0F3F;  // all masked, rounding toward zero

// The x87 control word as loaded (bit 6 is reserved and reads back as 1).
uint16_t x87Word() {
    uint16_t w;
    __asm__ volatile("fnstcw %0" : "=m"(w));
    return w & ~0x40;
}

template <class T> intptr_t handle(T *p) { return reinterpret_cast<intptr_t>(p); }

// A routine that counts its calls and copies its Extended operand to its result.
int calls = 0;
void countAndCopy(OperationRecord *r) {
    ++calls;
    setExt(r, xExt(r));
}

// A sub-expression of its own chain that yields v, counting when it runs.
Item *constant(Chain &sub, long double v) {
    intptr_t result = sub.ext(0);
    sub.add(&countAndCopy, sub.ext(v), 0, result);
    return sub.expression(result);
}

// ---- evaluation ----

TEST(Evaluate, RunsTheChainAndReadsTheResultCell) {
    Chain c;
    intptr_t x = c.ext(2), y = c.ext(3), sum = c.ext(0), product = c.ext(0);
    c.add(48, x, y, sum);
    c.add(53, sum, y, product);
    EXPECT_EQ(nxEvaluateExt(handle(c.expression(product))), 15);
    EXPECT_EQ(nxEvaluateExt(handle(c.expression(0))), 0);  // no result cell
    EXPECT_EQ(nxEvaluateDbl(handle(c.expression(0))), 0);
    EXPECT_EQ(nxEvaluateExt(0), 0);

    Chain empty;  // only the terminating record: the cell as it is
    EXPECT_EQ(nxEvaluateExt(handle(empty.expression(empty.ext(42.5L)))), 42.5L);
    intptr_t wide = empty.ext(1.5L);
    double got = nxEvaluateDbl(handle(empty.expression(wide)));
    EXPECT_EQ(std::memcmp(&got, cellAt(wide), 8), 0);  // 8 raw bytes, not a conversion

    OperationRecord *broken = c.add(48, x, x, sum);
    broken->Next = 0;  // a broken link ends the run instead of jumping to 0
    runChain(broken);
    EXPECT_EQ(rt::extAt(sum), 4);
}

TEST(Evaluate, RunsUnderTheContextsWordAndLeavesTheAfterWord) {
    Chain c;
    c.context()->fpuWordEval = kTruncateWord;
    c.context()->fpuWordAfter = kMaskedWord;
    intptr_t before = c.lng(0), after = c.lng(0), chosen = c.ext(0);
    Item *one = constant(c.sub(), 1);
    c.add(40, c.ext(-2.7L), 0, before);
    c.add(83, 0, 0, chosen, c.args({c.lng(1), handle(one), handle(one)}));
    c.add(40, c.ext(2.7L), 0, after);  // a nested evaluation keeps the outer word
    nxEvaluateExt(handle(c.expression(0)));
    EXPECT_EQ(rt::lngAt(before), -2);
    EXPECT_EQ(rt::lngAt(after), 2);
    EXPECT_EQ(x87Word(), kMaskedWord);
    loadControlWord(0x037F);
}

// Evaluations skip reloading a masked word that is already in place; a word a
// host changed behind the engine's back must still be replaced, in both units.
TEST(Evaluate, ReloadsTheWordAfterTheHostChangedIt) {
    struct Case {
        const char *what;
        void (*disturb)();
    };
    const Case cases[] = {
        {"nothing changed", [] {}},
        {"x87 word only", [] { uint16_t w = kTruncateWord; __asm__ volatile("fldcw %0" : : "m"(w)); }},
        {"both units", [] { std::fesetround(FE_TOWARDZERO); }},
    };
    Chain c;
    c.context()->fpuWordEval = c.context()->fpuWordAfter = kMaskedWord;
    intptr_t rounded = c.lng(0), quotient = c.dbl(0);
    c.add(40, c.ext(-2.7L), 0, rounded);               // Extended to Long: x87 rounding
    c.add(204, c.dbl(2), c.dbl(3), quotient);          // Double division: SSE rounding
    Item *expr = c.expression(0);
    for (const Case &k : cases) {
        nxEvaluateExt(handle(expr));
        k.disturb();
        nxEvaluateExt(handle(expr));
        EXPECT_EQ(rt::lngAt(rounded), -3) << k.what;   // to nearest, not toward zero
        EXPECT_EQ(load<double>(cellAt(quotient)), 2.0 / 3.0) << k.what;
        EXPECT_EQ(x87Word(), kMaskedWord) << k.what;
    }
    std::fesetround(FE_TONEAREST);
}

// A flag left pending by a masked evaluation must not trap when the next
// evaluation unmasks that fault.
TEST(Evaluate, APendingFlagDoesNotTrapUnderAnUnmaskedWord) {
    Chain masked;
    masked.context()->fpuWordEval = masked.context()->fpuWordAfter = kMaskedWord;
    intptr_t inf = masked.ext(0);
    masked.add(56, masked.ext(1), masked.ext(0), inf);  // Extended 1/0: sets the flag
    nxEvaluateExt(handle(masked.expression(inf)));
    Chain unmasked;
    unmasked.context()->fpuWordEval = 0x0332;
    unmasked.context()->fpuWordAfter = kMaskedWord;
    intptr_t sum = unmasked.ext(0);
    unmasked.add(48, unmasked.ext(1), unmasked.ext(2), sum);
    EXPECT_EQ(nxEvaluateExt(handle(unmasked.expression(sum))), 3);
    EXPECT_EQ(x87Word(), kMaskedWord);
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
    setRoutine(151, handle(&countingRunner));
    selectRunner(151);
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

// ---- fault recovery ----

std::vector<int> handlerOrder;
intptr_t verdict = 0, detailSeen = 0;
ThreadContext *handlerContext = nullptr;
intptr_t firstHandler(intptr_t) {
    handlerOrder.push_back(1);
    return 77;
}
intptr_t lastHandler(intptr_t) {
    handlerOrder.push_back(2);
    detailSeen = handlerContext->errorDetail;
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
            handlers.push_back(c.variable(handle(fn)));
            c.context()->handlers.push_back(handlers.back());
        }
        handlerContext = c.context();
    }
    ~FaultingChain() { c.context()->handlers.clear(); }
};

TEST(ExceptionHelper, MapsFaultCodesToErrorNumbers) {
    const struct { uint32_t code; int32_t error; } cases[] = {
        {0xC000008C, 20}, {0xC000008E, 22}, {0xC0000091, 25}, {0xC0000094, 28}, {0xC0000096, 30},
        {0xC0000005, -115},
    };
    for (const auto &k : cases) {
        FaultingChain f({});
        EXPECT_EQ(ExceptionHelper(f.records[1], k.code), handle(f.c.end()));  // no handler: stop
        EXPECT_EQ(f.c.context()->errorCode, k.error) << std::hex << k.code;
    }
    EXPECT_EQ(ExceptionHelper(nullptr, 0xC0000094), 0);
}

TEST(ExceptionHelper, TheLastHandlersVerdictChoosesWhereToResume) {
    const struct { intptr_t verdict; int resumeAt; } cases[] = {
        {0, -1}, {1, 2}, {2, 0}, {-1, 0}, {5, 0},  // -1: the terminating record; 0: propagate
    };
    for (const auto &k : cases) {
        FaultingChain f({&firstHandler, &lastHandler});
        verdict = k.verdict;
        handlerOrder.clear();
        intptr_t resume = ExceptionHelper(f.records[1], 0xC0000094);
        intptr_t expected = k.resumeAt < 0 ? handle(f.c.end()) : k.resumeAt ? handle(f.records[k.resumeAt]) : 0;
        EXPECT_EQ(resume, expected) << "verdict " << k.verdict;
        EXPECT_EQ(handlerOrder, (std::vector<int>{1, 2}));
        EXPECT_EQ(detailSeen, handle(f.records[1]));
        EXPECT_EQ(f.c.context()->errorDetail, 0);
    }
}

// ---- short-circuit logic, iif and select ----

// Sets the true value for one test and puts it back afterwards.
struct TrueValue {
    int32_t saved;
    explicit TrueValue(int32_t v) : saved(*trueCell()) { *trueCell() = v; }
    ~TrueValue() { *trueCell() = saved; }
};

TEST(ShortCircuit, RunsTheRightOperandOnlyWhenItDecides) {
    TrueValue one(1);
    const struct { int slot; long double x, y, expected; int ran; } cases[] = {
        {80, 1, 2, 1, 1}, {80, 1, 0, 0, 1}, {80, 0, 1, 0, 0}, {80, -0.5L, 3, 1, 1},
        {81, 0, 0, 0, 1}, {81, 0, 4, 1, 1}, {81, 2, 0, 1, 0},
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

// A routine that makes its result string the text of its String operand.
void copyText(OperationRecord *r) {
    ++calls;
    setText(r, xText(r));
}

TEST(Iif, RunsOnlyTheChosenBranch) {
    Chain c;
    Item *ten = constant(c.sub(), 10), *twenty = constant(c.sub(), 20);
    Chain &yes = c.sub(), &no = c.sub();
    intptr_t yesCell = yes.str(""), noCell = no.str("");
    yes.add(&copyText, yes.str("yes"), 0, yesCell);
    no.add(&copyText, no.str("no"), 0, noCell);
    Item *a = yes.expression(yesCell), *b = no.expression(noCell);
    for (int32_t condition : {1, 0, -3}) {
        intptr_t number = c.ext(0), text = c.str("old");
        calls = 0;
        c.call(83, 0, 0, number, c.args({c.lng(condition), handle(ten), handle(twenty)}));
        c.call(84, 0, 0, text, c.args({c.lng(condition), handle(a), handle(b)}));
        EXPECT_EQ(rt::extAt(number), condition ? 10 : 20);
        EXPECT_EQ(rt::strAt(text), condition ? "yes" : "no");
        EXPECT_EQ(calls, 2);
    }
}

TEST(Select, TakesTheFirstPairWhoseConditionHolds) {
    const struct { std::vector<long double> arguments; long double expected; int ran; } cases[] = {
        {{0, 1, 1, 2, 1, 3}, 2, 3},  // two conditions, then the value of the second pair
        {{0, 1, 0, 2}, -9, 2},       // none holds: the result keeps its value
        {{0, 1, 1}, -9, 1},          // an unpaired last argument is no pair
    };
    for (const auto &k : cases) {
        Chain c;
        auto *list = reinterpret_cast<intptr_t *>(c.cell((k.arguments.size() + 1) * sizeof(intptr_t)));
        list[0] = static_cast<intptr_t>(k.arguments.size());
        for (size_t i = 0; i < k.arguments.size(); ++i) list[i + 1] = handle(constant(c.sub(), k.arguments[i]));
        intptr_t result = c.ext(-9);
        calls = 0;
        c.call(195, 0, 0, result, handle(list));
        EXPECT_EQ(rt::extAt(result), k.expected);
        EXPECT_EQ(calls, k.ran);
    }
}

// ---- loops ----

// A data type item handled by the engine's handler of a slot.
Item *engineType(Chain &c, int slot, int size) {
    Item *t = c.variable(0);
    t->dataType = t;
    t->typeHandler = handle(typeHandlerForSlot(slot));
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

// For counter = start To finish Step step over a body; the counter's final value.
long double countedLoop(int typeSlot, long double start, long double finish, long double step, NxRoutine body) {
    Chain c;
    Item *type = engineType(c, typeSlot, typeSlot == 3 ? 8 : 10);
    Item *counter = c.variable(c.ext(-1), type);
    Chain &sub = c.sub();
    sub.add(body, counter->address, 0, 0);
    passes.clear();
    c.call(105, 0, 0, 0,
           c.args({handle(counter), c.ext(start), c.ext(finish), c.ext(step), handle(sub.expression(0))}));
    return typeSlot == 3 ? rt::dblAt(counter->address) : rt::extAt(counter->address);
}

TEST(CountedLoop, RunsFromStartToFinishAndLeavesTheFirstFailingValue) {
    const long double nan = std::numeric_limits<long double>::quiet_NaN();
    const struct { long double start, finish, step; std::vector<long double> passes; long double last; } cases[] = {
        {1, 5, 1, {1, 2, 3, 4, 5}, 6},
        {5, 1, -1, {5, 4, 3, 2, 1}, 0},
        {1, 0, 1, {}, 1},
        {1, 2, 0.5L, {1, 1.5L, 2}, 2.5L},
        {1, 5, 0, {1}, 1},                  // no end test for a zero step: one pass
        {1, nan, 1, {}, 1},                 // an unordered end stops at once
        {1e30L, 2e30L, 1, {1e30L}, 1e30L},  // a step too small to move the counter: one pass
    };
    for (const auto &k : cases) {
        EXPECT_EQ(countedLoop(4, k.start, k.finish, k.step, &recordExtended), k.last) << k.start << " to " << k.finish;
        EXPECT_EQ(passes, k.passes) << k.start << " to " << k.finish << " step " << k.step;
    }
    EXPECT_EQ(countedLoop(3, 1, 3, 1, &recordDouble), 4);  // a Double counter
    EXPECT_EQ(passes, (std::vector<long double>{1, 2, 3}));
}

TEST(CountedLoop, ConvertsThroughTextForOtherCounterTypes) {
    Item *thread = newThread(nullptr);
    ThreadContext *ctx = thread->context;
    define(ctx, "DataType: Extended ~~ Size: 10 ~~ TypeHandler: #", handle(typeHandlerForSlot(4)), 0, 0);
    Item *lng = define(ctx, "DataType: Long ~~ Size: 4 ~~ TypeHandler: #", handle(typeHandlerForSlot(9)), 0, 0);
    ASSERT_NE(lng, nullptr);
    const size_t items = ctx->items.size();
    {
        Chain c(ctx);
        Item *counter = c.variable(c.lng(-1), lng);
        Chain &sub = c.sub();
        sub.add(&recordExtended, c.ext(0), 0, 0);
        ctx->errorCode = 3;  // an error from before the loop stays
        c.call(105, 0, 0, 0, c.args({handle(counter), c.ext(0.5L), c.ext(3), c.ext(1), handle(sub.expression(0))}));
        EXPECT_EQ(rt::lngAt(counter->address), 4);  // 3.5 read into a Long: ties to even
        EXPECT_EQ(ctx->errorCode, 3);
    }
    EXPECT_EQ(ctx->items.size(), items);  // the work variable is gone
    releaseThread(thread);
}

// Conditional-loop parts working on one shared number.
long double loopState = 0;
void belowThree(OperationRecord *r) { setExt(r, loopState < 3 ? 1 : 0); }
void increment(OperationRecord *) { ++loopState; }

// Do While loopState < 3: loopState += 1: Loop Until `until` is 0.
void conditionalLoop(long double from, Item *(*until)(Chain &)) {
    Chain c;
    Chain &cond = c.sub(), &body = c.sub();
    intptr_t holds = cond.ext(0);
    cond.add(&belowThree, 0, 0, holds);
    body.add(&increment, 0, 0, 0);
    loopState = from;
    c.call(107, 0, 0, 0, c.args({handle(cond.expression(holds)), handle(body.expression(0)), handle(until(c))}));
}

TEST(ConditionalLoop, RunsWhileTheConditionHoldsAndUntilTheLoopConditionFails) {
    auto always = [](Chain &c) { return constant(c.sub(), 1); };
    auto never = [](Chain &c) { return constant(c.sub(), 0); };
    conditionalLoop(0, always);
    EXPECT_EQ(loopState, 3);
    conditionalLoop(0, never);
    EXPECT_EQ(loopState, 1);
    conditionalLoop(5, always);
    EXPECT_EQ(loopState, 5);
}

TEST(Loops, EndWhenTheHostRequestsAStop) {
    countedLoop(4, 1, 100, 1, &recordAndStopOnSecond);
    EXPECT_EQ(passes, (std::vector<long double>{1, 2}));
    conditionalLoop(0, [](Chain &c) { return constant(c.sub(), 1); });
    EXPECT_EQ(loopState, 0);
    nxRequestStop(0);
    EXPECT_FALSE(stopRequested());
}

// ---- batch evaluation ----

TEST(BatchEvaluate, FillsResultsFromInputsLeavingElementZero) {
    for (int32_t declared : {0, 2}) {  // 0: bound by address, no count known
        Chain c;
        intptr_t inputs = c.cell(32), outputs = c.cell(32);
        auto *in = reinterpret_cast<double *>(inputs);
        auto *out = reinterpret_cast<double *>(outputs);
        in[0] = 99, in[1] = 1, in[2] = 2, in[3] = 3;
        out[0] = -1;
        Item *var = c.variable(c.dbl(0)), *inArray = c.variable(inputs), *outArray = c.variable(outputs);
        inArray->count = outArray->count = declared;
        Chain &expr = c.sub();
        intptr_t twice = expr.dbl(0);
        expr.add(203, var->address, expr.dbl(2), twice);
        c.call(199, 0, 0, 0,
               c.args({handle(var), handle(inArray), handle(outArray), c.lng(3), handle(expr.expression(twice))}));
        EXPECT_EQ(std::vector<double>(out, out + 4), (std::vector<double>{-1, 2, 4, declared ? 0.0 : 6.0}));
        EXPECT_EQ(rt::dblAt(var->address), declared ? 2 : 3);
    }
}

} // namespace

namespace {
void hostNegate(OperationRecord *r) { setExt(r, -xExt(r)); }
} // namespace

// A host's routine makes a chain one that may fault until the host declares
// it pure; the engine's own arithmetic is pure from the start.
TEST(Purity, HostRoutinesArePureOnlyWhenDeclared) {
    command(nx_Initialize, {}, 0, 0, 0, 0);
    Chain c;
    intptr_t sum = c.ext(0), negated = c.ext(0);
    c.add(48, c.ext(1), c.ext(2), sum);
    OperationRecord *first = c.expression(sum)->chain;
    EXPECT_TRUE(isPureChain(first));
    c.add(&hostNegate, sum, 0, negated);
    EXPECT_FALSE(isPureChain(first));
    nxDeclarePure(&hostNegate);
    nxDeclarePure(&hostNegate);  // twice is once
    EXPECT_TRUE(isPureChain(first));
    EXPECT_EQ(nxEvaluateExt(reinterpret_cast<intptr_t>(c.expression(negated))), -3);
}
