/*
 * nxeng296 — the Nomix expression engine.
 *
 * One command entry (Nomix) does everything that is not a hot-path evaluation:
 * definitions, parses, item properties, threads, errors and options. Natives
 * bound into the language read their arguments and write their results through
 * the nxParam* / nxReturn* accessors while the engine calls them.
 *
 * Every engine object whose address can reach the calculator language lives in
 * the engine heap, a region below 2 GiB, so handles fit in 32-bit cells.
 * Words of the C interface are pointer-sized (intptr_t).
 */
#ifndef NXENG296_H
#define NXENG296_H

#include <stddef.h>
#include <stdint.h>

#if defined(NX_BUILDING_ENGINE)
#define NX_API __attribute__((visibility("default")))
#else
#define NX_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* One step of a compiled expression. A chain ends in a record whose Routine is
 * 0 and whose Arg1 is the ThreadContext the expression was compiled in. */
typedef struct OperationRecord {
    intptr_t Arg1;    /* first operand's cell, or a sub-expression handle (ByExpr) */
    intptr_t Arg2;    /* second operand's cell */
    intptr_t Result;  /* cell that receives the result */
    intptr_t ArgList; /* ArgumentList*: count, then 1-based slots */
    intptr_t Next;    /* next record */
    intptr_t Routine; /* NxRoutine, 0 in the terminating record */
} OperationRecord;

/* ArgumentList: Slots[0] is the count n, Slots[1..n] the arguments. */
typedef struct ArgumentList {
    intptr_t Slots[1];
} ArgumentList;

typedef void (*NxRoutine)(OperationRecord *record);

/* Message block given to a data type's handler. */
typedef struct TypeRequest {
    intptr_t Value;     /* value cell concerned (messages 4, 5, 6, 8) */
    intptr_t Item;      /* the item whose value is concerned */
    intptr_t Message;   /* 2 from text, 3 to text, 4 release, 5 store native result,
                           6 copy, 7 create, 8 clear */
    intptr_t Word;      /* text handle, integer result, source cell or length */
    long double Number; /* x87 result of a native call (message 5) */
    intptr_t Context;   /* ThreadContext the value belongs to (messages 2 and 7) */
} TypeRequest;

typedef intptr_t (*NxTypeHandler)(TypeRequest *request);
typedef intptr_t (*NxErrorHandler)(intptr_t thread);

/* The command entry. Text results are parked in the context: the result is then
 * the context's address, to be passed to nxStrReturn / nxStrReturnB. */
NX_API intptr_t Nomix(intptr_t command, const char *textArg, intptr_t miscArg1,
                      intptr_t miscArg2, intptr_t returnPtr, intptr_t t);

/* Text: counted byte strings in the engine heap (4-byte length before the first
 * byte, a zero byte after the last). nxStrFree ignores 0 and the shared empty string. */
NX_API char *nxStrAlloc(const char *bytes, uint32_t length);
NX_API void nxStrFree(char *text);
NX_API uint32_t nxStrLen(const char *text);
NX_API char *nxStrReturn(intptr_t contextAddress);
NX_API const char *nxStrReturnB(intptr_t contextAddress);

/* Engine heap, for hosts that bind variables by address. Blocks are zeroed. */
NX_API void *nxAlloc(size_t size);
NX_API void nxFree(void *block);
NX_API int64_t nxHeapLiveBlocks(void);
NX_API int64_t nxHeapAllocations(void);

/* Evaluation of a parsed expression handle. */
NX_API double nxEvaluateDbl(intptr_t expr);
NX_API long double nxEvaluateExt(intptr_t expr);
NX_API intptr_t ExceptionHelper(OperationRecord *failing, uint32_t code);

/* Accessors for natives, valid only while the native runs. */
NX_API intptr_t nxParamCount(OperationRecord *record);
NX_API intptr_t nxParamHandle(OperationRecord *record, intptr_t index);
NX_API int32_t nxParamLng(OperationRecord *record, intptr_t index);
NX_API double nxParamDbl(OperationRecord *record, intptr_t index);
NX_API long double nxParamExt(OperationRecord *record, intptr_t index);
NX_API char *nxParamStr(OperationRecord *record, intptr_t index);
NX_API const char *nxParamStrB(OperationRecord *record, intptr_t index);
NX_API void nxReturnDbl(OperationRecord *record, double value);
NX_API void nxReturnExt(OperationRecord *record, long double value);
NX_API void nxReturnStr(OperationRecord *record, const char *text);
NX_API void nxSetVariableValueDbl(intptr_t item, double value);
NX_API void nxSetVariableValueExt(intptr_t item, long double value);
NX_API void nxSetVariableValueStr(intptr_t item, const char *text);

/* Threads and token-aware search. */
NX_API intptr_t nxExprThread(OperationRecord *record);
/* Text and search are String cells: 32-bit handles of counted strings. */
NX_API intptr_t nxInStr(intptr_t start, const uint32_t *text, const uint32_t *search, intptr_t mode,
                        intptr_t context);

/* Where the engine's own last-resort messages go ("Undefined Callback", "Data
 * loss"). The default writes to standard error; a desktop host shows a box. */
typedef void (*NxMessageCallback)(const char *text, const char *caption);
NX_API void nxSetMessageCallback(NxMessageCallback callback);

/* Loads an x87 control word into the x87 unit and mirrors its masks and rounding
 * into MXCSR, since Double arithmetic runs on SSE. */
NX_API void nxLoadControlWord(uint16_t word);

/* Stop flag honoured by the engine's loop routines; a host sets it (Ctrl+C). */
NX_API void nxRequestStop(int stop);
/* Declares a host routine (a native bound to an operator or function) that
 * cannot fault: it only reads its arguments and stores its result with the
 * nxParam and nxReturn accessors. Expressions compiled afterwards whose every
 * routine cannot fault skip the protected region when every fault is masked. */
NX_API void nxDeclarePure(NxRoutine routine);

/* Non-zero while the stop flag is set: long waits and loops of a host's own
 * natives end on it too. */
NX_API int nxStopRequested(void);

#ifdef __cplusplus
} /* extern "C" */

#include <cstdint>
#include <stdexcept>

namespace nx {
/* A processor fault that no error handler recovered. The protected runner throws
 * it from normal context; hosts catch it where a failing statement is skipped. */
class __attribute__((visibility("default"))) ProcessorFault : public std::runtime_error {
public:
    explicit ProcessorFault(uint32_t code)
        : std::runtime_error("processor fault"), code_(code) {}
    uint32_t code() const noexcept { return code_; }

private:
    uint32_t code_;
};
} // namespace nx
#endif

/* Command codes of the entry. */
enum {
    nx_Define = 1, nx_DefineSyntax = 2, nx_EvalDbl = 4, nx_EvalExt = 5, nx_EvalStr = 6,
    nx_EvaluateDbl = 7, nx_EvaluateExt = 8, nx_EvaluateLng = 9, nx_EvaluateStr = 10,
    nx_GetCaseSensitive = 11, nx_RoutineAddress = 12, nx_GetRulePrecedence = 13,
    nx_GetDefaultRank = 14, nx_GetDefaultType = 15, nx_DefaultThread = 16,
    nx_GetPropertySeparator = 17, nx_GetError = 18, nx_ParentContext = 19,
    nx_GetRuleSeparator = 20, nx_Parse = 21, nx_ReleaseItem = 22, nx_SetCaseSensitive = 23,
    nx_SetRoutine = 24, nx_SetRulePrecedence = 25, nx_SetDefaultRank = 26,
    nx_SetDefaultThread = 27, nx_SetDefaultType = 28, nx_SetPropertySeparator = 29,
    nx_RaiseError = 30, nx_SetRuleSeparator = 32, nx_NewThread = 33, nx_GetContinuation = 34,
    nx_SetWordChars = 35, nx_SetCharMap = 36, nx_Initialize = 37, nx_AddErrorHandler = 40,
    nx_SymbolTable = 41, nx_Param = 50, nx_Return = 51, nx_ErrorExpression = 60,
    nx_ErrorType = 61, nx_ErrorSymbol = 62, nx_ErrorDetail = 63, nx_ErrorLocation = 64,
    nx_TokenKind = 65, nx_TokenFlags = 66, nx_GetAngleUnit = 67, nx_SetAngleUnit = 68,
    nx_CopyItem = 70, nx_TypeOp71 = 71, nx_TypeOp72 = 72, nx_TypeOp73 = 73, nx_TypeOp74 = 74,
    nx_SetFpuWord = 75, nx_SetFpuWordAfter = 76, nx_GetFpuWord = 77, nx_GetFpuWordAfter = 78,
    nx_ToggleFpuWord = 79, nx_ToggleFpuWordAfter = 80, nx_ClearError = 85,
    nx_SetErrorMessage = 91, nx_GetErrorMessage = 92, nx_UseAltEvaluator = 94,
    nx_Expand = 95, nx_NextToken = 96, nx_GetItemData = 97, nx_SetItemData = 98,
    nx_GetContext = 99, nx_ReadGroup = 100
};

/* Error numbers the engine sets beyond the classic table, for the limits that
 * stop runaway input instead of crashing; hosts install their messages. */
enum {
    nx_ErrUndefinedCallback = 11, /* an address to be called is no code */
    nx_ErrTooDeep = 31,   /* nesting or recursion beyond the engine's limits */
    nx_ErrRunaway = 32,   /* a rule expansion that does not end */
    nx_ErrStopped = 33,   /* a loop stopped by the host's stop request */
    nx_ErrNoMemory = 34   /* the engine heap is exhausted, or a text would outgrow it */
};

/* Item property codes of nx_GetItemData / nx_SetItemData. */
enum {
    nx_Flags = 1, nx_Thread = 2, nx_Address = 3, nx_SymbolName = 4, nx_Rank = 5,
    nx_Precedence = 6, nx_NextItem = 7, nx_ChainLength = 8, nx_Size = 9, nx_Count = 10,
    nx_DataType = 12, nx_Handle = 13, nx_Value = 14, nx_TextConversion = 15
};

#endif /* NXENG296_H */
