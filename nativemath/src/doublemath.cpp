// The x87 paths of the Double logarithm and power, out of line: they serve the
// operands and control words the C library does not.
#include "doublemath.h"

namespace nm {

double doubleLnX87(double x) { return x87ToDouble(x87Ln(x)); }

double doubleSqrtX87(double x) { return x87ToDouble(x87Sqrt(x)); }

// The power as the Extended routine computes it, rounded once.
double doublePowerX87(double x, double y) {
    int64_t n = 0;
    long double result = integralExponent(y, n) ? integerPower(x, n) : power(x, y);
    return x87ToDouble(result);
}

} // namespace nm
