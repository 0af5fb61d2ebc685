// The engine binding: text conversion, the bootstrap on first use, the error
// handler's box, the automatic definition, the trap switch, and the variables
// the application binds into the engine by address.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "shell/binding.h"
#include "shell/bootstrap.h"

using namespace nomix;

namespace {

struct Box {
    std::string prompt, title;
    int buttons;
};

class RecordingHost : public Host {
public:
    std::vector<Box> boxes;
    int messageBox(const std::string &p, int b, const std::string &t) override {
        boxes.push_back({p, t, b});
        return 1;
    }
    std::string inputBox(const std::string &, const std::string &, const std::string &d) override { return d; }
    void doEvents() override {}
    void sleepMs(int) override {}
    bool closing() const override { return false; }
};

// Must run first in this program: nothing has reached the engine yet.
TEST(BindingStart, FirstEvaluationRunsTheWholeBootstrap) {
    Binding &b = binding();
    if (b.LanguageDefined()) GTEST_SKIP() << "another test ran first";
    EXPECT_DOUBLE_EQ(b.EvalDbl("1+2"), 3);
    EXPECT_TRUE(b.LanguageDefined());
    EXPECT_TRUE(languageProblems().empty());
    EXPECT_DOUBLE_EQ(b.EvalDbl(""), 0);
}

TEST(BindingStart, BootstrapRunsOnceAndBeforeItsOwnCommands) {
    Binding local;
    int runs = 0;
    bool definedInside = false;
    local.setBootstrap([&](Binding &self) {
        ++runs;
        definedInside = self.LanguageDefined();
        binding().EnsureLanguage();
        self.EvalDbl("1");  // the bootstrap's own commands do not restart it
    });
    local.EvalDbl("2");
    local.ErrorCode();
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(definedInside);
}

TEST(Latin1, ConversionBothWays) {
    const std::vector<std::pair<std::string, std::string>> toEngine = {
        {"abc", "abc"},          {"caf\xC3\xA9", "caf\xE9"}, {"\xE2\x82\xAC", "?"},
        {"x\xE9y", "x\xE9y"},     {"\xC3", "\xC3"},           {std::string("a\0b", 3), std::string("a\0b", 3)},
        {"\xF0\x9F\x98\x80", "?"}, {"\xC0\xAF", "\xC0\xAF"}, // an overlong form stays bytes
    };
    for (const auto &[utf8, latin1] : toEngine) EXPECT_EQ(toLatin1(utf8), latin1) << utf8;
    EXPECT_EQ(fromLatin1("caf\xE9"), "caf\xC3\xA9");
    EXPECT_EQ(fromLatin1("\xFF\x7F"), "\xC3\xBF\x7F");
    EXPECT_TRUE(isValidUtf8("caf\xC3\xA9"));
    EXPECT_FALSE(isValidUtf8("caf\xE9"));
}

TEST(IsSimpleName, LettersDigitsUnderscoreAndFunctionHeads) {
    const std::vector<std::pair<const char *, bool>> cases = {
        {"a", true},     {"2b", true},  {"_q1", true},     {"f(x)", true}, {"g(x, y)", true},
        {"", true},      {"f(x", false}, {"a b", false},   {"x.y", false}, {"a+b", false},
        {"Abc_9", true}, {"f(x)+1", false},
    };
    for (const auto &[text, simple] : cases) EXPECT_EQ(IsSimpleName(text), simple) << text;
}

class BindingTest : public ::testing::Test {
protected:
    void SetUp() override { DefineApplicationLanguage(b); }
    RecordingHost host_;
    Application app_{host_};
    Binding &b = binding();
};

// Phase 2 checks none of its results: a definition the engine rejects would
// just be missing. Every name it defines must be there.
TEST_F(BindingTest, ApplicationSetUpDefinesEveryName) {
    const char *names[] = {
        "Form_Reset", "Form_Left", "Form_Top", "Form_Height", "Form_Width", "Form_MoveTo", "DoEvents",
        "Delay", "ResetOptions", "ShowDropDown", "SendKey", "SendKeys", "SetFocus", "SetInput",
        "SetP_Button", "HideP_Button", "SetReminder", "WaitForInput", "TimerInterval", "Notepad",
        "SetFavorite", "TwipsPerPixelX", "TwipsPerPixelY", "nx_True", "nx_Push", "nx_PopNum", "nx_PopStr",
        "nx_ReadNum", "nx_ReadStr", "StackFormat", "Handle", "nx_Delete", "nx_Insert", "hAddress", "Not",
        "Xor", "Eqv", "Imp", "_Quit", "nx_ReleaseItem", "StopTyping", "StopDelay", "StopWait",
        "TutorialMode", "SpeechSpeed", "last", "lastStr", "nx_Expand", "Solve_", "Integ_", "Sum_",
        "Val", "Str", "MsgBox", "InputBox"};
    for (const char *name : names) EXPECT_NE(b.Call(nx_GetItemData, name, 0, nx_Handle), 0) << name;
    EXPECT_EQ(b.Call(nx_GetItemData, "last", 0, nx_Address), reinterpret_cast<intptr_t>(&appVariables().last));
    EXPECT_TRUE(host_.boxes.empty());
}

TEST_F(BindingTest, ErrorBoxNamesExpressionSymbolAndLocation) {
    b.EvalStr("zork + 1");
    ASSERT_EQ(host_.boxes.size(), 1u);
    EXPECT_EQ(host_.boxes[0].title, "Error");
    EXPECT_EQ(host_.boxes[0].buttons, 48);
    EXPECT_EQ(host_.boxes[0].prompt,
              "Undefined identifier\r\rExpression: zork + 1\rOffending symbol: zork\rError Location:  1");
}

TEST_F(BindingTest, AssignmentToUndefinedNameIsDefinedSilently) {
    const std::vector<std::pair<std::string, std::string>> lines = {
        {"bv = 5", "bvf(2) + bv"},  // a variable
        {"bvf(x) = x^2", ""},       // a function
    };
    for (const auto &[line, unused] : lines) {
        intptr_t h = b.Parse(line);
        b.DefineOnAssignment(h, line);
        EXPECT_EQ(b.ResultText(h), "Ok") << line;
        b.Release(h);
    }
    EXPECT_TRUE(host_.boxes.empty());
    EXPECT_DOUBLE_EQ(b.EvalDbl("bvf(3) + bv"), 14);
}

TEST_F(BindingTest, FailedDefinitionLeavesTheParse) {
    intptr_t h = b.Parse("1 + nothere");
    intptr_t before = h;
    b.DefineOnAssignment(h, "1 + nothere");  // no "=": nothing to define
    EXPECT_EQ(h, before);
    EXPECT_EQ(host_.boxes.size(), 1u);
    if (h) b.Release(h);
}

TEST_F(BindingTest, TrapModeFaultsGoBackWithoutABox) {
    b.SetFpTrapMode(true);
    b.EvalDbl("1/0");
    b.SetFpTrapMode(false);
    EXPECT_TRUE(host_.boxes.empty());
    EXPECT_FALSE(b.FpTrapMode());
    EXPECT_TRUE(std::isinf(b.EvalDbl("1/0"))) << "masked again: division gives an infinity";
}

TEST_F(BindingTest, AnswerVariablesAndFlagsLiveInTheApplication) {
    appVariables().last = 7.25;
    EXPECT_DOUBLE_EQ(b.EvalDbl("last * 2"), 14.5);
    setLastAnswerText("h\xC3\xA9 42");
    EXPECT_EQ(b.EvalStr("lastStr"), "h\xC3\xA9 42");
    EXPECT_EQ(lastAnswerText(), "h\xC3\xA9 42");
    b.EvalStr("_Quit = 1");
    EXPECT_EQ(appVariables().quit, 1);
    appVariables().quit = 0;
    b.EvalStr("StopDelay = 3");
    EXPECT_EQ(appVariables().stopDelay, 3);
    appVariables().stopDelay = 0;
}

TEST_F(BindingTest, AnswerVariableCanBeRenamed) {
    appVariables().last = 4;
    renameAnswerVariable(b, "ans");
    EXPECT_DOUBLE_EQ(b.EvalDbl("ans + 1"), 5);
    setLastAnswerText("t");
    EXPECT_EQ(b.EvalStr("ansStr"), "t");
    renameAnswerVariable(b, "last");
    EXPECT_DOUBLE_EQ(b.EvalDbl("last"), 4);
}

TEST_F(BindingTest, NextTokenWalksALine) {
    std::string line = "LOAD 'my file.nx' start";
    int32_t pos = 1;
    std::vector<std::string> tokens;
    for (int i = 0; i < 4; ++i) tokens.push_back(b.NextToken(line, pos));
    EXPECT_EQ(tokens, (std::vector<std::string>{"LOAD", "'my file.nx'", "start", ""}));
}

TEST_F(BindingTest, InStrFindsTokens) {
    EXPECT_EQ(b.InStr(1, "ab + b", "b", 0), 6);
    EXPECT_EQ(b.InStr(1, "ab + c", "b", 0), 0);
}

TEST_F(BindingTest, RaisedErrorCarriesTheApplicationsMessage) {
    b.EvalStr("Notepad('../secret')");
    ASSERT_EQ(host_.boxes.size(), 1u);
    EXPECT_EQ(host_.boxes[0].prompt.substr(0, host_.boxes[0].prompt.find('\r')),
              "You may only open a file in the Nomix directory");
}

} // namespace
