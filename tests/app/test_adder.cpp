// The adder tape without the window: totals over tapes of entries (with a small
// evaluator standing in for the engine), the free last row, and the ".add" file
// read from any bytes.
#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "tools/adder.h"

using namespace nomix;

namespace {

// "bad" fails; any other text is read as a number.
std::optional<double> fakeEvaluate(const std::string &text) {
    if (text == "bad") return std::nullopt;
    return std::stod(text);
}
std::string plain(double v) { return std::to_string(static_cast<long long>(std::llround(v))); }

struct TotalCase {
    const char *what;
    std::vector<AdderRow> rows;
    AdderTotal::State state;
    std::string text;
    size_t current;
    size_t rowCount;
};

TEST(AdderTape, RecalcTotals) {
    const std::vector<TotalCase> cases = {
        {"values and an empty row", {{"10", ""}, {"6", ""}, {"", ""}}, AdderTotal::State::Ok, "16", 2, 3},
        {"empty rows in between count nothing", {{"1", ""}, {"", "note"}, {"2", ""}}, AdderTotal::State::Ok, "3", 3, 4},
        {"a failing entry stops at its row", {{"1", ""}, {"bad", ""}, {"5", ""}}, AdderTotal::State::EntryFailed, "", 1, 4},
        {"an infinite sum is an overflow", {{"1e308", ""}, {"1e308", ""}}, AdderTotal::State::Overflow, "", 2, 3},
        {"nothing at all", {}, AdderTotal::State::Ok, "0", 0, 1},
    };
    for (const TotalCase &c : cases) {
        AdderTape tape;
        tape.setRows(c.rows);
        AdderTotal t = tape.recalc(fakeEvaluate, plain);
        EXPECT_EQ(t.state, c.state) << c.what;
        EXPECT_EQ(t.text, c.text) << c.what;
        EXPECT_EQ(tape.current(), c.current) << c.what;
        EXPECT_EQ(tape.rows().size(), c.rowCount) << c.what;
    }
}

TEST(AdderTape, AddingInTheLastRowKeepsAFreeRow) {
    AdderTape tape;
    tape.setValue("4");
    EXPECT_EQ(tape.add(fakeEvaluate, plain).text, "4");
    EXPECT_EQ(tape.rows(), (std::vector<AdderRow>{{"4", ""}, {"", ""}}));
    EXPECT_EQ(tape.current(), 1u);
    tape.select(0);
    tape.insertBeforeCurrent();
    tape.removeCurrent();
    tape.removeCurrent();
    EXPECT_EQ(tape.rows(), (std::vector<AdderRow>{{"", ""}}));
    EXPECT_EQ(tape.clear(fakeEvaluate, plain).text, "0");
}

TEST(AdderFile, AnyBytesReadAsRows) {
    const std::vector<std::pair<std::string, std::vector<AdderRow>>> cases = {
        {"12.5\tlunch\r\n3\t\r\n\t\r\n", {{"12.5", "lunch"}, {"3", ""}, {"", ""}}},
        {"no tab\nlast", {{"no tab", ""}, {"last", ""}}},
        {"a\tb\tc\r", {{"a", "b\tc"}}},
        {std::string("x\0y\t\xff", 5), {{std::string("x\0y", 3), "\xc3\xbf"}}},
        {"", {}},
    };
    for (const auto &[text, rows] : cases) {
        ReadReport report;
        EXPECT_EQ(readAdderText(text, report), rows) << text;
    }
    std::string many;
    for (size_t i = 0; i <= kMaxAdderRows; ++i) many += "1\n";
    ReadReport report;
    EXPECT_EQ(readAdderText(many, report).size(), kMaxAdderRows);
    EXPECT_FALSE(report.problems.empty());
}

TEST(AdderFile, SavedTapeReadsBack) {
    const std::vector<AdderRow> rows = {{"1+1", "two"}, {"", "just a note"}, {"", ""}};
    const auto path = std::filesystem::temp_directory_path() / "nomix-adder-test.add";
    ASSERT_TRUE(saveAdderFile(path, rows).ok);
    std::vector<AdderRow> back;
    EXPECT_EQ(loadAdderFile(path, back).state, ReadReport::State::Loaded);
    EXPECT_EQ(back, rows);
    std::filesystem::remove(path);
    EXPECT_EQ(loadAdderFile(path, back).state, ReadReport::State::Missing);
}

} // namespace
