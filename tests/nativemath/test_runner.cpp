// The protected chain runner (slot 150) and the plain runner (slot 151) on
// hand-built chains, with the fake engine's recovery deciding each verdict.
#include <atomic>
#include <cmath>
#include <limits>
#include <thread>

#include "../../nativemath/testing/fake_engine.h"

using namespace fake;

namespace {

void divideExtended(OperationRecord *r) {
    *reinterpret_cast<long double *>(r->Result) =
        *reinterpret_cast<long double *>(r->Arg1) / *reinterpret_cast<long double *>(r->Arg2);
}

void divideDouble(OperationRecord *r) {
    *reinterpret_cast<double *>(r->Result) =
        *reinterpret_cast<double *>(r->Arg1) / *reinterpret_cast<double *>(r->Arg2);
}

// Its last x87 instruction is the narrowing store, which leaves an unmasked
// overflow pending for whatever x87 instruction comes next.
void narrowToDouble(OperationRecord *r) {
    *reinterpret_cast<double *>(r->Result) = double(*reinterpret_cast<long double *>(r->Arg1));
}

void readAddress(OperationRecord *r) {
    *reinterpret_cast<int32_t *>(r->Result) = hardwareLoad(r->Arg1);
}

void throwRuntimeError(OperationRecord *) { throw std::runtime_error("not a fault"); }

// A routine that runs the chain in Arg1 with the runner slot in Arg2: a nested evaluation.
void runNested(OperationRecord *r) {
    run(r->Arg2, reinterpret_cast<OperationRecord *>(r->Arg1));
}

// Five Long records; the third divides by zero.
struct FiveRecords {
    int32_t one = 1, zero = 0;
    int32_t out[5] = {-1, -1, -1, -1, -1};
    Chain chain;
    OperationRecord *first;
    FiveRecords() {
        for (int i = 0; i < 5; ++i) chain.add(i == 2 ? divideLong : addLong, &one, i == 2 ? &zero : &one, &out[i]);
        first = chain.link();
    }
};

#ifndef NOMIX_SANITIZE
// Recurses until the stack runs out; volatile keeps every frame alive.
int exhaustStack(int depth) {
    if (depth == std::numeric_limits<int>::max()) return 0;
    volatile char frame[1024];
    frame[0] = char(depth);
    return exhaustStack(depth + 1) + frame[0];
}

void overflowStack(OperationRecord *r) { *reinterpret_cast<int32_t *>(r->Result) = exhaustStack(int(r->Arg1)); }
#endif

} // namespace

class Runner : public Fixture {};

TEST_F(Runner, FaultingRecordIsSkippedAndTheOthersComplete) {
    FiveRecords f;
    run(150, f.first);
    EXPECT_EQ(f.out[0], 2);
    EXPECT_EQ(f.out[1], 2);
    EXPECT_EQ(f.out[2], -1);  // keeps its previous value
    EXPECT_EQ(f.out[3], 2);
    EXPECT_EQ(f.out[4], 2);
    ASSERT_EQ(engine().recoveries.size(), 1u);
    EXPECT_EQ(engine().recoveries[0].failing, f.chain.at(2));
    EXPECT_EQ(engine().recoveries[0].code, 0xC0000094u);
}

TEST_F(Runner, VerdictTerminatorEndsTheChainQuietly) {
    FiveRecords f;
    OperationRecord *end = f.chain.terminator();
    engine().verdict = [end](OperationRecord *, uint32_t) { return reinterpret_cast<intptr_t>(end); };
    run(150, f.first);
    EXPECT_EQ(f.out[1], 2);
    EXPECT_EQ(f.out[3], -1);
    EXPECT_EQ(f.out[4], -1);
    EXPECT_EQ(engine().recoveries.size(), 1u);
}

TEST_F(Runner, VerdictZeroPropagatesAsProcessorFault) {
    FiveRecords f;
    engine().verdict = [](OperationRecord *, uint32_t) { return intptr_t(0); };
    try {
        run(150, f.first);
        ADD_FAILURE() << "no exception";
    } catch (const nx::ProcessorFault &fault) {
        EXPECT_EQ(fault.code(), 0xC0000094u);
    }
    EXPECT_EQ(f.out[1], 2);
    EXPECT_EQ(f.out[3], -1);
}

TEST_F(Runner, EmptyChainReturnsAtOnce) {
    Chain chain;
    run(150, chain.link());
    run(151, chain.terminator());
    EXPECT_TRUE(engine().recoveries.empty());
}

TEST_F(Runner, TenThousandFaultsInARowAreAllRecovered) {
    int32_t one = 1, zero = 0, out = 0, sum = 0;
    Chain chain;
    for (int i = 0; i < 10000; ++i) chain.add(divideLong, &one, &zero, &out);
    chain.add(addLong, &one, &one, &sum);
    run(150, chain.link());
    ASSERT_EQ(engine().recoveries.size(), 10000u);
    for (size_t i = 0; i < 10000; i += 999) EXPECT_EQ(engine().recoveries[i].failing, chain.at(i));
    EXPECT_EQ(sum, 2);
    for (int i = 0; i < 10000; ++i) run(150, chain.at(9999));  // 10,000 fresh runners, one fault each
    EXPECT_EQ(engine().recoveries.size(), 20000u);
}

TEST_F(Runner, AccessViolationIsRecovered) {
    int32_t out = -1, one = 1, after = 0;
    Chain chain;
    chain.add(readAddress, reinterpret_cast<void *>(8), nullptr, &out);
    chain.add(addLong, &one, &one, &after);
    run(150, chain.link());
    ASSERT_EQ(engine().recoveries.size(), 1u);
    EXPECT_EQ(engine().recoveries[0].code, 0xC0000005u);
    EXPECT_EQ(out, -1);
    EXPECT_EQ(after, 2);
}

// Masked, float division by zero is an infinity; unmasked (0x332) it is a
// fault, and after recovery the chain runs on under the context's word, so a
// second division faults too.
TEST_F(Runner, FloatDivisionFaultsOnlyWhenUnmasked) {
    struct Case { uint16_t word; bool extended; } cases[] = {
        {0x033F, true}, {0x033F, false}, {0x0332, true}, {0x0332, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << std::hex << c.word << (c.extended ? " Extended" : " Double"));
        engine().reset();
        long double x = 1, zero = 0, r1 = 5, r2 = 5;
        double dx = 1, dzero = 0, d1 = 5, d2 = 5;
        Chain chain;
        chain.context.fpuWordEval = c.word;
        if (c.extended) {
            chain.add(divideExtended, &x, &zero, &r1);
            chain.add(divideExtended, &x, &zero, &r2);
        } else {
            chain.add(divideDouble, &dx, &dzero, &d1);
            chain.add(divideDouble, &dx, &dzero, &d2);
        }
        OperationRecord *first = chain.link();
        loadControlWord(c.word);
        run(150, first);
        uint16_t wordAfter = controlWord();
        loadControlWord(0x037F);
        double second = c.extended ? double(r2) : d2;
        if (c.word == 0x033F) {
            EXPECT_TRUE(engine().recoveries.empty());
            EXPECT_TRUE(std::isinf(second));
        } else {
            ASSERT_EQ(engine().recoveries.size(), 2u);
            EXPECT_EQ(engine().recoveries[0].code, 0xC000008Eu);
            EXPECT_EQ(engine().recoveries[1].failing, chain.at(1));
            EXPECT_EQ(second, 5);
        }
        EXPECT_EQ(wordAfter & 0x0F3F, c.word & 0x0F3F);
    }
}

// Recovery may run other evaluations that leave another control word behind;
// the chain still goes on under its own context's word.
TEST_F(Runner, ChainResumesUnderItsContextWord) {
    long double x = 1, zero = 0, r1 = 5, r2 = 5;
    Chain chain;
    chain.context.fpuWordEval = 0x0332;
    chain.add(divideExtended, &x, &zero, &r1);
    chain.add(divideExtended, &x, &zero, &r2);
    OperationRecord *first = chain.link();
    engine().verdict = [](OperationRecord *failing, uint32_t) {
        loadControlWord(0x033F);
        return failing->Next;
    };
    loadControlWord(0x0332);
    run(150, first);
    loadControlWord(0x037F);
    EXPECT_EQ(engine().recoveries.size(), 2u);
    EXPECT_EQ(r2, 5);
}

TEST_F(Runner, PendingX87FaultIsChargedToTheRecordThatCausedIt) {
    long double huge = 1e4000L;
    double narrowed = 0;
    int32_t one = 1, after = 0;
    Chain chain;
    chain.context.fpuWordEval = 0x0332;
    chain.add(narrowToDouble, &huge, nullptr, &narrowed);
    chain.add(addLong, &one, &one, &after);
    OperationRecord *first = chain.link();
    loadControlWord(0x0332);
    run(150, first);
    loadControlWord(0x037F);
    ASSERT_EQ(engine().recoveries.size(), 1u);
    EXPECT_EQ(engine().recoveries[0].failing, chain.at(0));
    EXPECT_EQ(engine().recoveries[0].code, 0xC0000091u);
    EXPECT_EQ(after, 2);
}

TEST_F(Runner, NestedEvaluationFaultIsChargedToTheOuterRecord) {
    int32_t one = 1, zero = 0, innerOut = -1, outerOut = -1, after = 0;
    Chain inner;
    inner.add(divideLong, &one, &zero, &innerOut);
    OperationRecord *innerFirst = inner.link();
    Chain outer;
    outer.add(runNested, innerFirst, reinterpret_cast<void *>(150), &outerOut);
    outer.add(addLong, &one, &one, &after);
    OperationRecord *outerFirst = outer.link();
    // The inner fault propagates (verdict 0); the outer one is skipped.
    engine().verdict = [&](OperationRecord *failing, uint32_t) {
        return failing == inner.at(0) ? intptr_t(0) : failing->Next;
    };
    run(150, outerFirst);
    ASSERT_EQ(engine().recoveries.size(), 2u);
    EXPECT_EQ(engine().recoveries[0].failing, inner.at(0));
    EXPECT_EQ(engine().recoveries[1].failing, outer.at(0));
    EXPECT_EQ(engine().recoveries[1].code, 0xC0000094u);
    EXPECT_EQ(after, 2);
}

TEST_F(Runner, PlainRunnerLeavesFaultsToTheEnclosingRegion) {
    int32_t one = 1, zero = 0, out = -1, sum = 0, after = 0;
    Chain plain;
    plain.add(addLong, &one, &one, &sum);
    plain.add(divideLong, &one, &zero, &out);
    OperationRecord *plainFirst = plain.link();
    Chain outer;
    outer.add(runNested, plainFirst, reinterpret_cast<void *>(151));
    outer.add(addLong, &one, &one, &after);
    run(150, outer.link());
    ASSERT_EQ(engine().recoveries.size(), 1u);
    EXPECT_EQ(engine().recoveries[0].failing, outer.at(0));
    EXPECT_EQ(sum, 2);
    EXPECT_EQ(after, 2);
}

TEST_F(Runner, LanguageExceptionsPassThroughUnchanged) {
    int32_t one = 1, zero = 0, out = 0;
    Chain chain;
    chain.add(throwRuntimeError, nullptr);
    OperationRecord *first = chain.link();
    EXPECT_THROW(run(150, first), std::runtime_error);
    EXPECT_TRUE(engine().recoveries.empty());
    Chain next;  // the region was left: a new run recovers normally
    next.add(divideLong, &one, &zero, &out);
    run(150, next.link());
    EXPECT_EQ(engine().recoveries.size(), 1u);
}

TEST_F(Runner, ThreadsRecoverTheirOwnFaults) {
    std::atomic<int> wrongRecord{0};
    auto work = [&wrongRecord] {
        int32_t one = 1, zero = 0, out = 0, sum = 0;
        Chain chain;
        chain.add(divideLong, &one, &zero, &out);
        chain.add(addLong, &one, &one, &sum);
        OperationRecord *first = chain.link();
        for (int i = 0; i < 2000; ++i) {
            sum = 0;
            run(150, first);
            if (sum != 2) ++wrongRecord;
        }
    };
    std::thread a(work), b(work);
    a.join();
    b.join();
    EXPECT_EQ(wrongRecord.load(), 0);
    EXPECT_EQ(engine().recoveries.size(), 4000u);
}

#ifndef NOMIX_SANITIZE
TEST_F(Runner, StackOverflowInARoutineIsRecovered) {
    int32_t out = -1, one = 1, after = 0;
    std::thread worker([&] {
        Chain chain;
        chain.add(overflowStack, nullptr, nullptr, &out);
        chain.add(addLong, &one, &one, &after);
        run(150, chain.link());
    });
    worker.join();
    ASSERT_EQ(engine().recoveries.size(), 1u);
    EXPECT_EQ(engine().recoveries[0].code, 0xC0000005u);
    EXPECT_EQ(after, 2);
}
#endif
