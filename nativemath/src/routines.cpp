// The arithmetic routines installed in the engine's routine table. Each reads
// its operand cells through Arg1/Arg2 and writes the Result cell; x87 faults
// (when unmasked) surface inside the routine or at the runner's fwait.
#include "internal.h"
#include "power.h"
#include "x87.h"

namespace nm {

void addExtended(OperationRecord *record) {
    writeExtended(record->Result, readExtended(record->Arg1) + readExtended(record->Arg2));
}

void powerExtended(OperationRecord *record) {
    writeExtended(record->Result, power(readExtended(record->Arg1), readExtended(record->Arg2)));
}

void lnExtended(OperationRecord *record) {
    writeExtended(record->Result, x87Ln(readExtended(record->Arg1)));
}

void sqrtExtended(OperationRecord *record) {
    writeExtended(record->Result, x87Sqrt(readExtended(record->Arg1)));
}

// Double operands, computed in Extended and rounded once on the way out. An
// integral exponent (x^2 above all) is recognised on the Double itself, where
// the test is cheap; it takes the integer power just as power() would.
void powerDouble(OperationRecord *record) {
    double y = readDouble(record->Arg2);
    int64_t n = 0;
    long double result = integralExponent(y, n) ? integerPower(readDouble(record->Arg1), n)
                                                : power(readDouble(record->Arg1), y);
    writeDouble(record->Result, x87ToDouble(result));
}

void lnDouble(OperationRecord *record) {
    writeDouble(record->Result, x87ToDouble(x87Ln(readDouble(record->Arg1))));
}

void sqrtDouble(OperationRecord *record) {
    writeDouble(record->Result, x87ToDouble(x87Sqrt(readDouble(record->Arg1))));
}

} // namespace nm
