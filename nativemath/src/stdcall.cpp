// TryStdCall: calls a plain C function by address with arguments the engine
// describes, inside a protected region, and hands the result to the engine.
#include <ffi.h>

#include "faults.h"
#include "internal.h"
#include "x87.h"

namespace nm {
namespace {

constexpr intptr_t kMaxArguments = 64;

// Everything one call needs, on the caller's stack: no allocation per call.
struct CallFrame {
    ffi_cif cif;
    ffi_type *types[kMaxArguments];
    void *values[kMaxArguments];
    union {
        ffi_arg word;
        float single;
        double real;
        long double extended;
        int64_t quad;
        void *pointer;
    } result;
};

// The libffi type of an NxNativeType; nullptr for an unknown one. Void is a
// valid result type only.
ffi_type *ffiType(int32_t type) {
    switch (type) {
    case NXN_VOID: return &ffi_type_void;
    case NXN_DOUBLE: return &ffi_type_double;
    case NXN_FLOAT: return &ffi_type_float;
    case NXN_LONGDOUBLE: return &ffi_type_longdouble;
    case NXN_SINT32: return &ffi_type_sint32;
    case NXN_UINT32: return &ffi_type_uint32;
    case NXN_SINT16: return &ffi_type_sint16;
    case NXN_UINT16: return &ffi_type_uint16;
    case NXN_UINT8: return &ffi_type_uint8;
    case NXN_SINT64: return &ffi_type_sint64;
    case NXN_POINTER: return &ffi_type_pointer;
    default: return nullptr;
    }
}

// Fills the frame from the engine's description; false when the description
// cannot be called (no function, too many or unknown arguments, missing values).
bool prepareCall(CallFrame &frame, const NxNativeArg *args, intptr_t argCount, void *function,
                 int32_t resultType) {
    if (function == nullptr || argCount < 0 || argCount > kMaxArguments) return false;
    if (argCount > 0 && args == nullptr) return false;
    for (intptr_t i = 0; i < argCount; ++i) {
        frame.types[i] = ffiType(args[i].type);
        if (frame.types[i] == nullptr || args[i].type == NXN_VOID || args[i].value == nullptr) return false;
        frame.values[i] = const_cast<void *>(args[i].value);
    }
    ffi_type *returns = ffiType(resultType);
    if (returns == nullptr) return false;
    return ffi_prep_cif(&frame.cif, FFI_DEFAULT_ABI, unsigned(argCount), returns, frame.types) == FFI_OK;
}

// Makes the call inside a protected region; false with region.code set on a
// fault. Nothing in this frame owns resources: a fault leaves it by siglongjmp.
__attribute__((noinline)) bool callGuarded(Region &region, CallFrame &frame, void *function) {
    if (sigsetjmp(region.jump, 0) != 0) {
        popRegion(region);
        return false;
    }
    return runInRegion(region, [&] {
        ffi_call(&frame.cif, FFI_FN(function), &frame.result, frame.values);
        x87Wait();
    });
}

// The integer result widened to a word: signed types sign-extended, unsigned
// ones zero-extended (libffi widens narrow results to a full ffi_arg).
intptr_t integerResult(const CallFrame &frame, int32_t type) {
    switch (type) {
    case NXN_SINT32: return int32_t(frame.result.word);
    case NXN_UINT32: return intptr_t(uint32_t(frame.result.word));
    case NXN_SINT16: return int16_t(frame.result.word);
    case NXN_UINT16: return uint16_t(frame.result.word);
    case NXN_UINT8: return uint8_t(frame.result.word);
    case NXN_SINT64: return intptr_t(frame.result.quad);
    case NXN_POINTER: return reinterpret_cast<intptr_t>(frame.result.pointer);
    default: return 0;
    }
}

long double floatResult(const CallFrame &frame, int32_t type) {
    switch (type) {
    case NXN_DOUBLE: return frame.result.real;
    case NXN_FLOAT: return frame.result.single;
    case NXN_LONGDOUBLE: return frame.result.extended;
    default: return 0.0L;
    }
}

void afterCall(OperationRecord *callRecord, intptr_t wordCount) {
    if (links.afterCall) links.afterCall(callRecord, wordCount);
}

} // namespace
} // namespace nm

// A call that cannot be made (no function, a bad description) fails like a
// call to a bad address: the parameters are unwound and an access violation
// propagates. A fault restores the caller's control words before propagating.
extern "C" NOMIX296_API void TryStdCall(OperationRecord *callRecord, const NxNativeArg *args,
                                        intptr_t argCount, void *function, int32_t resultType,
                                        intptr_t wordCount) {
    using namespace nm;
    CallFrame frame;
    if (!prepareCall(frame, args, argCount, function, resultType)) {
        afterCall(callRecord, wordCount);
        throw nx::ProcessorFault(fault::kAccessViolation);
    }
    prepareThread();
    FpuControl control = captureFpuControl();
    Region region;
    bool completed;
    try {
        completed = callGuarded(region, frame, function);
    } catch (...) {
        afterCall(callRecord, wordCount);
        throw;
    }
    if (!completed) {
        restoreFpuControl(control);
        afterCall(callRecord, wordCount);
        throw nx::ProcessorFault(region.code);
    }
    if (links.storeResult)
        links.storeResult(callRecord, integerResult(frame, resultType), floatResult(frame, resultType));
    afterCall(callRecord, wordCount);
}
