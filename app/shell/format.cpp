#include "shell/format.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "shell/binding.h"

namespace nomix {

namespace {


// printf into a string (the C locale is the program's locale for numbers).
template <class... Args> std::string printed(const char *format, Args... args) {
    char buffer[512];
    int n = std::snprintf(buffer, sizeof buffer, format, args...);
    return std::string(buffer, n < 0 ? 0 : std::min<size_t>(static_cast<size_t>(n), sizeof buffer - 1));
}

// Thousands separators in a run of digits.
std::string grouped(std::string_view digits) {
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

// Fixed notation with `decimals` places, optionally grouped; no sign.
std::string fixedDigits(double magnitude, int decimals, bool group) {
    std::string s = printed("%.*f", decimals, magnitude);
    size_t point = s.find('.');
    std::string whole = s.substr(0, point);
    std::string rest = point == std::string::npos ? "" : s.substr(point);
    return (group ? grouped(whole) : whole) + rest;
}

// Up to 15 significant digits; E notation below 1E-4 and from 1E+15 on.
std::string generalNumber(double value) { return printed("%.15G", value); }

// The texts of infinities and NaN, the same in every format.
std::string nonFinite(double value) {
    if (std::isnan(value)) return "NaN";
    return value < 0 ? "-Inf" : "Inf";
}

// The named formats; an empty result means the name is not one of them.
std::string namedFormat(double value, const std::string &name, bool &found) {
    found = true;
    double m = std::fabs(value);
    bool negative = value < 0;
    if (name.empty() || name == "GENERAL NUMBER") return generalNumber(value);
    if (name == "CURRENCY") {
        std::string body = "$" + fixedDigits(m, 2, true);
        return negative && body != "$0.00" ? "(" + body + ")" : body;
    }
    auto sign = [&](const std::string &body) {
        bool zero = body.find_first_not_of("0.,%E+-") == std::string::npos;
        return negative && !zero ? "-" + body : body;
    };
    if (name == "FIXED") return sign(fixedDigits(m, 2, false));
    if (name == "STANDARD") return sign(fixedDigits(m, 2, true));
    if (name == "PERCENT") return sign(fixedDigits(m * 100, 2, false) + "%");
    if (name == "SCIENTIFIC") return printed("%.2E", value);
    if (name == "YES/NO") return value != 0 ? "Yes" : "No";
    if (name == "TRUE/FALSE") return value != 0 ? "True" : "False";
    if (name == "ON/OFF") return value != 0 ? "On" : "Off";
    found = false;
    return {};
}

// ---- patterns ----

// One piece of a pattern section.
struct Piece {
    enum class Kind { Literal, Digit, Point, Exponent };
    Kind kind = Kind::Literal;
    std::string text;       // the literal text
    bool zero = false;      // Digit: "0" (always shown) rather than "#"
    bool fraction = false;  // Digit: right of the decimal point
    bool plusSign = false;  // Exponent: E+ shows "+" for positive exponents
    char letter = 'E';      // Exponent: E or e
};

struct Section {
    std::vector<Piece> pieces;
    bool group = false;  // thousands separators
    int scale = 0;       // number of divisions by 1000
    bool percent = false;
    bool exponent = false;
    int intZeros = 0, intPlaces = 0, fracZeros = 0, fracPlaces = 0, expZeros = 0;
};

// The sections of a pattern, split at ";" outside quotes and escapes.
std::vector<std::string> splitSections(std::string_view format) {
    std::vector<std::string> sections(1);
    bool quoted = false;
    for (size_t i = 0; i < format.size(); ++i) {
        char c = format[i];
        if (c == '\\' && !quoted && i + 1 < format.size()) {
            sections.back() += format.substr(i, 2);
            ++i;
            continue;
        }
        if (c == '"') quoted = !quoted;
        if (c == ';' && !quoted) {
            sections.emplace_back();
            continue;
        }
        sections.back() += c;
    }
    return sections;
}

// Literal text joins the previous literal piece.
void addLiteral(Section &s, std::string text) {
    if (!s.pieces.empty() && s.pieces.back().kind == Piece::Kind::Literal)
        s.pieces.back().text += text;
    else
    {
        Piece literal;
        literal.text = std::move(text);
        s.pieces.push_back(std::move(literal));
    }
}

// A comma is a thousands separator when a digit place follows it before the
// point; commas right before the point (or the end of the digits) divide by 1000.
void readComma(Section &s, std::string_view text, size_t i, bool inFraction) {
    if (inFraction) return;
    size_t j = i;
    while (j < text.size() && text[j] == ',') ++j;
    bool digitFollows = j < text.size() && (text[j] == '0' || text[j] == '#');
    if (digitFollows)
        s.group = true;
    else if (s.intPlaces > 0)
        ++s.scale;
}

// Reads one section's pieces and counts its digit places.
Section parseSection(std::string_view text) {
    Section s;
    bool inFraction = false;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\\' && i + 1 < text.size()) {
            addLiteral(s, std::string(1, text[++i]));
        } else if (c == '"') {
            size_t end = text.find('"', i + 1);
            if (end == std::string_view::npos) end = text.size();
            addLiteral(s, std::string(text.substr(i + 1, end - i - 1)));
            i = end;
        } else if ((c == '0' || c == '#') && !s.exponent) {
            Piece digit;
            digit.kind = Piece::Kind::Digit;
            digit.zero = c == '0';
            digit.fraction = inFraction;
            s.pieces.push_back(digit);
            (inFraction ? s.fracPlaces : s.intPlaces)++;
            if (c == '0') (inFraction ? s.fracZeros : s.intZeros)++;
        } else if ((c == '0' || c == '#') && s.exponent) {
            if (c == '0') ++s.expZeros;
        } else if (c == '.' && !inFraction && !s.exponent) {
            inFraction = true;
            Piece point;
            point.kind = Piece::Kind::Point;
            s.pieces.push_back(point);
        } else if (c == ',') {
            readComma(s, text, i, inFraction);
        } else if ((c == 'E' || c == 'e') && i + 1 < text.size() && (text[i + 1] == '+' || text[i + 1] == '-') &&
                   !s.exponent) {
            s.exponent = true;
            Piece p;
            p.kind = Piece::Kind::Exponent;
            p.plusSign = text[i + 1] == '+';
            p.letter = c;
            s.pieces.push_back(p);
            ++i;
        } else {
            if (c == '%') s.percent = true;
            addLiteral(s, std::string(1, c));
        }
    }
    return s;
}

// The digits of a magnitude in the section's shape: whole part, fraction part
// and (for E notation) the exponent.
struct Digits {
    std::string whole, fraction;
    int exponent = 0;
};

// Rounds to the section's fraction places; E notation moves the point first.
Digits digitsFor(const Section &s, double m) {
    Digits d;
    if (s.exponent && m != 0) {
        int places = std::max(1, s.intPlaces);
        d.exponent = static_cast<int>(std::floor(std::log10(m))) - (places - 1);
        m /= std::pow(10.0, d.exponent);
        // Rounding may carry into one more whole digit: shift once more.
        if (std::stod(printed("%.*f", s.fracPlaces, m)) >= std::pow(10.0, places)) {
            ++d.exponent;
            m /= 10;
        }
    }
    std::string text = printed("%.*f", s.fracPlaces, m);
    size_t point = text.find('.');
    d.whole = text.substr(0, point);
    if (point != std::string::npos) d.fraction = text.substr(point + 1);
    while (static_cast<int>(d.fraction.size()) > s.fracZeros && !d.fraction.empty() && d.fraction.back() == '0')
        d.fraction.pop_back();
    if (d.whole == "0" && s.intZeros == 0) d.whole.clear();
    while (static_cast<int>(d.whole.size()) < s.intZeros) d.whole.insert(d.whole.begin(), '0');
    return d;
}

// The exponent text: letter, sign, at least expZeros digits.
std::string exponentText(const Section &s, const Piece &p, int exponent) {
    std::string digits = std::to_string(std::abs(exponent));
    while (static_cast<int>(digits.size()) < s.expZeros) digits.insert(digits.begin(), '0');
    std::string sign = exponent < 0 ? "-" : p.plusSign ? "+" : "";
    return std::string(1, p.letter) + sign + digits;
}

// Lays the digits onto the section's pieces: the whole part at the first whole
// digit place, fraction digits one per place.
std::string render(const Section &s, const Digits &d) {
    std::string out;
    bool wholeDone = false;
    size_t fracIndex = 0;
    for (const Piece &p : s.pieces) {
        switch (p.kind) {
        case Piece::Kind::Literal: out += p.text; break;
        case Piece::Kind::Point: out += '.'; break;
        case Piece::Kind::Exponent: out += exponentText(s, p, d.exponent); break;
        case Piece::Kind::Digit:
            if (!p.fraction && !wholeDone) {
                out += s.group ? grouped(d.whole) : d.whole;
                wholeDone = true;
            } else if (p.fraction && fracIndex < d.fraction.size()) {
                out += d.fraction[fracIndex++];
            }
            break;
        }
    }
    if (!wholeDone && s.intPlaces == 0 && d.whole != "" && d.whole != "0") {
        // A pattern without whole digit places still shows the whole part, in front.
        out = (s.group ? grouped(d.whole) : d.whole) + out;
    }
    return out;
}

// The magnitude a section shows for the value.
double scaled(const Section &s, double m) {
    if (s.percent) m *= 100;
    for (int i = 0; i < s.scale; ++i) m /= 1000;
    return m;
}

// True when the section shows nothing but zeros for the magnitude.
bool showsZero(const Section &s, double m) {
    Digits d = digitsFor(s, scaled(s, m));
    return (d.whole + d.fraction).find_first_not_of('0') == std::string::npos;
}

// Chooses the section (positive; negative; zero) and renders the value with it.
std::string formatPattern(double value, std::string_view format) {
    std::vector<std::string> texts = splitSections(format);
    std::vector<Section> sections;
    for (const std::string &t : texts) sections.push_back(parseSection(t));
    double m = std::fabs(value);
    const Section &first = sections[0];
    if (value == 0 && sections.size() >= 3 && !texts[2].empty())
        return render(sections[2], digitsFor(sections[2], scaled(sections[2], m)));
    if (value < 0 && sections.size() >= 2 && !texts[1].empty())
        return render(sections[1], digitsFor(sections[1], scaled(sections[1], m)));
    std::string body = render(first, digitsFor(first, scaled(first, m)));
    return value < 0 && !showsZero(first, m) ? "-" + body : body;
}

} // namespace

// Named formats first, anything else is a pattern.
std::string formatNumber(double value, std::string_view format) {
    if (!std::isfinite(value)) return nonFinite(value);
    bool named = false;
    std::string text = namedFormat(value, asciiUpper(format), named);
    return named ? text : formatPattern(value, format);
}

// 15 significant digits; the leading blank marks a value that is not negative.
// A fraction keeps its leading zero (" 0.5"), as Linux users read numbers.
std::string decimalText(double value) {
    if (!std::isfinite(value)) return value > 0 ? " Inf" : nonFinite(value);
    std::string s = generalNumber(value == 0 ? 0.0 : value);
    return s.front() == '-' ? s : " " + s;
}

// Reads sign, digits, point and exponent; stops at the first other character.
double leadingNumber(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    size_t start = i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    size_t digits = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i, ++digits;
    }
    if (digits == 0) return 0;
    size_t mantissaEnd = i;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
        if (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j]))) {
            while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j]))) ++j;
            mantissaEnd = j;
        }
    }
    std::string number(text.substr(start, mantissaEnd - start));
    return std::strtod(number.c_str(), nullptr);
}

namespace {
// Cuts representation noise: values whose decimal text runs to 16 or more
// characters are truncated at 15 decimal places. Values so large that the
// scaled product overflows have no such noise and are kept as they are.
double withoutNoise(double value) {
    if (!(std::fabs(value) > 1e-20)) return value;
    std::string text = decimalText(value);
    if (text.substr(0, text.find('E')).size() < 16) return value;
    double cut = std::trunc(value * 1e15) / 1e15;
    return std::isfinite(cut) ? cut : value;
}

bool startsWithCustom(std::string_view format) { return asciiUpper(format.substr(0, 7)) == "CUSTOM:"; }
} // namespace

// Answer text of the calculator window by the numeric format setting.
std::string FormatAnswer(Binding &b, double value, std::string_view format) {
    std::string name(format);
    if (asciiUpper(name) == "GENERAL") name = "General Number";
    value = withoutNoise(value);
    if (startsWithCustom(name)) {
        intptr_t x = b.DefineVar("x = " + decimalText(value));
        std::string text = b.EvalStr(name.substr(7));
        b.Release(x);
        return text;
    }
    return formatNumber(value, name);
}

// Binary digits of the value rounded down, by repeated halving.
std::string ToBinary(double value) {
    double n = std::floor(value);
    if (!std::isfinite(n) || n < 0) return {};
    if (n == 0) return "0";
    std::string bits;
    while (n != 0) {
        bits.insert(bits.begin(), std::fmod(n, 2) != 0 ? '1' : '0');
        n = std::floor(n / 2);
    }
    return bits;
}

namespace {
// The value rounded half to even in base 8 or 16; empty outside 0 .. 2^64.
std::string inBase(double value, int base) {
    double n = std::nearbyint(value);
    if (!std::isfinite(n) || n < 0 || n >= 18446744073709551616.0) return {};
    unsigned long long v = static_cast<unsigned long long>(n);
    return printed(base == 16 ? "%llX" : "%llo", v);
}
} // namespace

std::string toHex(double value) { return inBase(value, 16); }
std::string toOct(double value) { return inBase(value, 8); }

// ASCII upper case, for the case-blind names and keywords of the calculator.
std::string asciiUpper(std::string_view s) {
    std::string out(s);
    for (char &c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

} // namespace nomix
