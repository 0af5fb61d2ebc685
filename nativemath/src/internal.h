// Shared internals of libNomix296: the engine's entry points handed over by
// Handshake, the routines it installs, and the runners.
#pragma once

#include <cstdint>

// nx::ProcessorFault crosses from this library into the engine and its hosts;
// its type information must be visible so every module agrees on the type.
#pragma GCC visibility push(default)
#include "nomix296.h"
#pragma GCC visibility pop

namespace nm {

// The engine's recovery routine: given the failing record and the fault code,
// the record to resume at, or 0 to let the fault propagate.
using RecoverFn = intptr_t (*)(OperationRecord *failing, uint32_t code);

// What the engine gave us at start-up; written once, read-only afterwards.
struct EngineLinks {
    NxCommandEntry command = nullptr;
    NxStoreResult storeResult = nullptr;
    NxAfterCall afterCall = nullptr;
    RecoverFn recover = nullptr;
};
extern EngineLinks links;

// Routines installed in the engine's routine table (cells as the engine lays them out).
void addExtended(OperationRecord *record);
void powerExtended(OperationRecord *record);
void lnExtended(OperationRecord *record);
void sqrtExtended(OperationRecord *record);
void powerDouble(OperationRecord *record);
void lnDouble(OperationRecord *record);
void sqrtDouble(OperationRecord *record);

// Chain runners: the protected one recovers processor faults, the plain one does not.
void protectedRunner(OperationRecord *first);
void plainRunner(OperationRecord *first);

} // namespace nm
