// Values and their text: the number formatting and reading shared by the type
// handlers, and the process-wide texts that shape a collection shown as text.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace nx {

// The real formats a value can be shown in; each has its own shortest digits.
enum class RealKind { Single, Double, Extended };

// Decimal text of a real value: " 2", "-0.5", " .5", " 1.5E+20", "Inf", "-Inf", "NaN".
std::string formatReal(long double value, RealKind kind);
// Decimal text of an integer: a leading space when not negative.
std::string formatInteger(int64_t value);
std::string formatUnsigned(uint64_t value);
// Text of a complex value: " 3+4i", "-2i", " i", "-i", " 5", "0".
std::string formatComplex(long double re, long double im);

// Readers of decimal text (leading and trailing blanks, a sign, "Inf", "NaN").
// They return false and leave the result alone when the text is not a number.
bool readExtended(std::string_view text, long double &value);
bool readDouble(std::string_view text, double &value);
bool readSingle(std::string_view text, float &value);
// The value rounded to the nearest integer (ties to even), as its low 64 bits;
// infinities and NaN give 0.
bool readInteger(std::string_view text, uint64_t &lowBits);
// A complex number as written by formatComplex, or a sum of real and imaginary
// terms ("3+4i", "2.5", "i", "#i", "1e2i").
bool readComplex(std::string_view text, long double &re, long double &im);

// The four texts a collection is shown with (routine 135): opening, name and
// string delimiter, separator and closing. All empty until first set.
void setStackFormat(std::string_view open, std::string_view quote, std::string_view separator,
                    std::string_view close);

} // namespace nx
