// Run-time routines of compiled code: parameters pushed and popped around calls
// of functions with bodies and of plain C functions, addresses that are only
// known at run time, and conversion through text.
#include <algorithm>
#include <cstring>
#include <vector>
#include <string_view>

#include "cells.h"
#include "compiler.h"
#include "nomix296.h"

namespace nx {

namespace {

// Each nested call costs some hundreds of bytes of the C stack; this stays far
// below the 8 MiB main-thread stack.
constexpr int32_t kMaxCallDepth = 4000;
NxTryStdCallFn tryStdCall = nullptr;

// A value's cell and its size: a parameter's, a local's or an intermediate's.
struct CellRef {
    intptr_t address;
    int32_t size;
};

size_t wordsOf(CellRef c) { return (static_cast<size_t>(std::max(c.size, 0)) + 7) / 8; }

// Saves a value's words on the stack.
void pushCell(Vec<intptr_t> &stack, CellRef c) {
    size_t words = wordsOf(c);
    size_t at = stack.size();
    stack.resize(at + words, 0);
    if (c.address && c.size > 0) std::memcpy(&stack[at], cellAt(c.address), static_cast<size_t>(c.size));
}

void popCell(Vec<intptr_t> &stack, CellRef c) {
    size_t words = wordsOf(c);
    if (stack.size() < words) return;
    size_t at = stack.size() - words;
    if (c.address && c.size > 0) std::memcpy(cellAt(c.address), &stack[at], static_cast<size_t>(c.size));
    stack.resize(at);
}

void pushWords(Vec<intptr_t> &stack, const Item *param) { pushCell(stack, {param->address, param->size}); }
void popWords(Vec<intptr_t> &stack, const Item *param) { popCell(stack, {param->address, param->size}); }

// The variables of a function's member context that are not its parameters.
template <class F> void forEachLocal(Item *function, F f) {
    ThreadContext *mc = function->memberContext;
    if (!mc) return;
    for (Item *i : mc->items) {
        if (!i->has(flag::Variable)) continue;
        if (std::find(function->members.begin(), function->members.end(), i) != function->members.end()) continue;
        f(i);
    }
}

size_t declaredParams(Item *function) { return static_cast<size_t>(function->count); }

// The intermediate cells of a body that hold plain values. A call of the body
// from inside itself would overwrite the outer call's intermediates, so they
// are saved around such a call.
// The call's own result cell, which may be one of them, receives the result
// and is left out.
template <class F> void forEachIntermediate(Item *body, Item *out, F f) {
    auto *data = body ? static_cast<ExprData *>(body->extra) : nullptr;
    if (!data) return;
    for (Item *i : data->owned)
        if (i != out && i->role != ItemRole::Expression && i->has(flag::OwnsValue) && !i->has(flag::Constant) &&
            i->address && i->size > 0 && valueOwnsNothing(i->dataType))
            f(CellRef{i->address, i->size});
    for (const PlainCell &c : data->cells)
        if (!c.constant) f(CellRef{c.address, c.size});
}

// Pops what a call saved, on every way out, faults included: intermediates
// (when the body was re-entered), locals, then the parameters.
struct CallFrame {
    Item *function;
    Item *body;
    Item *out;
    ThreadContext *stackOwner;
    bool reentered;
    ~CallFrame() {
        Vec<intptr_t> &stack = stackOwner->valueStack;
        std::vector<CellRef> saved;
        if (reentered) {
            forEachIntermediate(body, out, [&](CellRef c) { saved.push_back(c); });
            for (auto it = saved.rbegin(); it != saved.rend(); ++it) popCell(stack, *it);
            saved.clear();
        }
        forEachLocal(function, [&](Item *i) { saved.push_back({i->address, i->size}); });
        for (auto it = saved.rbegin(); it != saved.rend(); ++it) popCell(stack, *it);
        stackOwner->callDepth--;
        function->activeCalls--;
        popParameters(function, stackOwner);
    }
};

// How a parameter or result of a plain C function is passed, by its type's name.
int32_t nativeTypeOf(const Item *type) {
    if (!type) return NXN_VOID;
    std::string_view n = type->nameView();
    struct Entry { std::string_view name; int32_t type; };
    static constexpr Entry table[] = {
        {"double", NXN_DOUBLE}, {"single", NXN_FLOAT}, {"extended", NXN_LONGDOUBLE},
        {"long", NXN_SINT32},   {"dword", NXN_UINT32}, {"integer", NXN_SINT16},
        {"word", NXN_UINT16},   {"byte", NXN_UINT8},   {"quad", NXN_SINT64},
        {"void", NXN_VOID},
    };
    for (const Entry &e : table)
        if (equalNames(n, e.name, false)) return e.type;
    return NXN_POINTER;  // texts and handles travel as addresses
}

} // namespace

void setTryStdCall(void *function) { tryStdCall = reinterpret_cast<NxTryStdCallFn>(function); }

// Undoes the copy records of a call: the first parameter was pushed last.
void popParameters(Item *function, ThreadContext *stackOwner) {
    Vec<intptr_t> &stack = stackOwner->valueStack;
    size_t n = declaredParams(function);
    for (size_t i = 0; i < n; ++i) {
        Item *param = paramAt(function, i);
        if (!param) continue;
        switch (param->passMode()) {
        case PassMode::ByRef:
            if (!stack.empty()) {
                param->address = stack.back();
                stack.pop_back();
            }
            break;
        case PassMode::ByHandle: break;
        default: popWords(stack, param);
        }
    }
}

// A copy record: saves the parameter's contents, then gives it the argument.
void copyParamRoutine(OperationRecord *r) {
    auto *param = reinterpret_cast<Item *>(r->Arg2);
    auto *owner = reinterpret_cast<ThreadContext *>(r->Result);
    Vec<intptr_t> &stack = owner->valueStack;
    switch (param->passMode()) {
    case PassMode::ByValue:
        pushWords(stack, param);
        if (param->address && r->Arg1 && param->size > 0)
            std::memcpy(cellAt(param->address), cellAt(r->Arg1), static_cast<size_t>(param->size));
        break;
    case PassMode::ByRef:
        stack.push_back(param->address);
        param->address = r->Arg1;
        break;
    case PassMode::ByExpr:
        pushWords(stack, param);
        if (param->address && param->size >= 4) store<uint32_t>(cellAt(param->address), static_cast<uint32_t>(r->Arg1));
        break;
    case PassMode::ByHandle: break;
    }
}

// Runs a function's body with its locals saved, copies the result out, and
// puts locals and parameters back, so recursion leaves the caller intact.
void bodyRunner(OperationRecord *r) {
    auto *function = reinterpret_cast<Item *>(r->Arg1);
    auto *body = reinterpret_cast<Item *>(function->address);
    ThreadContext *owner = function->context;
    if (owner->callDepth == 0) owner->abandoning = false;  // an outermost call starts afresh
    if (owner->abandoning || owner->callDepth >= kMaxCallDepth || stopRequested()) {
        // Past a limit every call of the evaluation returns at once, so that a
        // body calling itself twice unwinds in linear time.
        popParameters(function, owner);
        if (!owner->abandoning)
            raiseError(owner, stopRequested() ? nx_ErrStopped : nx_ErrTooDeep, reinterpret_cast<intptr_t>(r));
        owner->abandoning = true;
        return;
    }
    owner->callDepth++;
    bool reentered = function->activeCalls > 0;
    function->activeCalls++;
    forEachLocal(function, [&](Item *i) { pushWords(owner->valueStack, i); });
    auto *out = reinterpret_cast<Item *>(r->Arg2);
    if (reentered) forEachIntermediate(body, out, [&](CellRef c) { pushCell(owner->valueStack, c); });
    CallFrame frame{function, body, out, owner, reentered};
    if (body && body->chain) evaluationRunner()(body->chain);
    if (out && body && body->address) copyValue(body, out);
}

// Writes an operand's current address into the field of the record that
// consumes it (parameters by reference, values at run-time addresses).
void fixAddressRoutine(OperationRecord *r) {
    *reinterpret_cast<intptr_t *>(r->Arg2) = reinterpret_cast<Item *>(r->Arg1)->address;
}

// Copies the value at an operand's current address into a fixed cell.
void loadValueRoutine(OperationRecord *r) {
    auto *from = reinterpret_cast<Item *>(r->Arg1);
    auto *to = reinterpret_cast<Item *>(r->Arg2);
    if (from->address) copyValue(from, to);  // plain values copy without allocating
}

// Calls a plain C function by address with its parameters' current values.
void nativeCallRoutine(OperationRecord *r) {
    auto *function = reinterpret_cast<Item *>(r->Arg1);
    size_t n = std::min<size_t>(declaredParams(function), 64);
    if (!tryStdCall) {
        popParameters(function, function->context);
        raiseError(function->context, 11, reinterpret_cast<intptr_t>(r));
        return;
    }
    NxNativeArg args[64];
    void *pointers[64];
    long double extended[64];
    for (size_t i = 0; i < n; ++i) {
        Item *p = paramAt(function, i);
        void *cell = p ? cellAt(p->address) : nullptr;
        int32_t type = p ? nativeTypeOf(p->dataType) : NXN_POINTER;
        PassMode mode = p ? p->passMode() : PassMode::ByValue;
        if (mode == PassMode::ByRef || mode == PassMode::ByHandle) {
            pointers[i] = mode == PassMode::ByRef ? cell : static_cast<void *>(p);
            args[i] = {NXN_POINTER, &pointers[i]};
        } else if (type == NXN_POINTER) {
            pointers[i] = cell ? static_cast<void *>(cellStr(cell)) : nullptr;
            args[i] = {NXN_POINTER, &pointers[i]};
        } else if (type == NXN_LONGDOUBLE) {
            extended[i] = cell ? loadExt(cell) : 0;
            args[i] = {NXN_LONGDOUBLE, &extended[i]};
        } else {
            args[i] = {type, cell};
        }
    }
    tryStdCall(r, args, static_cast<intptr_t>(n), reinterpret_cast<void *>(function->address),
               nativeTypeOf(function->dataType), static_cast<intptr_t>(n));
}

// The result of a plain C function goes through its type's handler.
void nativeStoreResult(OperationRecord *r, intptr_t integerResult, long double extendedResult) {
    auto *function = reinterpret_cast<Item *>(r->Arg1);
    if (r->Result && function->dataType)
        storeNativeResult(function->dataType, cellAt(r->Result), integerResult, extendedResult);
}

void nativeAfterCall(OperationRecord *r, intptr_t) {
    auto *function = reinterpret_cast<Item *>(r->Arg1);
    popParameters(function, function->context);
}

} // namespace nx
