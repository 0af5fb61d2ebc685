// The interface host natives use while the engine calls them: reading their
// arguments, delivering results, setting variables, fetching text results,
// finding the evaluating thread, and the engine's own message channel.
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

#include "fold.h"
#include "routines.h"

namespace nx {
namespace {

std::atomic<NxMessageCallback> messageCallback{nullptr};

// Without a host callback, a message is a line on standard error.
void printMessage(const char *text, const char *caption) { std::fprintf(stderr, "%s: %s\n", caption, text); }

// The cell whose address is the third pointer-sized word of a record (its
// Result) or of an item (its value address): one layout serves both.
void *thirdWordCell(intptr_t handle) { return cellAt(reinterpret_cast<const intptr_t *>(handle)[2]); }

// Text of a zero-terminated byte string, empty for a null pointer.
std::string_view zText(const char *text) { return text ? std::string_view(text, std::strlen(text)) : std::string_view(); }

// The string a context's last text-returning command parked there.
NxStr parkedText(intptr_t contextAddress) {
    auto *ctx = reinterpret_cast<ThreadContext *>(contextAddress);
    return ctx ? ctx->stringReturn : nullptr;
}

// The chain's own context, or its nearest ancestor with token patterns: the
// context that owns the names the expression was compiled with.
ThreadContext *owningContext(OperationRecord *r) {
    OperationRecord *end = chainEnd(r);
    auto *c = end ? reinterpret_cast<ThreadContext *>(end->Arg1) : nullptr;
    while (c && c->patterns.empty() && c->parent) c = c->parent;
    return c;
}

} // namespace

// Hands an engine message to the host's callback, or prints it.
void showMessage(std::string_view text, std::string_view caption) {
    std::string t(text), c(caption);
    NxMessageCallback callback = messageCallback.load();
    (callback ? callback : printMessage)(t.c_str(), c.c_str());
}

// The context a routine raises its errors in and creates its work items in.
ThreadContext *recordContext(OperationRecord *r) {
    ThreadContext *c = owningContext(r);
    return c ? c : defaultContext();
}

} // namespace nx

// Natives read argument i (1-based) with the accessor of its declared type and
// write their result with the nxReturn form of theirs; nothing is checked.
extern "C" {

NX_API intptr_t nxParamCount(OperationRecord *record) { return nx::argCount(record); }

NX_API intptr_t nxParamHandle(OperationRecord *record, intptr_t index) { return nx::argSlot(record, index); }

NX_API int32_t nxParamLng(OperationRecord *record, intptr_t index) { return nx::argOf<int32_t>(record, index); }

NX_API double nxParamDbl(OperationRecord *record, intptr_t index) { return nx::argOf<double>(record, index); }

NX_API long double nxParamExt(OperationRecord *record, intptr_t index) { return nx::argExt(record, index); }

// A copy of the argument's string, owned by the caller.
NX_API char *nxParamStr(OperationRecord *record, intptr_t index) {
    return nx::strAlloc(nx::cellText(nx::argCell(record, index)));
}

// The argument string's own bytes, zero-terminated; never a null pointer.
NX_API const char *nxParamStrB(OperationRecord *record, intptr_t index) {
    nx::NxStr s = nx::cellStr(nx::argCell(record, index));
    return s ? s : nx::sharedEmpty();
}

NX_API void nxReturnDbl(OperationRecord *record, double value) {
    nx::store<double>(nx::thirdWordCell(reinterpret_cast<intptr_t>(record)), value);
}

NX_API void nxReturnExt(OperationRecord *record, long double value) {
    nx::storeExt(nx::thirdWordCell(reinterpret_cast<intptr_t>(record)), value);
}

// Replaces the result cell's string, releasing the one it held.
NX_API void nxReturnStr(OperationRecord *record, const char *text) {
    nx::cellAssign(nx::thirdWordCell(reinterpret_cast<intptr_t>(record)), nx::zText(text));
}

// A constant given a new value makes the values folded from it stale.
static void noteValueChange(intptr_t item) {
    auto *i = reinterpret_cast<const nx::Item *>(item);
    if (nx::isLiveItem(i) && i->has(nx::flag::Constant)) nx::bumpFoldGeneration();
}

NX_API void nxSetVariableValueDbl(intptr_t item, double value) {
    nx::store<double>(nx::thirdWordCell(item), value);
    noteValueChange(item);
}

NX_API void nxSetVariableValueExt(intptr_t item, long double value) {
    nx::storeExt(nx::thirdWordCell(item), value);
    noteValueChange(item);
}

NX_API void nxSetVariableValueStr(intptr_t item, const char *text) {
    nx::cellAssign(nx::thirdWordCell(item), nx::zText(text));
}

// A new copy of a context's text result; the caller owns it.
NX_API char *nxStrReturn(intptr_t contextAddress) {
    return nx::strAlloc(nx::strView(nx::parkedText(contextAddress)));
}

// The bytes of a context's text result, valid until its next text result.
NX_API const char *nxStrReturnB(intptr_t contextAddress) {
    nx::NxStr s = nx::parkedText(contextAddress);
    return s ? s : nx::sharedEmpty();
}

// The thread a running record's chain belongs to, for natives that call the
// command entry on the evaluating thread.
NX_API intptr_t nxExprThread(OperationRecord *record) { return nx::threadHandle(nx::owningContext(record)); }

// Replaces where the engine's own messages go; nullptr restores standard error.
NX_API void nxSetMessageCallback(NxMessageCallback callback) { nx::messageCallback.store(callback); }

} // extern "C"
