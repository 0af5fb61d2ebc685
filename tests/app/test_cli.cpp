// nomixcli as a user runs it: the built binary, spawned with its options, its
// standard output compared line by line and its error boxes read from standard error.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "shell/bootscript.h"

namespace fs = std::filesystem;

namespace {

struct Outcome {
    std::vector<std::string> out;
    std::string err;
    int status = -1;
};

// Single-quoted for the shell.
std::string quoted(const std::string &s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

fs::path cliPath() { return fs::read_symlink("/proc/self/exe").parent_path() / "nomixcli"; }

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        home_ = fs::temp_directory_path() / ("nomix_cli_" + std::to_string(::getpid()));
        fs::remove_all(home_);
        ASSERT_TRUE(fs::exists(cliPath())) << "nomixcli is not built next to the tests";
    }
    void TearDown() override { fs::remove_all(home_); }

    // Runs nomixcli --home <temp> with the arguments (and text on standard input).
    Outcome run(const std::vector<std::string> &args, const std::string &input = "") {
        fs::path errFile = fs::temp_directory_path() / ("nomix_cli_err_" + std::to_string(::getpid()));
        fs::path inFile = errFile.string() + "_in";
        std::ofstream(inFile) << input;
        std::string command = quoted(cliPath().string()) + " --home " + quoted(home_.string());
        for (const std::string &a : args) command += " " + quoted(a);
        command += " <" + quoted(inFile.string()) + " 2>" + quoted(errFile.string());
        Outcome r;
        FILE *pipe = ::popen(command.c_str(), "r");
        if (!pipe) return r;
        std::string out;
        std::array<char, 4096> buffer;
        while (size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe)) out.append(buffer.data(), n);
        int status = ::pclose(pipe);
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::istringstream lines(out);
        for (std::string line; std::getline(lines, line);) r.out.push_back(line);
        std::ifstream err(errFile);
        r.err.assign(std::istreambuf_iterator<char>(err), {});
        fs::remove(errFile);
        fs::remove(inFile);
        return r;
    }
    fs::path home_;
};

using Lines = std::vector<std::string>;

TEST_F(CliTest, SessionFromTheIssue) {
    Outcome r = run({"-e", "a = 5", "-e", "2a", "-e", "'ab' * 3"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, (Lines{"Input: a = 5", "Answer: Ok", "Input: 2a", "Answer: 10", "Input: 'ab' * 3",
                            "Answer: ababab"}));
    EXPECT_EQ(r.err, "");
}

TEST_F(CliTest, SolveListsTheRootsWithTheShippedStartupScript) {
    if (!nomix::findDataFile("Nomix.nx")) GTEST_SKIP() << "no shipped Nomix.nx yet";
    Outcome r = run({"-e", "Solve x^2-4, -10, 10, x"});
    EXPECT_EQ(r.out, (Lines{"Input: Solve x^2-4, -10, 10, x", "-2", " 2"}));
    EXPECT_TRUE(fs::exists(home_ / "Nomix.nx")) << "an empty home is seeded";
}

TEST_F(CliTest, ErrorBoxesGoToStandardError) {
    Outcome r = run({"-e", "zork + 1", "-e", "1+1"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, (Lines{"Input: zork + 1", "Answer: Undefined identifier", "Input: 1+1", "Answer: 2"}));
    EXPECT_EQ(r.err, "Error: Undefined identifier\n\nExpression: zork + 1\nOffending symbol: zork\n"
                     "Error Location:  1\n");
}

struct FlagCase {
    Lines args;
    Lines out;
};

TEST_F(CliTest, FlagsOverrideTheSettings) {
    const std::vector<FlagCase> cases = {
        {{"--bin", "--hex", "--oct", "-e", "255"}, {"Input: 255", "Dec: 255", "Bin: 11111111", "Hex: FF", "Oct: 377"}},
        {{"--no-dec", "--hex", "-e", "255", "-e", "-1"}, {"Input: 255", "Hex: FF", "Input: -1"}},
        {{"--format", "Fixed", "-e", "2"}, {"Input: 2", "Answer: 2.00"}},
        {{"--format", "custom:x*3", "-e", "2"}, {"Input: 2", "Answer:  6"}},
        {{"--angle", "DEG", "-e", "Sin(90)"}, {"Input: Sin(90)", "Answer: 1"}},
        {{"--angle", "GRA", "-e", "Sin(100)"}, {"Input: Sin(100)", "Answer: 1"}},
    };
    for (const FlagCase &c : cases) EXPECT_EQ(run(c.args).out, c.out) << c.args[0];
}

TEST_F(CliTest, LinesFromAFileOrStandardInput) {
    fs::create_directories(home_);
    fs::path file = home_.parent_path() / ("nomix_cli_lines_" + std::to_string(::getpid()) + ".txt");
    std::ofstream(file) << "fa = 2\r\nfa * 21\n\n";
    Outcome fromFile = run({file.string()});
    fs::remove(file);
    EXPECT_EQ(fromFile.out, (Lines{"Input: fa = 2", "Answer: Ok", "Input: fa * 21", "Answer: 42"}));
    Outcome fromStdin = run({}, "3*3\nlast+1\n");
    EXPECT_EQ(fromStdin.out, (Lines{"Input: 3*3", "Answer: 9", "Input: last+1", "Answer: 10"}));
}

TEST_F(CliTest, ScriptsAndLoadRunInTheHomeDirectory) {
    fs::create_directories(home_);
    std::ofstream(home_ / "Nomix.nx") << "startup = 40\n";
    std::ofstream(home_ / "more.nx") << "more = startup + _\n2\n";
    Outcome r = run({"-e", "LOAD 'more.nx'", "-e", "more"});
    EXPECT_EQ(r.out, (Lines{"Input: LOAD 'more.nx'", "Answer: Ok", "Input: more", "Answer: 42"}));
}

TEST_F(CliTest, BadArgumentsFailWithUsage) {
    Outcome r = run({"--angle", "TURNS", "-e", "1"});
    EXPECT_NE(r.status, 0);
    EXPECT_TRUE(r.out.empty());
    r = run({"--frobnicate"});
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("usage: nomixcli"), std::string::npos);
}

} // namespace
