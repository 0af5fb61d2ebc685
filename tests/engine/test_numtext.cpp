// Number text through the engine's numeric and complex handlers: shown forms,
// special values, reading back, integer rounding and low bits, native results
// and exact round trips.
#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <random>

#include "cells.h"
#include "context.h"
#include "engine.h"

using namespace nx;

namespace {

enum { kComplex = 1, kQuad = 2, kDouble = 3, kExtended = 4, kByte = 6, kInteger = 7, kWord = 8, kLong = 9,
       kDword = 10, kSingle = 13 };

int sizeOfSlot(int slot) {
    static const int sizes[] = {0, 20, 8, 8, 10, 0, 1, 2, 2, 4, 4, 0, 0, 4};
    return sizes[slot];
}

// One value of a type served by an engine handler, built by hand and released.
struct Value {
    Item *type = heapNew<Item>(), *item = heapNew<Item>();
    explicit Value(int slot, ThreadContext *ctx = nullptr) {
        type->dataType = item->dataType = type;
        type->typeHandler = item->typeHandler = reinterpret_cast<intptr_t>(typeHandlerForSlot(slot));
        type->size = item->size = sizeOfSlot(slot);
        item->context = ctx;
        createValue(item, ctx);
    }
    ~Value() {
        releaseValue(item);
        heapDelete(item);
        heapDelete(type);
    }
    char *cell() const { return static_cast<char *>(cellAt(item->address)); }
    std::string text() const { return valueToText(item); }
    bool read(std::string_view t) const { return valueFromText(item, t, item->context); }
    uint64_t bits() const {
        uint64_t v = 0;
        std::memcpy(&v, cell(), std::min(item->size, 8));
        return v;
    }
};

template <class T> std::string shown(int slot, T v) {
    Value value(slot);
    std::memcpy(value.cell(), &v, sizeOfSlot(slot));
    return value.text();
}

long double extFromBits(uint64_t mantissa, uint16_t top) {
    unsigned char bytes[16] = {};
    std::memcpy(bytes, &mantissa, 8);
    std::memcpy(bytes + 8, &top, 2);
    return loadExt(bytes);
}

bool sameExt(long double a, long double b) { return std::memcmp(&a, &b, 10) == 0; }

volatile long double zero = 0;  // 1/0 and 0/0 computed at run time, under the masked control word
const long double kInf = 1 / zero, kNaN = 0 / zero;

} // namespace

TEST(NumberText, ShownForms) {
    struct { long double v; const char *text; } ext[] = {
        {0.5L, " .5"}, {-0.5L, "-0.5"}, {2, " 2"}, {-2, "-2"}, {0, " 0"}, {-0.0L, " 0"},
        {0.0001L, " .0001"}, {1e-5L, " 1E-05"}, {-0.001L, "-0.001"}, {1.5e300L, " 1.5E+300"},
        {18446744073709551615.0L, " 18446744073709551615"}, {1e20L, " 1E+20"},
        {1.0L / 3, " .33333333333333333334"}, {LDBL_MAX, " 1.189731495357231765E+4932"},
        {kInf, "Inf"}, {-kInf, "-Inf"}, {kNaN, "NaN"},
    };
    for (auto &c : ext) EXPECT_EQ(shown(kExtended, c.v), c.text) << double(c.v);
    struct { double v; const char *text; } dbl[] = {
        {0.1 + 0.2, " .30000000000000004"}, {1e14, " 100000000000000"}, {1e15, " 1E+15"},
        {-1.5e-7, "-1.5E-07"}, {DBL_MAX, " 1.7976931348623157E+308"}, {DBL_TRUE_MIN, " 5E-324"},
        {double(-kInf), "-Inf"}, {double(kNaN), "NaN"},
    };
    for (auto &c : dbl) EXPECT_EQ(shown(kDouble, c.v), c.text) << c.v;
    struct { float v; const char *text; } sgl[] = {
        {0.1f, " .1"}, {1234567.f, " 1234567"}, {16777216.f, " 1.6777216E+07"}, {FLT_MAX, " 3.4028235E+38"},
    };
    for (auto &c : sgl) EXPECT_EQ(shown(kSingle, c.v), c.text) << c.v;
    struct { int slot; uint64_t bits; const char *text; } ints[] = {
        {kLong, 0xFFFFFFFB, "-5"}, {kDword, 0xFFFFFFFF, " 4294967295"}, {kByte, 255, " 255"},
        {kQuad, 0x8000000000000000ull, "-9223372036854775808"}, {kInteger, 0x8000, "-32768"},
        {kWord, 0xFFFF, " 65535"},
    };
    for (auto &c : ints) EXPECT_EQ(shown(c.slot, c.bits), c.text);
}

TEST(NumberText, ExtendedSpecialsFollowTheBitPattern) {
    struct { uint64_t mantissa; uint16_t top; const char *text; } cases[] = {
        {0x8000000000000000ull, 0x7FFF, "Inf"}, {0x8000000000000000ull, 0xFFFF, "-Inf"},
        {0xC000000000000000ull, 0xFFFF, "NaN"}, {0, 0x7FFF, "NaN"} /* pseudo-infinity */,
        {0x4000000000000000ull, 0x3FFF, "NaN"} /* unnormal */,
    };
    for (auto &c : cases) EXPECT_EQ(shown(kExtended, extFromBits(c.mantissa, c.top)), c.text);
}

TEST(NumberText, DoubleInfinityIsAnOverflowWhenTheContextUnmasksIt) {
    struct { int slot; uint16_t word; double v; int32_t error; } cases[] = {
        {kDouble, 0x033F, INFINITY, 0}, {kDouble, 0x0332, INFINITY, 25}, {kDouble, 0x0337, -INFINITY, 25},
        {kDouble, 0x0332, NAN, 0},      {kDouble, 0x0332, 1, 0},         {kSingle, 0x0332, INFINITY, 0},
    };
    for (auto &c : cases) {
        ThreadContext ctx;
        ctx.fpuWordEval = c.word;
        Value value(c.slot, &ctx);
        if (c.slot == kDouble) store<double>(value.cell(), c.v);
        else store<float>(value.cell(), float(c.v));
        value.text();
        EXPECT_EQ(ctx.errorCode, c.error) << c.word << " " << c.v;
    }
}

TEST(NumberText, ReadsDecimalTextAndRejectsTheRest) {
    struct { const char *text; long double v; } good[] = {
        {" 2", 2}, {"-0.5", -0.5L}, {" .5", 0.5L}, {"  +3.25  ", 3.25L}, {"1E+05", 1e5L}, {"12.5e-1", 1.25L},
        {"5.", 5}, {"Inf", kInf}, {"-inf", -kInf}, {"1e99999", kInf}, {"1e-99999", 0}, {"0.1", 0.1L},
    };
    for (auto &c : good) {
        Value value(kExtended);
        ASSERT_TRUE(value.read(c.text)) << c.text;
        EXPECT_TRUE(sameExt(loadExt(value.cell()), c.v)) << c.text;
    }
    Value nanValue(kExtended);
    ASSERT_TRUE(nanValue.read("NaN"));
    EXPECT_TRUE(std::isnan(loadExt(nanValue.cell())));
    for (int slot : {kExtended, kDouble, kSingle, kLong}) {
        for (const char *text : {"", " ", "abc", "1e", "--1", "1.2.3", "0x10", "2 3", ".", "Infinity", "1,5"}) {
            Value value(slot);
            value.cell()[0] = 7;
            EXPECT_FALSE(value.read(text)) << slot << " '" << text << "'";
            EXPECT_EQ(value.cell()[0], 7) << "the value is kept";
        }
    }
}

TEST(NumberText, IntegersRoundToNearestEvenAndKeepTheLowBits) {
    struct { int slot; const char *text; uint64_t bits; } cases[] = {
        {kLong, "2.5", 2}, {kLong, "3.5", 4}, {kLong, "-2.5", 0xFFFFFFFE}, {kLong, "-3.5", 0xFFFFFFFC},
        {kLong, "0.5", 0}, {kLong, "2.5000000000000000000001", 3}, {kLong, "2.4999999999999999999999", 2},
        {kLong, "25e-1", 2}, {kLong, ".9", 1}, {kLong, "0.09", 0}, {kLong, "1e30", 1073741824},
        {kLong, "Inf", 0}, {kLong, "NaN", 0}, {kByte, "300", 44}, {kByte, "-1", 255}, {kByte, "255.5", 0},
        {kInteger, "40000", 40000}, {kWord, "65537", 1}, {kDword, "-1", 0xFFFFFFFF},
        {kQuad, "18446744073709551617", 1}, {kQuad, "-9223372036854775809", 0x7FFFFFFFFFFFFFFFull},
        {kQuad, "1e20", 7766279631452241920ull}, {kQuad, "1e100", 0},
    };
    for (auto &c : cases) {
        Value value(c.slot);
        ASSERT_TRUE(value.read(c.text)) << c.text;
        EXPECT_EQ(value.bits(), c.bits) << c.slot << " " << c.text;
    }
}

TEST(NumberText, NativeResultsTakeTheLowBitsOrTheFormat) {
    struct { int slot; intptr_t word; long double number; uint64_t bits; } cases[] = {
        {kByte, 0x1234, 0, 0x34}, {kLong, intptr_t(0x100000005), 0, 5}, {kQuad, -1, 0, ~0ull},
        {kDouble, 0, 0.5L, 0x3FE0000000000000ull}, {kSingle, 0, -2.0L, 0xC0000000},
    };
    for (auto &c : cases) {
        Value value(c.slot);
        storeNativeResult(value.type, value.cell(), c.word, c.number);
        EXPECT_EQ(value.bits(), c.bits) << c.slot;
    }
}

TEST(NumberText, RandomAndExtremeValuesReadBackBitExact) {
    std::mt19937_64 random(296);
    auto roundTrip = [](int slot, const void *bytes) {
        Value shownValue(slot), readValue(slot);
        std::memcpy(shownValue.cell(), bytes, sizeOfSlot(slot));
        return readValue.read(shownValue.text()) && !std::memcmp(readValue.cell(), bytes, sizeOfSlot(slot));
    };
    for (int i = 0; i < 20000; ++i) {
        uint64_t bits = random();
        double d = std::bit_cast<double>(bits);
        float f = std::bit_cast<float>(uint32_t(bits));
        uint16_t top = uint16_t(random());  // exponent 0: a denormal, without the integer bit
        long double e = extFromBits(top & 0x7FFF ? bits | (1ull << 63) : bits & ~(1ull << 63), top);
        if (!std::isnan(d) && d != 0) { ASSERT_TRUE(roundTrip(kDouble, &d)) << d; }
        if (!std::isnan(f) && f != 0) { ASSERT_TRUE(roundTrip(kSingle, &f)) << f; }
        if (std::isfinite(e) && e != 0) { ASSERT_TRUE(roundTrip(kExtended, &e)) << double(e); }
    }
    for (long double e : {LDBL_MAX, LDBL_MIN, LDBL_TRUE_MIN, -LDBL_TRUE_MIN, 1e-4940L, 9.999999999999999999e22L})
        EXPECT_TRUE(roundTrip(kExtended, &e)) << double(e);
}

TEST(ComplexText, ShownFormsReadBack) {
    struct { long double re, im; const char *text; } cases[] = {
        {3, 4, " 3+4i"}, {0, -2, "-2i"}, {0, 1, " i"}, {0, -1, "-i"}, {5, 0, " 5"}, {0, 0, "0"},
        {3, -1, " 3-i"}, {-3, 0.5L, "-3+.5i"}, {0.5L, -0.5L, " .5-0.5i"}, {1e20L, 1, " 1E+20+i"},
        {1, kInf, " 1+Infi"}, {1.0L / 3, -1.0L / 7, " .33333333333333333334-0.14285714285714285714i"},
    };
    for (auto &c : cases) {
        Value shownValue(kComplex), readValue(kComplex);
        storeExt(shownValue.cell(), c.re);
        storeExt(shownValue.cell() + 10, c.im);
        EXPECT_EQ(shownValue.text(), c.text);
        ASSERT_TRUE(readValue.read(c.text)) << c.text;
        EXPECT_EQ(std::memcmp(readValue.cell(), shownValue.cell(), 20), 0) << c.text;
    }
}

TEST(ComplexText, ReadsTermsAndTheLiteralUnit) {
    struct { const char *text; long double re, im; } good[] = {
        {"#i", 0, 1}, {"3+4i", 3, 4}, {"2.5", 2.5L, 0}, {"1e2i", 0, 100}, {"  -2 - 3i ", -2, -3},
        {"4i+1", 1, 4}, {"+i", 0, 1}, {"2#i", 0, 2},
    };
    for (auto &c : good) {
        Value v(kComplex);
        ASSERT_TRUE(v.read(c.text)) << c.text;
        EXPECT_TRUE(sameExt(loadExt(v.cell()), c.re) && sameExt(loadExt(v.cell() + 10), c.im)) << c.text;
    }
    for (const char *text : {"", "3+", "i2", "3 4", "x", "3+4j", "++1", "1e"}) {
        Value v(kComplex);
        v.cell()[0] = 7;
        EXPECT_FALSE(v.read(text)) << text;
        EXPECT_EQ(v.cell()[0], 7);
    }
}
