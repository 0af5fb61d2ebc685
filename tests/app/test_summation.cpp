// The summation run with the real engine: tables over ranges in both
// directions, decimal steps, empty and refused ranges, failures while summing,
// and the ".sum" file.
#include <gtest/gtest.h>

#include "box_host.h"

#include "shell/binding.h"
#include "shell/bootstrap.h"
#include "tools/summation.h"

using namespace nomix;

namespace {

using nomix::testing::BoxHost;

class Summation : public ::testing::Test {
protected:
    void SetUp() override { DefineApplicationLanguage(binding()); }
    BoxHost host_;
    Application app_{host_};
};

struct RunCase {
    SumInputs in;
    SumRun::State state;
    std::vector<SumRow> rows;  // checked when not empty
    size_t rowCount;
    std::string total, last;
};

TEST_F(Summation, Tables) {
    const std::vector<RunCase> cases = {
        {{"x^2", "x", "1", "3", "1"}, SumRun::State::Done,
         {{"1", "1", "1"}, {"2", "4", "5"}, {"3", "9", "14"}}, 3, "14", "9"},
        {{"1", "k", "0", "1", "0.1"}, SumRun::State::Done, {}, 11, "11", "1"},
        {{"x", "x", "3", "1", "-1"}, SumRun::State::Done, {{"3", "3", "3"}, {"2", "2", "5"}, {"1", "1", "6"}}, 3, "6", "1"},
        {{"x", "x", "3", "1", "1"}, SumRun::State::Done, {}, 0, "0", "0"},
        {{"x", "x", "2", "2", "-1"}, SumRun::State::Done, {{"2", "2", "2"}}, 1, "2", "2"},
        {{"x", "x", "1", "5", "0"}, SumRun::State::Refused, {}, 0, "0", "0"},
        {{"x", "x", "0", "1E9", "1"}, SumRun::State::Refused, {}, 0, "0", "0"},
        {{"x", "x", "0", "1/0", "1"}, SumRun::State::Refused, {}, 0, "0", "0"},
        {{"x", "x", "1", "3", "1+"}, SumRun::State::EngineError, {}, 0, "0", "0"},
        {{"x+", "x", "1", "3", "1"}, SumRun::State::EngineError, {}, 0, "0", "0"},
        {{"10^(300*x)", "x", "1", "3", "1"}, SumRun::State::RuntimeError, {}, 1, "0", "0"},
        {{"x", "1+1", "1", "3", "1"}, SumRun::State::Refused, {}, 0, "0", "0"},
        {{"x", "x At 4096", "1", "3", "1"}, SumRun::State::Refused, {}, 0, "0", "0"},
        {{"x", "", "1", "3", "1"}, SumRun::State::Refused, {}, 0, "0", "0"},
    };
    for (const RunCase &c : cases) {
        SumRun run = runSummation(binding(), c.in, "");
        const std::string what = c.in.expression + " " + c.in.from + ".." + c.in.to + " by " + c.in.step;
        EXPECT_EQ(run.state, c.state) << what;
        EXPECT_EQ(run.rows.size(), c.rowCount) << what;
        if (!c.rows.empty()) {
            EXPECT_EQ(run.rows, c.rows) << what;
        }
        EXPECT_EQ(run.total, c.total) << what;
        EXPECT_EQ(run.last, c.last) << what;
    }
    SumRun tenth = runSummation(binding(), {"1", "k", "0", "1", "0.1"}, "");
    EXPECT_EQ(tenth.rows.back().value, "1");
    EXPECT_EQ(tenth.rows[3].value, "0.3");
}

TEST_F(Summation, TheVariableIsGoneAfterTheRun) {
    runSummation(binding(), {"q9", "q9", "1", "2", "1"}, "");
    host_.boxes.clear();
    binding().EvalDbl("q9");
    EXPECT_NE(binding().ErrorCode(), 0);
}

TEST(SumFile, ReadsAnyBytesAsFiveTexts) {
    const std::vector<std::pair<std::string, SumInputs>> cases = {
        {"x^2\r\nx\r\n1\r\n3\r\n1\r\n", {"x^2", "x", "1", "3", "1"}},
        {"only\n", {"only", "", "", "", ""}},
        {"a\nb\nc\nd\ne\nf\ng\n", {"a", "b", "c", "d", "e"}},
        {std::string("\0\xff\r\r", 4), {std::string("\0\xc3\xbf", 3), "", "", "", ""}},
    };
    for (const auto &[text, inputs] : cases) {
        ReadReport report;
        EXPECT_EQ(readSumText(text, report), inputs);
    }
    const auto path = std::filesystem::temp_directory_path() / "nomix-sum-test.sum";
    const SumInputs in{"1/n^2", "n", "1", "10", "1"};
    ASSERT_TRUE(saveSumFile(path, in).ok);
    SumInputs back;
    EXPECT_EQ(loadSumFile(path, back).state, ReadReport::State::Loaded);
    EXPECT_EQ(back, in);
    std::filesystem::remove(path);
}

} // namespace
