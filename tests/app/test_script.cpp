// The script loader (continuation lines, labels, nesting, _Quit, failing lines,
// file encodings) and the script natives through a recording host.
#include <gtest/gtest.h>

#include "working_dir.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

#include "shell/binding.h"
#include "shell/bootstrap.h"
#include "shell/calculator.h"
#include "shell/script.h"

using namespace nomix;
namespace fs = std::filesystem;

namespace {

// Records what the natives ask of the windows.
class ScriptHost : public Host {
public:
    std::vector<std::string> boxes, events, reminders;
    std::map<std::string, std::string> texts;
    int sleptMs = 0;
    std::function<void()> onEvents;

    int messageBox(const std::string &p, int, const std::string &) override {
        boxes.push_back(p);
        return 1;
    }
    std::string inputBox(const std::string &, const std::string &, const std::string &d) override { return d; }
    void doEvents() override {
        if (onEvents) onEvents();
    }
    void sleepMs(int ms) override { sleptMs += ms; }
    bool closing() const override { return false; }
    bool mainWindowLoaded() const override { return true; }
    WindowGeometry mainWindowGeometry() const override { return {150, 300, 9000, 6000}; }
    bool resolveControl(const ControlRef &c) override { return c.name != "UNKNOWN"; }
    std::string controlText(const ControlRef &c) const override {
        auto it = texts.find(c.name);
        return it == texts.end() ? "" : it->second;
    }
    void setControlText(const ControlRef &c, const std::string &t, size_t) override { texts[c.name] = t; }
    void pressKey(const ControlRef &c, Key k) override {
        events.push_back(c.name + " key " + std::to_string(static_cast<int>(k)));
    }
    void sendChar(const ControlRef &c, char ch) override {
        events.push_back(c.name + " char " + std::to_string(static_cast<int>(ch)));
    }
    void openMenuBar() override { events.push_back("menu"); }
    void showReminder(const std::string &t) override { reminders.push_back(t); }
    long openEditor(const std::string &file) override {
        events.push_back("edit " + file);
        return 1234;
    }
};

class ScriptTest : public ::testing::Test {
protected:
    void SetUp() override { DefineApplicationLanguage(b); }
    void write(const std::string &name, const std::string &content) {
        std::ofstream(name, std::ios::binary) << content;
    }
    double value(const std::string &expr) { return b.EvalDbl(expr); }
    bool defined(const std::string &name) {
        size_t before = host_.boxes.size();
        b.EvalStr(name);
        bool ok = b.ErrorCode(0) == 0;
        host_.boxes.resize(before);
        return ok;
    }

    ScriptHost host_;
    Application app_{host_};
    Binding &b = binding();
    testdirs::WorkingDirectory work_{"nomix_script_"};
    const fs::path &dir_ = work_.path();
};

TEST_F(ScriptTest, ContinuedStatementIsEvaluatedOnce) {
    write("cont.nx", "sx = 1 + _\r\n2 + _\r\n3\r\nsy = sx * 2\n");
    EXPECT_TRUE(runScriptFile(b, "cont.nx"));
    EXPECT_TRUE(host_.boxes.empty()) << host_.boxes.front();
    EXPECT_DOUBLE_EQ(value("sx"), 6);
    EXPECT_DOUBLE_EQ(value("sy"), 12);
}

TEST_F(ScriptTest, QuitEndsTheScriptAndIsReset) {
    write("quit.nx", "q1 = 1\n_Quit = 1\nq2 = 2\n");
    host_.reminders.clear();
    runScriptFile(b, "quit.nx");
    EXPECT_TRUE(defined("q1"));
    EXPECT_FALSE(defined("q2"));
    EXPECT_EQ(appVariables().quit, 0);
    EXPECT_EQ(host_.reminders, std::vector<std::string>{""}) << "the reminder is emptied";
}

TEST_F(ScriptTest, LabelsNestingAndFailingLines) {
    write("inner.nx", "n1 = 10\n");
    write("outer.nx", "before = 1\nbegin\nzork + 1\nLOAD 'inner.nx'\nn2 = n1 + 1\nend\nafter = 1\n");
    RunScript(b, "LOAD 'outer.nx' 'begin' 'end'");
    EXPECT_FALSE(defined("before"));
    EXPECT_FALSE(defined("after"));
    EXPECT_DOUBLE_EQ(value("n2"), 11);
    EXPECT_EQ(host_.boxes.size(), 1u) << "the failing line shows its box and the script goes on";
}

TEST_F(ScriptTest, ScriptThatLoadsItselfStops) {
    write("self.nx", "selfcount = selfcount + 1\nLOAD 'self.nx'\n");
    b.DefineVar("selfcount = 0");
    runScriptFile(b, "self.nx");
    ASSERT_FALSE(host_.boxes.empty());
    EXPECT_EQ(host_.boxes.back().substr(0, 29), "Scripts are nested too deeply");
    EXPECT_DOUBLE_EQ(value("selfcount"), 32);
}

// Lines of every length are read whole (across the reader's buffer), the last
// one without a line feed too; a line beyond 16 MiB ends the script with a box
// instead of filling memory.
TEST_F(ScriptTest, LinesOfAnyLengthUpToTheLimit) {
    const std::string longName = "v" + std::string(5000, 'w');
    write("lines.nx", longName + " = 7\n\nshort = 1\nlast = 12");
    EXPECT_TRUE(runScriptFile(b, "lines.nx"));
    EXPECT_TRUE(host_.boxes.empty()) << host_.boxes.front();
    EXPECT_DOUBLE_EQ(value(longName), 7);
    EXPECT_DOUBLE_EQ(value("short"), 1);
    EXPECT_DOUBLE_EQ(value("last"), 12);

    write("huge.nx", "before = 1\n" + std::string(17u << 20, ' ') + "\nafterwards = 1\n");
    runScriptFile(b, "huge.nx");
    EXPECT_TRUE(defined("before"));
    EXPECT_FALSE(defined("afterwards"));
    ASSERT_FALSE(host_.boxes.empty());
    EXPECT_EQ(host_.boxes.back(), "A script line is longer than 16 MiB");
}

TEST_F(ScriptTest, Latin1AndUtf8Files) {
    write("enc.nx", "s1 = 'caf\xE9'\r\ns2 = 'caf\xC3\xA9'\n");
    runScriptFile(b, "enc.nx");
    EXPECT_EQ(b.EvalStr("s1"), "caf\xC3\xA9");
    EXPECT_EQ(b.EvalStr("s2"), "caf\xC3\xA9");
}

TEST_F(ScriptTest, LoadInTheCalculatorRunsTheScriptAfterAnswering) {
    write("calc.nx", "fromcalc = 7\n");
    Calculator &calc = app_.calculator();
    calc.setInput("LOAD 'calc.nx'");
    calc.calculate();
    EXPECT_EQ(calc.answerList()[calc.answerList().size() - 3], "Answer: Ok");
    EXPECT_DOUBLE_EQ(value("fromcalc"), 7);
    EXPECT_FALSE(runScriptFile(b, "missing.nx"));
}

TEST(ControlNames, ListedNamesWithOptionalIndex) {
    const std::vector<std::tuple<const char *, bool, const char *, int>> cases = {
        {"Expression", true, "EXPRESSION", -1}, {"number+2", true, "NUMBER", 2},
        {" p_button + 3 ", true, "P_BUTTON", 3}, {"Nomix", true, "NOMIX", -1},
        {"textbox", false, "", 0},              {"NUMBER+x", false, "", 0},
        {"NUMBER+", false, "", 0},              {"", false, "", 0},
    };
    for (const auto &[name, ok, upper, index] : cases) {
        auto ref = parseControlName(name);
        ASSERT_EQ(ref.has_value(), ok) << name;
        if (!ok) continue;
        EXPECT_EQ(ref->name, upper);
        EXPECT_EQ(ref->index, index);
    }
}

TEST_F(ScriptTest, InputKeysAndFocus) {
    b.EvalStr("SetInput('Expression', '1+1')");
    EXPECT_EQ(app_.calculator().input(), "1+1");
    EXPECT_EQ(host_.texts["EXPRESSION"], "1+1");
    host_.texts["FROM"] = "a";
    b.EvalStr("SendKey('from', 'bc{TAB 2}d{ENTER}{MENU}{NOKEY}')");
    EXPECT_EQ(host_.texts["FROM"], "abcd");
    EXPECT_EQ(host_.events, (std::vector<std::string>{"FROM key 9", "FROM key 9", "FROM char 13", "menu"}));
    host_.events.clear();
    b.EvalStr("SendKey('Nomix', '{ENTER}')");
    EXPECT_EQ(host_.events, std::vector<std::string>{"NOMIX key 13"});
}

TEST_F(ScriptTest, TypingShowsGrowingText) {
    std::vector<std::string> seen;
    host_.onEvents = [&] {
        if (seen.empty() || seen.back() != host_.texts["EXPRESSION"]) seen.push_back(host_.texts["EXPRESSION"]);
    };
    b.EvalStr("SetInput('Expression', 'ab', 0.001)");
    EXPECT_EQ(seen, (std::vector<std::string>{"a", "ab"}));
    appVariables().stopTyping = 0;
    host_.onEvents = [&] { appVariables().stopTyping = 1; };
    b.EvalStr("SetInput('Expression', 'xyz', 5)");
    EXPECT_EQ(host_.texts["EXPRESSION"], "x") << "StopTyping ends the typing early";
    appVariables().stopTyping = 0;
}

TEST_F(ScriptTest, TimerFavouritesReminderAndWindow) {
    EXPECT_DOUBLE_EQ(value("TimerInterval()"), 0);
    EXPECT_DOUBLE_EQ(value("TimerInterval(0.5)"), 500);
    EXPECT_DOUBLE_EQ(value("TimerInterval()"), 500);
    b.EvalStr("SetFavorite(3, 'Square', 'x^2')");
    b.EvalStr("SetFavorite(21, 'Out', 'nothing')");
    EXPECT_EQ(app_.scripts().favoriteCodes[3], "x^2");
    b.EvalStr("SetReminder('hi')");
    ASSERT_FALSE(host_.reminders.empty());
    EXPECT_EQ(host_.reminders.back(), std::string(20, ' ') + "hi");
    EXPECT_EQ(reminderTick(app_.scripts(), host_), std::string(19, ' ') + "hi");
    for (int i = 0; i < 19; ++i) reminderTick(app_.scripts(), host_);
    EXPECT_EQ(host_.reminders.back(), std::string(20, ' ') + "hi") << "starts over every 20 ticks";
    EXPECT_DOUBLE_EQ(value("Form_Left() + Form_Top()"), 450);
    EXPECT_DOUBLE_EQ(value("Form_Width()"), 9000);
    EXPECT_DOUBLE_EQ(value("Notepad('notes.txt')"), 1234);
}

TEST_F(ScriptTest, DelayEndsOnTimeOrOnStopDelay) {
    host_.sleptMs = 0;
    b.EvalStr("Delay(0.05)");
    EXPECT_GE(host_.sleptMs, 0);
    host_.onEvents = [&] { appVariables().stopDelay = 1; };
    host_.sleptMs = 0;
    b.EvalStr("Delay(1000)");
    EXPECT_EQ(host_.sleptMs, 100) << "one round, then StopDelay ends it";
}

TEST_F(ScriptTest, WaitForInputEndsWhenTheLineIsCalculated) {
    Calculator &calc = app_.calculator();
    calc.setInput("6*7");
    int rounds = 0;
    host_.onEvents = [&] {
        if (++rounds == 3) appVariables().stopWait = 1;
    };
    b.EvalStr("WaitForInput()");
    EXPECT_EQ(rounds, 3);
    EXPECT_TRUE(calc.input().empty());
    EXPECT_DOUBLE_EQ(appVariables().last, 42);
    EXPECT_EQ(appVariables().stopWait, 0);
}

} // namespace
