// The calculation of the calculator window with the real engine and both
// language phases: answers of the language's edge cases, the Dec/Bin/Hex/Oct
// lines, the answer variables, LOAD, the modes, the solution listing and limits.
#include <gtest/gtest.h>

#include "box_host.h"

#include <string>
#include <vector>

#include "shell/binding.h"
#include "shell/bootstrap.h"
#include "shell/calculator.h"
#include "shell/natives.h"

using namespace nomix;

namespace {

using QuietRecordingHost = nomix::testing::BoxHost;

using Lines = std::vector<std::string>;

class CalculatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        DefineApplicationLanguage(binding());
        calc.onLineAppended([this](const std::string &line) {
            if (!line.empty()) appended.push_back(line);
        });
    }
    // The non-blank lines one calculation appends, without its "Input: " line.
    Lines run(const std::string &input) {
        appended.clear();
        calc.setInput(input);
        calc.calculate();
        if (!appended.empty() && appended.front() == "Input: " + input) appended.erase(appended.begin());
        return appended;
    }
    QuietRecordingHost host_;
    Application app_{host_};
    Calculator &calc = app_.calculator();
    Lines appended;
};

struct Case {
    const char *input;
    Lines answer;
};

TEST_F(CalculatorTest, LanguageOfBothPhases) {
    run("cx = 3");
    const std::vector<Case> cases = {
        {"2cx", {"Answer: 6"}},
        {"#b101", {"Answer: 5"}},
        {"#o17", {"Answer: 15"}},
        {"#hff", {"Answer: 255"}},
        {"Max(1, 5, 3)", {"Answer: 5"}},
        {"Min(4, 2, 3)", {"Answer: 2"}},
        {"Max(7, 1, 9, 2)", {"Answer: 9"}},
        {"Inf()", {"Answer: Inf"}},
        {"NaN()", {"Answer: NaN"}},
        {"'ab' * 2.5", {"Answer: abab"}},
        {"'ab' * 3.5", {"Answer: abababab"}},
        {"'ab' * 0", {"Answer: "}},
        {"'ab' * -2", {"Answer: "}},
        {"-3", {"Answer: -3"}},
        {"2 - -3", {"Answer: 5"}},
        {"-2^2", {"Answer: -4"}},
        {"5 Xor 3", {"Answer: 6"}},
        {"Local(lq = 3, lq*2)", {"Answer: 6"}},
        {"Local(lp, lq, 7)", {"Answer: 7"}},
    };
    for (const Case &c : cases) EXPECT_EQ(run(c.input), c.answer) << c.input;
    EXPECT_TRUE(host_.boxes.empty()) << host_.boxes.front();
}

TEST_F(CalculatorTest, LocalNamesAreGoneAfterwards) {
    run("Local(lgone = 2, lgone)");
    EXPECT_EQ(run("lgone"), Lines{"Answer: Undefined identifier"});
    EXPECT_EQ(host_.boxes.size(), 1u);
}

TEST_F(CalculatorTest, SilentDefinitions) {
    EXPECT_EQ(run("sa = 5"), Lines{"Answer: Ok"});
    EXPECT_EQ(run("sf(x) = x^2"), Lines{"Answer: Ok"});
    EXPECT_EQ(run("sf(sa)"), Lines{"Answer: 25"});
    EXPECT_TRUE(host_.boxes.empty());
}

struct DisplayCase {
    bool dec, bin, hex, oct;
    const char *input;
    Lines lines;
};

TEST_F(CalculatorTest, DecBinHexOctLines) {
    const std::vector<DisplayCase> cases = {
        {true, false, false, false, "10", {"Answer: 10"}},
        {false, false, false, false, "10", {}},
        {true, true, true, true, "2.5", {"Dec: 2.5", "Bin: 10", "Hex: 2", "Oct: 2"}},
        {true, true, true, true, "65536", {"Dec: 65536"}},
        {true, true, true, true, "-1", {"Dec: -1"}},
        {true, false, true, false, "65535", {"Dec: 65535", "Hex: FFFF"}},
        {false, false, true, false, "255", {"Hex: FF"}},
        {false, true, false, true, "8", {"Bin: 1000", "Oct: 10"}},
        {true, true, true, true, "'text'", {"Answer: text"}},
    };
    for (const DisplayCase &c : cases) {
        CalculatorSettings &s = calc.settings();
        s.dec = c.dec, s.bin = c.bin, s.hex = c.hex, s.oct = c.oct;
        EXPECT_EQ(run(c.input), c.lines) << c.input << " dec " << c.dec << " bin " << c.bin;
    }
}

TEST_F(CalculatorTest, NumericAnswersSetLastTextualOnesDoNot) {
    run("6*7");
    EXPECT_DOUBLE_EQ(appVariables().last, 42);
    EXPECT_EQ(lastAnswerText(), "42");
    EXPECT_EQ(run("last + 1"), Lines{"Answer: 43"});
    run("Inf()");
    EXPECT_DOUBLE_EQ(appVariables().last, 43);
    EXPECT_EQ(lastAnswerText(), "Inf");
    calc.settings().format = "0.00";
    EXPECT_EQ(run("3"), Lines{"Answer: 3.00"});
    EXPECT_EQ(lastAnswerText(), "3.00");
    EXPECT_EQ(run("lastStr"), Lines{"Answer: 3.00"});
}

TEST_F(CalculatorTest, AnswerListKeepsOneBlankBetweenCalculations) {
    run("1");
    run("2");
    EXPECT_EQ(calc.answerList(), (Lines{"Input: 1", "Answer: 1", "", "Input: 2", "Answer: 2", "", ""}));
    run("");
    EXPECT_EQ(calc.answerList().size(), 7u) << "an empty line calculates nothing";
}

TEST_F(CalculatorTest, LimitsAreExpressions) {
    calc.settings().answerLimit = "2*5";
    calc.settings().recallLimit = "3";
    for (int i = 0; i < 6; ++i) {
        calc.setInput(std::to_string(i));
        size_t top = calc.calculate();
        ASSERT_LE(calc.answerList().size(), 10u);
        EXPECT_EQ(calc.answerList()[top], "Input: " + std::to_string(i));
    }
    EXPECT_EQ(calc.recallList(), (std::deque<std::string>{"5", "4", "3"}));
}

TEST_F(CalculatorTest, LoadOfAMissingFile) {
    EXPECT_EQ(run("LOAD 'no such file.nx'"), Lines{"Answer: File not found"});
    EXPECT_EQ(run("load 'no such file.nx'"), Lines{"Answer: File not found"});
}

TEST_F(CalculatorTest, ModesRewriteTheInput) {
    calc.Solve();
    EXPECT_EQ(calc.layout().caption, "Equation Solver");
    EXPECT_EQ(calc.layout().buttonCaption, "&Solve");
    calc.setInput("x-2");
    calc.calculate();
    EXPECT_EQ(calc.recallList().front(), "Solve x-2,-100000000,100000000,x");
    EXPECT_EQ(calc.mode(), CalcMode::None);
    EXPECT_EQ(calc.layout().caption, "Expression Evaluator");
    EXPECT_EQ(calc.layout().buttonCaption, "&Calculate");
    calc.Integrate();
    calc.parameters()[0] = "0";
    calc.parameters()[1] = "1";
    calc.setInput("x^2");
    calc.calculate();
    EXPECT_EQ(calc.recallList().front(), "Integ(x^2,0,1,x,100)");
    EXPECT_EQ(calc.parameters()[3], "100");
}

TEST_F(CalculatorTest, SolutionsAreListedWithoutRepeats) {
    binding().DefineSyntax("Solve {Expr:'.+'} ::= 1");
    SolveSolutions &s = solveSolutions();
    s.restart();
    for (double root : {-2.0, 2.0, 2.0, 0.5}) s.add(root);
    EXPECT_EQ(run("solve x^2-4, -10, 10, x"), (Lines{"-2", " 2", " 0.5"}));
    EXPECT_EQ(s.count, 0);
    s.restart();
    s.add(1);
    EXPECT_EQ(run("Solve x-1, -10, 10, x"), Lines{"Answer: 1"}) << "one root is an ordinary answer";
}

TEST_F(CalculatorTest, ClickingAnAnswerLineCopiesItsValue) {
    run("10");
    calc.answerClicked(1);
    EXPECT_EQ(calc.input(), "10");
    calc.answerClicked(0);
    EXPECT_EQ(calc.input(), "10");
    binding().DefineSyntax("Solve {Expr:'.+'} ::= 1");
    solveSolutions().restart();
    solveSolutions().add(-3);
    solveSolutions().add(3);
    run("Solve x^2-9, -5, 5, x");
    size_t last = calc.answerList().size() - 3;
    EXPECT_EQ(calc.answerList()[last], " 3");
    calc.answerClicked(last);
    EXPECT_EQ(calc.input(), "3");
}

TEST_F(CalculatorTest, ErrorsShowTheBoxAndTheMessage) {
    const std::vector<Case> cases = {
        {"zork + 1", {"Answer: Undefined identifier"}},
        {"(1 + 2", {"Answer: Code block delimiter error"}},  // no parse: the parse's own message
        {"1 +", {"Answer: Syntax error"}},
        {"'ab' * 1e12", {"Answer: Text too long"}},  // refused rather than exhausting memory
    };
    for (const Case &c : cases) EXPECT_EQ(run(c.input), c.answer) << c.input;
    EXPECT_EQ(host_.boxes.size(), cases.size());
}

TEST_F(CalculatorTest, ImaginaryUnitIsAComplexLiteral) {
    intptr_t h = binding().Parse("#i");
    ASSERT_NE(h, 0);
    EXPECT_EQ(binding().ItemDataType(h), binding().keptType(KeptType::Complex));
    binding().Release(h);
}

// "=-" is rewritten to "= -" before the definition rule reads it.
TEST_F(CalculatorTest, AssignmentOfANegativeValueWithoutBlank) {
    EXPECT_EQ(run("dm =- 2"), Lines{"Answer: Ok"});
    EXPECT_EQ(run("dm"), Lines{"Answer: -2"});
}

} // namespace
