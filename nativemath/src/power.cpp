// Power for the Extended and Double power routines.
#include "power.h"

#include <cmath>
#include <limits>

#include "x87.h"

namespace nm {

// Squares only while bits remain, so a base whose square alone would overflow
// does not raise an overflow fault for a result that fits.
long double integerPower(long double x, int64_t n) {
    uint64_t bits = n < 0 ? 0 - uint64_t(n) : uint64_t(n);
    long double result = 1.0L;
    long double square = x;
    while (bits != 0) {
        if (bits & 1) result *= square;
        bits >>= 1;
        if (bits != 0) square *= square;
    }
    return n < 0 ? 1.0L / result : result;
}

namespace {

// The general power once integral exponents within range are ruled out.
// An infinite y*log2 x (a zero or infinite base, an infinite exponent) would
// turn into NaN inside the split into integer and fraction; 2^t is then plainly
// +infinity or 0, so those cases are answered directly.
long double fractionalPower(long double x, long double y) {
    if (y == 0.0L) return 1.0L;
    if (x == 0.0L && std::isgreater(y, 0.0L)) return 0.0L;
    long double t = x87YLog2X(x, y);
    if (std::isinf(t)) return t > 0 ? std::numeric_limits<long double>::infinity() : 0.0L;
    return x87Exp2(t);
}

} // namespace

long double generalPower(long double x, long double y) {
    if (y == 0.0L) return 1.0L;
    if (x == 0.0L && std::isgreater(y, 0.0L)) return 0.0L;
    if (y == std::trunc(y) && std::islessequal(std::fabs(y), kMaxIntegerExponent))
        return integerPower(x, int64_t(y));
    return fractionalPower(x, y);
}

// The range test comes before rounding: converting a NaN or a huge exponent to
// a 64-bit integer would raise a spurious invalid-operation fault. An exponent
// that is not taken here is no whole number within range, so the general
// power's own test for one (a costly truncation) would always fail.
long double power(long double x, long double y) {
    if (std::islessequal(std::fabs(y), kMaxIntegerExponent)) {
        int64_t n = x87RoundToInt64(y);
        if (static_cast<long double>(n) == y) return integerPower(x, n);
    }
    return fractionalPower(x, y);
}

} // namespace nm
