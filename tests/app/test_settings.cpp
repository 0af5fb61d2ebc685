// The settings file "nomix.def": reading, the exact written form, round trips,
// and the safety of writing over a file.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

#include "shell/settings.h"

using namespace nomix;
namespace fs = std::filesystem;

namespace {

// A fresh directory per test, removed afterwards.
class SettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("nomix-settings-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        file_ = dir_ / "nomix.def";
    }
    void TearDown() override {
        ::chmod(file_.c_str(), 0644);
        fs::remove_all(dir_);
    }
    void write(const fs::path &path, const std::string &content) {
        std::ofstream(path, std::ios::binary) << content;
    }
    std::string read(const fs::path &path) {
        std::ifstream in(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    fs::path dir_, file_;
};

const char *const kDefaultFile =
    "[Graphing]\r\n"
    "Title=\r\n"
    "xLabel=\r\n"
    "yLabel=\r\n"
    "xMin=-10\r\n"
    "xMax=10\r\n"
    "yMin=-7.5\r\n"
    "yMax=7.5\r\n"
    "tMin=0\r\n"
    "tMax=2*pi\r\n"
    "Theta=t\r\n"
    "Grid=False\r\n"
    "Connect=True\r\n"
    "Axis Numbers=True\r\n"
    "Default Graph=Cartesian\r\n"
    "Graph Precision=10\r\n"
    "\r\n"
    "[Numeric Output]\r\n"
    "Bin=False\r\n"
    "Dec=True\r\n"
    "Hex=False\r\n"
    "Oct=False\r\n"
    "Numeric Format=\r\n"
    "Adder Format=Currency\r\n"
    "\r\n"
    "[Other]\r\n"
    "Input Recall=200\r\n"
    "Output Recall=200\r\n"
    "Show Toolbar=True\r\n"
    "Show Numeric Options=True\r\n"
    "Last Variable=last\r\n"
    "Independent Variable=x\r\n"
    "EqFrom=-100000000\r\n"
    "EqTo=100000000\r\n"
    "Unit Category=Length\r\n"
    "Angle=RAD\r\n"
    "\r\n"
    "SkipSplashScreen=False\r\n"
    "Session Recall=False\r\n";

TEST(SettingsText, DefaultsInTheirFixedOrder) { EXPECT_EQ(settingsText(Settings{}), kDefaultFile); }

TEST(SettingsText, ReadingIsForgiving) {
    struct Case {
        const char *text;
        std::function<bool(const Settings &)> holds;
        size_t problems;
    } cases[] = {
        {"  XMIN =  -5  \n", [](const Settings &s) { return s.xMin == "-5"; }, 0},
        {"Grid=yes\n", [](const Settings &s) { return !s.grid; }, 1},
        {"grid=tRuE\r\n", [](const Settings &s) { return s.grid; }, 0},
        {"Connect=false\n", [](const Settings &s) { return !s.connect; }, 0},
        {"Title=a=b\n", [](const Settings &s) { return s.title == "a=b"; }, 0},
        {"[Graphing]\n\n   \n[Other]\n", [](const Settings &s) { return s == Settings{}; }, 0},
        {"Numeric Format=\n", [](const Settings &s) { return s.numericFormat.empty(); }, 0},
        {"angle=deg\n", [](const Settings &s) { return s.angle == "DEG"; }, 0},
        {"angle=sideways\n", [](const Settings &s) { return s.angle == "RAD"; }, 1},
        {"Graph Precision=20\n", [](const Settings &s) { return s.graphStep == 0.05; }, 0},
        {"Graph Precision=0\n", [](const Settings &s) { return s.graphStep == 0.1; }, 1},
        {"Graph Precision=-4\n", [](const Settings &s) { return s.graphStep == 0.1; }, 1},
        {"Graph Precision=1e300\n", [](const Settings &s) { return s.graphStep == 0.1; }, 1},  // beyond single precision
        {"Graph Precision=666666666666666666666666666\n", [](const Settings &s) { return s.graphStep == 1 / double(6.66666666e26f); }, 0},
        {"Favourite Colour=blue\n", [](const Settings &s) { return s == Settings{}; }, 1},
        {"just some words\n", [](const Settings &s) { return s == Settings{}; }, 1},
        {"Session Recall=True", [](const Settings &s) { return s.sessionRecall; }, 0},
    };
    for (const Case &c : cases) {
        Settings s;
        SettingsLoad load = readSettings(c.text, s);
        EXPECT_TRUE(c.holds(s)) << c.text;
        EXPECT_EQ(load.problems.size(), c.problems) << c.text;
    }
    Settings s;
    EXPECT_TRUE(readSettings(std::string_view("Dec=True\0Hex=True\n", 18), s).malformed()) << "NUL bytes";
}

TEST(SettingsText, GraphPrecisionIsAnExpressionAndTheAngleIsApplied) {
    std::vector<int> angles;
    SettingsEngine engine{[](std::string_view text) { return text == "2*10" ? 20.0 : 0.0; },
                          [&](int unit) { angles.push_back(unit); }};
    Settings s;
    readSettings("Graph Precision=2*10\nAngle=GRA\nAngle=rad\nAngle=Deg\n", s, engine);
    EXPECT_DOUBLE_EQ(s.graphStep, 0.05);
    EXPECT_EQ(angles, (std::vector<int>{3, 2})) << "radians is the engine's start unit: nothing sent";
}

TEST(SettingsText, WritingAndReadingGivesTheSameSettings) {
    Settings s;
    s.title = "Sine, cosine = waves";
    s.xLabel = "t (s)";
    s.xMin = "-2*pi";
    s.grid = true;
    s.connect = false;
    s.graphStep = 1.0 / 3;
    s.hex = true;
    s.numericFormat = "#,##0.00";
    s.adderFormat = "Fixed";
    s.inputRecall = "2*100";
    s.lastVariable = "ans";
    s.angle = "GRA";
    s.skipSplashScreen = true;
    s.sessionRecall = true;
    Settings back;
    EXPECT_TRUE(readSettings(settingsText(s), back).problems.empty());
    EXPECT_NEAR(back.graphStep, s.graphStep, 1e-7) << "written as a single-precision number";
    back.graphStep = s.graphStep;
    EXPECT_EQ(back, s);
    EXPECT_NE(settingsText(s).find("Graph Precision=3\r\n"), std::string::npos);
}

TEST_F(SettingsFileTest, AMissingFileLeavesTheDefaults) {
    Settings s;
    s.grid = true;
    SettingsLoad load = loadSettings(file_, s);
    EXPECT_EQ(load.state, SettingsLoad::State::Missing);
    EXPECT_TRUE(s.grid);
}

TEST_F(SettingsFileTest, SaveLoadAndReset) {
    Settings s;
    s.eqFrom = "-5";
    s.oct = true;
    SaveOutcome saved = saveSettings(file_, s);
    ASSERT_TRUE(saved.ok) << saved.error;
    EXPECT_TRUE(saved.backup.empty());
    Settings back;
    EXPECT_EQ(loadSettings(file_, back).state, SettingsLoad::State::Loaded);
    EXPECT_EQ(back, s);

    ASSERT_TRUE(resetSettings(file_, back).ok);
    EXPECT_EQ(back, Settings{});
    EXPECT_EQ(read(file_), kDefaultFile);
    EXPECT_FALSE(fs::exists(dir_ / "nomix.def.bak")) << "a file we wrote ourselves needs no backup";
}

TEST_F(SettingsFileTest, AFileItCannotReproduceIsKeptAsBak) {
    const std::string original = "[Graphing]\nxMin=-3\nPlot Colour=red\n";
    write(file_, original);
    Settings s;
    SettingsLoad load = loadSettings(file_, s);
    EXPECT_TRUE(load.malformed());
    EXPECT_EQ(s.xMin, "-3");
    SaveOutcome saved = saveSettings(file_, s);
    ASSERT_TRUE(saved.ok) << saved.error;
    EXPECT_EQ(saved.backup, dir_ / "nomix.def.bak");
    EXPECT_EQ(read(dir_ / "nomix.def.bak"), original);
    EXPECT_EQ(read(file_), settingsText(s));
}

TEST_F(SettingsFileTest, AnUnreadableFileIsMovedAsideNotLost) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
    write(file_, "Grid=True\r\n");
    ::chmod(file_.c_str(), 0);
    Settings s;
    EXPECT_EQ(loadSettings(file_, s).state, SettingsLoad::State::Unreadable);
    EXPECT_FALSE(s.grid);
    SaveOutcome saved = saveSettings(file_, s);
    ASSERT_TRUE(saved.ok) << saved.error;
    ::chmod((dir_ / "nomix.def.bak").c_str(), 0644);
    EXPECT_EQ(read(dir_ / "nomix.def.bak"), "Grid=True\r\n");
    EXPECT_EQ(read(file_), settingsText(s));
}

// A file far larger than any settings file is not read into memory; saving
// keeps it whole.
TEST_F(SettingsFileTest, AnEnormousFileIsNotReadButKept) {
    const std::string original = "Grid=True\r\n" + std::string(3u << 20, 'x');
    write(file_, original);
    Settings s;
    EXPECT_EQ(loadSettings(file_, s).state, SettingsLoad::State::Unreadable);
    EXPECT_FALSE(s.grid);
    SaveOutcome saved = saveSettings(file_, s);
    ASSERT_TRUE(saved.ok) << saved.error;
    EXPECT_EQ(read(dir_ / "nomix.def.bak"), original);
}

TEST_F(SettingsFileTest, NothingIsReplacedWhenTheDirectoryIsReadOnly) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes everywhere";
    ASSERT_TRUE(saveSettings(file_, Settings{}).ok);
    Settings changed;
    changed.grid = true;
    ::chmod(dir_.c_str(), 0555);
    SaveOutcome saved = saveSettings(file_, changed);
    ::chmod(dir_.c_str(), 0755);
    EXPECT_FALSE(saved.ok);
    EXPECT_FALSE(saved.error.empty());
    EXPECT_EQ(read(file_), kDefaultFile);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1) << "no temporary file left";
}

TEST_F(SettingsFileTest, AMissingDirectoryFailsCleanly) {
    SaveOutcome saved = saveSettings(dir_ / "gone" / "nomix.def", Settings{});
    EXPECT_FALSE(saved.ok);
    EXPECT_NE(saved.error.find("temporary"), std::string::npos) << saved.error;
}

TEST_F(SettingsFileTest, ADirectoryInTheWayIsNotTouched) {
    fs::create_directory(file_);
    SaveOutcome saved = saveSettings(file_, Settings{});
    EXPECT_FALSE(saved.ok);
    EXPECT_TRUE(fs::is_directory(file_));
    EXPECT_FALSE(fs::exists(dir_ / "nomix.def.bak"));
}

TEST_F(SettingsFileTest, AtomicWritesKeepThePermissions) {
    write(file_, "old");
    ::chmod(file_.c_str(), 0600);
    std::string error;
    ASSERT_TRUE(writeFileAtomically(file_, "new", &error)) << error;
    EXPECT_EQ(read(file_), "new");
    struct stat st{};
    ::stat(file_.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

} // namespace
