// Folded constants and the compiled path of pure chains, through the language
// as the calculator defines it: one compiled expression evaluated again after
// whatever its folded values or code depend on has changed must give what a
// fresh compilation gives.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

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
