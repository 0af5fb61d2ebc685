// Arithmetic routines: Extended, Double, Long and Complex operators, the
// conversions between numeric formats, comparisons and bitwise logic. Each is
// a leaf working directly on the record's cells.
#include <cmath>
#include <limits>

#include "routines.h"

namespace nx {
namespace {

// ---- helpers ----

// Truncating quotient and remainder through the processor's idiv, so that a
// zero divisor raises the integer-division fault the protected runner recovers
// (and INT_MIN / -1 faults too, instead of being undefined behaviour).
struct LongDivision {
    int32_t quotient;
    int32_t remainder;
};
LongDivision divideLong(int32_t x, int32_t y) {
    int32_t q, rem;
    __asm__ volatile("cltd\n\tidivl %[d]" : "=a"(q), "=&d"(rem) : "a"(x), [d] "r"(y) : "cc");
    return {q, rem};
}

// 32-bit wrap-around without signed overflow.
int32_t wrap(uint32_t v) { return static_cast<int32_t>(v); }
uint32_t bits(int32_t v) { return static_cast<uint32_t>(v); }

// x Mod y for reals: the remainder with the sign of x; a zero divisor gives 0.
template <class T> T realMod(T x, T y) { return y == 0 ? T(0) : std::fmod(x, y); }

// x to a whole power by repeated squaring; exact where the products are.
template <class T> T integerPower(T x, int32_t n) {
    uint64_t m = n < 0 ? uint64_t(-int64_t(n)) : uint64_t(n);
    T result = 1;
    while (m) {
        if (m & 1) result *= x;
        m >>= 1;
        if (m) x *= x;
    }
    return n < 0 ? T(1) / result : result;
}

// Complex cells: real part, then imaginary part, each a 10-byte Extended.
struct Complex {
    long double re, im;
};
Complex loadComplex(intptr_t cell) {
    auto *p = static_cast<const char *>(cellAt(cell));
    return {loadExt(p), loadExt(p + 10)};
}
// Writes both parts of a Complex cell.
void storeComplex(intptr_t cell, Complex v) {
    auto *p = static_cast<char *>(cellAt(cell));
    storeExt(p, v.re);
    storeExt(p + 10, v.im);
}

// The x87 compare as an unsigned branch reads it: an unordered pair (a NaN
// operand) sets both the "below" and the "equal" flag.
bool unordered(long double x, long double y) { return std::isnan(x) || std::isnan(y); }
// Stores the outcome of a comparison as the true value or 0.
void compare(OperationRecord *r, bool holds) { setOf<int32_t>(r, truth(holds)); }

// Complex to Extended keeps the real part and warns when an imaginary part is lost.
void complexToExtended(OperationRecord *r) {
    Complex c = loadComplex(r->Arg1);
    if (c.im != 0) showMessage("Data loss", kEngineCaption);
    setExt(r, c.re);
}

using R = OperationRecord;

// Extended operators (43-61).
constexpr RoutineSlot kExtended[] = {
    {43, [](R *r) { setExt(r, -xExt(r)); }},
    {44, [](R *r) { setExt(r, xExt(r)); }},
    {45, [](R *r) { setExt(r, xExt(r) / 100); }},
    {48, [](R *r) { setExt(r, xExt(r) + yExt(r)); }},
    {51, [](R *r) { setExt(r, xExt(r) - yExt(r)); }},
    {53, [](R *r) { setExt(r, xExt(r) * yExt(r)); }},
    {56, [](R *r) { setExt(r, xExt(r) / yExt(r)); }},
    {58, [](R *r) { setExt(r, realMod(xExt(r), yExt(r))); }},
    {59, [](R *r) { setExt(r, std::pow(xExt(r), yExt(r))); }},
    {60, [](R *r) { setExt(r, integerPower(xExt(r), yOf<int32_t>(r))); }},
    {61, [](R *) {}},
};

// Double operators (201-207).
constexpr RoutineSlot kDouble[] = {
    {201, [](R *r) { setOf<double>(r, xOf<double>(r) + yOf<double>(r)); }},
    {202, [](R *r) { setOf<double>(r, xOf<double>(r) - yOf<double>(r)); }},
    {203, [](R *r) { setOf<double>(r, xOf<double>(r) * yOf<double>(r)); }},
    {204, [](R *r) { setOf<double>(r, xOf<double>(r) / yOf<double>(r)); }},
    {205, [](R *r) { setOf<double>(r, realMod(xOf<double>(r), yOf<double>(r))); }},
    {206, [](R *r) { setOf<double>(r, std::pow(xOf<double>(r), yOf<double>(r))); }},
    {207, [](R *r) { setOf<double>(r, integerPower(xOf<double>(r), yOf<int32_t>(r))); }},
};

// Long operators (32-bit wrap-around; \ and Mod by 0 fault).
constexpr RoutineSlot kLong[] = {
    {47, [](R *r) { setOf<int32_t>(r, wrap(bits(xOf<int32_t>(r)) + bits(yOf<int32_t>(r)))); }},
    {50, [](R *r) { setOf<int32_t>(r, wrap(bits(xOf<int32_t>(r)) + bits(yOf<int32_t>(r)))); }},
    {52, [](R *r) { setOf<int32_t>(r, wrap(bits(xOf<int32_t>(r)) * bits(yOf<int32_t>(r)))); }},
    {55, [](R *r) { setOf<int32_t>(r, divideLong(xOf<int32_t>(r), yOf<int32_t>(r)).quotient); }},
    {57, [](R *r) { setOf<int32_t>(r, divideLong(xOf<int32_t>(r), yOf<int32_t>(r)).remainder); }},
};

// Complex operators; 190 and 191 take an Extended x and a Complex y.
constexpr RoutineSlot kComplex[] = {
    {49, [](R *r) {
         Complex x = loadComplex(r->Arg1), y = loadComplex(r->Arg2);
         storeComplex(r->Result, {x.re + y.re, x.im + y.im});
     }},
    {54, [](R *r) {
         Complex x = loadComplex(r->Arg1), y = loadComplex(r->Arg2);
         storeComplex(r->Result, {x.re * y.re - x.im * y.im, x.im * y.re + x.re * y.im});
     }},
    {190, [](R *r) {
         long double x = xExt(r);
         Complex y = loadComplex(r->Arg2);
         storeComplex(r->Result, {x + y.re, y.im});
     }},
    {191, [](R *r) {
         long double x = xExt(r);
         Complex y = loadComplex(r->Arg2);
         storeComplex(r->Result, {y.re * x, y.im * x});
     }},
};

// Conversions. To integers: round under the current control word, keep low bits.
constexpr RoutineSlot kConversions[] = {
    {24, [](R *r) { setExt(r, xOf<double>(r)); }},
    {26, [](R *r) { setExt(r, xOf<uint8_t>(r)); }},
    {27, [](R *r) { setExt(r, xOf<int16_t>(r)); }},
    {28, [](R *r) { setExt(r, xOf<uint16_t>(r)); }},
    {29, [](R *r) { setExt(r, xOf<int32_t>(r)); }},
    {30, [](R *r) { setExt(r, xOf<uint32_t>(r)); }},
    {31, [](R *r) { setExt(r, xOf<int64_t>(r)); }},
    {33, [](R *r) { setExt(r, xOf<float>(r)); }},
    {37, [](R *r) { setOf<double>(r, static_cast<double>(xExt(r))); }},
    {38, [](R *r) { setOf<float>(r, static_cast<float>(xExt(r))); }},
    {39, [](R *r) { setOf<uint16_t>(r, static_cast<uint16_t>(roundToLong(xExt(r)))); }},
    {40, [](R *r) { setOf<int32_t>(r, roundToLong(xExt(r))); }},
    {41, complexToExtended},
    // A real number as a Complex has no imaginary part: the cell's old one is cleared.
    {42, [](R *r) { storeComplex(r->Result, {xExt(r), 0}); }},
    {218, [](R *r) { setOf<int32_t>(r, roundToLong(xOf<double>(r))); }},
    {219, [](R *r) { setOf<double>(r, xOf<int32_t>(r)); }},
};

// Extended comparisons (62-67), result Long: the true value or 0.
constexpr RoutineSlot kComparisons[] = {
    {62, [](R *r) { long double x = xExt(r), y = yExt(r); compare(r, !unordered(x, y) && x > y); }},
    {63, [](R *r) { long double x = xExt(r), y = yExt(r); compare(r, !unordered(x, y) && x >= y); }},
    {64, [](R *r) { long double x = xExt(r), y = yExt(r); compare(r, unordered(x, y) || x < y); }},
    {65, [](R *r) { long double x = xExt(r), y = yExt(r); compare(r, unordered(x, y) || x <= y); }},
    {66, [](R *r) { long double x = xExt(r), y = yExt(r); compare(r, unordered(x, y) || x == y); }},
    {67, [](R *r) { long double x = xExt(r), y = yExt(r); compare(r, !unordered(x, y) && x != y); }},
};

// Bitwise logic on 32 bits (74-79).
constexpr RoutineSlot kLogic[] = {
    {74, [](R *r) { setOf<int32_t>(r, ~xOf<int32_t>(r)); }},
    {75, [](R *r) { setOf<int32_t>(r, xOf<int32_t>(r) & yOf<int32_t>(r)); }},
    {76, [](R *r) { setOf<int32_t>(r, xOf<int32_t>(r) | yOf<int32_t>(r)); }},
    {77, [](R *r) { setOf<int32_t>(r, xOf<int32_t>(r) ^ yOf<int32_t>(r)); }},
    {78, [](R *r) { setOf<int32_t>(r, ~(xOf<int32_t>(r) ^ yOf<int32_t>(r))); }},
    {79, [](R *r) { setOf<int32_t>(r, ~xOf<int32_t>(r) | yOf<int32_t>(r)); }},
};


// ---- numeric functions ----

// An angle into radians and a result out of them, in the selected unit; the sign.
long double scaledIn(long double x) { return x * angleFactors.toRadians; }
long double scaledOut(long double x) { return x * angleFactors.fromRadians; }
template <class T> T sign(T x) { return T((x > 0) - (x < 0)); }

// n! for 0 <= n <= 1750 from a table built on first use; a NaN outside it.
void factorial(OperationRecord *r) {
    static const auto table = [] {
        std::array<long double, 1751> t{};
        t[0] = 1;
        for (size_t n = 1; n < t.size(); ++n) t[n] = static_cast<long double>(n) * t[n - 1];
        return t;
    }();
    int32_t n = xOf<int32_t>(r);
    setExt(r, n >= 0 && n <= 1750 ? table[static_cast<size_t>(n)]
                                  : std::numeric_limits<long double>::quiet_NaN());
}

// The linear congruential generator behind Rand, in extended arithmetic. The
// modulus is taken by remainder with the sign of the dividend, so a seed from a
// large negative x stays negative.
constexpr long double kRandModulus = 4294967296.0L;
long double randSeed = 0;
// One step of the generator from a seed.
void advanceSeed(long double from) {
    randSeed = std::fmod(from * 1664525.0L + 1013904223.0L, kRandModulus);
}

// Rand(x): x > 0 next value, x < 0 reseed from x, x = 0 repeat. Rand(x, y): a
// whole number from x to y.
void rand(OperationRecord *r) {
    if (argCount(r) >= 2) {
        advanceSeed(randSeed);
        long double lo = xOf<int32_t>(r), hi = yOf<int32_t>(r);
        setExt(r, std::floor(randSeed / kRandModulus * (hi - lo + 1) + lo));
        return;
    }
    long double x = r->Arg1 ? xExt(r) : 1;
    if (x > 0)
        advanceSeed(randSeed);
    else if (x < 0)
        advanceSeed(x);
    setExt(r, randSeed / kRandModulus);
}

// Extended functions (85-95, 115-117); trigonometry in the selected angle unit.
constexpr RoutineSlot kExtendedFunctions[] = {
    {85, [](R *r) { setExt(r, std::sin(scaledIn(xExt(r)))); }},
    {86, [](R *r) { setExt(r, std::cos(scaledIn(xExt(r)))); }},
    {87, [](R *r) { long double a = scaledIn(xExt(r)); setExt(r, std::sin(a) / std::cos(a)); }},
    {88, [](R *r) { setExt(r, scaledOut(std::atan(xExt(r)))); }},
    {89, [](R *r) { setOf<int32_t>(r, roundToLong(std::ceil(xExt(r)))); }},
    {90, [](R *r) { setExt(r, std::fabs(xExt(r))); }},
    {91, [](R *r) { int32_t x = xOf<int32_t>(r); setOf<int32_t>(r, x < 0 ? wrap(0u - bits(x)) : x); }},
    {92, [](R *r) { setExt(r, std::exp(xExt(r))); }},
    {93, [](R *r) { setExt(r, std::log(xExt(r))); }},
    {95, [](R *r) { setExt(r, std::sqrt(xExt(r))); }},
    {115, [](R *r) { setExt(r, std::floor(xExt(r))); }},
    {116, [](R *r) { long double x = xExt(r); setExt(r, x - std::trunc(x)); }},
    {117, [](R *r) { setExt(r, sign(xExt(r))); }},
    {82, factorial},
    {198, rand},
};

// Double functions (208-216), computed in double from the scaled argument.
constexpr RoutineSlot kDoubleFunctions[] = {
    {208, [](R *r) { setOf<double>(r, std::sin(static_cast<double>(scaledIn(xOf<double>(r))))); }},
    {209, [](R *r) { setOf<double>(r, std::cos(static_cast<double>(scaledIn(xOf<double>(r))))); }},
    {210, [](R *r) {
         double a = static_cast<double>(scaledIn(xOf<double>(r)));
         setOf<double>(r, std::sin(a) / std::cos(a));
     }},
    {211, [](R *r) { setOf<double>(r, static_cast<double>(scaledOut(std::atan(xOf<double>(r))))); }},
    {212, [](R *r) { setOf<int32_t>(r, roundToLong(std::ceil(xOf<double>(r)))); }},
    {213, [](R *r) { setOf<double>(r, std::fabs(xOf<double>(r))); }},
    {214, [](R *r) { setOf<double>(r, std::exp(xOf<double>(r))); }},
    {215, [](R *r) { setOf<double>(r, std::log(xOf<double>(r))); }},
    {216, [](R *r) { setOf<double>(r, std::sqrt(xOf<double>(r))); }},
};

} // namespace

bool isLongDivisionOverflow(const OperationRecord *r) {
    auto routine = reinterpret_cast<intptr_t>(r->Routine);
    bool division = false;
    for (const RoutineSlot &s : kLong)
        if ((s.slot == 55 || s.slot == 57) && reinterpret_cast<intptr_t>(s.routine) == routine) division = true;
    return division && r->Arg1 && r->Arg2 && xOf<int32_t>(r) == INT32_MIN && yOf<int32_t>(r) == -1;
}

// This file's operator, conversion, comparison and logic routines, for the table.
std::span<const RoutineSlot> arithRoutines() {
    static const auto all =
        joinRoutines(kExtended, kDouble, kLong, kComplex, kConversions, kComparisons, kLogic);
    return all;
}

// This file's function routines, for the table.
std::span<const RoutineSlot> functionRoutines() {
    static const auto all = joinRoutines(kExtendedFunctions, kDoubleFunctions);
    return all;
}

} // namespace nx
