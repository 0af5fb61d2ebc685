// The conversion table "nomix.cnv": file text to table, what readers report,
// writing and reading back, the safety of saving over a file, and the walk from
// unit to unit (with a plain arithmetic evaluator instead of the engine).
#include <gtest/gtest.h>

#include "working_dir.h"

#include <fstream>
#include <iterator>
#include <map>
#include <unistd.h>

#include "shell/bootscript.h"
#include "tools/conversions.h"

using namespace nomix;
namespace fs = std::filesystem;

namespace {

using namespace std::string_literals;
using Entries = std::vector<ConversionEntry>;
using Names = std::vector<std::string>;

struct ReadCase {
    const char *what;
    std::string text;
    Names categories;
    Entries entries;
    std::vector<int> problemLines;
};

std::vector<int> linesOf(const ReadReport &r) {
    std::vector<int> lines;
    for (const ReadProblem &p : r.problems) lines.push_back(p.line);
    return lines;
}

TEST(ConversionRead, FileTextToTable) {
    const std::vector<ReadCase> cases = {
        {"the shipped form", "\r\n[Length]\r\nm: ft: x/0.3048: x*0.3048\r\nm: in: x/0.0254: x*0.0254\r\n",
         {"Length"},
         {{"m", "ft", "x/0.3048", "x*0.3048", 0}, {"m", "in", "x/0.0254", "x*0.0254", 0}},
         {}},
        {"LF only, blanks around every field", "  [ Mass ]  \n  kg :g:  x*1000 :x/1000  \n",
         {"Mass"}, {{"kg", "g", "x*1000", "x/1000", 0}}, {}},
        {"CR only", "[A]\ra:b:x:x\r[B]\rc:d:x:x", {"A", "B"},
         {{"a", "b", "x", "x", 0}, {"c", "d", "x", "x", 1}}, {}},
        {"the fourth field runs to the end of the line", "[T]\na:b:x:IIf(x>0: 1: 2)\n", {"T"},
         {{"a", "b", "x", "IIf(x>0: 1: 2)", 0}}, {}},
        {"missing fields are empty", "[T]\na:b\na:\n", {"T"},
         {{"a", "b", "", "", 0}, {"a", "", "", "", 0}}, {2, 3}},
        {"an entry before any category", "a:b:x:x\n[T]\n", {"T"}, {{"a", "b", "x", "x", -1}}, {}},
        {"a category line wins over a colon", "[a:b]\n", {"a:b"}, {}, {}},
        {"a category cut before its bracket keeps its name", "[Length\nm:ft:x:x", {"Length"},
         {{"m", "ft", "x", "x", 0}}, {1}},
        {"an empty category", "[]\n[", {"", ""}, {}, {2}},
        {"other lines are ignored and reported", "; comment\n\n   \nplain words\n[T]", {"T"}, {}, {1, 4}},
        {"a line with NUL bytes is skipped", "[T]\na:b\0:x:x\nc:d:x:x\n"s, {"T"},
         {{"c", "d", "x", "x", 0}}, {2}},
        {"a brackets-only name", "[[x]]", {"[x]"}, {}, {}},
        {"Latin-1 text becomes UTF-8", "[Temp\xe9rature]\n\xb0" "C:K:x:x\n", {"Temp\xc3\xa9rature"},
         {{"\xc2\xb0" "C", "K", "x", "x", 0}}, {}},
        {"UTF-8 text stays as it is", "[Temp\xc3\xa9rature]\n", {"Temp\xc3\xa9rature"}, {}, {}},
    };
    for (const ReadCase &c : cases) {
        ConversionTable t;
        ReadReport r = readConversions(c.text, t);
        EXPECT_EQ(t.categories, c.categories) << c.what;
        EXPECT_EQ(t.entries, c.entries) << c.what;
        EXPECT_EQ(linesOf(r), c.problemLines) << c.what;
    }
}

TEST(ConversionRead, TablesHaveLimits) {
    std::string many;
    for (size_t i = 0; i <= kMaxConversionEntries; ++i) many += "a:b:x:x\n";
    ConversionTable t;
    ReadReport r = readConversions("[T]\n" + many, t);
    EXPECT_EQ(t.entries.size(), kMaxConversionEntries);
    ASSERT_EQ(r.problems.size(), 1u);
    EXPECT_EQ(r.problems[0].line, static_cast<int>(kMaxConversionEntries) + 2);
}

TEST(ConversionRead, BinaryAndHostileTextNeverBreaksTheReader) {
    std::string binary;
    for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 7919) & 0xff);
    const std::string inputs[] = {binary, std::string(1 << 20, ':'), std::string(1 << 20, '['),
                                  std::string(100000, '\r'), "\xff\xfe[\0T]\n:\n"s, ""};
    for (const std::string &text : inputs) {
        ConversionTable t;
        ReadReport r = readConversions(text, t);
        EXPECT_EQ(r.state, ReadReport::State::Loaded);
        EXPECT_EQ(conversionWriteProblems(t), Names{});
    }
}

TEST(ConversionTableQueries, RangesAndUnitsOfACategory) {
    ConversionTable t;
    readConversions("[L]\nm:ft:a:b\nm:in:a:b\n[Empty]\n[M]\nkg:g:a:b\ng:mg:a:b\n", t);
    EXPECT_EQ(t.findCategory("M"), 2);
    EXPECT_EQ(t.findCategory("m"), -1) << "names compare exactly";
    EXPECT_EQ(t.categoryRange(0), std::make_optional(std::make_pair<size_t, size_t>(0, 1)));
    EXPECT_EQ(t.categoryRange(1), std::nullopt);
    EXPECT_EQ(t.categoryUnits(0), (Names{"m", "ft", "in"}));
    EXPECT_EQ(t.categoryUnits(2), (Names{"kg", "g", "mg"}));
    EXPECT_EQ(t.categoryUnits(1), Names{});
}

TEST(ConversionWrite, ExactForm) {
    ConversionTable t;
    t.categories = {"Length", "Empty"};
    t.entries = {{"m", "ft", "x/0.3048", "x*0.3048", 0}, {"loose", "unit", "x", "x", -1}};
    EXPECT_EQ(conversionsText(t),
              "loose: unit: x: x\r\n"
              "\r\n[Length]\r\nm: ft: x/0.3048: x*0.3048\r\n"
              "\r\n[Empty]\r\n");
}

TEST(ConversionWrite, ReadWriteReadGivesTheSameTable) {
    const std::string texts[] = {
        "\r\n[Length]\r\nm: ft: x/0.3048: x*0.3048\r\n",
        "a:b:x:x\n[T]\n[U\nc:d\n[]\n:\n[[x]]\ne: f: g: h: i: j\n",
        "[Temp\xe9rature]\n\xb0" "C:K:x+273.15:x-273.15\r",
    };
    for (const std::string &text : texts) {
        ConversionTable first, second;
        readConversions(text, first);
        ReadReport again = readConversions(conversionsText(first), second);
        EXPECT_EQ(second, first) << text;
        EXPECT_TRUE(again.problems.empty()) << again.problemText();
    }
    if (auto shipped = findDataFile("nomix.cnv")) {
        ConversionTable first, second;
        std::ifstream in(*shipped, std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_TRUE(readConversions(text, first).complete());
        EXPECT_GE(first.categories.size(), 10u);
        EXPECT_EQ(conversionsText(first), text) << "the shipped table is in the written form";
        readConversions(conversionsText(first), second);
        EXPECT_EQ(second, first);
    }
}

TEST(ConversionWrite, TablesThatWouldNotReadBackAreRefused) {
    const std::vector<std::pair<ConversionEntry, const char *>> cases = {
        {{"a:b", "c", "x", "x", 0}, "unit A holds \":\""},
        {{"a", "c", "IIf(x>0: 1: 2)", "x", 0}, "the formula A to B holds \":\""},
        {{"[a", "c", "x", "x", 0}, "unit A starts with \"[\" and would read as a category"},
        {{"a", "c\r\nd", "x", "x", 0}, "unit B: it holds a line break"},
        {{"a", "c", "x", "x\0"s, 0}, "the formula B to A: it holds a NUL byte"},
        {{"a", "\xff", "x", "x", 0}, "unit B: it is not UTF-8 text"},
        {{"a", "c", "x", "x", 5}, "its category does not exist"},
    };
    for (const auto &[entry, reason] : cases) {
        ConversionTable t;
        t.categories = {"T"};
        t.entries = {entry};
        EXPECT_EQ(conversionWriteProblems(t), Names{std::string("entry 1: ") + reason});
    }
    ConversionTable ok;
    ok.categories = {"T"};
    ok.entries = {{"a", "b", "x", "IIf(x>0: 1: 2)", 0}};
    EXPECT_EQ(conversionWriteProblems(ok), Names{}) << "the last formula may hold \":\"";
}

// A fresh directory per test, removed afterwards; the current directory for
// LoadConversions' "nomix.cnv".
class ConversionFiles : public ::testing::Test {
protected:
    static void write(const fs::path &p, const std::string &content) { std::ofstream(p, std::ios::binary) << content; }
    static std::string read(const fs::path &p) {
        std::ifstream in(p, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    testdirs::WorkingDirectory work_{"nomix-cnv-"};
    const fs::path &dir_ = work_.path();
};

TEST_F(ConversionFiles, TheMainTableReplacesOthersAppend) {
    write("nomix.cnv", "[A]\na:b:x:x\n");
    write("more.cnv", "[B]\nc:d:x:x\n");
    ConversionTable t;
    t.categories = {"old"};
    EXPECT_TRUE(LoadConversions("nomix.cnv", t).complete());
    EXPECT_EQ(t.categories, Names{"A"});
    EXPECT_TRUE(LoadConversions(dir_ / "more.cnv", t).complete());
    EXPECT_EQ(t.categories, (Names{"A", "B"}));
    EXPECT_EQ(t.entries.at(1).category, 1);
}

TEST_F(ConversionFiles, MissingAndUnreadableFiles) {
    ConversionTable t;
    t.categories = {"old"};
    ReadReport missingMain = LoadConversions("nomix.cnv", t);
    EXPECT_EQ(missingMain.state, ReadReport::State::Missing);
    EXPECT_EQ(missingMain.message, "NOMIX.CNV is missing");
    EXPECT_TRUE(t.categories.empty()) << "the converter stays usable with an empty table";

    t.categories = {"kept"};
    ReadReport missingOther = LoadConversions("other.cnv", t);
    EXPECT_EQ(missingOther.state, ReadReport::State::Missing);
    EXPECT_EQ(missingOther.message, "");
    EXPECT_EQ(t.categories, Names{"kept"});

    fs::create_directory("adir.cnv");
    ReadReport directory = LoadConversions("adir.cnv", t);
    EXPECT_EQ(directory.state, ReadReport::State::Unreadable);
    EXPECT_NE(directory.message, "");
    EXPECT_EQ(LoadConversions("/dev/zero", t).state, ReadReport::State::Unreadable) << "a device is no file";
}

TEST_F(ConversionFiles, EnormousFilesAreReadUpToTheLimit) {
    {
        std::ofstream out("big.cnv", std::ios::binary);
        out << "[T]\n";
        std::string block(1 << 20, 'z');
        for (size_t i = 0; i <= kMaxToolFileBytes >> 20; ++i) out << block;
    }
    ConversionTable t;
    ReadReport r = LoadConversions("big.cnv", t);
    EXPECT_EQ(r.state, ReadReport::State::Loaded);
    EXPECT_EQ(t.categories, Names{"T"});
    ASSERT_FALSE(r.problems.empty());
    EXPECT_EQ(r.problems.front().line, 0);
}

TEST_F(ConversionFiles, SaveWritesAtomicallyAndKeepsWhatItCouldNotRead) {
    ConversionTable t;
    t.categories = {"T"};
    t.entries = {{"a", "b", "x*2", "x/2", 0}};

    SaveOutcome fresh = SaveFile("nomix.cnv", t);
    EXPECT_TRUE(fresh.ok) << fresh.error;
    EXPECT_EQ(read("nomix.cnv"), "\r\n[T]\r\na: b: x*2: x/2\r\n");
    EXPECT_TRUE(fresh.backup.empty()) << "a file saving reproduces needs no backup";
    EXPECT_TRUE(SaveFile("nomix.cnv", t).backup.empty());

    const std::string damaged = "[T]\na:b:x*2:x/2\nthis line is not an entry\n";
    write("nomix.cnv", damaged);
    SaveOutcome over = SaveFile("nomix.cnv", t);
    EXPECT_TRUE(over.ok) << over.error;
    EXPECT_EQ(over.backup, fs::path("nomix.cnv.bak"));
    EXPECT_EQ(read("nomix.cnv.bak"), damaged);

    t.entries[0].unitA = "a:b";
    write("nomix.cnv", damaged);
    SaveOutcome refused = SaveFile("nomix.cnv", t);
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(read("nomix.cnv"), damaged) << "a refused table leaves the file alone";

    fs::create_directory("dir.cnv");
    t.entries[0].unitA = "a";
    EXPECT_FALSE(SaveFile("dir.cnv", t).ok) << "a directory is never replaced";
    EXPECT_TRUE(fs::is_directory("dir.cnv"));
}

// The walk with a tiny evaluator: formulas are "x*k", "x/k", "x+k", "x-k" or
// "fail"; every call is counted.
class ConversionWalk : public ::testing::Test {
protected:
    ConversionResult convert(const std::string &text, const std::string &from, const std::string &to,
                             double value = 1) {
        table_ = {};
        readConversions("[T]\n" + text, table_);
        calls_ = 0;
        return convertUnits(table_, 0, from, to, value, [this](const std::string &f, double x) {
            ++calls_;
            return evaluate(f, x);
        });
    }
    static std::optional<double> evaluate(const std::string &f, double x) {
        if (f.size() < 3 || f[0] != 'x') return std::nullopt;
        double k = std::stod(f.substr(2));
        switch (f[1]) {
        case '*': return x * k;
        case '/': return x / k;
        case '+': return x + k;
        case '-': return x - k;
        default: return std::nullopt;
        }
    }
    ConversionTable table_;
    int calls_ = 0;
};

using Status = ConversionResult::Status;

struct WalkCase {
    const char *what;
    std::string table, from, to;
    Status status;
    double value;
    std::vector<size_t> path;
};

TEST_F(ConversionWalk, PathsThroughThePairs) {
    const std::string lengths = "m:ft:x/0.3048:x*0.3048\nm:in:x/0.0254:x*0.0254\n";
    const std::vector<WalkCase> cases = {
        {"ft to in through m (B to A, then A to B)", lengths, "ft", "in", Status::Converted, 12, {0, 1}},
        {"one step", lengths, "m", "ft", Status::Converted, 1 / 0.3048, {0}},
        {"a unit that is only a unit B is reachable", lengths, "in", "ft", Status::Converted, 1 / 12.0, {1, 0}},
        {"the same unit gives the value back", lengths, "m", "m", Status::Converted, 1, {}},
        {"a dead end is set aside and the walk restarts",
         "a:dead:x*100:x/100\na:b:x*2:x/2\nb:c:x*3:x/3\n", "a", "c", Status::Converted, 6, {1, 2}},
        {"a circle is left and the walk restarts",
         "a:b:x*2:x/2\nb:c:x*3:x/3\nc:a:x*5:x/5\nc:d:x*7:x/7\n", "a", "d", Status::Converted, 42, {0, 1, 3}},
        {"two separate groups", "a:b:x*2:x/2\nc:d:x*3:x/3\n", "a", "d", Status::Unreachable, 1, {}},
        {"a unit outside the category", lengths, "m", "furlong", Status::UnknownUnit, 0, {}},
        {"an empty unit is no unit", lengths, "", "m", Status::UnknownUnit, 0, {}},
        {"a failing formula stops the walk", "a:b:fail:x*1\n", "a", "b", Status::FormulaFailed, 0, {}},
        {"names compare exactly", "m:ft:x*2:x/2\nM:in:x*3:x/3\n", "ft", "in", Status::Unreachable, 1, {}},
    };
    for (const WalkCase &c : cases) {
        ConversionResult r = convert(c.table, c.from, c.to);
        EXPECT_EQ(r.status, c.status) << c.what;
        if (c.status == Status::Converted || c.status == Status::Unreachable) {
            EXPECT_NEAR(r.value, c.value, 1e-9 * std::abs(c.value)) << c.what;
            EXPECT_EQ(r.path, c.path) << c.what;
        }
    }
}

TEST_F(ConversionWalk, UnreachableTargetsEndInBoundedWork) {
    // A dense web of units none of which leads to the target's group: the walk
    // must end, and without evaluating formulas without bound.
    std::string web;
    for (int i = 0; i < 30; ++i)
        for (int j = i + 1; j < 30; j += 7) web += "u" + std::to_string(i) + ":u" + std::to_string(j) + ":x*1:x*1\n";
    web += "far:away:x*1:x*1\n";
    ConversionResult r = convert(web, "u0", "away");
    EXPECT_EQ(r.status, Status::Unreachable);
    EXPECT_LT(calls_, 200000);
}

} // namespace
