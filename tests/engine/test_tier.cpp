// The fast path of pure chains from the inside: which chains get machine code,
// when nxEvaluateDbl enters it at once, and how the stamp sends evaluations
// back to the records when what the code or the folded values rely on changes.
#include <gtest/gtest.h>

#include <cmath>

#include "compiled_support.h"

using namespace nx;
using rt::Chain;
using rt::Compiled;

namespace {

class Tier : public ::testing::Test {
protected:
    void SetUp() override {
        if (!defaultContext()) command(nx_Initialize, {}, 0, 0, 0, 0);
        setAngleUnit(1);
        loadControlWord(0x033F);
    }
    void TearDown() override {
        setAngleUnit(1);
        loadControlWord(0x033F);
    }
};

TEST_F(Tier, APureDoubleChainRunsAsCodeEnteredAtOnce) {
    Chain c;
    intptr_t a = c.dbl(1.5), b = c.dbl(2.25), t = c.dbl(0), r = c.dbl(0);
    c.add(203, a, b, t);  // a * b
    c.add(201, t, a, r);  // + a
    Compiled e(c, r);
    ASSERT_NE(e.fast(), nullptr);
    EXPECT_NE(e.fast()->entry, nullptr);
    EXPECT_TRUE(e.hot());
    EXPECT_EQ(nxEvaluateDbl(e.handle()), 1.5 * 2.25 + 1.5);
    *reinterpret_cast<double *>(a) = -4;
    EXPECT_EQ(nxEvaluateDbl(e.handle()), -4 * 2.25 - 4);
    EXPECT_EQ(rt::dblAt(t), -9);  // memory holds what the records would have written
}

TEST_F(Tier, TheStampSendsEvaluationsBackWhenItsPartsChange) {
    Chain c;
    intptr_t x = c.dbl(30), s = c.dbl(0);
    c.add(208, x, 0, s);  // Sin(x)
    Compiled e(c, s);
    ASSERT_TRUE(e.hot());
    const double radians = std::sin(30.0);
    EXPECT_EQ(nxEvaluateDbl(e.handle()), radians);

    setAngleUnit(2);  // the code calls sin bare: right in radians only
    EXPECT_NEAR(nxEvaluateDbl(e.handle()), 0.5, 1e-15);
    EXPECT_FALSE(e.hot());
    setAngleUnit(1);
    EXPECT_EQ(nxEvaluateDbl(e.handle()), radians);
    EXPECT_TRUE(e.hot());

    // A word that unmasks faults, or an after-word of its own: no direct entry.
    for (auto [eval, after] : {std::pair<uint16_t, uint16_t>{0x0332, 0x0332}, {0x033F, 0x037F}}) {
        c.context()->fpuWordEval = eval;
        c.context()->fpuWordAfter = after;
        bumpFoldGeneration();  // as the commands that set the words do
        EXPECT_EQ(nxEvaluateDbl(e.handle()), radians);
        EXPECT_FALSE(e.hot()) << eval << " " << after;
    }
    c.context()->fpuWordEval = c.context()->fpuWordAfter = 0x033F;
    bumpFoldGeneration();
    EXPECT_EQ(nxEvaluateDbl(e.handle()), radians);
    EXPECT_TRUE(e.hot());

    // A host that changes either unit between evaluations gets its word back.
    loadControlWordFully(0x0332);
    EXPECT_FALSE(e.hot());
    EXPECT_EQ(nxEvaluateDbl(e.handle()), radians);
    EXPECT_TRUE(e.hot());
}

TEST_F(Tier, FoldedRecordsRunAgainUnderANewStamp) {
    Chain c;
    intptr_t two = c.dbl(2), pi = c.dbl(M_PI), k = c.dbl(0), x = c.dbl(3), r = c.dbl(0);
    OperationRecord *folded = c.add(203, two, pi, k);  // 2 * pi, folded
    c.add(204, k, x, r);                               // / x
    Compiled e(c, r, {folded});
    ASSERT_EQ(e.fast()->folded.size(), 1u);
    EXPECT_EQ(nxEvaluateDbl(e.handle()), 2 * M_PI / 3);
    // The folded record no longer runs at each evaluation...
    *reinterpret_cast<double *>(two) = 4;
    EXPECT_EQ(nxEvaluateDbl(e.handle()), 2 * M_PI / 3);
    // ...until something bumps the generation (a definition, a slot, the unit).
    bumpFoldGeneration();
    EXPECT_EQ(nxEvaluateDbl(e.handle()), 4 * M_PI / 3);
}

TEST_F(Tier, AHostRoutineDeclaredPureIsCalledWithItsRecord) {
    static int calls = 0;
    struct Host {
        static void twice(OperationRecord *r) {
            ++calls;
            *reinterpret_cast<double *>(r->Result) = 2 * *reinterpret_cast<double *>(r->Arg1);
        }
    };
    nxDeclarePure(&Host::twice);
    Chain c;
    intptr_t a = c.dbl(5), t = c.dbl(0), r = c.dbl(0);
    c.add(&Host::twice, a, 0, t);
    c.add(201, t, a, r);
    Compiled e(c, r);
    ASSERT_NE(e.fast()->entry, nullptr);
    EXPECT_EQ(nxEvaluateDbl(e.handle()), 15);
    EXPECT_EQ(calls, 1);
}

TEST_F(Tier, ChainsThatMayFaultGetNoFastPath) {
    Chain c;
    intptr_t a = c.lng(7), b = c.lng(0), r = c.lng(0);
    c.add(55, a, b, r);  // Long division: faults on 0
    Compiled e(c, r);
    EXPECT_EQ(e.fast(), nullptr);
}

} // namespace
