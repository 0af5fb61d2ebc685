// Number texts of the calculator: the named formats and format patterns shared
// with the Format native, the answer formatting of the calculator window, and
// the binary, octal and hexadecimal lines. All texts use the C locale ("." for
// decimals, "," for thousands, "$" for currency).
#pragma once

#include <string>
#include <string_view>

namespace nomix {

class Binding;

// The value through a format, by the classic desktop conventions:
//   ""/"General Number"  up to 15 significant digits, E notation when very large or small
//   "Currency"           $1,234.57, negatives in brackets ($1,234.57)
//   "Fixed"              1234.57          "Standard"   1,234.57
//   "Percent"            12.35%           "Scientific" 1.23E+03
//   "Yes/No", "True/False", "On/Off"      No, False, Off for 0, the other word otherwise
// Named formats ignore case. Any other text is a pattern of up to three sections
// (positive;negative;zero) made of 0 and # digit places, ".", "," (thousands
// between digit places, or division by 1000 each right before the decimal point),
// "%" (times 100), E+ E- e+ e- (exponent), "\c" and "quoted text" literals, and
// other characters shown as they stand. Infinities and NaN give "Inf", "-Inf", "NaN".
std::string formatNumber(double value, std::string_view format);

// The decimal text of the classic Str conversion: 15 significant digits, a
// leading blank for values that are not negative (" 10", "-2.5", " 1E+20").
std::string decimalText(double value);

// The leading number of a text as a plain decimal reader takes it (blanks, a sign,
// digits, a point, an exponent); 0 when the text does not start with one.
double leadingNumber(std::string_view text);

// The calculator's answer text: "General" means "General Number"; representation
// noise beyond 15 decimals is cut off; "Custom:expr" evaluates expr with the
// engine variable x holding the value; anything else goes to formatNumber.
std::string FormatAnswer(Binding &b, double value, std::string_view format);

// The value rounded down to a whole number, in binary; "0" for 0, empty when negative.
std::string ToBinary(double value);
// The value rounded to the nearest whole number (halves to even) in hexadecimal
// (upper-case letters) or octal; empty when negative or too large to represent.
std::string toHex(double value);
std::string toOct(double value);

// ASCII upper case, for the case-blind names and keywords of the calculator.
std::string asciiUpper(std::string_view s);

} // namespace nomix
