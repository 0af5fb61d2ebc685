// The standard library of the shipped start-up script data/Nomix.nx, run the
// way the application runs it (both bootstrap phases, then the script loader).
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "shell/binding.h"
#include "shell/bootstrap.h"
#include "shell/natives.h"
#include "shell/script.h"

using namespace nomix;

namespace {

// Every box the error handler or a script shows.
class BoxRecorder : public Host {
public:
    std::vector<std::string> boxes;
    int messageBox(const std::string &prompt, int, const std::string &) override {
        boxes.push_back(prompt);
        return 1;
    }
    std::string inputBox(const std::string &, const std::string &, const std::string &d) override { return d; }
    void doEvents() override {}
    void sleepMs(int) override {}
    bool closing() const override { return false; }
};

BoxRecorder &boxes() {
    static BoxRecorder host;
    return host;
}

const char *const kScript = NOMIX_SOURCE_DIR "/data/Nomix.nx";

// Both phases and the start-up script, once per process; the boxes shown while
// the script ran are kept for the test that checks there were none.
struct Started {
    bool scriptRan = false;
    std::vector<std::string> boxesWhileLoading;
};

const Started &started() {
    static Application app(boxes());
    static Started s = [] {
        Started r;
        DefineApplicationLanguage(binding());
        r.scriptRan = runScriptFile(binding(), kScript);
        r.boxesWhileLoading = boxes().boxes;
        return r;
    }();
    return s;
}

class StdLib : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(started().scriptRan) << kScript;
        boxes().boxes.clear();
    }
    void TearDown() override { binding().SetAngleMode(AngleUnit::Radians); }
    double number(const std::string &expr) { return binding().EvalDbl(expr); }
    std::string text(const std::string &expr) { return binding().EvalStr(expr); }
    std::string boxText() {
        std::string all;
        for (const std::string &b : boxes().boxes) all += b + "\n";
        return all;
    }
};

struct Case {
    const char *expr;
    double expected;
    double tolerance;  // 0: exactly
};

void expectAll(StdLib &, std::initializer_list<Case> cases, const std::function<double(const std::string &)> &eval) {
    for (const Case &c : cases) {
        double v = eval(c.expr);
        if (c.tolerance == 0)
            EXPECT_EQ(v, c.expected) << c.expr;
        else if (std::isinf(c.expected))
            EXPECT_EQ(v, c.expected) << c.expr;
        else
            EXPECT_NEAR(v, c.expected, c.tolerance) << c.expr;
    }
}

TEST_F(StdLib, TheScriptLoadsWithoutAnyErrorAndCanRunAgain) {
    EXPECT_TRUE(started().boxesWhileLoading.empty()) << started().boxesWhileLoading.front();
    // New Session runs the start-up script again in the same engine.
    ASSERT_TRUE(runScriptFile(binding(), kScript));
    EXPECT_TRUE(boxes().boxes.empty()) << boxText();
    EXPECT_EQ(text("pi"), " 3.141592653589793");
}

TEST_F(StdLib, Constants) {
    auto eval = [this](const std::string &e) { return number(e); };
    expectAll(*this, {{"pi", M_PI, 0}, {"e", M_E, 0}, {"2pi", 2 * M_PI, 0}, {"Ln(e)", 1, 1e-15}}, eval);
    text("pi = 3");
    EXPECT_EQ(number("pi"), M_PI) << "constants cannot be assigned";
}

TEST_F(StdLib, LogarithmsAndRoots) {
    auto eval = [this](const std::string &e) { return number(e); };
    expectAll(*this,
              {{"Ln(1)", 0, 0},          {"Log10(1000)", 3, 0},       {"Log10(0.001)", -3, 0},
               {"Log10(2)", 0.30102999566398120, 1e-15}, {"Log2(1024)", 10, 0}, {"Log2(0.125)", -3, 0},
               {"Log2(3)", 1.5849625007211562, 1e-15},   {"LogB(81, 3)", 4, 0}, {"LogB(10, 100)", 0.5, 1e-15},
               {"Sqrt(16)", 4, 0},       {"Root(16, 4)", 2, 0},       {"Root(-27, 3)", -3, 0},
               {"Root(2, 2)", M_SQRT2, 1e-15}, {"Cbrt(27)", 3, 0},    {"Cbrt(-8)", -2, 0},
               {"Cbrt(2)", 1.2599210498948732, 1e-15},   {"Hypot(3, 4)", 5, 0}},
              eval);
    EXPECT_TRUE(std::isnan(number("Root(-16, 4)"))) << "no even root of a negative number";
    EXPECT_TRUE(std::isnan(number("Log10(-1)")));
}

TEST_F(StdLib, EveryWholePowerOfTenHasItsExactLogarithm) {
    for (int k = -300; k <= 300; k += 7) {
        std::string power = "1e" + std::to_string(k);
        EXPECT_EQ(number("Log10(" + power + ")"), k) << power;
    }
}

TEST_F(StdLib, Rounding) {
    auto eval = [this](const std::string &e) { return number(e); };
    expectAll(*this,
              {{"Round(2.5)", 2, 0},      {"Round(3.5)", 4, 0},       {"Round(-2.5)", -2, 0},
               {"Round(-2.6)", -3, 0},    {"Round(0.49999999999999994)", 0, 0}, {"Round(1e300)", 1e300, 0},
               {"Round(3.14159, 2)", 3.14, 1e-15}, {"Round(1234.5, -2)", 1200, 1e-12},
               {"Fix(-2.7)", -2, 0},      {"Fix(2.7)", 2, 0},         {"Floor(-2.5)", -3, 0},
               {"Ceiling(2.1)", 3, 0},    {"Ceiling(-2.1)", -2, 0},   {"Ceiling(1e12 + 0.5)", 1e12 + 1, 0}},
              eval);
}

TEST_F(StdLib, TrigonometryInRadians) {
    auto eval = [this](const std::string &e) { return number(e); };
    const double t = 1e-15;
    expectAll(*this,
              {{"Deg(pi)", 180, 0},        {"Rad(180)", M_PI, 0},      {"Sec(0)", 1, 0},
               {"Csc(pi/2)", 1, 0},        {"Cot(pi/4)", 1, t},        {"Asin(1)", M_PI / 2, t},
               {"Asin(-0.5)", -M_PI / 6, t}, {"Acos(1)", 0, 0},        {"Acos(-1)", M_PI, t},
               {"Acos(0.5)", M_PI / 3, t}, {"Acot(1)", M_PI / 4, t},   {"Asec(2)", M_PI / 3, t},
               {"Acsc(2)", M_PI / 6, t},   {"Atan2(1, 1)", M_PI / 4, t}, {"Atan2(1, -1)", 3 * M_PI / 4, t},
               {"Atan2(-1, -1)", -3 * M_PI / 4, t}, {"Atan2(0, -1)", M_PI, t}, {"Atan2(-1, 0)", -M_PI / 2, t},
               {"Atan2(0, 0)", 0, 0}},
              eval);
    EXPECT_TRUE(std::isnan(number("Asin(2)")));
}

TEST_F(StdLib, InverseFunctionsAnswerInTheAngleUnit) {
    binding().SetAngleMode(AngleUnit::Degrees);
    auto eval = [this](const std::string &e) { return number(e); };
    const double t = 1e-12;
    expectAll(*this,
              {{"Asin(1)", 90, t}, {"Acos(-1)", 180, t}, {"Acos(0.5)", 60, t}, {"Acot(1)", 45, t},
               {"Atan2(1, -1)", 135, t}, {"Atan2(0, -1)", 180, t}, {"Sec(60)", 2, t},
               {"Deg(pi)", 180, 0}},
              eval);
    binding().SetAngleMode(AngleUnit::Grads);
    EXPECT_NEAR(number("Asin(1)"), 100, 1e-12);
}

TEST_F(StdLib, HyperbolicFunctions) {
    auto eval = [this](const std::string &e) { return number(e); };
    const double t = 1e-15;
    expectAll(*this,
              {{"Sinh(1)", std::sinh(1.0), t}, {"Sinh(-2)", std::sinh(-2.0), 1e-14},
               {"Sinh(1e-10)", 1e-10, 1e-25}, {"Cosh(1)", std::cosh(1.0), t}, {"Cosh(0)", 1, 0},
               {"Tanh(0.5)", std::tanh(0.5), t}, {"Tanh(1000)", 1, 0}, {"Tanh(-1000)", -1, 0},
               {"Sech(0)", 1, 0}, {"Csch(1)", 1 / std::sinh(1.0), t}, {"Coth(1)", 1 / std::tanh(1.0), t},
               {"Asinh(-1)", std::asinh(-1.0), t}, {"Asinh(1e6)", std::asinh(1e6), 1e-13},
               {"Acosh(2)", std::acosh(2.0), t}, {"Atanh(0.5)", std::atanh(0.5), t}},
              eval);
}

TEST_F(StdLib, Counting) {
    auto eval = [this](const std::string &e) { return number(e); };
    expectAll(*this,
              {{"Fact(0)", 1, 0}, {"Fact(5)", 120, 0}, {"nPr(5, 2)", 20, 0}, {"nCr(5, 2)", 10, 0},
               {"nCr(52, 5)", 2598960, 0}, {"nCr(10, 0)", 1, 0}, {"nCr(60, 30)", 118264581564861424.0, 1e3}},
              eval);
}

TEST_F(StdLib, SolveInEveryFormTheWindowsSend) {
    runStatement(binding(), "length = 4");
    runStatement(binding(), "area = 20");
    auto eval = [this](const std::string &e) { return number(e); };
    expectAll(*this,
              {
                  // the calculator window in Solve mode
                  {"Solve x^2-4,-100000000,100000000,x", -2, 0},
                  {"Solve x^3 = 8,-100000000,100000000,x", 2, 1e-9},
                  // the modules window: a formula, the unknown's range and name
                  {"Solve(area = length*width,-100000000,100000000,width)", 5, 0},
                  {"Solve(Max(t, 1) - 3, -10, 10, t)", 3, 0},
                  {"solve(Sin(w), 3, 4, w)", M_PI, 1e-12},
                  {"Solve(q*2 = 3, -10, 10, q)", 1.5, 0},
              },
              eval);
    EXPECT_TRUE(boxes().boxes.empty()) << boxText();
}

TEST_F(StdLib, SolveLeavesAVariableOfTheSameNameAlone) {
    runStatement(binding(), "z = 7");
    EXPECT_DOUBLE_EQ(number("Solve(z - 1, -10, 10, z)"), 1);
    EXPECT_DOUBLE_EQ(number("z"), 7);
    text("Solve(y9 - 1, -10, 10, y9)");
    text("y9");
    EXPECT_EQ(binding().ErrorCode(), 3) << "the solver's variable is gone afterwards";
}

TEST_F(StdLib, IntegAndSum) {
    auto eval = [this](const std::string &e) { return number(e); };
    expectAll(*this,
              {{"Integ(x^2,0,3,x,100)", 9, 1e-12}, {"Integ(x^2, 0, 3, x)", 9, 1e-12},
               {"Integ(1/u, 1, e, u, 1000)", 1, 1e-10}, {"Integ(Sin(x), 0, pi, x, 3)", 2.0045597549844207, 1e-12},
               {"Sum(k, 1, 10, 1, k)", 55, 0}, {"Sum(k, 10, 1, -1, k)", 55, 0}, {"Sum(k, 10, 1, 1, k)", 0, 0},
               {"Sum(1/2^n, 1, 50, 1, n)", 1, 1e-15}, {"Sum(Sum(i*j, 1, 3, 1, j), 1, 2, 1, i)", 18, 0}},
              eval);
    EXPECT_TRUE(boxes().boxes.empty()) << boxText();
}

TEST_F(StdLib, CommentsAndBlankLinesAreQuiet) {
    EXPECT_EQ(runStatement(binding(), "Rem anything (even an unclosed bracket"), "Ok");
    EXPECT_EQ(runStatement(binding(), "Rem"), "Ok");
    EXPECT_TRUE(boxes().boxes.empty()) << boxText();
}

} // namespace
