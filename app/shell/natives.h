// The numeric, date and dialog natives of the calculator language: the
// callbacks bound in the second bootstrap phase ("Solve_", "Integ_", "Sum_",
// "DateAdd", "DateDiff", both "Format" forms, "Date", "Now", "Time", "Timer",
// "Val", "Str", "MsgBox", "InputBox"). Each reads its arguments with the
// engine's nxParam* accessors and answers with nxReturn*.
#pragma once

#include <array>
#include <cstddef>

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
    bool add(double root)
    {
        if (full())
            return false;
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

} // namespace nomix
