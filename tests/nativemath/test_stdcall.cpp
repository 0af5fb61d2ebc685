// TryStdCall: plain C functions called by address through libffi inside a
// protected region, results handed to storeResult, parameters always unwound.
#include <cmath>
#include <cstring>

#include "../../nativemath/testing/fake_engine.h"

using namespace fake;

namespace {

extern "C" long double mixed(int i, double d, long double e) { return i + d * e; }

// Every argument type at once; the result proves each arrived intact.
extern "C" long double allTypes(uint8_t u8, int16_t s16, uint16_t u16, int32_t s32, uint32_t u32,
                                int64_t s64, float f, double d, long double e, const char *text) {
    bool ok = u8 == 200 && s16 == -300 && u16 == 60000 && s32 == -70000 && u32 == 4000000000u &&
              s64 == -5000000000LL && f == 1.5f && d == 0.25 && e == 1e4000L &&
              std::strcmp(text, "nomix") == 0;
    return ok ? 1.0L : 0.0L;
}

extern "C" int32_t returnsSint32() { return -5; }
extern "C" uint32_t returnsUint32() { return 0xFFFFFFFFu; }
extern "C" int16_t returnsSint16() { return -2; }
extern "C" uint16_t returnsUint16() { return 0xFFFF; }
extern "C" uint8_t returnsUint8() { return 200; }
extern "C" int64_t returnsSint64() { return -1000000000000LL; }
extern "C" void *returnsPointer() { return reinterpret_cast<void *>(intptr_t(0x12345678)); }
extern "C" float returnsFloat() { return 1.5f; }
extern "C" void returnsNothing() {}

extern "C" int32_t divide(int32_t a, int32_t b) { return hardwareDivide(a, b); }
extern "C" int32_t readAt(intptr_t address) { return hardwareLoad(address); }
extern "C" long double divideExtended(long double a, long double b) { return a / b; }
void throwsLanguageException() { throw std::logic_error("from the callee"); }

// The routine the engine would place in a record for a native call: Arg1 holds
// the function, Arg2 the divisor's cell.
void callDivide(OperationRecord *r) {
    static const int32_t one = 1;
    NxNativeArg args[] = {{NXN_SINT32, &one}, {NXN_SINT32, reinterpret_cast<void *>(r->Arg2)}};
    library().tryStdCall(r, args, 2, reinterpret_cast<void *>(r->Arg1), NXN_SINT32, 2);
}

} // namespace

class StdCall : public Fixture {
protected:
    OperationRecord record{};
    void call(const NxNativeArg *args, intptr_t count, void *function, int32_t resultType, intptr_t words = 3) {
        library().tryStdCall(&record, args, count, function, resultType, words);
    }
    // The parameters were unwound exactly once, with the call's record and word count.
    void expectUnwoundOnce(intptr_t words = 3) {
        ASSERT_EQ(engine().afterCalls.size(), 1u);
        EXPECT_EQ(engine().afterCalls[0].first, &record);
        EXPECT_EQ(engine().afterCalls[0].second, words);
    }
};

TEST_F(StdCall, CubeRootFromLibm) {
    double x = 27;
    double (*volatile cubeRoot)(double) = ::cbrt;  // libm's, not the compiler's folded value
    NxNativeArg args[] = {{NXN_DOUBLE, &x}};
    call(args, 1, reinterpret_cast<void *>(cubeRoot), NXN_DOUBLE, 2);
    ASSERT_EQ(engine().stored.size(), 1u);
    EXPECT_EQ(engine().stored[0].record, &record);
    EXPECT_EQ(engine().stored[0].real, static_cast<long double>(cubeRoot(27.0)));  // as a direct call gives it
    EXPECT_NEAR(double(engine().stored[0].real), 3.0, 1e-15);
    EXPECT_EQ(engine().stored[0].integer, 0);
    expectUnwoundOnce(2);
    EXPECT_EQ(engine().events, (std::vector<const char *>{"store", "after"}));
}

TEST_F(StdCall, IntDoubleLongDoubleToLongDouble) {
    int32_t i = 2;
    double d = 0.5;
    long double e = 1e4000L;  // beyond Double: must travel as long double
    NxNativeArg args[] = {{NXN_SINT32, &i}, {NXN_DOUBLE, &d}, {NXN_LONGDOUBLE, &e}};
    call(args, 3, reinterpret_cast<void *>(&mixed), NXN_LONGDOUBLE, 6);
    ASSERT_EQ(engine().stored.size(), 1u);
    EXPECT_EQ(engine().stored[0].real, 2 + 0.5L * 1e4000L);
}

TEST_F(StdCall, EveryArgumentTypeArrivesIntact) {
    uint8_t u8 = 200;
    int16_t s16 = -300;
    uint16_t u16 = 60000;
    int32_t s32 = -70000;
    uint32_t u32 = 4000000000u;
    int64_t s64 = -5000000000LL;
    float f = 1.5f;
    double d = 0.25;
    long double e = 1e4000L;
    const char *text = "nomix";
    NxNativeArg args[] = {{NXN_UINT8, &u8},   {NXN_SINT16, &s16}, {NXN_UINT16, &u16},
                          {NXN_SINT32, &s32}, {NXN_UINT32, &u32}, {NXN_SINT64, &s64},
                          {NXN_FLOAT, &f},    {NXN_DOUBLE, &d},   {NXN_LONGDOUBLE, &e},
                          {NXN_POINTER, &text}};
    call(args, 10, reinterpret_cast<void *>(&allTypes), NXN_LONGDOUBLE);
    ASSERT_EQ(engine().stored.size(), 1u);
    EXPECT_EQ(engine().stored[0].real, 1.0L);
}

TEST_F(StdCall, ResultsByType) {
    struct Case { void *function; int32_t type; intptr_t integer; long double real; } cases[] = {
        {reinterpret_cast<void *>(&returnsSint32), NXN_SINT32, -5, 0},
        {reinterpret_cast<void *>(&returnsUint32), NXN_UINT32, intptr_t(0xFFFFFFFFu), 0},
        {reinterpret_cast<void *>(&returnsSint16), NXN_SINT16, -2, 0},
        {reinterpret_cast<void *>(&returnsUint16), NXN_UINT16, 0xFFFF, 0},
        {reinterpret_cast<void *>(&returnsUint8), NXN_UINT8, 200, 0},
        {reinterpret_cast<void *>(&returnsSint64), NXN_SINT64, -1000000000000LL, 0},
        {reinterpret_cast<void *>(&returnsPointer), NXN_POINTER, 0x12345678, 0},
        {reinterpret_cast<void *>(&returnsFloat), NXN_FLOAT, 0, 1.5L},
        {reinterpret_cast<void *>(&returnsNothing), NXN_VOID, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << "type " << c.type);
        engine().reset();
        call(nullptr, 0, c.function, c.type, 0);
        ASSERT_EQ(engine().stored.size(), 1u);
        EXPECT_EQ(engine().stored[0].integer, c.integer);
        EXPECT_EQ(engine().stored[0].real, c.real);
        expectUnwoundOnce(0);
    }
}

TEST_F(StdCall, FaultsUnwindTheParametersThenPropagate) {
    int32_t one = 1, zero = 0;
    intptr_t eight = 8;
    long double x = 1, z = 0;
    struct Case { NxNativeArg args[2]; void *function; int32_t type; uint16_t word; uint32_t code; } cases[] = {
        {{{NXN_SINT32, &one}, {NXN_SINT32, &zero}}, reinterpret_cast<void *>(&divide), NXN_SINT32, 0x037F, 0xC0000094},
        {{{NXN_SINT64, &eight}, {}}, reinterpret_cast<void *>(&readAt), NXN_SINT32, 0x037F, 0xC0000005},
        {{{NXN_LONGDOUBLE, &x}, {NXN_LONGDOUBLE, &z}}, reinterpret_cast<void *>(&divideExtended),
         NXN_LONGDOUBLE, 0x0332, 0xC000008E},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << std::hex << c.code);
        engine().reset();
        loadControlWord(c.word);
        intptr_t count = c.args[1].value ? 2 : 1;
        try {
            call(c.args, count, c.function, c.type);
            ADD_FAILURE() << "no exception";
        } catch (const nx::ProcessorFault &fault) {
            EXPECT_EQ(fault.code(), c.code);
        }
        EXPECT_EQ(controlWord() & 0x0F3F, c.word & 0x0F3F);  // the caller's word is back
        loadControlWord(0x037F);
        EXPECT_TRUE(engine().stored.empty());
        expectUnwoundOnce();
    }
}

TEST_F(StdCall, LanguageExceptionsUnwindAndPassThrough) {
    EXPECT_THROW(call(nullptr, 0, reinterpret_cast<void *>(&throwsLanguageException), NXN_VOID),
                 std::logic_error);
    EXPECT_TRUE(engine().stored.empty());
    expectUnwoundOnce();
}

TEST_F(StdCall, CallsThatCannotBeMadeFailAsAccessViolations) {
    int32_t one = 1;
    NxNativeArg good[] = {{NXN_SINT32, &one}};
    NxNativeArg voidArg[] = {{NXN_VOID, &one}};
    NxNativeArg unknown[] = {{42, &one}};
    NxNativeArg noValue[] = {{NXN_SINT32, nullptr}};
    std::vector<NxNativeArg> tooMany(65, NxNativeArg{NXN_SINT32, &one});
    void *function = reinterpret_cast<void *>(&returnsSint32);
    struct Case { const NxNativeArg *args; intptr_t count; void *function; int32_t type; } cases[] = {
        {good, 1, nullptr, NXN_SINT32}, {good, -1, function, NXN_SINT32}, {nullptr, 1, function, NXN_SINT32},
        {tooMany.data(), 65, function, NXN_SINT32}, {voidArg, 1, function, NXN_SINT32},
        {unknown, 1, function, NXN_SINT32}, {noValue, 1, function, NXN_SINT32}, {good, 1, function, -1},
    };
    for (const Case &c : cases) {
        engine().reset();
        try {
            call(c.args, c.count, c.function, c.type);
            ADD_FAILURE() << "no exception";
        } catch (const nx::ProcessorFault &fault) {
            EXPECT_EQ(fault.code(), 0xC0000005u);
        }
        EXPECT_TRUE(engine().stored.empty());
        expectUnwoundOnce();
    }
    engine().reset();  // the most arguments allowed still work
    call(tooMany.data(), 64, function, NXN_SINT32);
    EXPECT_EQ(engine().stored.size(), 1u);
}

TEST_F(StdCall, FaultingNativeCallInAChainIsChargedToItsRecord) {
    int32_t zero = 0, one = 1, after = 0;
    Chain chain;
    chain.add(callDivide, reinterpret_cast<void *>(&divide), &zero);
    chain.add(addLong, &one, &one, &after);
    run(150, chain.link());
    ASSERT_EQ(engine().recoveries.size(), 1u);
    EXPECT_EQ(engine().recoveries[0].failing, chain.at(0));
    EXPECT_EQ(engine().recoveries[0].code, 0xC0000094u);
    EXPECT_EQ(engine().events, (std::vector<const char *>{"after"}));
    EXPECT_EQ(after, 2);
}
