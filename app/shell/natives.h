// The numeric, date and dialog natives of the calculator language: the
// callbacks bound in the second bootstrap phase ("Solve_", "Integ_", "Sum_",
// "DateAdd", "DateDiff", both "Format" forms, "Date", "Now", "Time", "Timer",
// "Val", "Str", "MsgBox", "InputBox"). Each reads its arguments with the
// engine's nxParam* accessors and answers with nxReturn*.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include <nxeng296.h>

namespace nomix {

// Solve_(ByExpr Expr, a, b, ByHandle Var): roots of Expr in [a, b].
void nativeSolve(OperationRecord *record);
// Integ_(ByExpr Expr, a, b, ByHandle Var, n): Simpson's rule with n intervals.
void nativeInteg(OperationRecord *record);
// Sum_(ByExpr Expr, start, finish, step, ByHandle Var): sum of Expr over Var.
void nativeSum(OperationRecord *record);

// DateAdd(Interval As String, Number, Date) and DateDiff(Interval As String,
// Date1, Date2, firstdayofweek=1, firstweekofyear=1).
void nativeDateAdd(OperationRecord *record);
void nativeDateDiff(OperationRecord *record);

// Format(Expr, Format As String): a number through a named or custom format.
void nativeFormatNumber(OperationRecord *record);
// Format(Expr As String, Format As String, firstdayofweek=1, firstweekofyear=1):
// text that reads as a date or a number, formatted.
void nativeFormatText(OperationRecord *record);

// Date, Now and Time as text; Timer as seconds since midnight.
void nativeDate(OperationRecord *record);
void nativeNow(OperationRecord *record);
void nativeTime(OperationRecord *record);
void nativeTimer(OperationRecord *record);

// Val(Text As String): the leading decimal number, 0 when none.
// Str(Number): the number as text, a leading blank when not negative.
void nativeVal(OperationRecord *record);
void nativeStr(OperationRecord *record);

// MsgBox(Prompt As String [, Buttons, Title As String]) and
// InputBox(Prompt As String [, Title As String, Default As String]) through the Host.
void nativeMsgBox(OperationRecord *record);
void nativeInputBox(OperationRecord *record);

// The roots found by Solve_. values[0] holds how many the last Solve_ found (as
// a Double), values[1..20] the roots in the order found; at most 20 are kept.
// `count` is the calculator window's copy of values[0]: the window lists
// values[1..count] after a "Solve" line with two or more roots and then calls
// clear(). A new Solve_ starts values[0] at 0 but leaves `count` alone until it
// records a root.
struct SolveSolutions {
    static constexpr int kMaxRoots = 20;
    std::array<double, kMaxRoots + 1> values{};
    int count = 0;

    int found() const { return static_cast<int>(values[0]); }
    bool full() const { return found() >= kMaxRoots; }
    // Starts a new search.
    void restart() { values[0] = 0; }
    // Records a root; false when 20 are kept already.
    bool add(double root) {
        if (full()) return false;
        int n = found() + 1;
        values[static_cast<std::size_t>(n)] = root;
        values[0] = n;
        count = n;
        return true;
    }
    // The window has listed the roots.
    void clear() { count = 0; }
};

// The process-wide solutions list.
SolveSolutions &solveSolutions();

// A string argument of a native as the engine keeps it (Latin-1 bytes).
std::string paramText(OperationRecord *record, intptr_t index);

// ---------------------------------------------------------------------------
// The computations behind the natives, free of the engine (the natives feed
// them with the evaluated expression; the tests with plain functions).

// One value of the function being solved, integrated or summed, or nullopt
// when its evaluation failed.
using RealFunction = std::function<std::optional<double>(double)>;

// Solve_'s search: sweeps [a, b], zooms in on the smallest |f|, bisects sign
// changes, snaps a root to 4 decimals when f is exactly 0 there, and searches
// on both sides of each root found. Roots go to `roots` (at most 20).
// Points where f fails are passed over.
void scanRoots(const RealFunction &f, double a, double b, SolveSolutions &roots);
// Bisection on [lo, hi] across a sign change; nullopt when it does not end
// close enough to 0 (a pole, or a jump).
std::optional<double> bisectRoot(const RealFunction &f, double lo, double hi);

// The result of Integ_ and Sum_: a value, or an error message to raise, or
// neither when an evaluation failed (the engine has reported that already).
struct NumericOutcome {
    std::optional<double> value;
    std::string error;
};

// The number of Simpson intervals for a precision: whole, 0 means 100, odd
// counts made even; nullopt for a precision that is not a usable count.
std::optional<int64_t> simpsonIntervals(double precision);
// Composite Simpson rule over [a, b].
NumericOutcome simpsonIntegral(const RealFunction &f, double a, double b, double precision);
// The sum of f over start, start + step, ... up to finish (the bounds and the
// step rounded to whole numbers, halves to even).
NumericOutcome sumRange(const RealFunction &f, double start, double finish, double step);

// A moment of the calendar: whole days counted from 12/30/1899 (the classic
// date serial's day 0) and the seconds since that day's midnight.
struct DateTime {
    int64_t day = 0;
    int32_t second = 0;  // 0 .. 86399

    bool operator==(const DateTime &) const = default;
};

DateTime dateFromCivil(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
// The classic serial number: days, with the time of day as the fraction.
double dateSerial(const DateTime &moment);
DateTime dateFromSerial(double serial);

// Reads a date and/or time: "12/31/2024", "12/31/24", "2024-12-31",
// "December 31, 2024", "31 Dec 2024", "31-Dec-24", optionally followed by a
// time "13:05", "13:05:09", "1:05 PM"; or a time alone. Years run 100 to 9999.
std::optional<DateTime> parseDateTime(std::string_view text);
// The general date text: "MM/DD/YYYY hh:mm:ss"; the date alone at midnight, the
// time alone on day 0.
std::string dateTimeText(const DateTime &moment);

// DateAdd and DateDiff by interval code: yyyy year, q quarter, m month, y day
// of year, d day, w weekday, ww week, h hour, n minute, s second (case ignored).
// nullopt for an unknown code or a result outside the years 100 to 9999.
std::optional<DateTime> dateAdd(std::string_view interval, int64_t number, const DateTime &moment);
// Boundaries of the interval crossed from `from` to `to` (negative backwards);
// "ww" counts firstDayOfWeek boundaries (1 Sunday .. 7 Saturday).
std::optional<int64_t> dateDiff(std::string_view interval, const DateTime &from, const DateTime &to,
                                int firstDayOfWeek = 1);

// A date through a named date format ("General Date", "Long Date", "Medium
// Date", "Short Date", "Long Time", "Medium Time", "Short Time") or a pattern
// of date characters (see data/help/format.html). firstDayOfWeek 1 (Sunday) to
// 7; firstWeekOfYear 1 (the week of January 1), 2 (the first week with four
// days), 3 (the first full week).
std::string formatDate(const DateTime &moment, std::string_view format, int firstDayOfWeek = 1,
                       int firstWeekOfYear = 1);
// True when a format formats dates rather than numbers.
bool isDateFormat(std::string_view format);

// The clock: now, local time.
DateTime currentDateTime();
// Seconds since local midnight, with fractions.
double secondsSinceMidnight();

} // namespace nomix
