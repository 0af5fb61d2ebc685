// nomixcli against hostile input: each case is a line (or a few) meant to crash,
// hang or exhaust the calculator, followed by a plain expression that proves it
// still works. Every case must end in a message, with the program alive. Loops
// that only a user can end are ended as a user does, by Ctrl+C (SIGINT) sent to
// the process. Timeouts are generous: they catch hangs, they do not time anything.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

fs::path cliPath() { return fs::read_symlink("/proc/self/exe").parent_path() / "nomixcli"; }

std::string readFile(const fs::path &p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// How one session ended.
struct Session {
    std::string out, err;
    bool exited = false;  // ended by itself with a status (no signal, no kill)
    int status = -1;
    bool hung = false;  // killed after the timeout
};

// One hostile case: lines before it (set-up), the hostile line, whether a user
// ends it with Ctrl+C, and a text its answer or error box must contain.
struct HostileCase {
    const char *what;
    std::vector<std::string> setup;
    std::string hostile;
    bool interrupt;
    std::string message;
    std::chrono::seconds timeout = 600s;
};

// One nomixcli process reading `input` on standard input, with its own home
// directory, its output and errors in files.
class HostileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fs::exists(cliPath())) << "nomixcli is not built next to the tests";
        dir_ = fs::temp_directory_path() / ("nomix-hostile-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "home");
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path home() const { return dir_ / "home"; }

    // Runs the session. With `interrupt`, SIGINT is sent once the line
    // "Input: " + interrupt has been shown (and again every few seconds while
    // the program stays on that line), as a user presses Ctrl+C.
    Session run(const std::string &input, const std::optional<std::string> &interrupt = std::nullopt,
                std::chrono::seconds timeout = 600s) {
        const fs::path in = dir_ / "in", out = dir_ / "out", err = dir_ / "err";
        std::ofstream(in, std::ios::binary) << input;
        pid_t pid = ::fork();
        if (pid == 0) child(in, out, err);
        Session s;
        auto start = std::chrono::steady_clock::now();
        auto nextInterrupt = start;
        const std::string marker = interrupt ? "Input: " + *interrupt + "\n" : "";
        for (int status = 0;;) {
            pid_t done = ::waitpid(pid, &status, WNOHANG);
            if (done == pid) {
                s.exited = WIFEXITED(status);
                s.status = s.exited ? WEXITSTATUS(status) : -1;
                break;
            }
            auto now = std::chrono::steady_clock::now();
            if (now - start > timeout) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &status, 0);
                s.hung = true;
                break;
            }
            if (interrupt && now >= nextInterrupt && stillOn(readFile(out), marker)) {
                std::this_thread::sleep_for(300ms);
                ::kill(pid, SIGINT);
                nextInterrupt = std::chrono::steady_clock::now() + 3s;
            }
            std::this_thread::sleep_for(50ms);
        }
        s.out = readFile(out);
        s.err = readFile(err);
        return s;
    }

    // True when the output shows the marked input as its last input so far.
    static bool stillOn(const std::string &out, const std::string &marker) {
        size_t at = out.find(marker);
        return at != std::string::npos && out.find("Input: ", at + marker.size()) == std::string::npos;
    }

    [[noreturn]] void child(const fs::path &in, const fs::path &out, const fs::path &err) {
        int fdIn = ::open(in.c_str(), O_RDONLY);
        int fdOut = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int fdErr = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fdIn < 0 || fdOut < 0 || fdErr < 0) ::_exit(127);
        ::dup2(fdIn, 0);
        ::dup2(fdOut, 1);
        ::dup2(fdErr, 2);
        std::string cli = cliPath().string(), homeArg = home().string();
        char *args[] = {cli.data(), const_cast<char *>("--home"), homeArg.data(), nullptr};
        ::execv(cli.c_str(), args);
        ::_exit(127);
    }

    // Runs every case in its own session and checks: the program ended by
    // itself, the hostile line was answered with the expected message (as its
    // answer or in an error box), and the proof expression after it was computed.
    void expectSurvives(const std::vector<HostileCase> &cases);

    fs::path dir_;
};

// The answer lines shown for the hostile line: from its "Input: " line up to
// the next input.
std::string shownFor(const Session &s, const std::string &hostile) {
    std::string marker = "Input: " + hostile + "\n";
    size_t at = s.out.rfind(marker);
    if (at == std::string::npos) return {};
    size_t from = at + marker.size(), end = s.out.find("Input: ", from);
    return s.out.substr(from, end == std::string::npos ? std::string::npos : end - from);
}

void HostileTest::expectSurvives(const std::vector<HostileCase> &cases) {
    for (const HostileCase &c : cases) {
        std::string input;
        for (const std::string &line : c.setup) input += line + "\n";
        input += c.hostile + "\n1+1\n";
        Session s = run(input, c.interrupt ? std::optional<std::string>(c.hostile) : std::nullopt, c.timeout);
        std::string shown = shownFor(s, c.hostile) + s.err;
        EXPECT_FALSE(s.hung) << c.what << ": hangs";
        EXPECT_TRUE(s.exited && s.status == 0) << c.what << ": crashed or failed (status " << s.status << ")";
        EXPECT_NE(shown.find(c.message), std::string::npos)
            << c.what << ": no message \"" << c.message << "\"; shown: " << shown.substr(0, 300);
        EXPECT_TRUE(s.out.ends_with("Input: 1+1\nAnswer: 2\n")) << c.what << ": the calculator did not go on";
    }
}

std::string repeated(const std::string &piece, size_t times) {
    std::string text;
    text.reserve(piece.size() * times);
    for (size_t i = 0; i < times; ++i) text += piece;
    return text;
}

// A file of bytes of every value (NUL, CR, invalid UTF-8), the same every run.
void writeBinary(const fs::path &file) {
    std::mt19937 random(7);
    std::string bytes(20000, '\0');
    for (char &b : bytes) b = static_cast<char>(random() & 0xff);
    std::ofstream(file, std::ios::binary) << bytes;
}

class CliHostile : public HostileTest {};

TEST_F(CliHostile, RunawayInputsEndInAMessage) {
    expectSurvives({
        {"a million nested brackets", {}, repeated("(", 1000000) + "1" + repeated(")", 1000000), false,
         "Runaway rule expansion"},
        {"a rule that rewrites to what it matches again", {"Def Syntax: Grow({x}) ::= Grow(({x}))"}, "Grow(1)",
         false, "Runaway rule expansion"},
        {"a rule that doubles itself", {"Def Syntax: Twin({x}) ::= Twin({x}) + Twin({x})"}, "Twin(1)", false,
         "Runaway rule expansion"},
        {"a function recursing without end", {"f(x) = f(x + 1)"}, "f(1)", false, "Nesting too deep"},
        {"a function calling itself twice", {"q(x) = q(x) + q(x)"}, "q(1)", false, "Nesting too deep"},
    });
}

TEST_F(CliHostile, HugeLinesAreComputedOrRefused) {
    expectSurvives({
        {"3 MB of additions", {}, "0" + repeated("+1", 1500000), false, "Runaway rule expansion"},
        {"a 4 MB text", {}, "\"" + repeated("a", 4000000) + "\" == \"b\"", false, "Answer: 0"},
        {"a 4 MB name", {}, repeated("x", 4000000), false, "Undefined identifier"},
    });
}

TEST_F(CliHostile, LoadOfWhatIsNoScript) {
    writeBinary(home() / "binary.dat");
    fs::create_directory(home() / "folder.nx");
    expectSurvives({
        {"a binary file", {}, "LOAD 'binary.dat'", false, "Error: "},
        {"a missing file", {}, "LOAD 'missing.nx'", false, "Answer: File not found"},
        {"a directory", {}, "LOAD 'folder.nx'", false, "Answer: File not found"},
        {"a device", {}, "LOAD '/dev/zero'", false, "Answer: File not found"},
    });
}

// Ctrl+C ends what never ends by itself, and the next line is computed.
TEST_F(CliHostile, EndlessLoopsEndOnCtrlC) {
    expectSurvives({
        {"an endless counted loop", {"i = 0"}, "nx_For(i, 1, 1e300, 1, i)", true, "Answer: "},
        {"an endless conditional loop", {}, "nx_Loop(1, 0, 1)", true, "Answer: "},
        {"endless recursion through a loop", {"Def Func: spin(x) = nx_Loop(1, spin(x), 1)"}, "spin(1)", true,
         "Answer: "},
    });
}

// A loop ended by Ctrl+C says so (error 33): it had answered "Ok" as if the
// calculation had finished.
TEST_F(CliHostile, LoopsEndedByCtrlCSayStopped) {
    expectSurvives({
        {"an endless counted loop", {"i = 0"}, "nx_For(i, 1, 1e300, 1, i)", true, "Stopped"},
        {"an endless conditional loop", {}, "nx_Loop(1, 0, 1)", true, "Stopped"},
    });
}

// A text that doubles without end ends in "Out of memory" at the engine's text
// limit; it had ended silently, the variable left as the empty text.
TEST_F(CliHostile, UnboundedGrowthEndsInAnError) {
    expectSurvives({
        {"a text doubled in a loop", {"grow = \"ab\""}, "nx_Loop(1, grow = grow + grow, 1)", false, "Error: "},
        {"a text doubled by recursion", {"Def Func: dbl(t As String) As String = dbl(t + t)"}, "dbl(\"ab\")", false,
         "Error: "},
    });
}

// Delay and WaitForInput end on Ctrl+C with "Stopped"; they had waited only on
// the clock, StopDelay and the input line (which in nomixcli holds the running
// line), so neither could be ended.
TEST_F(CliHostile, WaitsEndOnCtrlC) {
    expectSurvives({
        {"a delay of thirty years", {}, "Delay(1e9)", true, "Stopped", 60s},
        {"waiting for input", {}, "WaitForInput()", true, "Stopped", 60s},
    });
}

// A nested LOAD refuses what is not a plain file (a FIFO blocked for ever,
// /dev/zero was read as one endless line), the loader stops on Ctrl+C, and one
// LOAD opens at most 10,000 files (a script loading itself twice ran 2^32 times
// within the depth limit).
TEST_F(CliHostile, ScriptsThatCannotEnd) {
    std::ofstream(home() / "self.nx") << "LOAD 'self.nx'\nLOAD 'self.nx'\n";
    std::ofstream(home() / "pipe.nx") << "LOAD 'fifo.nx'\n";
    ASSERT_EQ(::mkfifo((home() / "fifo.nx").c_str(), 0644), 0);
    expectSurvives({
        {"a script loading itself twice", {}, "LOAD 'self.nx'", true, "Error: ", 60s},
        {"a script loading a FIFO", {}, "LOAD 'pipe.nx'", true, "Error: ", 60s},
    });
}

} // namespace
