// Processor faults, routine addresses, operator definitions and deep lines
// through the built nomixcli itself, so that the shipped path is the tested
// one: each session must end by itself (no signal, no hang), answer every line
// as designed, and answer the line after it.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Lines = std::vector<std::string>;

fs::path cliPath() { return fs::read_symlink("/proc/self/exe").parent_path() / "nomixcli"; }

// Single-quoted for the shell.
std::string quoted(const std::string &s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

struct Session {
    Lines answers;    // the "Answer:" and "Dec:"/"Hex:" lines, in order
    int status = -1;  // the exit status; a signal shows as 128 + its number
};

class CliFaults : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fs::exists(cliPath())) << "nomixcli is not built next to the tests";
        dir_ = fs::temp_directory_path() / ("nomix_cli_faults_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "home");
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Runs the lines through nomixcli on standard input. The timeout only
    // catches a hang; it times nothing.
    Session run(const Lines &lines, const std::string &options = "") {
        fs::path in = dir_ / "in";
        {
            std::ofstream file(in, std::ios::binary);
            for (const std::string &line : lines) file << line << '\n';
        }
        std::string command = "timeout -s KILL 300 " + quoted(cliPath().string()) + " --home " +
                              quoted((dir_ / "home").string()) + " " + options + " <" + quoted(in.string()) +
                              " 2>/dev/null";
        Session s;
        FILE *pipe = ::popen(command.c_str(), "r");
        if (!pipe) return s;
        std::string out;
        std::array<char, 4096> buffer;
        while (size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe)) out.append(buffer.data(), n);
        int status = ::pclose(pipe);
        s.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::istringstream text(out);
        for (std::string line; std::getline(text, line);)
            if (line.rfind("Input: ", 0) != 0 && !line.empty()) s.answers.push_back(line);
        return s;
    }

    fs::path dir_;
};

struct Case {
    Lines lines;    // the session; "1+1" is added after it
    Lines answers;  // the answer lines of the session, without the "1+1" one
};

void expectSession(const Session &s, const Case &c, const std::string &what) {
    EXPECT_EQ(s.status, 0) << what;  // 136 SIGFPE, 139 SIGSEGV, 137 a hang killed
    Lines expected = c.answers;
    expected.push_back("Answer: 2");
    EXPECT_EQ(s.answers, expected) << what;
}

// Every input of the fault report, each in a session of its own.
TEST_F(CliFaults, FaultsAreAnsweredAndTheCalculatorGoesOn) {
    const Case cases[] = {
        {{"Solve 1/x + 1, -1000, 1002, x"}, {"Answer: -1"}},
        {{"Solve Sqr(x) - 2, -10, 10, x"}, {"Answer: 4"}},
        {{"Solve Log(x) - 1, -10, 10, x"}, {"Answer: 2.71828182845904"}},
        {{"7 \\ 0"}, {"Answer: Integer division by 0"}},
        {{"x = 0", "Int(5) \\ x"}, {"Answer: Ok", "Answer: Integer division by 0"}},
        {{"7.5 \\ 0.2"}, {"Answer: Integer division by 0"}},
        {{"x = 0", "Sum_(7 \\ (x - 2), 1, 3, 1, x)"}, {"Answer: Ok", "Answer: Integer division by 0"}},
        {{"x = 0", "Integ_(x \\ 0, 1, 2, x, 4)"}, {"Answer: Ok", "Answer: Integer division by 0"}},
        {{"Nomix(75, '', 818)", "1/0"}, {"Answer: 0", "Answer: Division by 0"}},
        {{"Nomix(75, '', 818)", "Solve 1/x + 1, -1000, 1002, x"}, {"Answer: 0", "Answer: -1"}},
        // the plain runner put in the protected one's place still recovers
        {{"Nomix(24, '', 150, Nomix(12, '', 151))", "7 \\ 0"}, {"Answer: 0", "Answer: Integer division by 0"}},
        {{"Nomix(94, '', 0) + 7 \\ 0"}, {"Answer: Integer division by 0"}},
    };
    for (const Case &c : cases) {
        Lines lines = c.lines;
        lines.push_back("1+1");
        expectSession(run(lines), c, c.lines.back());
    }
}

// Code addresses fit the language's 32-bit cells and stay callable; a number
// that is no routine is refused or gives an error, never a signal.
TEST_F(CliFaults, RoutineAddressesAreCallable) {
    const Case cases[] = {
        {{"nxAddr(208) == Nomix(12, '', 208)"}, {"Answer: 1"}},
        {{"Address(Sin) == nxAddr(208)", "Nomix(1, 'Func:: MySin2(x As Double) As Double', Address(Sin)) > 0",
          "MySin2(0)"},
         {"Answer: 1", "Answer: 1", "Answer: 0"}},
        {{"Nomix(1, 'Func:: MySin(x As Double) As Double', Nomix(12, '', 208)) > 0", "MySin(0)"},
         {"Answer: 1", "Answer: 0"}},
        {{"Nomix(1, 'DataType: MyVoid ~~ TypeHandler: #', Nomix(12, '', 19)) > 0", "Def Var: mv As MyVoid"},
         {"Answer: 1", "Answer: Ok"}},
        {{"Nomix(1, 'Func:: Bad(x As Double) As Double', 12345678) > 0", "Bad(1) + 1"},
         {"Answer: 1", "Answer: Unknown error"}},
        {{"Nomix(40, '', 12345678)", "1 +"}, {"Answer: Undefined callback", "Answer: Syntax error"}},
        {{"Nomix(1, 'DataType: MyBad ~~ TypeHandler: #', 12345678)"}, {"Answer: Undefined callback"}},
        {{"Nomix(24, '', 150, 12345678)", "7 \\ 0"}, {"Answer: Undefined callback", "Answer: Integer division by 0"}},
        // memory that is not there, or a string handle that is no string
        {{"Def Var: vv As Double At 12345678", "vv"}, {"Answer: Invalid definition", "Answer: Undefined identifier"}},
        {{"xq = 12345678", "Def Var: s2 As String At Address(xq)", "s2"},
         {"Answer: Ok", "Answer: Ok", "Answer: Unknown error"}},
    };
    for (const Case &c : cases) {
        Lines lines = c.lines;
        lines.push_back("1+1");
        expectSession(run(lines), c, c.lines.back());
    }
}

// Operators defined by another operator's precedence; minus infinity.
TEST_F(CliFaults, LanguageCases) {
    const Case cases[] = {
        {{"Def Op: Precedence('*') {a} times {b} := a * b", "1 + 2 times 3", "2 times 3 + 1"},
         {"Answer: Ok", "Answer: 7", "Answer: 7"}},
        {{"Def Op: Precedence('+') {a} plus {b} := a + b", "2 * 3 plus 1"}, {"Answer: Ok", "Answer: 7"}},
        {{"Def Op: 15 {a} plus {b} := a + b", "1 + 2 plus 3"}, {"Answer: Ok", "Answer: 6"}},
        {{"-1/0", "Log(0)", "1/0"}, {"Answer: -Inf", "Answer: -Inf", "Answer: Inf"}},
        {{"Local(  AndAlso *QQQQQQQQ ,x ,x)", "1 AndAlso 1"}, {"Answer: Syntax error", "Answer: 1"}},
        // a failing statement keeps every item it did not create
        {{"Local(Sin ~~ Rank: 2, 1)", "Sin(0)"}, {"Answer: This item cannot be modified", "Answer: 0"}},
        {{"Local(Tan ~~ Name: Atan, 7 \\ 0)", "Tan(0)", "Atan(0)"},
         {"Answer: This item cannot be modified", "Answer: 0", "Answer: 0"}},
        {{"Local(Cos, zork)", "Cos(0)"}, {"Answer: Undefined identifier", "Answer: 1"}},
    };
    for (const Case &c : cases) {
        Lines lines = c.lines;
        lines.push_back("1+1");
        expectSession(run(lines), c, c.lines.front());
    }
    // With the other bases shown, -Inf has no "Hex: 0" line.
    Session s = run({"-1/0", "1+1"}, "--hex");
    EXPECT_EQ(s.answers, (Lines{"Answer: -Inf", "Dec: 2", "Hex: 2"}));
}

// Lines of 200,000 characters of deep nesting and long chains are answered
// (the times are a benchmark's business, not a test's).
TEST_F(CliFaults, DeepLinesAreAnswered) {
    auto repeat = [](const std::string &s, size_t n) {
        std::string out;
        for (size_t i = 0; i < n; ++i) out += s;
        return out;
    };
    const Case cases[] = {
        {{repeat("(", 200000)}, {"Answer: Nesting too deep"}},
        {{repeat("-", 200000) + "1"}, {"Answer: Nesting too deep"}},
        {{repeat("Not ", 50000) + "1"}, {"Answer: Syntax error"}},
        {{"1" + repeat("+1", 100000)}, {"Answer: 100001"}},
        {{"3" + repeat("!", 200000)}, {"Answer: 1"}},
        {{"- - - 1", "3!!"}, {"Answer: -1", "Answer: 720"}},
    };
    for (const Case &c : cases) {
        Lines lines = c.lines;
        lines.push_back("1+1");
        expectSession(run(lines), c, c.lines.front().substr(0, 20));
    }
}

} // namespace
