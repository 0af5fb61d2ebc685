// The numeric, date, text and dialog natives: the searches and the calendar
// as plain functions, then the natives as the calculator language calls them.
#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <string>
#include <vector>

#include "shell/binding.h"
#include "shell/bootstrap.h"
#include "shell/natives.h"
#include "shell/script.h"

using namespace nomix;

namespace {

// A plain function that counts its evaluations.
struct Counted {
    std::function<std::optional<double>(double)> f;
    int calls = 0;
    RealFunction fn() {
        return [this](double x) {
            ++calls;
            return f(x);
        };
    }
};

RealFunction plain(double (*f)(double)) {
    return [f](double x) { return std::optional<double>(f(x)); };
}

std::vector<double> roots(const SolveSolutions &s) {
    return std::vector<double>(s.values.begin() + 1, s.values.begin() + 1 + s.found());
}

// ---------------------------------------------------------------------------
// Solve_'s search.

struct RootCase {
    const char *name;
    double (*f)(double);
    double a, b;
    std::vector<double> expected;  // in the order found
};

TEST(ScanRoots, FindsTheRootsOfTheInterval) {
    const RootCase cases[] = {
        {"x^2-4 over the default bounds", [](double x) { return x * x - 4; }, -1e8, 1e8, {-2, 2}},
        {"x^3-x", [](double x) { return x * x * x - x; }, -10, 10, {-1, 0, 1}},
        {"(x-2)(x+50000)", [](double x) { return (x - 2) * (x + 50000); }, -1e8, 1e8, {-50000, 2}},
        // Double roots never change sign: the zoom finds each one, and the
        // search beside a root covers the rest of the interval asked for.
        {"sin(x)^2", [](double x) { return std::sin(x) * std::sin(x); }, -4, 4, {-M_PI, 0, M_PI}},
        {"x^2+1 has none", [](double x) { return x * x + 1; }, -10, 10, {}},
        {"1/x: a pole is no root", [](double x) { return 1 / x; }, -1, 1, {}},
        {"bounds reversed", [](double x) { return x; }, 5, -5, {}},
        {"NaN bound", [](double x) { return x; }, std::nan(""), 1, {}},
    };
    for (const RootCase &c : cases) {
        SolveSolutions s;
        scanRoots(plain(c.f), c.a, c.b, s);
        std::vector<double> found = roots(s);
        ASSERT_EQ(found.size(), c.expected.size()) << c.name;
        // A double root is only as close as |f| < 1e-13 allows: about 3e-7.
        for (size_t i = 0; i < found.size(); ++i) EXPECT_NEAR(found[i], c.expected[i], 1e-6) << c.name;
    }
}

TEST(ScanRoots, ARootOnASweepPointNeedsNoBisection) {
    // Off the sweep points (every 2 from -1000) the function fails, so only
    // the sweep itself can find the root, and it finds it exactly.
    RealFunction onGrid = [](double x) -> std::optional<double> {
        if (std::fmod(x, 2) != 0) return std::nullopt;
        return x;
    };
    SolveSolutions s;
    scanRoots(onGrid, -1000, 1002, s);
    ASSERT_GE(s.found(), 1);
    EXPECT_EQ(s.values[1], 0.0);
}

TEST(ScanRoots, ARootCloseToFourDecimalsSnapsWhenExact) {
    // |f| is tiny near 1.99999999997 and exactly 0 only at 2: the 4-decimal
    // snap turns the best point into 2.
    RealFunction f = [](double x) -> std::optional<double> {
        return x == 2 ? 0 : std::fabs(x - 1.99999999997) + 1e-12;
    };
    SolveSolutions s;
    scanRoots(f, 0, 10, s);
    ASSERT_EQ(s.found(), 1);
    EXPECT_EQ(s.values[1], 2.0);
}

TEST(ScanRoots, KeepsAtMostTwentyRootsAndStartsFromZero) {
    SolveSolutions s;
    s.count = 7;
    scanRoots([](double) { return std::optional<double>(0.0); }, 0, 1, s);
    EXPECT_EQ(s.found(), 20);
    EXPECT_EQ(s.count, 20);
    EXPECT_DOUBLE_EQ(s.values[20], 0.19);
    s.restart();
    EXPECT_EQ(s.found(), 0);
    EXPECT_EQ(s.count, 20) << "the window's copy stays until it lists the roots";
}

TEST(ScanRoots, PointsThatFailArePassedOver) {
    // Undefined below 1 (as Sqr of a negative in trap mode): no root at a.
    RealFunction f = [](double x) -> std::optional<double> {
        if (x < 1) return std::nullopt;
        return x - 2;
    };
    SolveSolutions s;
    scanRoots(f, -100, 100, s);
    EXPECT_EQ(roots(s), std::vector<double>{2});
}

TEST(ScanRoots, EachScanStopsAfterItsBudget) {
    Counted c{[](double x) { return std::optional<double>(x * x + 1); }};
    SolveSolutions s;
    scanRoots(c.fn(), -10, 10, s);
    EXPECT_EQ(s.found(), 0);
    EXPECT_LE(c.calls, 10002);
}

TEST(BisectRoot, ConvergesOnRootsAndRefusesJumps) {
    struct Case {
        const char *name;
        double (*f)(double);
        double lo, hi;
        std::optional<double> root;
    } cases[] = {
        {"rising", [](double x) { return x - 0.3; }, 0, 1, 0.3},
        {"falling", [](double x) { return 0.3 - x; }, 0, 1, 0.3},
        {"pole", [](double x) { return 1 / x; }, -1, 1, std::nullopt},
        {"jump", [](double x) { return x < 0.5 ? -1.0 : 1.0; }, 0, 1, std::nullopt},
    };
    for (const Case &c : cases) {
        auto r = bisectRoot(plain(c.f), c.lo, c.hi);
        ASSERT_EQ(r.has_value(), c.root.has_value()) << c.name;
        if (r) {
            EXPECT_NEAR(*r, *c.root, 1e-12) << c.name;
        }
    }
}

// ---------------------------------------------------------------------------
// Integ_ and Sum_.

TEST(Simpson, IntervalCounts) {
    const std::pair<double, std::optional<int64_t>> cases[] = {
        {0, 100}, {3, 4}, {4, 4}, {1, 2}, {2.5, 2}, {3.5, 4}, {100, 100},
        {-2, std::nullopt}, {std::nan(""), std::nullopt}, {1e300, std::nullopt},
    };
    for (auto [precision, expected] : cases) EXPECT_EQ(simpsonIntervals(precision), expected) << precision;
}

TEST(Simpson, IntegratesWithTheCountAsked) {
    struct Case {
        double (*f)(double);
        double a, b, precision;
        double expected;
        int calls;
    } cases[] = {
        {[](double x) { return x * x; }, 0, 3, 0, 9, 101},
        {[](double x) { return x * x * x; }, 0, 2, 3, 4, 5},  // Simpson is exact for cubics
        {[](double x) { return std::sin(x); }, 0, M_PI, 0, 2, 101},
        {[](double x) { return x; }, 3, 0, 0, -4.5, 101},
    };
    for (const Case &c : cases) {
        Counted counted{plain(c.f)};
        NumericOutcome r = simpsonIntegral(counted.fn(), c.a, c.b, c.precision);
        ASSERT_TRUE(r.value) << r.error;
        EXPECT_NEAR(*r.value, c.expected, 1e-7);
        EXPECT_EQ(counted.calls, c.calls);
    }
}

TEST(Simpson, StopsAtTheFirstFailureAndRefusesBadCounts) {
    Counted failing{[](double x) -> std::optional<double> {
        if (x > 1) return std::nullopt;
        return x;
    }};
    NumericOutcome r = simpsonIntegral(failing.fn(), 0, 3, 0);
    EXPECT_FALSE(r.value);
    EXPECT_TRUE(r.error.empty()) << "the engine has reported the failure already";
    EXPECT_LT(failing.calls, 10);
    EXPECT_FALSE(simpsonIntegral(plain([](double x) { return x; }), 0, 1, -4).error.empty());
}

TEST(SumRange, AddsOverWholeSteps) {
    struct Case {
        double start, finish, step;
        std::optional<double> sum;
    } cases[] = {
        {1, 10, 1, 55}, {10, 1, -1, 55}, {10, 1, 1, 0}, {1, 10, 2, 25},
        {1.5, 3.5, 1, 2 + 3 + 4},  // bounds round half to even: 2 .. 4
        {1, 1, 1, 1}, {1, 1, -1, 1},
        {1, 10, 0.4, std::nullopt},   // the step rounds to 0: an error, no hang
        {1, 10, std::nan(""), std::nullopt},
        {0, 1e300, 1, std::nullopt},  // far too many terms
    };
    for (const Case &c : cases) {
        NumericOutcome r = sumRange(plain([](double x) { return x; }), c.start, c.finish, c.step);
        EXPECT_EQ(r.value, c.sum) << c.start << ".." << c.finish << " step " << c.step;
        EXPECT_EQ(r.error.empty(), c.sum.has_value());
    }
}

// ---------------------------------------------------------------------------
// The calendar.

TEST(Dates, SerialNumbers) {
    const std::pair<DateTime, double> cases[] = {
        {dateFromCivil(1899, 12, 30), 0},       {dateFromCivil(1899, 12, 31), 1},
        {dateFromCivil(1900, 1, 1), 2},         {dateFromCivil(2023, 3, 15), 45000},
        {dateFromCivil(1899, 12, 29), -1},      {dateFromCivil(2000, 1, 1, 18), 36526.75},
    };
    for (auto [date, serial] : cases) {
        EXPECT_DOUBLE_EQ(dateSerial(date), serial);
        EXPECT_EQ(dateFromSerial(serial), date) << serial;
    }
    EXPECT_EQ(dateFromSerial(-0.25), (DateTime{-1, 64800})) << "the fraction is the time of day";
    EXPECT_EQ(dateFromSerial(0.9999999999), (DateTime{1, 0})) << "rounding to the second may end the day";
}

TEST(Dates, ReadingDateText) {
    const std::pair<const char *, std::optional<DateTime>> cases[] = {
        {"12/31/2024", dateFromCivil(2024, 12, 31)},
        {"1/2/2024", dateFromCivil(2024, 1, 2)},
        {"12/31/24", dateFromCivil(2024, 12, 31)},
        {"1/1/30", dateFromCivil(1930, 1, 1)},
        {"2024-12-31", dateFromCivil(2024, 12, 31)},
        {"12-31-2024", dateFromCivil(2024, 12, 31)},
        {"December 31, 2024", dateFromCivil(2024, 12, 31)},
        {"dec 31 2024", dateFromCivil(2024, 12, 31)},
        {"31 Dec 2024", dateFromCivil(2024, 12, 31)},
        {"31-Dec-24", dateFromCivil(2024, 12, 31)},
        {"Tuesday, December 31, 2024", dateFromCivil(2024, 12, 31)},
        {"12/31/2024 13:05:09", dateFromCivil(2024, 12, 31, 13, 5, 9)},
        {"12/31/2024 1:05 PM", dateFromCivil(2024, 12, 31, 13, 5)},
        {"12/31/2024 12:00 am", dateFromCivil(2024, 12, 31)},
        {"13:05", DateTime{0, 13 * 3600 + 5 * 60}},
        {" 2/29/2024 ", dateFromCivil(2024, 2, 29)},
        {"2/29/2023", std::nullopt},
        {"13/01/2024", std::nullopt},
        {"12/31/99999", std::nullopt},
        {"12/31/0099", std::nullopt},
        {"24:00", std::nullopt},
        {"1:00 PM 12/31/2024", std::nullopt},
        {"12/31/2024 garbage", std::nullopt},
        {"13:00 PM", std::nullopt},
        {"", std::nullopt},
        {"45000", std::nullopt},
        {"12/31", std::nullopt},
    };
    for (auto [text, expected] : cases) EXPECT_EQ(parseDateTime(text), expected) << text;
}

TEST(Dates, GeneralDateText) {
    EXPECT_EQ(dateTimeText(dateFromCivil(2024, 1, 2)), "01/02/2024");
    EXPECT_EQ(dateTimeText(dateFromCivil(2024, 1, 2, 3, 4, 5)), "01/02/2024 03:04:05");
    EXPECT_EQ(dateTimeText(DateTime{0, 3600}), "01:00:00");
    EXPECT_EQ(dateTimeText(dateFromCivil(987, 6, 5)), "06/05/0987");
}

TEST(Dates, DateAddByInterval) {
    const DateTime jan31 = dateFromCivil(2024, 1, 31, 12);
    struct Case {
        const char *interval;
        int64_t n;
        std::optional<DateTime> expected;
    } cases[] = {
        {"yyyy", 1, dateFromCivil(2025, 1, 31, 12)},  {"q", 1, dateFromCivil(2024, 4, 30, 12)},
        {"m", 1, dateFromCivil(2024, 2, 29, 12)},     {"M", -2, dateFromCivil(2023, 11, 30, 12)},
        {"m", 13, dateFromCivil(2025, 2, 28, 12)},    {"y", 1, dateFromCivil(2024, 2, 1, 12)},
        {"d", -31, dateFromCivil(2023, 12, 31, 12)},  {"w", 2, dateFromCivil(2024, 2, 2, 12)},
        {"ww", 1, dateFromCivil(2024, 2, 7, 12)},     {"h", 12, dateFromCivil(2024, 2, 1)},
        {"n", -721, dateFromCivil(2024, 1, 30, 23, 59)}, {"s", 86399, dateFromCivil(2024, 2, 1, 11, 59, 59)},
        {"x", 1, std::nullopt},                       {"", 1, std::nullopt},
        {"yyyy", 8000, std::nullopt},                 {"d", int64_t{1} << 50, std::nullopt},
    };
    for (const Case &c : cases) EXPECT_EQ(dateAdd(c.interval, c.n, jan31), c.expected) << c.interval << c.n;
    EXPECT_EQ(dateAdd("yyyy", 1, dateFromCivil(2024, 2, 29)), dateFromCivil(2025, 2, 28));
}

TEST(Dates, DateDiffCountsBoundaries) {
    const DateTime a = dateFromCivil(2024, 12, 31, 23, 59, 59), b = dateFromCivil(2025, 1, 1, 0, 0, 1);
    struct Case {
        const char *interval;
        DateTime from, to;
        int firstDay;
        std::optional<int64_t> expected;
    } cases[] = {
        {"yyyy", a, b, 1, 1}, {"q", a, b, 1, 1}, {"m", a, b, 1, 1}, {"d", a, b, 1, 1},
        {"h", a, b, 1, 1},    {"n", a, b, 1, 1}, {"s", a, b, 1, 2}, {"d", b, a, 1, -1},
        {"w", dateFromCivil(2024, 1, 1), dateFromCivil(2024, 1, 14), 1, 1},
        {"w", dateFromCivil(2024, 1, 14), dateFromCivil(2024, 1, 1), 1, -1},
        // Sundays after 1/1/2024 (a Monday) up to and including 1/14: 7 and 14.
        {"ww", dateFromCivil(2024, 1, 1), dateFromCivil(2024, 1, 14), 1, 2},
        // Mondays after 1/1 up to 1/14: only 1/8.
        {"ww", dateFromCivil(2024, 1, 1), dateFromCivil(2024, 1, 14), 2, 1},
        {"y", dateFromCivil(2024, 1, 1), dateFromCivil(2024, 12, 31), 1, 365},
        {"zz", a, b, 1, std::nullopt}, {"d", a, b, 8, std::nullopt},
    };
    for (const Case &c : cases)
        EXPECT_EQ(dateDiff(c.interval, c.from, c.to, c.firstDay), c.expected) << c.interval;
}

TEST(Dates, FormatsByNameAndCharacter) {
    const DateTime t = dateFromCivil(2024, 12, 31, 13, 5, 9);  // a Tuesday, day 366
    const std::pair<const char *, const char *> cases[] = {
        {"General Date", "12/31/2024 13:05:09"}, {"", "12/31/2024 13:05:09"},
        {"Long Date", "Tuesday, December 31, 2024"}, {"medium date", "31-Dec-24"},
        {"Short Date", "12/31/2024"}, {"Long Time", "13:05:09"}, {"Medium Time", "01:05 PM"},
        {"Short Time", "13:05"}, {"yyyy-mm-dd", "2024-12-31"}, {"d/m/yy", "31/12/24"},
        {"ddd dddd", "Tue Tuesday"}, {"mmm mmmm", "Dec December"}, {"h:m:s", "13:5:9"},
        {"hh:mm:ss", "13:05:09"}, {"hh:nn AMPM", "01:05 PM"}, {"h a/p", "1 p"}, {"h am/pm", "1 pm"},
        {"q", "4"}, {"y", "366"}, {"w", "3"}, {"ww", "53"}, {"ww", "53"}, {"c", "12/31/2024 13:05:09"},
        {"ddddd", "12/31/2024"}, {"dddddd", "Tuesday, December 31, 2024"}, {"ttttt", "13:05:09"},
        {"\"Day\" d \\o\\f mmmm", "Day 31 of December"}, {"yyyy/mm", "2024/12"},
    };
    for (auto [format, expected] : cases) EXPECT_EQ(formatDate(t, format), expected) << format;
}

TEST(Dates, WeekOfYearRules) {
    // 12/31/2024 is a Tuesday; Monday-first weeks with four days make it week 1
    // of 2025, as ISO 8601 does; 1/1/2021 (a Friday) is week 53 of 2020 then.
    EXPECT_EQ(formatDate(dateFromCivil(2024, 12, 31), "ww", 2, 2), "1");
    EXPECT_EQ(formatDate(dateFromCivil(2021, 1, 1), "ww", 2, 2), "53");
    EXPECT_EQ(formatDate(dateFromCivil(2021, 1, 4), "ww", 2, 2), "1");
    // First full week: 1/1/2021 belongs to the last week of 2020; 1/3 (a Sunday) starts week 1.
    EXPECT_EQ(formatDate(dateFromCivil(2021, 1, 3), "ww", 1, 3), "1");
    EXPECT_EQ(formatDate(dateFromCivil(2021, 1, 2), "ww", 1, 3), "52");
    EXPECT_EQ(formatDate(dateFromCivil(2021, 1, 2), "ww", 1, 1), "1");
    // Weekday numbers count from the first day of the week.
    EXPECT_EQ(formatDate(dateFromCivil(2024, 12, 31), "w", 3), "1");
}

TEST(Dates, DateFormatsAreToldFromNumberFormats) {
    const std::pair<const char *, bool> cases[] = {
        {"Long Date", true}, {"short time", true}, {"yyyy-mm-dd", true}, {"hh:nn", true}, {"c", true},
        {"General Number", false}, {"Currency", false}, {"Yes/No", false}, {"", false}, {"#,##0.00", false},
        {"0.00E+00", false}, {"\"d\"#", false}, {"\\d0", false}, {"%", false}, {"---", false},
    };
    for (auto [format, isDate] : cases) EXPECT_EQ(isDateFormat(format), isDate) << format;
}

// ---------------------------------------------------------------------------
// The natives through the engine, with the application's language and error
// handler, and a host that records its boxes.

class RecordingHost : public Host {
public:
    struct Box {
        std::string prompt, title;
        int buttons;
    };
    std::vector<Box> boxes;
    int answer = 1;
    std::string input;
    std::vector<std::string> inputPrompts;

    int messageBox(const std::string &prompt, int buttons, const std::string &title) override {
        boxes.push_back({prompt, title, buttons});
        return answer;
    }
    std::string inputBox(const std::string &prompt, const std::string &title, const std::string &d) override {
        inputPrompts.push_back(prompt + "|" + title + "|" + d);
        return input;
    }
    void doEvents() override {}
    void sleepMs(int) override {}
    bool closing() const override { return false; }
};

RecordingHost &recorder() {
    static RecordingHost host;
    return host;
}

Binding &calculator() {
    static Application app(recorder());
    static bool ready = [] {
        DefineApplicationLanguage(binding());
        return runScriptFile(binding(), NOMIX_SOURCE_DIR "/data/Nomix.nx");
    }();
    EXPECT_TRUE(ready);
    return binding();
}

class NativesTest : public ::testing::Test {
protected:
    void SetUp() override {
        calculator();
        recorder().boxes.clear();
    }
    std::string text(const std::string &expr) { return calculator().EvalStr(expr); }
    double number(const std::string &expr) { return calculator().EvalDbl(expr); }
    int error() { return calculator().ErrorCode(); }
    std::string lastBox() { return recorder().boxes.empty() ? "" : recorder().boxes.back().prompt; }
};

TEST_F(NativesTest, SolveRecordsTheRootsInTheOrderFound) {
    solveSolutions().clear();
    EXPECT_EQ(text("Solve x^2 - 4,-100000000,100000000,x"), "-2");
    EXPECT_EQ(error(), 0);
    EXPECT_EQ(roots(solveSolutions()), (std::vector<double>{-2, 2}));
    EXPECT_EQ(solveSolutions().count, 2);
    EXPECT_TRUE(recorder().boxes.empty());
}

TEST_F(NativesTest, SolveWithoutARootRaisesItsError) {
    text("Solve(x^2 + 1, -10, 10, x)");
    EXPECT_EQ(error(), 1);
    EXPECT_NE(lastBox().find("Solution not found"), std::string::npos) << lastBox();
    EXPECT_EQ(solveSolutions().found(), 0);
}

TEST_F(NativesTest, SolvePassesOverFaultsSilentlyAndTrapsOnlyWhileSolving) {
    // 1/x divides by 0 at the sweep point 0; Sqr fails below 0.
    EXPECT_DOUBLE_EQ(number("Solve(1/x - 1, -1000, 1002, x)"), 1);
    EXPECT_DOUBLE_EQ(number("Solve(Sqr(x) - 2, -10, 10, x)"), 4);
    EXPECT_EQ(error(), 0);
    EXPECT_TRUE(recorder().boxes.empty()) << lastBox();
    EXPECT_FALSE(calculator().FpTrapMode());
    EXPECT_EQ(text("1/0"), "Inf");
    EXPECT_TRUE(recorder().boxes.empty()) << lastBox();
}

TEST_F(NativesTest, SolveStopsAtAnErrorThatIsNotAFault) {
    text("Solve(Error('broken') + x, -10, 10, x)");
    EXPECT_EQ(recorder().boxes.size(), 1u) << "one box, not one per point";
}

TEST_F(NativesTest, SumWithAStepOfZeroEndsWithAnError) {
    text("Sum(k, 1, 10, 0.4, k)");
    EXPECT_EQ(error(), 1);
    EXPECT_NE(lastBox().find("step"), std::string::npos) << lastBox();
}

TEST_F(NativesTest, IntegReportsAFailingExpressionOnce) {
    text("Integ(x \\ 0, 0, 1, x, 10)");  // Long division by 0 at every point
    EXPECT_EQ(recorder().boxes.size(), 1u);
}

TEST_F(NativesTest, ValAndStrReadAndWriteDecimalText) {
    EXPECT_DOUBLE_EQ(number("Val(\"  -12.5e1xyz\")"), -125);
    EXPECT_DOUBLE_EQ(number("Val(\"abc\")"), 0);
    EXPECT_EQ(text("Str(10)"), " 10");
    EXPECT_EQ(text("Str(-2.5)"), "-2.5");
}

TEST_F(NativesTest, FormatBothForms) {
    const std::pair<const char *, const char *> cases[] = {
        {"Format(45000, \"Short Date\")", "03/15/2023"},
        {"Format(45000.5, \"hh:nn\")", "12:00"},
        {"Format(1234.5, \"Fixed\")", "1234.50"},
        {"Format(\"12/31/2024\", \"Long Date\")", "Tuesday, December 31, 2024"},
        {"Format(\"12/31/2024 13:05\", \"\")", "12/31/2024 13:05:00"},
        {"Format(\"1234.5\", \"Fixed\")", "1234.50"},
        {"Format(\"12/31/2024\", \"0\")", "45657"},
        {"Format(\"not a date\", \"Long Date\")", "not a date"},
        {"Format(\"1/1/2021\", \"ww\", 2, 2)", "53"},
        {"Format(1e300, \"Short Date\")", "1E+300"},
    };
    for (auto [expr, expected] : cases) EXPECT_EQ(text(expr), expected) << expr;
    EXPECT_TRUE(recorder().boxes.empty()) << lastBox();
    text("Format(\"1/1/2021\", \"ww\", 9)");
    EXPECT_EQ(error(), 1);
}

TEST_F(NativesTest, DateAddAndDateDiff) {
    EXPECT_EQ(text("DateAdd(\"m\", 1, \"01/31/2024\")"), "02/29/2024");
    EXPECT_EQ(text("DateAdd(\"h\", 1.5, \"01/31/2024\")"), "01/31/2024 02:00:00") << "1.5 rounds to 2";
    EXPECT_EQ(text("DateAdd(\"n\", -1, \"1/1/2000\")"), "12/31/1999 23:59:00");
    EXPECT_DOUBLE_EQ(number("DateDiff(\"d\", \"01/01/2024\", \"12/31/2024\")"), 365);
    EXPECT_DOUBLE_EQ(number("DateDiff(\"ww\", \"1/1/2024\", \"1/14/2024\", 2)"), 1);
    EXPECT_TRUE(recorder().boxes.empty()) << lastBox();
    const std::pair<const char *, const char *> failures[] = {
        {"DateAdd(\"d\", 1, \"13/31/2024\")", "Invalid date: 13/31/2024"},
        {"DateAdd(\"x\", 1, \"1/1/2024\")", "Invalid interval"},
        {"DateAdd(\"yyyy\", 9000, \"1/1/2024\")", "Date out of range"},
        {"DateDiff(\"d\", \"1/1/2024\", \"soon\")", "Invalid date: soon"},
    };
    for (auto [expr, message] : failures) {
        text(expr);
        EXPECT_EQ(error(), 1) << expr;
        EXPECT_NE(lastBox().find(message), std::string::npos) << expr << ": " << lastBox();
    }
}

TEST_F(NativesTest, TheClock) {
    EXPECT_TRUE(std::regex_match(text("Date()"), std::regex(R"(\d\d/\d\d/\d{4})")));
    EXPECT_TRUE(std::regex_match(text("Time()"), std::regex(R"(\d\d:\d\d:\d\d)")));
    EXPECT_TRUE(std::regex_match(text("Now()"), std::regex(R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d)")));
    double t = number("Timer()");
    EXPECT_GE(t, 0);
    EXPECT_LT(t, 86400);
}

TEST_F(NativesTest, MsgBoxAndInputBoxGoThroughTheHost) {
    recorder().answer = 6;
    EXPECT_DOUBLE_EQ(number("MsgBox(\"Go on?\", 4 + 32, \"Question\")"), 6);
    ASSERT_FALSE(recorder().boxes.empty());
    EXPECT_EQ(recorder().boxes.back().prompt, "Go on?");
    EXPECT_EQ(recorder().boxes.back().buttons, 36);
    EXPECT_EQ(recorder().boxes.back().title, "Question");
    number("MsgBox(42)");
    EXPECT_EQ(recorder().boxes.back().prompt, " 42");
    EXPECT_EQ(recorder().boxes.back().title, "Nomix");
    recorder().answer = 1;

    recorder().input = "caf\xc3\xa9";
    EXPECT_EQ(text("InputBox(\"Name?\")"), "caf\xc3\xa9");
    EXPECT_EQ(recorder().inputPrompts.back(), "Name?|Nomix Input|");
    recorder().input = "";
    EXPECT_EQ(text("InputBox(\"Name?\", \"T\", \"Bob\")"), "");
    EXPECT_EQ(recorder().inputPrompts.back(), "Name?|T|Bob");
}

} // namespace
