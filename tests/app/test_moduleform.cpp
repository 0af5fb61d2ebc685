// Solver modules with the real engine: the fields a formula yields, field
// texts as numbers, constraint items and checks, and solving for the unknown.
#include <gtest/gtest.h>

#include "box_host.h"

#include "shell/binding.h"
#include "shell/bootstrap.h"
#include "shell/script.h"
#include "tools/moduleform.h"

using namespace nomix;

namespace {

using nomix::testing::BoxHost;

class Modules : public ::testing::Test {
protected:
    void SetUp() override {
        DefineApplicationLanguage(binding());
        static bool started = runScriptFile(binding(), NOMIX_SOURCE_DIR "/data/Nomix.nx");
        ASSERT_TRUE(started);
    }
    Module module(const std::string &formula, std::vector<ModuleField> fields) {
        return Module{"test", formula, "", std::move(fields)};
    }
    BoxHost host_;
    Application app_{host_};
};

using Names = std::vector<std::string>;

TEST_F(Modules, FormulaFields) {
    std::string many = "total = v0";
    for (int i = 1; i < 20; ++i) many += "+v" + std::to_string(i);
    const std::vector<std::pair<std::string, std::optional<Names>>> cases = {
        {"area = length*width", Names{"length", "width", "area"}},
        {"V = I*R", Names{"I", "R", "V"}},
        {"y = x^2 + x", Names{"x", "y"}},
        {"Hypotenuse = Sqr(SideA^2 + SideB^2)", Names{"SideA", "SideB", "Hypotenuse"}},
        {"x = x*2 - 3", Names{"x"}},
        {"y At 4096 = z*2", Names{"z"}},  // a left side that is no name makes no field
        {"no equals sign", std::nullopt},
        {"a = b +", std::nullopt},
        {many, std::nullopt},  // more than 17 variables
    };
    ModuleSession session(binding());
    for (const auto &[formula, names] : cases) EXPECT_EQ(session.buildFields(formula), names) << formula;
}

TEST(ModuleText, FormatToNumber) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {" yes ", "1"}, {"True", "1"}, {"on", "1"}, {"NO", "0"}, {"false", "0"}, {"Off", "0"},
        {"12.5", "12.5"}, {"$1,234.50", "1234.5"}, {"($5.00)", "-5"}, {"12.5%", "0.125"},
        {"2*pi", "2*PI"}, {"", ""}, {"1e3", "1000"},
    };
    for (const auto &[text, number] : cases) EXPECT_EQ(FormatToNumber(text), number) << text;
}

TEST_F(Modules, ConstraintChecks) {
    EXPECT_EQ(constraintItems(binding(), "0..100, x <> 5, Max(x, 1) > 0,"),
              (Names{"0..100", "x <> 5", "Max(x, 1) > 0"}));
    ModuleSession session(binding());
    struct Case {
        const char *value, *constraints;
        bool holds;
    };
    const std::vector<Case> cases = {
        {"50", "0..100", true},   {"150", "0..100", false}, {"-1", "0..100", false},
        {"5", "x <> 5", false},   {"6", "x <> 5", true},    {"7", "1..10, x Mod 2 == 1", true},
        {"8", "1..10, x Mod 2 == 1", false}, {"anything", "", true}, {"$50.00", "0..100", true},
    };
    for (const Case &c : cases) EXPECT_EQ(session.CheckConstr(c.value, c.constraints), c.holds) << c.value << " " << c.constraints;
    ConstraintRange range;
    session.CheckConstr("1", "x > 0, 2..3, 4 .. 5", &range);
    EXPECT_EQ(range.low, "4");
    EXPECT_EQ(range.high, "5");
}

TEST_F(Modules, SolveForTheUnknown) {
    const Module ohm = module("V = I*R", {{"I", "Current", "General Number", "", ""},
                                          {"R", "Resistance", "General Number", "", ""},
                                          {"V", "Voltage", "Fixed", "", ""}});
    ModuleSession session(binding());
    ModuleSession::Outcome out = session.solve(ohm, 2, {"2", "5", ""}, "-100000000", "100000000", "");
    EXPECT_EQ(out.state, ModuleSession::Outcome::State::Solved);
    EXPECT_EQ(out.text, "10.00");
    out = session.solve(ohm, 0, {"", "5", "$10.00"}, "-100000000", "100000000", "");
    EXPECT_NEAR(out.value, 2, 1e-9);
    out = session.solve(ohm, 0, {"", "", "10"}, "-100000000", "100000000", "");
    EXPECT_EQ(out.state, ModuleSession::Outcome::State::MissingValue);
    EXPECT_EQ(out.message, "Missing value");
    EXPECT_EQ(out.field, 1u);

    const Module bounded = module("y = x*10", {{"x", "x", "General Number", "0..100", ""},
                                               {"y", "y", "General Number", "", ""}});
    out = session.solve(bounded, 0, {"", "5000"}, "-100000000", "100000000", "");
    EXPECT_EQ(out.state, ModuleSession::Outcome::State::NotFound);
    EXPECT_EQ(out.message, "Solution not found.  Constraints: 0..100");
    out = session.solve(bounded, 0, {"", "50"}, "-100000000", "100000000", "");
    EXPECT_EQ(out.text, "5");
    const Module odd = module("y = x*10", {{"x", "x", "General Number", "x <> 5", ""},
                                           {"y", "y", "General Number", "", ""}});
    out = session.solve(odd, 0, {"", "50"}, "-100000000", "100000000", "");  // the root breaks a condition
    EXPECT_EQ(out.message, "Solution not found.  Constraints: x <> 5");
    EXPECT_FALSE(out.reported);

    const Module flag = module("y = 3*on", {{"on", "Switch", "Yes/No", "", ""}, {"y", "y", "General Number", "", ""}});
    EXPECT_EQ(session.solve(flag, 1, {"yes", ""}, "-100000000", "100000000", "").text, "3");
    EXPECT_EQ(session.displayText("1", "Yes/No", ""), "Yes");
    EXPECT_EQ(session.displayText("1234.5", "Currency", ""), "$1,234.50");
    EXPECT_EQ(session.displayText("2*pi", "Currency", ""), "2*pi");
}

TEST_F(Modules, EveryShippedModuleSolvesForItsResult) {
    std::vector<Module> shipped;
    ASSERT_TRUE(loadModules(NOMIX_SOURCE_DIR "/data/nomix.usm", shipped).complete());
    ModuleSession session(binding());
    for (const Module &m : shipped) {
        std::optional<std::vector<std::string>> fields = session.buildFields(m.formula);
        ASSERT_TRUE(fields) << m.name;
        std::vector<std::string> variables;
        for (const ModuleField &f : m.fields) variables.push_back(f.variable);
        EXPECT_EQ(*fields, variables) << m.name;  // the file's fields are the formula's
        std::vector<std::string> values(m.fields.size(), "2");
        ModuleSession::Outcome out = session.solve(m, m.fields.size() - 1, values, "-100000000", "100000000", "");
        EXPECT_EQ(out.state, ModuleSession::Outcome::State::Solved) << m.name << ": " << out.message;
    }
    EXPECT_TRUE(host_.boxes.empty());
}

TEST(ModuleEdit, ChangedFormulaKeepsTheFieldsThatRemain) {
    const Module m{"m", "a = b", "", {{"b", "Bee", "Fixed", "0..1", "about b"}, {"a", "Ay", "Currency", "", ""}}};
    const Module changed = withFields(m, {"b", "c", "a"});
    EXPECT_EQ(changed.fields[0], m.fields[0]);
    EXPECT_EQ(changed.fields[1], (ModuleField{"c", "c", "General Number", "", ""}));
    EXPECT_EQ(changed.fields[2], m.fields[1]);
}

} // namespace
