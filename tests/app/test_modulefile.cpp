// The module file "nomix.usm": file text to modules, what the reader reports
// and skips, the exact written form, round trips and saving over a file.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <unistd.h>

#include "shell/bootscript.h"
#include "tools/modulefile.h"

using namespace nomix;
namespace fs = std::filesystem;

namespace {

using namespace std::string_literals;
using Modules = std::vector<Module>;

const char *const kOhm =
    "Begin Module\r\n"
    "   Name         =  Ohm's Law\r\n"
    "   Formula      =  V = I*R\r\n"
    "   Description  =  Voltage across a resistor\r\n"
    "   Begin Parameter(I)\r\n"
    "      Caption       =  Current (A)\r\n"
    "      Format        =  General Number\r\n"
    "      Constraints   =  \r\n"
    "      Details       =  In amperes.\r\n"
    "   End\r\n"
    "   Begin Parameter(R)\r\n"
    "      Caption       =  Resistance\r\n"
    "      Format        =  Fixed\r\n"
    "      Constraints   =  0..100, x <> 50\r\n"
    "      Details       =  \r\n"
    "   End\r\n"
    "End Module\r\n";

const Module kOhmModule = {"Ohm's Law", "V = I*R", "Voltage across a resistor",
                           {{"I", "Current (A)", "General Number", "", "In amperes."},
                            {"R", "Resistance", "Fixed", "0..100, x <> 50", ""}}};

std::vector<int> linesOf(const ReadReport &r) {
    std::vector<int> lines;
    for (const ReadProblem &p : r.problems) lines.push_back(p.line);
    return lines;
}

struct ReadCase {
    const char *what;
    std::string text;
    Modules modules;
    std::vector<int> problemLines;
};

TEST(ModuleRead, FileTextToModules) {
    const Module bare = {"n", "", "", {}};
    const std::vector<ReadCase> cases = {
        {"the written form", kOhm, {kOhmModule}, {}},
        {"keywords in any case, LF, no indentation",
         "begin module\nNAME=n\nformula= a = b\nbegin parameter( b )\ncaption=c\nEND\nend module\n",
         {{"n", "a = b", "", {{"b", "c", "", "", ""}}}}, {}},
        {"blanks inside the block words", "Begin   Module\nName = n\nEnd\tModule", {bare}, {}},
        {"blank lines anywhere", "\n\nBegin Module\n\nName = n\n\nEnd Module\n\n", {bare}, {}},
        {"an unknown keyword is skipped and reading goes on",
         "Begin Module\nName = n\nColour = red\nEnd Module", {bare}, {3}},
        {"a parameter keyword outside a parameter",
         "Begin Module\nCaption = c\nName = n\nEnd Module", {bare}, {2}},
        {"lines outside a module", "junk\nName = n\nEnd\nBegin Module\nName = n\nEnd Module\nEnd Module",
         {bare}, {1, 2, 3, 7}},
        {"a line that is no keyword line", "Begin Module\nName = n\njust words\nEnd Module", {bare}, {3}},
        {"a repeated keyword keeps its last value", "Begin Module\nName = a\nName = n\nEnd Module", {bare}, {3}},
        {"a module cut off keeps what it had", "Begin Module\nName = n\nBegin Parameter(a)\nCaption = c",
         {{"n", "", "", {{"a", "c", "", "", ""}}}}, {4, 4}},
        {"a module without End Module before the next",
         "Begin Module\nName = a\nBegin Module\nName = n\nEnd Module",
         {{"a", "", "", {}}, bare}, {3}},
        {"a parameter without End before the next",
         "Begin Module\nName = n\nBegin Parameter(a)\nBegin Parameter(b)\nEnd\nEnd Module",
         {{"n", "", "", {{"a", "", "", "", ""}, {"b", "", "", "", ""}}}}, {4}},
        {"a parameter without a variable or its closing bracket",
         "Begin Module\nName = n\nBegin Parameter\nEnd\nBegin Parameter(f(x\nEnd\nEnd Module",
         {{"n", "", "", {{"", "", "", "", ""}, {"f(x", "", "", "", ""}}}}, {3, 5}},
        {"the variable lies between the first ( and the last )",
         "Begin Module\nName = n\nBegin Parameter ( f(x) )\nEnd\nEnd Module",
         {{"n", "", "", {{"f(x)", "", "", "", ""}}}}, {}},
        {"a value keeps its = signs", "Begin Module\nName = a=b\nEnd Module", {{"a=b", "", "", {}}}, {}},
        {"a line with NUL bytes is skipped", "Begin Module\nName = x\0y\nEnd Module"s,
         {{"", "", "", {}}}, {2}},
        {"CR-only line ends", "Begin Module\rName = n\rEnd Module\r", {bare}, {}},
        {"Latin-1 text becomes UTF-8", "Begin Module\nName = R\xe9sistance \xb5\nEnd Module\n",
         {{"R\xc3\xa9sistance \xc2\xb5", "", "", {}}}, {}},
        {"an empty file", "", {}, {}},
    };
    for (const ReadCase &c : cases) {
        Modules modules;
        ReadReport r = readModules(c.text, modules);
        EXPECT_EQ(modules, c.modules) << c.what;
        EXPECT_EQ(linesOf(r), c.problemLines) << c.what << "\n" << r.problemText();
    }
}

TEST(ModuleRead, AtMostSeventeenFieldsTheRestSkippedToTheirEnd) {
    std::string text = "Begin Module\nName = n\n";
    for (int i = 0; i < 20; ++i)
        text += "Begin Parameter(v" + std::to_string(i) + ")\nCaption = c" + std::to_string(i) + "\nEnd\n";
    text += "Description = d\nEnd Module\n";
    Modules modules;
    ReadReport r = readModules(text, modules);
    ASSERT_EQ(modules.size(), 1u);
    EXPECT_EQ(modules[0].fields.size(), kMaxModuleFields);
    EXPECT_EQ(modules[0].fields.back().caption, "c16");
    EXPECT_EQ(modules[0].description, "d") << "reading goes on after the skipped blocks";
    EXPECT_EQ(r.problems.size(), 3u);
}

TEST(ModuleRead, ReadingAppendsAndCountsForTheImportMessage) {
    Modules modules;
    readModules(kOhm, modules);
    size_t before = modules.size();
    readModules(std::string(kOhm) + "\r\n" + kOhm, modules);
    EXPECT_EQ(modules.size(), 3u);
    EXPECT_EQ(importedMessage(modules.size() - before), "2 module(s) imported");
}

TEST(ModuleRead, BinaryAndHostileTextNeverBreaksTheReader) {
    std::string binary;
    for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 7919 + 13) & 0xff);
    std::string manyBegins;
    for (int i = 0; i < 20000; ++i) manyBegins += "Begin Module\n";
    const std::string inputs[] = {binary, manyBegins, std::string(1 << 20, '='), std::string(100000, '\r'),
                                  "Begin Module\n" + std::string(1 << 20, 'x'), "End\nEnd Module\nEnd\n"};
    for (const std::string &text : inputs) {
        Modules modules;
        ReadReport r = readModules(text, modules);
        EXPECT_EQ(r.state, ReadReport::State::Loaded);
        EXPECT_LE(modules.size(), kMaxModules);
        EXPECT_EQ(moduleWriteProblems(modules), std::vector<std::string>{});
    }
}

TEST(ModuleWrite, ExactFormWithOneEmptyLineBetweenBlocks) {
    Module empty = {"Empty", "", "", {}};
    EXPECT_EQ(modulesText({kOhmModule}), kOhm);
    EXPECT_EQ(modulesText({kOhmModule, empty}), std::string(kOhm) +
                                                    "\r\n"
                                                    "Begin Module\r\n"
                                                    "   Name         =  Empty\r\n"
                                                    "   Formula      =  \r\n"
                                                    "   Description  =  \r\n"
                                                    "End Module\r\n");
    EXPECT_EQ(modulesText({}), "");
}

TEST(ModuleWrite, ReadWriteReadGivesTheSameModules) {
    const std::string texts[] = {
        kOhm,
        "Begin Module\nName = a=b\nBegin Parameter( f(x) )\nFormat = Yes/No\nEnd\nColour = red\n",
        "junk\nBegin Module\rName = R\xe9sistance\rBegin Parameter(x\rEnd\rEnd Module",
    };
    for (const std::string &text : texts) {
        Modules first, second;
        readModules(text, first);
        ReadReport again = readModules(modulesText(first), second);
        EXPECT_EQ(second, first) << text;
        EXPECT_TRUE(again.problems.empty()) << again.problemText();
    }
    if (auto shipped = findDataFile("nomix.usm")) {
        std::ifstream in(*shipped, std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        Modules first;
        EXPECT_TRUE(readModules(text, first).complete());
        EXPECT_FALSE(first.empty());
        EXPECT_EQ(modulesText(first), text) << "the shipped modules are in the written form";
    }
}

TEST(ModuleWrite, ModulesThatWouldNotReadBackAreRefused) {
    Module broken = kOhmModule;
    broken.formula = "a = b\r\nEnd Module";
    EXPECT_EQ(moduleWriteProblems({broken}), std::vector<std::string>{"module 1, FORMULA: it holds a line break"});
    Module tooMany = kOhmModule;
    tooMany.fields.resize(kMaxModuleFields + 1);
    EXPECT_EQ(moduleWriteProblems({tooMany}), std::vector<std::string>{"module 1: more than 17 parameters"});
    Module badVariable = kOhmModule;
    badVariable.fields[1].variable = "R\0"s;
    EXPECT_EQ(moduleWriteProblems({kOhmModule, badVariable}),
              std::vector<std::string>{"module 2, variable: it holds a NUL byte"});
}

class ModuleFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("nomix-usm-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    static void write(const fs::path &p, const std::string &content) { std::ofstream(p, std::ios::binary) << content; }
    static std::string read(const fs::path &p) {
        std::ifstream in(p, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    fs::path dir_;
};

TEST_F(ModuleFiles, LoadMissingUnreadableAndPresent) {
    Modules modules;
    EXPECT_EQ(loadModules(dir_ / "nomix.usm", modules).state, ReadReport::State::Missing);
    ReadReport directory = loadModules(dir_, modules);
    EXPECT_EQ(directory.state, ReadReport::State::Unreadable);
    EXPECT_NE(directory.message, "");
    write(dir_ / "nomix.usm", kOhm);
    EXPECT_TRUE(loadModules(dir_ / "nomix.usm", modules).complete());
    EXPECT_EQ(modules, Modules{kOhmModule});
}

TEST_F(ModuleFiles, SaveKeepsAFileItCouldNotFullyRead) {
    fs::path file = dir_ / "nomix.usm";
    SaveOutcome fresh = saveModules(file, {kOhmModule});
    EXPECT_TRUE(fresh.ok) << fresh.error;
    EXPECT_EQ(read(file), kOhm);
    EXPECT_TRUE(fresh.backup.empty());
    EXPECT_TRUE(saveModules(file, {kOhmModule}).backup.empty());

    const std::string truncated = std::string(kOhm).substr(0, 200);
    write(file, truncated);
    SaveOutcome over = saveModules(file, {kOhmModule});
    EXPECT_TRUE(over.ok) << over.error;
    EXPECT_EQ(read(over.backup), truncated);
    EXPECT_EQ(read(file), kOhm);

    Module broken = kOhmModule;
    broken.name = "two\nlines";
    EXPECT_FALSE(saveModules(file, {broken}).ok);
    EXPECT_EQ(read(file), kOhm) << "a refused list leaves the file alone";
}

} // namespace
