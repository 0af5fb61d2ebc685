// The arithmetic routines installed in the engine's routine table. Each reads
// its operand cells through Arg1/Arg2 and writes the Result cell; x87 faults
// (when unmasked) surface inside the routine or at the runner's fwait.
#include "doublemath.h"
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

// Double operands: the C library where it stands in for the x87 to the last
// unit, the x87 computed in Extended and rounded once elsewhere.
void powerDouble(OperationRecord *record) {
    writeDouble(record->Result, doublePower(readDouble(record->Arg1), readDouble(record->Arg2)));
}

void lnDouble(OperationRecord *record) {
    writeDouble(record->Result, doubleLn(readDouble(record->Arg1)));
}

void sqrtDouble(OperationRecord *record) {
    writeDouble(record->Result, doubleSqrt(readDouble(record->Arg1)));
}

} // namespace nm
