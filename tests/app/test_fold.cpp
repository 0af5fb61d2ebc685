// Folded constants and the compiled path of pure chains, through the language
// as the calculator defines it: one compiled expression evaluated again after
// whatever its folded values or code depend on has changed must give what a
// fresh compilation gives.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "box_host.h"
#include "nxeng296.h"
#include "shell/binding.h"
#include "shell/bootstrap.h"

using namespace nomix;

namespace {

constexpr uint16_t kMasked = 0x033F, kTrapping = 0x0332;

class Fold : public ::testing::Test {
protected:
    void SetUp() override {
        DefineApplicationLanguage(binding());
        x_ = static_cast<double *>(nxAlloc(sizeof(double)));
        *x_ = 1.5;
        binding().DefineVar("fx As Double", reinterpret_cast<intptr_t>(x_));
        setWord(kMasked);
    }
    void TearDown() override {
        setWord(kMasked);
        binding().SetAngleMode(AngleUnit::Radians);
    }
    intptr_t parse(const std::string &text) {
        intptr_t h = binding().Parse(text, binding().keptType(KeptType::Double));
        EXPECT_NE(h, 0) << text;
        return h;
    }
    // A fresh compilation's value, the reference for a kept handle.
    double fresh(const std::string &text) {
        intptr_t h = parse(text);
        double v = nxEvaluateDbl(h);
        binding().Release(h);
        return v;
    }
    static void setWord(uint16_t word) { Nomix(75, "", word, 0, 0, 0); }
    static int32_t error() { return static_cast<int32_t>(Nomix(18, "", 0, 0, 0, 0)); }
    static void clearError() { Nomix(85, "", 0, 0, 0, 0); }

    nomix::testing::BoxHost host_;
    Application app_{host_};
    double *x_ = nullptr;
};

TEST_F(Fold, FoldedConstantsFollowTheAngleUnit) {
    const char *texts[] = {"Sin(30) * fx", "Cos(2.41) / fx", "fx + Atan(1)", "Tan(45) + fx * 0"};
    for (const char *text : texts) {
        intptr_t h = parse(text);
        double radians = nxEvaluateDbl(h);
        EXPECT_EQ(radians, fresh(text)) << text;
        binding().SetAngleMode(AngleUnit::Degrees);
        EXPECT_EQ(nxEvaluateDbl(h), fresh(text)) << text;
        EXPECT_NE(nxEvaluateDbl(h), radians) << text;
        binding().SetAngleMode(AngleUnit::Radians);
        EXPECT_EQ(nxEvaluateDbl(h), radians) << text;
        binding().Release(h);
    }
}

TEST_F(Fold, AFoldedFaultIsRaisedWhenTheWordUnmasksIt) {
    struct Case {
        const char *text;
        int32_t trappedError;  // under the trapping word
    } cases[] = {
        {"fx + 1 / 0", 22},         // division by 0
        {"fx * Log(0)", 22},
        {"fx + 1e308 * 10", 25},    // overflow
        {"fx + Sqr(-1)", 24},       // invalid operation
        {"fx + 2 * 3", 0},
    };
    for (const Case &c : cases) {
        intptr_t h = parse(c.text);
        double masked = nxEvaluateDbl(h);
        setWord(kTrapping);
        clearError();
        nxEvaluateDbl(h);
        EXPECT_EQ(error(), c.trappedError) << c.text;
        setWord(kMasked);
        clearError();
        double again = nxEvaluateDbl(h);
        EXPECT_TRUE(again == masked || (std::isnan(again) && std::isnan(masked))) << c.text;
        EXPECT_EQ(error(), 0) << c.text;
        binding().Release(h);
    }
}

TEST_F(Fold, ARedefinedConstantIsFoldedAgain) {
    binding().Define("Const: fk = 2");
    intptr_t h = parse("fk * 3 + fx");
    EXPECT_EQ(nxEvaluateDbl(h), 7.5);
    intptr_t k = Nomix(97, "fk", 0, 13, 0, 0);  // the constant's handle
    ASSERT_NE(k, 0);
    nxSetVariableValueDbl(k, 4);
    EXPECT_EQ(nxEvaluateDbl(h), fresh("fk * 3 + fx"));
    EXPECT_EQ(nxEvaluateDbl(h), 13.5);
    binding().Release(h);
}

TEST_F(Fold, FunctionCallsAreNeitherFoldedNorCompiled) {
    // A call runs the body of the function item it was compiled with at each
    // evaluation: its variables are read then, and a later definition of the
    // same name is for later compilations.
    binding().Define("Func: fq(x) = x * fx");
    intptr_t h = parse("fq(3) + 1");
    EXPECT_EQ(nxEvaluateDbl(h), 5.5);
    *x_ = 2;
    EXPECT_EQ(nxEvaluateDbl(h), 7);
    binding().Define("Func: fq(x) = x * 10");
    EXPECT_EQ(nxEvaluateDbl(h), 7);
    EXPECT_EQ(fresh("fq(3) + 1"), 31);
    binding().Release(h);
}

TEST_F(Fold, AReplacedSlotLeavesCompiledRecordsAlone) {
    // Definitions and records hold the routine they were made with: replacing
    // the slot afterwards changes no answer, folded or not.
    intptr_t h = parse("2 ^ 0.5 + fx");
    double before = nxEvaluateDbl(h);
    intptr_t power = Nomix(12, "", 206, 0, 0, 0);
    Nomix(24, "", 206, Nomix(12, "", 204, 0, 0, 0), 0, 0);  // power := division
    EXPECT_EQ(nxEvaluateDbl(h), before);
    EXPECT_EQ(fresh("2 ^ 0.5 + fx"), before);
    Nomix(24, "", 206, power, 0, 0);
    EXPECT_EQ(nxEvaluateDbl(h), before);
    binding().Release(h);
}

TEST_F(Fold, VariablesAreNeverFolded) {
    intptr_t h = parse("fx * 2 + Sqr(16)");
    for (double v : {0.0, -3.0, 1e300, 0.25}) {
        *x_ = v;
        EXPECT_EQ(nxEvaluateDbl(h), v * 2 + 4) << v;
    }
    binding().Release(h);
}

} // namespace

namespace {

// A host's own runner: evaluations then run the records through it (here it
// hands them to the protected runner), never the folded chain or the code.
NxRoutine savedRunner = nullptr;
int hostRuns = 0;
void hostRunner(OperationRecord *first) {
    ++hostRuns;
    savedRunner(first);
}

// Double templates on two variables, and the operands they meet.
const char *const kTemplates[] = {
    "fa + fb", "fa - fb", "fa * fb", "fa / fb", "fa ^ fb", "fa ^ 2", "Sqr(fa)", "Sin(fa) * fb",
    "Cos(fa) - fb", "Tan(fa)", "Atan(fa) + fb", "Exp(fa)", "Log(fa) + fb", "Abs(fa) - fb", "fa Mod fb",
    "(fa + 1) * (fb - 2) / 3", "-fa + fb", "2 ^ fa", "fa ^ 0.5 + fb ^ 1.5", "Sqr(2 * 3) + fa",
    "1 / 0 + fa", "fa * 1e308 * 10", "fa ^ 7 - fb ^ 3", "fa ^ -3 + fb ^ 0", "fa ^ 1000 * fb ^ 31",
    "fa ^ 2147483648 + fb ^ -2147483647",
};
const double kValues[] = {0, -0.0, 1, -1, 1e308, -1e308, 4.9e-324, INFINITY, -INFINITY, NAN, 0.5, 2.5, 3};

struct Outcome {
    double value;
    int32_t error;
    bool operator==(const Outcome &o) const {
        bool same = value == o.value || (std::isnan(value) && std::isnan(o.value));
        return error == o.error && (error != 0 || same);
    }
};

} // namespace

TEST_F(Fold, MachineCodeAndFoldedChainsAnswerAsTheRecordsUnderBothWords) {
    auto *cells = static_cast<double *>(nxAlloc(2 * sizeof(double)));
    binding().DefineVar("fa As Double", reinterpret_cast<intptr_t>(&cells[0]));
    binding().DefineVar("fb As Double", reinterpret_cast<intptr_t>(&cells[1]));
    std::vector<intptr_t> handles;
    for (const char *t : kTemplates) handles.push_back(parse(t));
    // Every template on every pair of operands under one word, in order.
    auto runAll = [&](uint16_t word) {
        std::vector<Outcome> out;
        setWord(word);
        for (intptr_t h : handles)
            for (double a : kValues)
                for (double b : kValues) {
                    cells[0] = a, cells[1] = b;
                    clearError();
                    double v = nxEvaluateDbl(h);
                    out.push_back({v, error()});
                }
        setWord(kMasked);
        return out;
    };
    std::vector<Outcome> fastMasked = runAll(kMasked), fastTrapping = runAll(kTrapping);

    savedRunner = reinterpret_cast<NxRoutine>(Nomix(12, "", 150, 0, 0, 0));
    Nomix(24, "", 150, reinterpret_cast<intptr_t>(&hostRunner), 0, 0);
    binding().Release(parse("fa"));  // a parse takes the runner from the table
    std::vector<Outcome> recordsMasked = runAll(kMasked), recordsTrapping = runAll(kTrapping);
    EXPECT_GE(hostRuns, int(2 * handles.size() * std::size(kValues) * std::size(kValues)));
    Nomix(24, "", 150, reinterpret_cast<intptr_t>(savedRunner), 0, 0);
    binding().Release(parse("fa"));

    size_t i = 0;
    for (const char *t : kTemplates)
        for (double a : kValues)
            for (double b : kValues) {
                EXPECT_EQ(fastMasked[i], recordsMasked[i]) << t << " a=" << a << " b=" << b;
                EXPECT_EQ(fastTrapping[i], recordsTrapping[i]) << "trapping: " << t << " a=" << a << " b=" << b;
                ++i;
            }
    for (intptr_t h : handles) binding().Release(h);
}
