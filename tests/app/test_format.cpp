// Number texts: named formats and patterns, the Str-style decimal text, the
// leading-number reader, the answer format and the binary, hex and octal digits.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "shell/binding.h"
#include "shell/format.h"

using namespace nomix;

namespace {

struct FormatCase {
    double value;
    const char *format;
    const char *expected;
};

TEST(FormatNumber, NamedFormats) {
    const std::vector<FormatCase> cases = {
        {10, "", "10"},
        {1.0 / 3, "", "0.333333333333333"},
        {1e20, "", "1E+20"},
        {0.0001, "", "0.0001"},
        {-2.5, "General Number", "-2.5"},
        {1234.567, "Currency", "$1,234.57"},
        {-1234.567, "currency", "($1,234.57)"},
        {1234.567, "Fixed", "1234.57"},
        {-0.001, "Fixed", "0.00"},
        {-1234.567, "Standard", "-1,234.57"},
        {0.1234, "Percent", "12.34%"},
        {1234.5, "Scientific", "1.23E+03"},
        {-0.00012345, "SCIENTIFIC", "-1.23E-04"},
        {0, "Yes/No", "No"},
        {-2, "yes/no", "Yes"},
        {0, "True/False", "False"},
        {1, "On/Off", "On"},
    };
    for (const auto &c : cases) EXPECT_EQ(formatNumber(c.value, c.format), c.expected) << c.value << " " << c.format;
}

TEST(FormatNumber, Patterns) {
    const std::vector<FormatCase> cases = {
        {3.14159, "0.00", "3.14"},
        {99.99, "0", "100"},
        {5, "000", "005"},
        {5, "#.##", "5."},
        {0.5, "#.##", ".5"},
        {0.5, "0.##", "0.5"},
        {1234567.891, "#,##0.00", "1,234,567.89"},
        {1234567, "#,##0,", "1,235"},
        {-3.2, "0.0", "-3.2"},
        {-0.01, "0.0", "0.0"},
        {-5, "0;(0)", "(5)"},
        {5, "0;(0)", "5"},
        {0, "0;(0);\"zero\"", "zero"},
        {-5, "0;;\"zero\"", "-5"},
        {0.256, "0.0%", "25.6%"},
        {1234.5, "0.00E+00", "1.23E+03"},
        {0.00012, "0.0E-0", "1.2E-4"},
        {9.999, "0.00E+00", "1.00E+01"},
        {42, "\"$\"0", "$42"},
        {7, "\\#0", "#7"},
        {12, "Total: 0 units", "Total: 12 units"},
    };
    for (const auto &c : cases) EXPECT_EQ(formatNumber(c.value, c.format), c.expected) << c.value << " " << c.format;
}

TEST(FormatNumber, NonFiniteValuesInAnyFormat) {
    const double inf = std::numeric_limits<double>::infinity();
    for (const char *format : {"", "Currency", "0.00", "Percent"}) {
        EXPECT_EQ(formatNumber(inf, format), "Inf");
        EXPECT_EQ(formatNumber(-inf, format), "-Inf");
        EXPECT_EQ(formatNumber(std::nan(""), format), "NaN");
    }
}

TEST(DecimalText, BlankForNonNegative) {
    const std::vector<std::pair<double, const char *>> cases = {
        {10, " 10"}, {-2.5, "-2.5"}, {0, " 0"}, {-0.0, " 0"}, {1e20, " 1E+20"},
        {1.0 / 3, " 0.333333333333333"}, {-1e-7, "-1E-07"},
    };
    for (const auto &[value, text] : cases) EXPECT_EQ(decimalText(value), text) << value;
}

TEST(LeadingNumber, ReadsLikeAPlainDecimalReader) {
    const std::vector<std::pair<const char *, double>> cases = {
        {" 3", 3}, {"-2.5abc", -2.5}, {"1E+20", 1e20}, {"abc", 0}, {"", 0}, {".5", 0.5},
        {"1e", 1}, {"+7", 7}, {"-", 0}, {"12 34", 12}, {"2.5e-3x", 0.0025},
    };
    for (const auto &[text, value] : cases) EXPECT_DOUBLE_EQ(leadingNumber(text), value) << text;
}

TEST(Bases, BinaryFloorsHexAndOctalRoundHalfToEven) {
    const std::vector<std::tuple<double, const char *, const char *, const char *>> cases = {
        {0, "0", "0", "0"},       {2.5, "10", "2", "2"},          {3.5, "11", "4", "4"},
        {1.99, "1", "2", "2"},    {255, "11111111", "FF", "377"}, {65535, "1111111111111111", "FFFF", "177777"},
        {-1, "", "", ""},         {-0.4, "", "0", "0"},
    };
    for (const auto &[value, bin, hex, oct] : cases) {
        EXPECT_EQ(ToBinary(value), bin) << value;
        EXPECT_EQ(toHex(value), hex) << value;
        EXPECT_EQ(toOct(value), oct) << value;
    }
    EXPECT_EQ(ToBinary(std::numeric_limits<double>::infinity()), "");
    EXPECT_EQ(toHex(std::nan("")), "");
}

TEST(FormatAnswer, NoiseIsCutAndGeneralIsGeneralNumber) {
    Binding &b = binding();
    EXPECT_EQ(FormatAnswer(b, 10, ""), "10");
    EXPECT_EQ(FormatAnswer(b, 2.5, "general"), "2.5");
    EXPECT_EQ(FormatAnswer(b, 0.1234567890123456789, ""), "0.123456789012345");
    EXPECT_EQ(FormatAnswer(b, -0.1234567890123456789, "0.000000000000000"), "-0.123456789012345");
    EXPECT_EQ(FormatAnswer(b, 1e-30, ""), "1E-30");
    // Huge values would overflow when scaled for the cut: they stay as they are.
    EXPECT_EQ(FormatAnswer(b, 1.2345678901234567e300, ""), "1.23456789012346E+300");
}

TEST(FormatAnswer, CustomEvaluatesWithXAndReleasesIt) {
    Binding &b = binding();
    EXPECT_EQ(FormatAnswer(b, 21, "Custom:x*2"), " 42");
    EXPECT_EQ(FormatAnswer(b, 1.5, "CUSTOM:x + 1"), " 2.5");
    b.EvalStr("x");
    EXPECT_EQ(b.ErrorCode(0), 3) << "x must be undefined again";
}

} // namespace
