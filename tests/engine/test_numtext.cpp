// Number text through the engine's numeric and complex handlers: the shown form
// (leading space, leading-zero rules, special values), reading back, integer
// rounding and low bits, native results, and exact round trips.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "cells.h"
#include "context.h"
#include "engine.h"
#include "heap.h"
#include "types.h"

using namespace nx;

namespace {

constexpr int kComplex = 1, kQuad = 2, kDouble = 3, kExtended = 4, kByte = 6, kInteger = 7, kWord = 8,
              kLong = 9, kDword = 10, kSingle = 13;

int sizeOfSlot(int slot) {
    switch (slot) {
    case kComplex: return 20;
    case kQuad: case kDouble: return 8;
    case kExtended: return 10;
    case kByte: return 1;
    case kInteger: case kWord: return 2;
    default: return 4;
    }
}

// One value of a type served by an engine handler, with its type, both built by
// hand in the engine heap and released at the end.
class Value {
public:
    explicit Value(int slot, ThreadContext *ctx = nullptr) {
        type_ = heapNew<Item>();
        type_->dataType = type_;
        type_->typeHandler = reinterpret_cast<intptr_t>(typeHandlerForSlot(slot));
        type_->size = sizeOfSlot(slot);
        item_ = heapNew<Item>();
        item_->dataType = type_;
        item_->typeHandler = type_->typeHandler;
        item_->size = type_->size;
        item_->context = ctx;
        createValue(item_, ctx);
    }
    Value(const Value &) = delete;
    Value &operator=(const Value &) = delete;
    ~Value() {
        releaseValue(item_);
        heapDelete(item_);
        heapDelete(type_);
    }
    void *cell() const { return cellAt(item_->address); }
    std::string text() const { return valueToText(item_); }
    bool read(std::string_view t) const { return valueFromText(item_, t, item_->context); }
    uint64_t bits() const {
        uint64_t v = 0;
        std::memcpy(&v, cell(), std::min(item_->size, 8));
        return v;
    }
    Item *type() const { return type_; }

private:
    Item *type_;
    Item *item_;
};

template <class T> std::string shown(int slot, T v) {
    Value value(slot);
    if constexpr (std::is_same_v<T, long double>) storeExt(value.cell(), v);
    else store<T>(value.cell(), v);
    return value.text();
}

long double extFromBits(uint64_t mantissa, uint16_t top) {
    unsigned char bytes[16] = {};
    std::memcpy(bytes, &mantissa, 8);
    std::memcpy(bytes + 8, &top, 2);
    return loadExt(bytes);
}

bool sameExt(long double a, long double b) { return std::memcmp(&a, &b, 10) == 0; }

volatile long double zero = 0;  // 1/zero and 0/zero as the running code computes them

} // namespace

TEST(NumberText, ExtendedShownForms) {
    struct Case { long double v; const char *text; } cases[] = {
        {0.5L, " .5"},          {-0.5L, "-0.5"},        {2, " 2"},
        {-2, "-2"},             {0, " 0"},              {-0.0L, " 0"},
        {123.25L, " 123.25"},   {0.0001L, " .0001"},    {1e-5L, " 1E-05"},
        {-0.001L, "-0.001"},    {-0.00001L, "-1E-05"},  {1.5e300L, " 1.5E+300"},
        {1e-300L, " 1E-300"},   {1e19L, " 10000000000000000000"},
        {18446744073709551615.0L, " 18446744073709551615"},
        {1e20L, " 1E+20"},      {1.0L / 3, " .33333333333333333334"},
        {LDBL_MAX, " 1.189731495357231765E+4932"},
        {1 / zero, "Inf"},      {-1 / zero, "-Inf"},    {0 / zero, "NaN"},
    };
    for (auto &c : cases) EXPECT_EQ(shown(kExtended, c.v), c.text) << double(c.v);
}

TEST(NumberText, DoubleAndSingleShownForms) {
    struct DCase { double v; const char *text; } doubles[] = {
        {0.1, " .1"},           {0.1 + 0.2, " .30000000000000004"},
        {1e14, " 100000000000000"}, {1e15, " 1E+15"}, {-1.5e-7, "-1.5E-07"},
        {-2.5, "-2.5"},         {123456789012345.67, " 123456789012345.67"},
        {DBL_MAX, " 1.7976931348623157E+308"}, {DBL_TRUE_MIN, " 5E-324"},
        {double(1 / zero), "Inf"}, {double(0 / zero), "NaN"},
    };
    for (auto &c : doubles) EXPECT_EQ(shown(kDouble, c.v), c.text) << c.v;
    struct SCase { float v; const char *text; } singles[] = {
        {0.1f, " .1"}, {1234567.f, " 1234567"}, {16777216.f, " 1.6777216E+07"},
        {FLT_MAX, " 3.4028235E+38"}, {-0.75f, "-0.75"}, {float(-1 / zero), "-Inf"},
    };
    for (auto &c : singles) EXPECT_EQ(shown(kSingle, c.v), c.text) << c.v;
}

TEST(NumberText, ExtendedSpecialsFollowTheBitPattern) {
    struct Case { uint64_t mantissa; uint16_t top; const char *text; } cases[] = {
        {0x8000000000000000ull, 0x7FFF, "Inf"},
        {0x8000000000000000ull, 0xFFFF, "-Inf"},
        {0xC000000000000000ull, 0x7FFF, "NaN"},
        {0xC000000000000000ull, 0xFFFF, "NaN"},
        {0x0000000000000000ull, 0x7FFF, "NaN"},  // pseudo-infinity
        {0x4000000000000000ull, 0x3FFF, "NaN"},  // unnormal
        {0x8000000000000000ull, 0x3FFF, " 1"},
    };
    for (auto &c : cases) EXPECT_EQ(shown(kExtended, extFromBits(c.mantissa, c.top)), c.text) << c.text;
}

TEST(NumberText, DoubleInfinityIsAnOverflowWhenTheContextUnmasksIt) {
    struct Case { int slot; uint16_t word; long double v; int32_t error; } cases[] = {
        {kDouble, 0x033F, 1 / zero, 0},   {kDouble, 0x0332, 1 / zero, 25},
        {kDouble, 0x0332, -1 / zero, 25}, {kDouble, 0x0337, 1 / zero, 25},
        {kDouble, 0x0332, 0 / zero, 0},   {kDouble, 0x0332, 1, 0},
        {kExtended, 0x0332, 1 / zero, 0}, {kSingle, 0x0332, 1 / zero, 0},
    };
    for (auto &c : cases) {
        ThreadContext ctx;
        ctx.fpuWordEval = c.word;
        Value value(c.slot, &ctx);
        if (c.slot == kDouble) store<double>(value.cell(), double(c.v));
        else if (c.slot == kSingle) store<float>(value.cell(), float(c.v));
        else storeExt(value.cell(), c.v);
        value.text();
        EXPECT_EQ(ctx.errorCode, c.error) << c.slot << " " << c.word << " " << double(c.v);
    }
}

TEST(NumberText, ReadsDecimalTextAndRejectsTheRest) {
    struct Case { const char *text; long double v; } good[] = {
        {" 2", 2},        {"-0.5", -0.5L},  {" .5", 0.5L},    {"  +3.25  ", 3.25L},
        {"1e3", 1000},    {"1E+05", 1e5L},  {"12.5e-1", 1.25L}, {"5.", 5},
        {"\t7", 7},       {"Inf", 1 / zero}, {"-inf", -1 / zero}, {"1e99999", 1 / zero},
        {"1e-99999", 0},  {"0.1", 0.1L},
    };
    for (auto &c : good) {
        Value value(kExtended);
        ASSERT_TRUE(value.read(c.text)) << c.text;
        EXPECT_TRUE(sameExt(loadExt(value.cell()), c.v)) << c.text;
    }
    Value nan(kExtended);
    ASSERT_TRUE(nan.read("NaN"));
    EXPECT_TRUE(std::isnan(loadExt(nan.cell())));

    const char *bad[] = {"", " ", "abc", "1e", "--1", "1.2.3", "0x10", "2 3", ".", "e5", "+-1", "Infinity", "1,5"};
    for (int slot : {kExtended, kDouble, kSingle, kLong, kQuad}) {
        for (const char *text : bad) {
            Value value(slot);
            std::memset(value.cell(), 7, 1);
            EXPECT_FALSE(value.read(text)) << slot << " '" << text << "'";
            EXPECT_EQ(static_cast<unsigned char *>(value.cell())[0], 7) << "value kept on failure";
        }
    }
}

TEST(NumberText, IntegersRoundToNearestEvenAndKeepTheLowBits) {
    struct Case { int slot; const char *text; uint64_t bits; } cases[] = {
        {kLong, "2.5", 2},          {kLong, "3.5", 4},           {kLong, "-2.5", 0xFFFFFFFE},
        {kLong, "-3.5", 0xFFFFFFFC}, {kLong, "0.5", 0},          {kLong, "1.5", 2},
        {kLong, "2.5000000000000000000001", 3}, {kLong, "2.4999999999999999999999", 2},
        {kLong, "25e-1", 2},        {kLong, "35E-1", 4},         {kLong, "1e3", 1000},
        {kLong, ".9", 1},           {kLong, "0.09", 0},          {kLong, "1e30", 1073741824},
        {kLong, "4294967297", 1},   {kLong, "Inf", 0},           {kLong, "NaN", 0},
        {kByte, "300", 44},         {kByte, "-1", 255},          {kByte, "255.5", 0},
        {kInteger, "40000", 40000}, {kInteger, "-32768", 0x8000}, {kWord, "65537", 1},
        {kDword, "-1", 0xFFFFFFFF}, {kDword, "4294967295", 0xFFFFFFFF},
        {kQuad, "18446744073709551617", 1}, {kQuad, "9223372036854775808", 0x8000000000000000ull},
        {kQuad, "-9223372036854775809", 0x7FFFFFFFFFFFFFFFull},
        {kQuad, "1e20", 7766279631452241920ull}, {kQuad, "1e100", 0},
    };
    for (auto &c : cases) {
        Value value(c.slot);
        ASSERT_TRUE(value.read(c.text)) << c.text;
        EXPECT_EQ(value.bits(), c.bits) << c.slot << " " << c.text;
    }
}

TEST(NumberText, IntegerShownForms) {
    struct Case { int slot; uint64_t bits; const char *text; } cases[] = {
        {kLong, 0xFFFFFFFB, "-5"},  {kLong, 0, " 0"},       {kLong, 0x7FFFFFFF, " 2147483647"},
        {kDword, 0xFFFFFFFF, " 4294967295"}, {kQuad, 0x8000000000000000ull, "-9223372036854775808"},
        {kByte, 255, " 255"},       {kInteger, 0x8000, "-32768"}, {kWord, 0xFFFF, " 65535"},
    };
    for (auto &c : cases) {
        Value value(c.slot);
        std::memcpy(value.cell(), &c.bits, sizeOfSlot(c.slot));
        EXPECT_EQ(value.text(), c.text);
        Value back(c.slot);
        ASSERT_TRUE(back.read(c.text));
        EXPECT_EQ(back.bits(), c.bits) << c.text;
    }
}

TEST(NumberText, NativeResultsTakeTheLowBitsOrTheFormat) {
    struct Case { int slot; intptr_t word; long double number; uint64_t bits; } cases[] = {
        {kByte, 0x1234, 0, 0x34},
        {kLong, intptr_t(0x100000005), 0, 5},
        {kQuad, -1, 0, ~0ull},
        {kWord, -2, 0, 0xFFFE},
        {kDouble, 0, 0.5L, 0x3FE0000000000000ull},
        {kSingle, 0, -2.0L, 0xC0000000},
    };
    for (auto &c : cases) {
        Value value(c.slot);
        storeNativeResult(value.type(), value.cell(), c.word, c.number);
        EXPECT_EQ(value.bits(), c.bits) << c.slot;
    }
    Value ext(kExtended);
    storeNativeResult(ext.type(), ext.cell(), 0, 1.0L / 3);
    EXPECT_TRUE(sameExt(loadExt(ext.cell()), 1.0L / 3));
}

TEST(NumberText, RandomValuesReadBackBitExact) {
    std::mt19937_64 random(296);
    for (int i = 0; i < 20000; ++i) {
        double d;
        uint64_t bits = random();
        std::memcpy(&d, &bits, 8);
        if (std::isnan(d) || d == 0) continue;
        Value shownValue(kDouble), readValue(kDouble);
        store<double>(shownValue.cell(), d);
        ASSERT_TRUE(readValue.read(shownValue.text()));
        ASSERT_EQ(readValue.bits(), bits) << shownValue.text();
    }
    for (int i = 0; i < 20000; ++i) {
        uint64_t mantissa = random() | 0x8000000000000000ull;
        uint16_t top = uint16_t(random() % 0x7FFF) | uint16_t(i % 2 ? 0x8000 : 0);
        if ((top & 0x7FFF) == 0) mantissa &= 0x7FFFFFFFFFFFFFFFull;  // a denormal
        long double v = extFromBits(mantissa, top);
        if (v == 0) continue;
        Value shownValue(kExtended), readValue(kExtended);
        storeExt(shownValue.cell(), v);
        ASSERT_TRUE(readValue.read(shownValue.text()));
        ASSERT_TRUE(sameExt(loadExt(readValue.cell()), v)) << shownValue.text();
    }
    for (int i = 0; i < 20000; ++i) {
        uint32_t bits = uint32_t(random());
        float f;
        std::memcpy(&f, &bits, 4);
        if (std::isnan(f) || f == 0) continue;
        Value shownValue(kSingle), readValue(kSingle);
        store<float>(shownValue.cell(), f);
        ASSERT_TRUE(readValue.read(shownValue.text()));
        ASSERT_EQ(readValue.bits(), bits) << shownValue.text();
    }
}

TEST(NumberText, ExtremesReadBackBitExact) {
    long double cases[] = {LDBL_MAX, LDBL_MIN, LDBL_TRUE_MIN, -LDBL_TRUE_MIN, DBL_MAX, DBL_TRUE_MIN,
                           1e-4940L, 9.999999999999999999e22L, 0.1L, 1.0L / 3, 18446744073709551615.0L};
    for (long double v : cases) {
        Value shownValue(kExtended), readValue(kExtended);
        storeExt(shownValue.cell(), v);
        ASSERT_TRUE(readValue.read(shownValue.text())) << shownValue.text();
        EXPECT_TRUE(sameExt(loadExt(readValue.cell()), v)) << shownValue.text();
    }
}

namespace {
struct ComplexValue {
    Value value{kComplex};
    void set(long double re, long double im) {
        storeExt(value.cell(), re);
        storeExt(static_cast<char *>(value.cell()) + 10, im);
    }
    long double re() const { return loadExt(value.cell()); }
    long double im() const { return loadExt(static_cast<char *>(value.cell()) + 10); }
};
} // namespace

TEST(ComplexText, ShownFormsReadBack) {
    struct Case { long double re, im; const char *text; } cases[] = {
        {3, 4, " 3+4i"},       {0, -2, "-2i"},        {0, 1, " i"},
        {0, -1, "-i"},         {5, 0, " 5"},          {0, 0, "0"},
        {3, -1, " 3-i"},       {-3, 0.5L, "-3+.5i"},  {0.5L, -0.5L, " .5-0.5i"},
        {0, 2.5L, " 2.5i"},    {1e20L, 1, " 1E+20+i"}, {2, 1e-7L, " 2+1E-07i"},
        {1, 1 / zero, " 1+Infi"}, {-1 / zero, 0, "-Inf"},
    };
    for (auto &c : cases) {
        ComplexValue shownValue, readValue;
        shownValue.set(c.re, c.im);
        EXPECT_EQ(shownValue.value.text(), c.text);
        ASSERT_TRUE(readValue.value.read(c.text)) << c.text;
        EXPECT_TRUE(sameExt(readValue.re(), c.re) && sameExt(readValue.im(), c.im)) << c.text;
    }
}

TEST(ComplexText, ReadsTermsAndTheLiteralUnit) {
    struct Case { const char *text; long double re, im; } good[] = {
        {"#i", 0, 1},    {"3+4i", 3, 4},     {"i", 0, 1},        {"-i", 0, -1},
        {"2.5", 2.5L, 0}, {"1e2i", 0, 100},  {"  -2 - 3i ", -2, -3}, {"4i+1", 1, 4},
        {"+i", 0, 1},    {"2#i", 0, 2},      {"Inf", 1 / zero, 0},
    };
    for (auto &c : good) {
        ComplexValue v;
        ASSERT_TRUE(v.value.read(c.text)) << c.text;
        EXPECT_TRUE(sameExt(v.re(), c.re) && sameExt(v.im(), c.im)) << c.text;
    }
    const char *bad[] = {"", "3+", "i2", "3 4", "x", "3+4j", "++1", "1e"};
    for (const char *text : bad) {
        ComplexValue v;
        v.set(7, 7);
        EXPECT_FALSE(v.value.read(text)) << text;
        EXPECT_EQ(v.re(), 7);
    }
}

TEST(ComplexText, RandomPartsReadBackBitExact) {
    std::mt19937_64 random(1);
    std::uniform_real_distribution<long double> part(-1e6L, 1e6L);
    for (int i = 0; i < 5000; ++i) {
        long double re = i % 3 ? part(random) : 0, im = i % 5 ? part(random) : 0;
        ComplexValue shownValue, readValue;
        shownValue.set(re, im);
        ASSERT_TRUE(readValue.value.read(shownValue.value.text()));
        ASSERT_TRUE(sameExt(readValue.re(), re) && sameExt(readValue.im(), im)) << shownValue.value.text();
    }
}
