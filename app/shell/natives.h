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

// The roots the last Solve_ found, at most 21 (indexes 0-20). The calculation
// lists them after a Solve and empties them before the next one.
struct SolveSolutions {
    static constexpr std::size_t kCapacity = 21;
    std::array<double, kCapacity> values{};
    std::size_t count = 0;

    void clear() { count = 0; }
    // Adds a root; false when the list is full.
    bool add(double value)
    {
        if (count >= kCapacity)
            return false;
        values[count++] = value;
        return true;
    }
};

// The process-wide solutions list.
SolveSolutions &solveSolutions();

} // namespace nomix
