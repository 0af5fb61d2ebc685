// The session files: "nomix.tmp" text to window records and back, what the
// forgiving reader keeps and reports, the calculator's own records, and the
// "*.ans" answer files with the recall list they rebuild.
#include <gtest/gtest.h>

#include <fstream>
#include <unistd.h>

#include "shell/session.h"

using namespace nomix;
namespace fs = std::filesystem;
using namespace std::string_literals;
using Lines = std::vector<std::string>;

namespace {

std::vector<int> linesOf(const ReadReport &r) {
    std::vector<int> lines;
    for (const ReadProblem &p : r.problems) lines.push_back(p.line);
    return lines;
}

const std::vector<WindowRecord> kSession = {
    {"MDInomix", WindowState::Maximized, std::nullopt, {}},
    {"frmNOMIX", WindowState::Normal, SessionGeometry{1935, 6960, 0, 0},
     {"2", "x^2", "1+2", "4", "Input: 1+2", "Answer: 3", "", "", "x^2", "-1e8", "1e8", "x", "100"}},
    {"frmPlot", WindowState::Normal, std::nullopt, {"0", "sin(x)"}},
    {"frmAdder", WindowState::Minimized, std::nullopt, {"::not a window", ":::three", "\ttab"}},
    {"frmGraph", WindowState::Normal, SessionGeometry{4000, 5000, 100, -200}, {}},
};

TEST(SessionFile, WrittenFormIsExact) {
    std::vector<WindowRecord> windows = {
        {"frmNOMIX", WindowState::Normal, SessionGeometry{1, 2, 3, 4}, {"a"}},
        {"frmPlot", WindowState::Normal, std::nullopt, {"v"}},
        {"MDInomix", WindowState::Minimized, std::nullopt, {"::x"}},
        {"frmGraph", WindowState::Normal, std::nullopt, {}},
    };
    EXPECT_EQ(sessionText(windows), "::frmNOMIX\r\n0\r\n1\r\n2\r\n3\r\n4\r\na\r\n"
                                    "::frmPlot\r\n0\r\nv\r\n"
                                    "::MDInomix\r\n1\r\n:::x\r\n"
                                    "::frmGraph\r\n0\r\n0\r\n0\r\n0\r\n0\r\n");
}

TEST(SessionFile, RoundTripKeepsEveryWindow) {
    SessionRead read = readSessionText(sessionText(kSession));
    EXPECT_TRUE(read.report.complete()) << read.report.problemText();
    EXPECT_EQ(read.windows, kSession);
}

struct ReadCase {
    const char *what;
    std::string text;
    std::vector<WindowRecord> windows;
    std::vector<int> problemLines;
};

TEST(SessionFile, ForgivingReader) {
    const ReadCase cases[] = {
        {"empty file", "", {}, {}},
        {"LF lines", "::frmGraph\n1\nx\n", {{"frmGraph", WindowState::Minimized, {}, {"x"}}}, {}},
        {"CR-only lines", "::frmGraph\r2\rx\r", {{"frmGraph", WindowState::Maximized, {}, {"x"}}}, {}},
        {"name line without records", "::frmGraph", {{"frmGraph", WindowState::Normal, {}, {}}}, {1}},
        {"two bare name lines", "::a\r\n::b\r\n", {{"a", {}, {}, {}}, {"b", {}, {}, {}}}, {1, 2}},
        {"truncated geometry", "::frmGraph\r\n0\r\n10\r\n20\r\n", {{"frmGraph", {}, {}, {}}}, {4}},
        {"garbage state", "::frmGraph\r\nbig\r\n1\r\n2\r\n3\r\n4\r\n",
         {{"frmGraph", WindowState::Normal, SessionGeometry{1, 2, 3, 4}, {}}}, {2}},
        {"state out of range", "::frmPlot\r\n-3\r\nr\r\n", {{"frmPlot", {}, {}, {"r"}}}, {2}},
        {"garbage geometry is dropped, its lines still consumed",
         "::frmGraph\r\n0\r\n99999999999\r\n2\r\nx\r\n4\r\nrec\r\n", {{"frmGraph", {}, {}, {"rec"}}}, {3, 5}},
        {"lines before the first window", "junk\r\nmore\r\n::frmPlot\r\n2\r\n",
         {{"frmPlot", WindowState::Maximized, {}, {}}}, {1}},
        {"window without a name", "::\r\n1\r\n::frmPlot\r\n1\r\n", {{"frmPlot", WindowState::Minimized, {}, {}}}, {1}},
        {"NUL byte read as a blank", "::frmPlot\r\n1\r\na\0b\r\n"s,
         {{"frmPlot", WindowState::Minimized, {}, {"a b"}}}, {3}},
        {"Latin-1 text", "::frmPlot\r\n1\r\n\xb5m\xb2\r\n", {{"frmPlot", WindowState::Minimized, {}, {"\u00b5m\u00b2"}}}, {}},
    };
    for (const ReadCase &c : cases) {
        SessionRead read = readSessionText(c.text);
        EXPECT_EQ(read.windows, c.windows) << c.what;
        EXPECT_EQ(linesOf(read.report), c.problemLines) << c.what << "\n" << read.report.problemText();
    }
}

TEST(SessionFile, CapsBoundWhatGarbageCanAllocate) {
    std::string manyWindows;
    for (size_t i = 0; i < kMaxSessionWindows + 10; ++i) manyWindows += "::w\r\n1\r\n";
    SessionRead read = readSessionText(manyWindows);
    EXPECT_EQ(read.windows.size(), kMaxSessionWindows);
    EXPECT_FALSE(read.report.complete());

    // A file of nothing but line ends, or of a NUL on every line, stays bounded
    // in lines and in problems.
    AnswerSession blank = readAnswerText(std::string(kMaxSessionLines + 5, '\n'));
    EXPECT_EQ(blank.answers.size(), kMaxSessionLines);
    EXPECT_EQ(linesOf(blank.report), std::vector<int>{static_cast<int>(kMaxSessionLines) + 1});
    std::string nuls;
    for (int i = 0; i < 500; ++i) nuls += "x\0\n"s;
    EXPECT_EQ(readAnswerText(nuls).report.problems.size(), 101u);

    std::string longLine = "::frmPlot\r\n1\r\n" + std::string(kMaxSessionLine + 5, 'x') + "\r\n";
    read = readSessionText(longLine);
    ASSERT_EQ(read.windows.size(), 1u);
    EXPECT_EQ(read.windows[0].lines.at(0).size(), kMaxSessionLine);
    EXPECT_EQ(linesOf(read.report), std::vector<int>{3});
}

struct CalculatorCase {
    const char *what;
    Lines records;
    CalculatorLists lists;
    size_t problems;
    size_t left;  // lines after the records (the control texts)
};

TEST(CalculatorRecords, CountsAreCheckedAgainstTheLines) {
    const CalculatorCase cases[] = {
        {"well formed", {"2", "b", "a", "1", "Input: a", "ctl"}, {{"b", "a"}, {"Input: a"}}, 0, 1},
        {"empty lists", {"0", "0"}, {}, 0, 0},
        {"no records at all", {}, {}, 2, 0},
        {"huge count", {"99999999999", "0"}, {{}, {}}, 1, 0},
        {"negative count", {"-3", "1", "x"}, {{}, {"x"}}, 1, 0},
        {"count beyond the file", {"5", "a", "b"}, {{"a", "b"}, {}}, 2, 0},
        {"count with blanks", {" 1 ", "a", "0"}, {{"a"}, {}}, 0, 0},
    };
    for (const CalculatorCase &c : cases) {
        RecordCursor cursor(c.records);
        ReadReport report;
        EXPECT_EQ(readCalculatorRecords(cursor, &report), c.lists) << c.what;
        EXPECT_EQ(report.problems.size(), c.problems) << c.what << "\n" << report.problemText();
        EXPECT_EQ(cursor.remaining(), c.left) << c.what;
    }
}

TEST(CalculatorRecords, RoundTripThroughTheSessionFile) {
    CalculatorLists lists{{"x^2", "", "::odd"}, {"Input: x^2", "Answer: 4", "", "Input: ", ""}};
    Lines records = calculatorRecords(lists);
    records.push_back("control text");
    SessionRead read = readSessionText(sessionText({{"frmNOMIX", WindowState::Maximized, {}, records}}));
    ASSERT_EQ(read.windows.size(), 1u);
    RecordCursor cursor(read.windows[0].lines);
    EXPECT_EQ(readCalculatorRecords(cursor), lists);
    EXPECT_EQ(cursor.take(), "control text");
    EXPECT_TRUE(cursor.atEnd());
    EXPECT_EQ(cursor.take(), "");
}

struct AnswerCase {
    const char *what;
    std::string text;
    Lines answers;
    Lines recall;
};

TEST(AnswerFile, OpenRebuildsTheRecallListNewestFirst) {
    const AnswerCase cases[] = {
        {"empty file", "", {}, {}},
        {"one calculation", "Input: 1+2\r\nAnswer: 3\r\n\r\n", {"Input: 1+2", "Answer: 3", ""}, {"1+2"}},
        {"newest input on top", "Input: a\r\nAnswer: 1\r\n\r\nInput: b\r\nAnswer: 2\r\nDec: 2\r\n\r\n\r\n",
         {"Input: a", "Answer: 1", "", "Input: b", "Answer: 2", "Dec: 2", "", ""}, {"b", "a"}},
        {"only the exact prefix counts", "input: x\nInput:y\nInput: \n  Input: z\n",
         {"input: x", "Input:y", "Input: ", "  Input: z"}, {""}},
        {"CR-only lines and no last line end", "Input: 7\rAnswer: 7", {"Input: 7", "Answer: 7"}, {"7"}},
        {"Latin-1 input", "Input: 5\xb0\r\n", {"Input: 5\u00b0"}, {"5\u00b0"}},
    };
    for (const AnswerCase &c : cases) {
        AnswerSession session = readAnswerText(c.text);
        EXPECT_EQ(session.answers, c.answers) << c.what;
        EXPECT_EQ(session.recall, c.recall) << c.what;
        EXPECT_TRUE(session.report.complete()) << c.what;
    }
}

// A list line holding a line break would come back as two lines.
TEST(AnswerFile, LineBreaksInALineAreWrittenAsBlanks) {
    EXPECT_EQ(answerFileText({"Answer: a\r\nb", "x\0y"s, ""}), "Answer: a  b\r\nx y\r\n\r\n");
}

class AnswerFileOnDisk : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "nomix-session-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_;
};

// A session saved from the calculator window and opened again shows the same
// answer list, and its inputs are back in the recall list, newest at the top.
TEST_F(AnswerFileOnDisk, SavedAndOpenedAgainGivesTheSameLists) {
    Lines answers = {"Input: 2+3", "Answer: 5", "", "Input: x=4", "Answer: 4", "Hex: 4", "", ""};
    fs::path file = dir_ / "work.ans";
    ASSERT_TRUE(saveAnswerFile(file, answers).ok);
    AnswerSession opened = loadAnswerFile(file);
    EXPECT_EQ(opened.report.state, ReadReport::State::Loaded);
    EXPECT_EQ(opened.answers, answers);
    EXPECT_EQ(opened.recall, (Lines{"x=4", "2+3"}));
}

TEST_F(AnswerFileOnDisk, MissingAndUnreadableFiles) {
    EXPECT_EQ(loadAnswerFile(dir_ / "none.ans").report.state, ReadReport::State::Missing);
    EXPECT_EQ(loadSession(dir_ / "nomix.tmp").report.state, ReadReport::State::Missing);
    EXPECT_EQ(loadSession(dir_).report.state, ReadReport::State::Unreadable);
    EXPECT_FALSE(saveAnswerFile(dir_, {"x"}).ok);
}

TEST_F(AnswerFileOnDisk, SessionSaveKeepsAFileItCouldNotRead) {
    fs::path file = dir_ / "nomix.tmp";
    ASSERT_TRUE(saveSession(file, kSession).ok);
    SessionRead back = loadSession(file);
    EXPECT_EQ(back.windows, kSession);
    EXPECT_TRUE(saveSession(file, kSession).backup.empty());

    std::ofstream(file, std::ios::binary) << "garbage\r\n::frmPlot\r\n";
    SaveOutcome saved = saveSession(file, {});
    EXPECT_TRUE(saved.ok);
    EXPECT_EQ(saved.backup, dir_ / "nomix.tmp.bak");
    EXPECT_TRUE(fs::exists(dir_ / "nomix.tmp.bak"));
}

} // namespace
