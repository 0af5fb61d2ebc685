// Power as the engine defines it: exact integer powers by repeated squaring,
// everything else through 2^(y*log2 x) the x87 way.
#pragma once

#include <cstdint>

namespace nm {

// Largest exponent taken by the integer power.
constexpr long double kMaxIntegerExponent = 2147483647.0L;

// x^n by repeated squaring; the reciprocal for a negative n.
long double integerPower(long double x, int64_t n);

// x^y for any y: 1 for y = 0, 0 for x = 0 and y > 0, the integer power for
// integral y within 32 bits, else 2^(y*log2 x) (a NaN for a negative x).
long double generalPower(long double x, long double y);

// The power operator: the integer power when y rounds to itself within 32 bits,
// the general power otherwise.
long double power(long double x, long double y);

} // namespace nm
