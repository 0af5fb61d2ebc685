// String routines: concatenation, comparison, character codes, raw memory
// copies and the base conversion behind the #b, #o and #h literals.
#include <cmath>
#include <cstring>
#include <limits>

#include "routines.h"

namespace nx {
namespace {

using R = OperationRecord;

// x + y for strings, built in one allocation; the result's old string is freed
// only after the new one exists (the result may be one of the operands).
void concatenate(R *r) {
    std::string_view x = xText(r), y = yText(r);
    const size_t length = x.size() + y.size();
    if (length > kMaxTextBytes) throw std::bad_alloc();  // ends the evaluation with nx_ErrNoMemory
    NxStr joined = length ? strFresh(nullptr, static_cast<uint32_t>(length)) : sharedEmpty();
    if (length) {
        std::memcpy(joined, x.data(), x.size());
        std::memcpy(joined + x.size(), y.data(), y.size());
    }
    void *cell = cellAt(r->Result);
    NxStr old = cellStr(cell);
    setCellStr(cell, joined);
    strFree(old);
}

// Byte-wise unsigned order; on an equal prefix the shorter string is smaller.
int order(const R *r) {
    int c = xText(r).compare(yText(r));
    return (c > 0) - (c < 0);
}
// Stores the outcome of a comparison as the true value or 0.
void compareText(R *r, bool holds) { setOf<int32_t>(r, truth(holds)); }

// Asc(Character, Position): the unsigned byte at a 1-based position; 0 outside
// the string.
void asc(R *r) {
    std::string_view s = xText(r);
    int32_t position = r->Arg2 ? yOf<int32_t>(r) : 1;
    bool inside = position >= 1 && static_cast<size_t>(position) <= s.size();
    setOf<int32_t>(r, inside ? static_cast<unsigned char>(s[static_cast<size_t>(position - 1)]) : 0);
}

// Chr(Code): a one-byte string of the code's low byte.
void chr(R *r) {
    const char byte = static_cast<char>(xOf<int32_t>(r) & 0xFF);
    setText(r, std::string_view(&byte, 1));
}

// A new string of y bytes copied from address x; empty for a null address or a
// length below 1.
void stringFromMemory(R *r) {
    const void *from = addressFromLong(xOf<int32_t>(r));
    const int32_t length = yOf<int32_t>(r);
    if (!from || length < 1) {
        setText(r, {});
        return;
    }
    setText(r, std::string_view(static_cast<const char *>(from), static_cast<size_t>(length)));
}

// Copies the bytes of string y to address x (nothing for a null address).
void stringToMemory(R *r) {
    void *to = addressFromLong(xOf<int32_t>(r));
    std::string_view s = yText(r);
    if (to && !s.empty()) std::memcpy(to, s.data(), s.size());
}

// The value of one digit character, or -1: "0"-"9" and "A"-"Z" (10 to 35).
int digitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return -1;
}

// BaseConvert(Number, Base): Number's digits in Base, with at most one point
// before the fraction digits; a NaN for any character that is not a digit
// below Base.
long double baseValue(std::string_view number, long double base) {
    const long double nan = std::numeric_limits<long double>::quiet_NaN();
    long double value = 0;
    int fractionDigits = -1;  // -1 until the point
    for (char c : number) {
        char upper = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
        if (upper == '.' && fractionDigits < 0) {
            fractionDigits = 0;
            continue;
        }
        int digit = digitValue(upper);
        if (digit < 0 || digit >= base) return nan;
        value = value * base + digit;
        if (fractionDigits >= 0) ++fractionDigits;
    }
    return fractionDigits > 0 ? value / std::pow(base, static_cast<long double>(fractionDigits)) : value;
}

// BaseConvert(Number, Base) as a routine.
void baseConvert(R *r) { setExt(r, baseValue(xText(r), yOf<int32_t>(r))); }

constexpr RoutineSlot kStrings[] = {
    {46, concatenate},
    {68, [](R *r) { compareText(r, order(r) > 0); }},
    {69, [](R *r) { compareText(r, order(r) >= 0); }},
    {70, [](R *r) { compareText(r, order(r) < 0); }},
    {71, [](R *r) { compareText(r, order(r) <= 0); }},
    {72, [](R *r) { compareText(r, order(r) == 0); }},
    {73, [](R *r) { compareText(r, order(r) != 0); }},
    {96, baseConvert},
    {103, asc},
    {104, chr},
    {112, stringFromMemory},
    {113, stringToMemory},
};

} // namespace

// This file's routines, for the table.
std::span<const RoutineSlot> stringRoutines() { return kStrings; }

} // namespace nx
