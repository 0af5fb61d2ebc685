/*
 * libNomix296 — the native-math extension of the Nomix engine.
 *
 * The engine loads it at start-up and calls Handshake, through which the library
 * installs its protected chain runner, a plain runner, and its power, logarithm
 * and square-root routines in the engine's routine table. TryStdCall calls a plain
 * C function by address with arguments the engine describes, inside a protected
 * region.
 */
#ifndef NOMIX296_H
#define NOMIX296_H

#include <stdint.h>

#include "nxeng296.h"

#define NOMIX296_API __attribute__((visibility("default")))

#ifdef __cplusplus
extern "C" {
#endif

typedef intptr_t (*NxCommandEntry)(intptr_t command, const char *textArg, intptr_t miscArg1,
                                   intptr_t miscArg2, intptr_t returnPtr, intptr_t t);
/* Stores a native call's result into the call record's Result cell through the
 * result type's handler. */
typedef void (*NxStoreResult)(OperationRecord *callRecord, intptr_t integerResult,
                              long double extendedResult);
/* Unwinds the words a native call pushed on the engine's value stack and puts the
 * parameters' saved contents back. */
typedef void (*NxAfterCall)(OperationRecord *callRecord, intptr_t wordCount);

/* How one argument or the result of a plain C function is passed. */
typedef enum NxNativeType {
    NXN_VOID = 0,
    NXN_DOUBLE = 1,
    NXN_FLOAT = 2,
    NXN_LONGDOUBLE = 3,
    NXN_SINT32 = 4,
    NXN_UINT32 = 5,
    NXN_SINT16 = 6,
    NXN_UINT16 = 7,
    NXN_UINT8 = 8,
    NXN_SINT64 = 9,
    NXN_POINTER = 10
} NxNativeType;

typedef struct NxNativeArg {
    int32_t type;       /* NxNativeType */
    const void *value;  /* address of the argument's value (for NXN_POINTER: of the pointer) */
} NxNativeArg;

NOMIX296_API void Handshake(NxCommandEntry command, NxStoreResult storeResult,
                            NxAfterCall afterCall);

/* Calls function(args...) inside a protected region. On return: storeResult with
 * the integer result (signed types sign-extended, unsigned ones zero-extended; 0
 * for floating and void results) and, for floating results, the value as long
 * double (else 0); then afterCall(callRecord, wordCount). On a fault: the caller's
 * x87 and SSE control words are restored, afterCall runs, and the fault propagates
 * as nx::ProcessorFault; any other exception from the function also runs
 * afterCall and passes through unchanged.
 * At most 64 arguments; NXN_VOID is a result type only. A call that cannot be
 * made (no function, an unknown type, too many arguments, an argument without a
 * value) is unwound with afterCall and fails as an access violation (0xC0000005). */
NOMIX296_API void TryStdCall(OperationRecord *callRecord, const NxNativeArg *args,
                             intptr_t argCount, void *function, int32_t resultType,
                             intptr_t wordCount);

typedef void (*NxHandshakeFn)(NxCommandEntry, NxStoreResult, NxAfterCall);
typedef void (*NxTryStdCallFn)(OperationRecord *, const NxNativeArg *, intptr_t, void *, int32_t,
                               intptr_t);

#ifdef __cplusplus
}
#endif

#endif /* NOMIX296_H */
