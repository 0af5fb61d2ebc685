// The standard library of the shipped start-up script data/Nomix.nx, run the
// way the application runs it (both bootstrap phases, then the script loader).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
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

// ---------------------------------------------------------------------------
// The shipped conversion table and solver modules, read by their file rules.

std::string trimmed(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\r')) s.pop_back();
    while (!s.empty() && s.front() == ' ') s.erase(0, 1);
    return s;
}

std::vector<std::string> dataLines(const char *name) {
    std::ifstream in(std::string(NOMIX_SOURCE_DIR "/data/") + name, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        EXPECT_TRUE(!line.empty() && line.back() == '\r') << name << ": lines end in CR LF";
        lines.push_back(trimmed(line));
    }
    return lines;
}

// A number as text that reads back to the same double.
std::string exact(double v) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
}

struct Conversion {
    std::string a, b, ab, ba;
};

TEST_F(StdLib, EveryConversionOfTheTableGoesThereAndBack) {
    std::map<std::string, std::vector<Conversion>> categories;
    std::string current;
    for (const std::string &line : dataLines("nomix.cnv")) {
        if (!line.empty() && line.front() == '[') {
            current = trimmed(line.substr(1, line.size() - 2));
            continue;
        }
        if (line.find(':') == std::string::npos) continue;
        std::vector<std::string> f;
        size_t start = 0;
        for (int i = 0; i < 3; ++i) {
            size_t colon = line.find(':', start);
            ASSERT_NE(colon, std::string::npos) << line;
            f.push_back(trimmed(line.substr(start, colon - start)));
            start = colon + 1;
        }
        f.push_back(trimmed(line.substr(start)));
        ASSERT_FALSE(current.empty()) << "an entry before any category: " << line;
        categories[current].push_back({f[0], f[1], f[2], f[3]});
    }
    for (const char *name : {"Length", "Area", "Volume", "Mass", "Time", "Speed", "Temperature", "Pressure",
                             "Energy", "Power", "Data"})
        EXPECT_GE(categories[name].size(), 2u) << name;
    for (const auto &[name, entries] : categories) {
        // Every unit of a category reaches every other one.
        std::set<std::string> reached{entries.front().a};
        for (size_t pass = 0; pass < entries.size(); ++pass)
            for (const Conversion &c : entries)
                if (reached.count(c.a) || reached.count(c.b)) reached.insert({c.a, c.b});
        for (const Conversion &c : entries) EXPECT_TRUE(reached.count(c.a) && reached.count(c.b)) << name;
        for (const Conversion &c : entries) {
            runStatement(binding(), "x = 2.5");
            double there = number(c.ab);
            runStatement(binding(), "x = " + exact(there));
            EXPECT_NEAR(number(c.ba), 2.5, 1e-9) << name << ": " << c.a << " -> " << c.b;
            EXPECT_NE(there, 2.5) << name << ": " << c.a << " -> " << c.b << " changes nothing";
        }
    }
    runStatement(binding(), "x = 100");
    EXPECT_DOUBLE_EQ(number("x*9/5 + 32"), 212) << "Celsius to Fahrenheit";
    EXPECT_TRUE(boxes().boxes.empty()) << boxText();
}

struct Module {
    std::string name, formula;
    std::vector<std::pair<std::string, std::string>> fields;  // variable, constraints
};

std::vector<Module> shippedModules() {
    std::vector<Module> modules;
    auto value = [](const std::string &line) { return trimmed(line.substr(line.find('=') + 1)); };
    for (const std::string &line : dataLines("nomix.usm")) {
        if (line == "Begin Module") modules.emplace_back();
        else if (line.rfind("Name", 0) == 0) modules.back().name = value(line);
        else if (line.rfind("Formula", 0) == 0) modules.back().formula = value(line);
        else if (line.rfind("Begin Parameter(", 0) == 0)
            modules.back().fields.push_back({line.substr(16, line.find(')') - 16), ""});
        else if (line.rfind("Constraints", 0) == 0) modules.back().fields.back().second = value(line);
    }
    return modules;
}

TEST_F(StdLib, EverySolverModuleSolvesForEachOfItsFields) {
    std::vector<Module> modules = shippedModules();
    ASSERT_GE(modules.size(), 5u);
    for (const Module &m : modules) {
        size_t equals = m.formula.find('=');
        ASSERT_NE(equals, std::string::npos) << m.name;
        std::string left = trimmed(m.formula.substr(0, equals)), right = m.formula.substr(equals + 1);
        ASSERT_EQ(m.fields.back().first, left) << m.name << ": the left side is the last field";
        for (size_t i = 0; i + 1 < m.fields.size(); ++i) runStatement(binding(), m.fields[i].first + " = 2");
        runStatement(binding(), left + " = " + text(right));
        for (const auto &[variable, constraints] : m.fields) {
            double expected = number(variable);
            size_t dots = constraints.find("..");
            std::string low = dots == std::string::npos ? "-100000000" : constraints.substr(0, dots);
            std::string high = dots == std::string::npos ? "100000000" : constraints.substr(dots + 2);
            double solved = number("Solve(" + m.formula + "," + low + "," + high + "," + variable + ")");
            EXPECT_NEAR(solved, expected, 1e-6 * std::max(1.0, std::fabs(expected))) << m.name << ": " << variable;
        }
    }
    EXPECT_TRUE(boxes().boxes.empty()) << boxText();
}

} // namespace
