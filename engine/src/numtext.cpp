// Number text: how the numeric and complex handlers show values and read them
// back.
//
// Shown form. A real value uses the fewest significant digits that read back to
// the same bits (at most 9 for Single, 17 for Double, 21 for Extended). With d the
// decimal exponent of the first digit, the digits are written out plainly while
// -5 < d < 7 (Single), 15 (Double) or 20 (Extended, so that every integer below
// 2^64, all of which it holds exactly, shows whole); otherwise as one digit, the
// rest after a point, and "E+nn" or "E-nn" (at least two exponent digits):
// " 1.5E+20", "-1E-05". Non-negative values begin with a space, negative ones
// with "-"; below 1 there is no digit before the point (" .5"), except that a
// text beginning with "-." becomes "-0.". Negative zero shows as " 0".
#include <cerrno>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <locale.h>

#include "types.h"

namespace nx {
namespace {

enum class Special { None, Inf, NaN };

// A decimal number as scanned: sign, special word, digits and exponent, plus the
// unsigned numeric text itself for the C library's correctly rounded readers.
struct Decimal {
    bool negative = false;
    Special special = Special::None;
    std::string_view whole;     // digits before the point
    std::string_view fraction;  // digits after it
    int64_t exponent = 0;       // saturated at +-1e9
    std::string_view body;      // e.g. "12.5e-3"
};

// Character classes of number text.
bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Position after the blanks at p.
size_t skipBlanks(std::string_view s, size_t p) {
    while (p < s.size() && isBlank(s[p])) ++p;
    return p;
}

// Position after the digits at p.
size_t skipDigits(std::string_view s, size_t p) {
    while (p < s.size() && isDigit(s[p])) ++p;
    return p;
}

// Whether the text at p starts with the word, ignoring ASCII case.
bool startsWithWord(std::string_view s, size_t p, std::string_view word) {
    if (s.size() - p < word.size()) return false;
    for (size_t i = 0; i < word.size(); ++i)
        if ((s[p + i] | 0x20) != (word[i] | 0x20)) return false;
    return true;
}

// Reads "e", an optional sign and at least one digit; 0 when there is none, so
// that "2e" is the number 2 followed by the letter e.
size_t scanExponent(std::string_view s, size_t p, int64_t &exponent) {
    if (p >= s.size() || (s[p] | 0x20) != 'e') return 0;
    size_t q = p + 1;
    bool negative = false;
    if (q < s.size() && (s[q] == '+' || s[q] == '-')) negative = s[q++] == '-';
    size_t end = skipDigits(s, q);
    if (end == q) return 0;
    int64_t e = 0;
    for (size_t i = q; i < end; ++i) e = std::min<int64_t>(e * 10 + (s[i] - '0'), 1000000000);
    exponent = negative ? -e : e;
    return end - p;
}

// Scans a number at p (no blanks or sign): "Inf", "NaN" or digits with an
// optional point and exponent. Returns the end position, p when there is none.
size_t scanUnsigned(std::string_view s, size_t p, Decimal &d) {
    if (startsWithWord(s, p, "inf")) {
        d.special = Special::Inf;
        return p + 3;
    }
    if (startsWithWord(s, p, "nan")) {
        d.special = Special::NaN;
        return p + 3;
    }
    size_t wholeEnd = skipDigits(s, p);
    size_t q = wholeEnd, fracEnd = wholeEnd;
    if (q < s.size() && s[q] == '.') fracEnd = skipDigits(s, q + 1);
    if (wholeEnd == p && fracEnd <= wholeEnd + 1) return p;  // no digit at all
    d.whole = s.substr(p, wholeEnd - p);
    d.fraction = fracEnd > wholeEnd ? s.substr(wholeEnd + 1, fracEnd - wholeEnd - 1) : std::string_view();
    size_t end = fracEnd + scanExponent(s, fracEnd, d.exponent);
    d.body = s.substr(p, end - p);
    return end;
}

// The whole text as one number: blanks, an optional sign, the number, blanks.
bool scanWhole(std::string_view s, Decimal &d) {
    size_t p = skipBlanks(s, 0);
    if (p < s.size() && (s[p] == '+' || s[p] == '-')) d.negative = s[p++] == '-';
    size_t end = scanUnsigned(s, p, d);
    return end > p && skipBlanks(s, end) == s.size();
}

// The C locale, so that the decimal point is "." whatever the host set.
locale_t cLocale() {
    static locale_t c = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    return c;
}

// Real value of a scanned number, correctly rounded to T. Out-of-range texts
// give an infinity or a (denormal) zero as the format allows.
template <class T> T toReal(const Decimal &d) {
    T v;
    if (d.special == Special::Inf) {
        v = INFINITY;
    } else if (d.special == Special::NaN) {
        v = NAN;
    } else {
        std::string body(d.body);
        if constexpr (std::is_same_v<T, float>) v = strtof_l(body.c_str(), nullptr, cLocale());
        else if constexpr (std::is_same_v<T, double>) v = strtod_l(body.c_str(), nullptr, cLocale());
        else v = strtold_l(body.c_str(), nullptr, cLocale());
    }
    return d.negative ? -v : v;
}

// Reads the whole text as a number of format T; errno is left as it was.
template <class T> bool readReal(std::string_view text, T &value) {
    Decimal d;
    if (!scanWhole(text, d)) return false;
    int saved = errno;
    value = toReal<T>(d);
    errno = saved;
    return true;
}

// Whether the rounding digits after the integer part call for rounding up:
// above one half, or exactly one half with an odd integer part.
bool roundsUp(std::string_view dropped, bool oddInteger) {
    if (dropped.empty() || dropped[0] < '5') return false;
    if (dropped[0] > '5') return true;
    for (size_t i = 1; i < dropped.size(); ++i)
        if (dropped[i] != '0') return true;
    return oddInteger;
}

// The scanned number rounded to an integer, exactly, modulo 2^64. Digits are
// accumulated with wrap-around, which keeps precisely the low bits.
uint64_t integerLowBits(const Decimal &d) {
    std::string digits(d.whole);
    digits += d.fraction;
    int64_t shift = d.exponent - static_cast<int64_t>(d.fraction.size());
    int64_t keep = static_cast<int64_t>(digits.size()) + shift;  // digits before the point
    uint64_t value = 0;
    size_t intDigits = keep <= 0 ? 0 : static_cast<size_t>(std::min<int64_t>(keep, digits.size()));
    for (size_t i = 0; i < intDigits; ++i) value = value * 10 + uint64_t(digits[i] - '0');
    for (int64_t i = 0; i < std::min<int64_t>(shift, 64); ++i) value *= 10;  // 10^64 = 0 mod 2^64
    std::string_view dropped;
    if (keep >= 0 && static_cast<size_t>(keep) < digits.size()) dropped = std::string_view(digits).substr(keep);
    if (roundsUp(dropped, value & 1)) ++value;
    return d.negative ? uint64_t(0) - value : value;
}

// Shortest round-trip digits of v in its own format, as a digit string and the
// decimal exponent of the first digit.
template <class T> void shortestDigits(T v, std::string &digits, int &exponent) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific);
    std::string_view s(buf, res.ptr - buf);
    size_t e = s.find('e');
    for (char c : s.substr(0, e))
        if (isDigit(c)) digits += c;
    std::from_chars(s.data() + e + (s[e + 1] == '+' ? 2 : 1), s.data() + s.size(), exponent);
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
}

// "E+nn" / "E-nn" with at least two digits.
std::string exponentText(int exponent) {
    std::string t = exponent < 0 ? "E-" : "E+";
    std::string n = std::to_string(exponent < 0 ? -exponent : exponent);
    if (n.size() < 2) t += '0';
    return t + n;
}

// Lays digits out plainly or with an exponent (see the top of the file).
std::string layOut(const std::string &digits, int exponent, int plainLimit) {
    if (exponent <= -5 || exponent >= plainLimit) {
        std::string t = digits.substr(0, 1);
        if (digits.size() > 1) t += "." + digits.substr(1);
        return t + exponentText(exponent);
    }
    if (exponent < 0) return "." + std::string(size_t(-exponent - 1), '0') + digits;
    size_t whole = size_t(exponent) + 1;
    if (digits.size() <= whole) return digits + std::string(whole - digits.size(), '0');
    return digits.substr(0, whole) + "." + digits.substr(whole);
}

// Extended special values by bit pattern, as the x87 sees them: exponent word
// 0x7FFF/0xFFFF with mantissa 0x8000000000000000 is an infinity, any other
// mantissa there a NaN; a non-zero exponent without the integer bit (an
// unnormal, invalid to the x87) also shows as a NaN.
Special extendedSpecial(long double v, bool &negative) {
    unsigned char bytes[10];
    std::memcpy(bytes, &v, 10);
    uint64_t mantissa;
    uint16_t top;
    std::memcpy(&mantissa, bytes, 8);
    std::memcpy(&top, bytes + 8, 2);
    negative = (top & 0x8000) != 0;
    uint16_t exp = top & 0x7FFF;
    if (exp == 0x7FFF) return mantissa == 0x8000000000000000ull ? Special::Inf : Special::NaN;
    if (exp != 0 && !(mantissa >> 63)) return Special::NaN;
    return Special::None;
}

// Infinity or NaN as the format sees it; sets the sign.
Special realSpecial(long double v, RealKind kind, bool &negative) {
    if (kind == RealKind::Extended) return extendedSpecial(v, negative);
    negative = std::signbit(v);
    if (std::isnan(v)) return Special::NaN;
    if (std::isinf(v)) return Special::Inf;
    return Special::None;
}

// Leading-zero rules of the shown form: "." -> "0." and "-." -> "-0.".
std::string applyZeroRules(std::string t) {
    if (!t.empty() && t[0] == '.') return "0" + t;
    if (t.size() > 1 && t[0] == '-' && t[1] == '.') return "-0." + t.substr(2);
    return t;
}

// The text of one complex term: its coefficient with the suffix, or the bare
// suffix for a coefficient of 1 or -1.
std::string imaginaryTerm(long double im) {
    std::string s = formatReal(im, RealKind::Extended);
    if (s == " 1") s = " ";
    else if (s == "-1") s = "-";
    return s + "i";
}

// Reads one complex term at p: an optional coefficient and the optional suffix
// "i" (also written "#i"). Returns the end position, p when there is no term.
size_t scanComplexTerm(std::string_view s, size_t p, long double &value, bool &imaginary) {
    Decimal d;
    size_t end = scanUnsigned(s, p, d);
    bool hasNumber = end > p;
    size_t q = skipBlanks(s, end);
    if (q < s.size() && s[q] == '#') ++q;
    imaginary = q < s.size() && (s[q] | 0x20) == 'i';
    if (imaginary) end = q + 1;
    if (!hasNumber && !imaginary) return p;
    value = hasNumber ? toReal<long double>(d) : 1.0L;
    return end;
}

} // namespace

// Shown form of a real value in its format (see the top of the file).
std::string formatReal(long double value, RealKind kind) {
    bool negative = false;
    Special special = realSpecial(value, kind, negative);
    if (special == Special::NaN) return "NaN";
    if (special == Special::Inf) return negative ? "-Inf" : "Inf";
    if (value == 0) return " 0";
    std::string digits;
    int exponent = 0;
    int plainLimit = 20;
    if (kind == RealKind::Single) {
        shortestDigits(static_cast<float>(value), digits, exponent);
        plainLimit = 7;
    } else if (kind == RealKind::Double) {
        shortestDigits(static_cast<double>(value), digits, exponent);
        plainLimit = 15;
    } else {
        shortestDigits(value, digits, exponent);
    }
    return applyZeroRules((negative ? "-" : " ") + layOut(digits, exponent, plainLimit));
}

// Signed integers: " 5", "-5".
std::string formatInteger(int64_t value) {
    if (value < 0) return "-" + std::to_string(uint64_t(0) - uint64_t(value));
    return " " + std::to_string(value);
}

// Unsigned integers: " 5".
std::string formatUnsigned(uint64_t value) { return " " + std::to_string(value); }

// The real part when not 0, the imaginary term when not 0, joined by its sign; "0" for 0.
std::string formatComplex(long double re, long double im) {
    if (re == 0 && im == 0) return "0";
    std::string text;
    if (re != 0) text = formatReal(re, RealKind::Extended);
    if (im != 0) {
        std::string term = imaginaryTerm(im);
        if (!text.empty()) {
            if (term[0] == ' ') term[0] = '+';
            else if (term[0] != '-') term = "+" + term;  // "Inf", "NaN"
        }
        text += term;
    }
    return text;
}

// Readers for each real format.
bool readExtended(std::string_view text, long double &value) { return readReal(text, value); }
bool readDouble(std::string_view text, double &value) { return readReal(text, value); }
bool readSingle(std::string_view text, float &value) { return readReal(text, value); }

// Reads a number and rounds it exactly to its low 64 bits.
bool readInteger(std::string_view text, uint64_t &lowBits) {
    Decimal d;
    if (!scanWhole(text, d)) return false;
    lowBits = d.special == Special::None ? integerLowBits(d) : 0;
    return true;
}

// Sums signed terms; a term with the suffix adds to the imaginary part.
bool readComplex(std::string_view text, long double &re, long double &im) {
    long double sumRe = 0, sumIm = 0;
    size_t p = skipBlanks(text, 0);
    if (p == text.size()) return false;
    bool first = true;
    while (p < text.size()) {
        bool negative = false;
        if (text[p] == '+' || text[p] == '-') negative = text[p++] == '-';
        else if (!first) return false;  // terms after the first need a sign
        p = skipBlanks(text, p);
        long double value = 0;
        bool imaginary = false;
        size_t end = scanComplexTerm(text, p, value, imaginary);
        if (end == p) return false;
        if (negative) value = -value;
        (imaginary ? sumIm : sumRe) += value;
        p = skipBlanks(text, end);
        first = false;
    }
    re = sumRe;
    im = sumIm;
    return true;
}

} // namespace nx
