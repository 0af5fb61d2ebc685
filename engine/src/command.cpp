// The command entry `Nomix`: resolves the context, dispatches the code, parks
// text results in the context. No exception ever leaves it.
#include <cstring>
#include <new>

#include "codestubs.h"
#include "commands.h"
#include "rules.h"
#include "engine.h"
#include "fold.h"
#include "state.h"

namespace nx {

EngineState &engine() {
    static EngineState state;
    return state;
}

namespace {

// Start-up: the routine table, the default thread and its root context, and the
// native-math extension. A later call only makes a fresh default context.
intptr_t initialize() {
    EngineState &e = engine();
    if (!e.initialized) {
        e.initialized = true;
        initRoutineTable();
        setRoutine(196, reinterpret_cast<intptr_t>(&setSyntaxParamsRoutine));
        setRoutine(197, reinterpret_cast<intptr_t>(&setSyntaxParamsRoutine));
        e.defaultContext = newThread(nullptr)->context;
        loadNativeMath();
        recordPureRoutines();
        recordFoldableRoutines();
        spareCell(0);
    } else {
        e.typesRecorded = 0;
        for (Item *&t : e.firstTypes) t = nullptr;
        e.defaultContext = newThread(nullptr)->context;
    }
    return reinterpret_cast<intptr_t>(e.defaultContext);
}

// Codes 6 and 21 accept the thread handle in MiscArg1 or in t.
void swapThreadArgument(intptr_t &misc1, intptr_t &t) {
    if ((misc1 && isThreadRecord(misc1)) || (t && !isThreadRecord(t))) std::swap(misc1, t);
}

// Options and settings of the context: codes that read or write one field.
bool settingCommand(intptr_t code, Call &c, intptr_t &result) {
    ThreadContext *ctx = c.ctx;
    switch (code) {
    case 11: result = ctx->caseSensitive; return true;
    case 13: result = ctx->defaultRulePrecedence; return true;
    case 14: result = ctx->defaultRank; return true;
    case 15: result = reinterpret_cast<intptr_t>(ctx->defaultType); return true;
    case 16: result = threadHandle(engine().defaultContext); return true;
    case 17: result = c.text(strView(ctx->propertySeparator)); return true;
    case 18: result = ctx->errorCode; return true;
    case 19: result = reinterpret_cast<intptr_t>(ctx->parent); return true;
    case 20: result = c.text(strView(ctx->ruleSeparator)); return true;
    case 23: ctx->caseSensitive = static_cast<int32_t>(c.misc1); return true;
    case 25: ctx->defaultRulePrecedence = static_cast<int32_t>(c.misc1); return true;
    case 26: ctx->defaultRank = static_cast<int32_t>(c.misc1); return true;
    case 28: ctx->defaultType = reinterpret_cast<Item *>(c.misc1); return true;
    case 29: strAssign(ctx->propertySeparator, c.textArg); return true;
    case 32: strAssign(ctx->ruleSeparator, c.textArg); return true;
    case 34: result = ctx->continuation; return true;
    case 41: result = reinterpret_cast<intptr_t>(&ctx->symbols); return true;
    case 75: ctx->fpuWordEval = static_cast<uint16_t>(c.misc1); bumpFoldGeneration(); return true;
    case 76: ctx->fpuWordAfter = static_cast<uint16_t>(c.misc1); bumpFoldGeneration(); return true;
    case 77: result = ctx->fpuWordEval; return true;
    case 78: result = ctx->fpuWordAfter; return true;
    case 79:
        ctx->fpuWordEval ^= static_cast<uint16_t>(c.misc1);
        bumpFoldGeneration();
        result = ctx->fpuWordEval;
        return true;
    case 80:
        ctx->fpuWordAfter ^= static_cast<uint16_t>(c.misc1);
        bumpFoldGeneration();
        result = ctx->fpuWordAfter;
        return true;
    case 85: ctx->errorCode = 0; return true;
    case 99: result = reinterpret_cast<intptr_t>(ctx); return true;
    default: return false;
    }
}

// An address the engine will call, given by a host or the language: a stub
// stands for its routine; anything but executable code is refused with error
// 11 (0 when refused), since some of these calls happen outside any protected
// evaluation and would end the process.
intptr_t callableAddress(ThreadContext *ctx, intptr_t address) {
    address = engineCodeAddress(address);
    if (address && isExecutableAddress(address)) return address;
    ctx->errorCode = nx_ErrUndefinedCallback;
    return 0;
}

// Code 24. Slots 110 and 111 hold data cells, 0 empties a slot; any other
// slot keeps its routine when the address is refused.
void setRoutineCommand(ThreadContext *ctx, intptr_t slot, intptr_t address) {
    if (address == 0 || slot == 110 || slot == 111) {
        setRoutine(slot, address);
        return;
    }
    if (intptr_t routine = callableAddress(ctx, address)) setRoutine(slot, routine);
}

// Threads, errors, messages, routines and the character tables.
bool engineCommand(intptr_t code, Call &c, intptr_t &result) {
    ThreadContext *ctx = c.ctx;
    switch (code) {
    case 12: result = languageCodeAddress(routineAddress(c.misc1)); return true;
    case 24: setRoutineCommand(ctx, c.misc1, c.misc2); return true;
    case 27:
        engine().defaultContext = c.misc1 ? resolveContext(c.misc1) : nullptr;
        return true;
    case 30: result = raiseError(ctx, static_cast<int32_t>(c.misc1), c.misc2); return true;
    case 33: result = reinterpret_cast<intptr_t>(newThread(ctx)); return true;
    case 35: setWordChars(c.textArg); return true;
    case 36: setCharMap(static_cast<int>(c.misc1), static_cast<int>(c.misc2)); return true;
    case 40:
        if (intptr_t handler = callableAddress(ctx, c.misc1))
            result = reinterpret_cast<intptr_t>(addErrorHandler(ctx, handler));
        return true;
    case 60: result = c.text(strView(ctx->errorExpression)); return true;
    case 61: result = reinterpret_cast<intptr_t>(ctx->errorType); return true;
    case 62: result = c.text(strView(ctx->errorSymbol)); return true;
    case 63: result = ctx->errorDetail; return true;
    case 64: result = ctx->errorLocation; return true;
    case 67: result = angleUnit(); return true;
    case 68: setAngleUnit(static_cast<int>(c.misc1)); return true;
    case 91: setErrorMessage(ctx, static_cast<int32_t>(c.misc1), c.textArg, c.misc2 != 0); return true;
    case 92:
        result = c.text(errorMessage(ctx, c.misc1 ? static_cast<int32_t>(c.misc1) : ctx->errorCode));
        return true;
    case 94: selectRunner(151); return true;
    default: return false;
    }
}

intptr_t dispatch(intptr_t code, Call &c) {
    intptr_t result = 0;
    if (settingCommand(code, c, result) || engineCommand(code, c, result)) return result;
    // Definitions and item changes may give a named constant a new value.
    bumpFoldGeneration();
    if (definitionCommand(code, c, result) || evaluationCommand(code, c, result) || itemCommand(code, c, result))
        return result;
    c.ctx->errorCode = 6;
    return 0;
}

} // namespace

intptr_t Call::text(std::string_view s) {
    setTextResult(ctx, s);
    return textResultToken(ctx);
}

intptr_t command(intptr_t code, std::string_view text, intptr_t misc1, intptr_t misc2,
                 intptr_t returnPtr, intptr_t t) {
    if (code == 37) return initialize();
    if (code == 6 || code == 21) swapThreadArgument(misc1, t);
    ThreadContext *ctx = resolveContext(t);
    if (!ctx) return 0;  // nothing works before nx_Initialize
    Call c{ctx, text, misc1, misc2, returnPtr, t};
    try {
        return dispatch(code, c);
    } catch (const ProcessorFault &) {
        return 0;  // the fault's error number is already in the context
    } catch (const std::bad_alloc &) {
        raiseError(ctx, nx_ErrNoMemory, 0);
        return 0;
    } catch (...) {
        // A host callback threw: nothing may cross the library boundary.
        if (!ctx->errorCode) ctx->errorCode = 24;
        return 0;
    }
}

} // namespace nx

extern "C" NX_API intptr_t Nomix(intptr_t command, const char *textArg, intptr_t miscArg1,
                                 intptr_t miscArg2, intptr_t returnPtr, intptr_t t) {
    std::string_view text = textArg ? std::string_view(textArg, std::strlen(textArg)) : std::string_view();
    return nx::command(command, text, miscArg1, miscArg2, returnPtr, t);
}
