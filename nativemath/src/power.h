// Power as the engine defines it: exact integer powers by repeated squaring,
// everything else through 2^(y*log2 x) the x87 way.
#pragma once

#include <cmath>
#include <cstdint>

namespace nm {

// Largest exponent taken by the integer power.
constexpr long double kMaxIntegerExponent = 2147483647.0L;

// x^n by repeated squaring; the reciprocal for a negative n.
long double integerPower(long double x, int64_t n);

// x^y for any y: 1 for y = 0, 0 for x = 0 and y > 0, the integer power for
// integral y within 32 bits, else 2^(y*log2 x) (a NaN for a negative x).
long double generalPower(long double x, long double y);

// True with n set when y is a whole number within the integer power's range
// (a NaN or a fraction is not). Truncation finds the same n as rounding does
// for a whole number, without a trip through memory. The comparisons are the
// quiet ones: a NaN exponent must not raise an unmasked invalid fault here.
inline bool integralExponent(double y, int64_t &n) {
    if (!std::islessequal(std::fabs(y), 2147483647.0)) return false;
    n = static_cast<int64_t>(y);
    return static_cast<double>(n) == y;
}

// The power operator: the integer power when y rounds to itself within 32 bits,
// the general power otherwise.
long double power(long double x, long double y);

} // namespace nm
