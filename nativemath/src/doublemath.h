// The Double logarithm and power. Where the C library's log and pow agree with
// the x87 computation (its Extended result rounded once to a Double) to within
// a unit of the last place and raise the same faults, they are used: they take
// a few nanoseconds where fyl2x alone takes over twenty. Everything else, and
// every operand whose faults or special results the two could treat
// differently, keeps the x87 path.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

#include "power.h"
#include "x87.h"

namespace nm {

// The x87 paths, rounded once to a Double (an unmasked overflow or underflow
// of that rounding traps inside them).
double doubleLnX87(double x);
double doublePowerX87(double x, double y);
double doubleSqrtX87(double x);

// The processor's own Double square root and product (sqrtsd, mulsd): one
// rounding, where the x87 rounds to 64 bits first and then to 53.
inline double sseSqrt(double x) {
    __asm__("sqrtsd %1, %0" : "=x"(x) : "x"(x));
    return x;
}

// True for a positive normal Double: not zero, denormal, infinite or NaN.
// Tested on the bits, so not even a signalling NaN raises a fault here.
inline bool positiveNormal(double x) {
    return std::bit_cast<uint64_t>(x) - 0x0010000000000000u < 0x7FE0000000000000u;
}

inline bool finiteDouble(double x) {
    return (std::bit_cast<uint64_t>(x) & 0x7FF0000000000000u) != 0x7FF0000000000000u;
}

// The library's results stand in for the x87's only under round-to-nearest
// with 64-bit precision, and with the inexact, underflow and denormal faults
// masked: the library raises those where the x87 may not (an exact 4^0.5, a
// denormal inside its own steps). Invalid operation, division by zero and
// overflow may be unmasked: for the operands taken here the library raises
// only overflow, exactly where the rounded x87 result overflows.
inline bool libraryStandsIn() {
    return (currentControlWord() & 0x0F32) == 0x0332;
}

// ln x: log for a positive normal x, the x87 for 0, negatives, denormals,
// infinities and NaNs (their results and faults are the x87's own).
inline double doubleLn(double x) {
    if (positiveNormal(x) && libraryStandsIn()) return std::log(x);
    return doubleLnX87(x);
}

// x^y: whole exponents within 32 bits keep the integer power (exact where
// repeated multiplication is, and x^2 must match the compiled square); a
// positive normal base with any other finite exponent takes pow; the rest
// (zero, negative, denormal or non-finite bases, non-finite exponents) the x87.
inline double doublePower(double x, double y) {
    int64_t n = 0;
    if (integralExponent(y, n)) {
        // The square, the most common power, as the compiled x^2 computes it.
        if (n == 2 && libraryStandsIn()) return x * x;
        return x87ToDouble(integerPower(x, n));
    }
    if (positiveNormal(x) && finiteDouble(y) && libraryStandsIn()) return std::pow(x, y);
    return x87ToDouble(power(x, y));
}

// √x: the processor's Double square root under the words where the library
// stands in (it is correctly rounded, so within a unit of the x87's twice
// rounded result, and faults alike: invalid for negatives), else the x87.
inline double doubleSqrt(double x) {
    if (libraryStandsIn()) return sseSqrt(x);
    return doubleSqrtX87(x);
}

} // namespace nm
