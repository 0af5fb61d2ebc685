// Temporary weak stand-ins so the library links while its phases are built.
// Each real definition replaces its stand-in; this file goes when all exist.
#include "engine.h"

#define W __attribute__((weak))
namespace nx {
W intptr_t command(intptr_t, std::string_view, intptr_t, intptr_t, intptr_t, intptr_t) { return 0; }
W Item *newThread(ThreadContext *) { return nullptr; }
W void releaseThread(Item *) {}
W Item *newItem(ThreadContext *) { return nullptr; }
W void releaseItem(Item *) {}
W void setTextResult(ThreadContext *, std::string_view) {}
W intptr_t textResultToken(ThreadContext *) { return 0; }
W bool isThreadRecord(intptr_t) { return false; }
W Item *lookupName(ThreadContext *, std::string_view, bool) { return nullptr; }
W Item *lookupLocal(ThreadContext *, std::string_view) { return nullptr; }
W void registerName(ThreadContext *, Item *, int32_t) {}
W void unregisterName(Item *) {}
W int32_t chainPosition(Item *) { return 0; }
W void setError(ThreadContext *ctx, int32_t code) { if (ctx) ctx->errorCode = code; }
W intptr_t callHandlers(ThreadContext *) { return 0; }
W intptr_t raiseError(ThreadContext *ctx, int32_t code, intptr_t) { if (ctx) ctx->errorCode = code; return 0; }
W std::string_view errorMessage(ThreadContext *, int32_t) { return {}; }
W Item *define(ThreadContext *, std::string_view, intptr_t, intptr_t, intptr_t) { return nullptr; }
W Item *defineRule(ThreadContext *, std::string_view, int32_t, uint32_t) { return nullptr; }
W std::string expand(ThreadContext *, std::string_view text) { return std::string(text); }
W Item *parse(ThreadContext *, std::string_view, Item *) { return nullptr; }
W void releaseExpression(Item *) {}
W void createValue(Item *, ThreadContext *) {}
W void releaseValue(Item *) {}
W void clearValue(Item *) {}
W Item *copyItem(Item *, Item *target) { return target; }
W std::string valueToText(Item *) { return {}; }
W bool valueFromText(Item *, std::string_view, ThreadContext *) { return false; }
W void storeNativeResult(Item *, void *, intptr_t, long double) {}
W intptr_t convertThroughText(Item *, Item *) { return 0; }
W intptr_t copyValue(Item *, Item *) { return 0; }
W intptr_t callTypeHandler(Item *, TypeRequest &) { return 0; }
W NxTypeHandler typeHandlerForSlot(int) { return nullptr; }
W ThreadContext *resolveContext(intptr_t) { return nullptr; }
W ThreadContext *defaultContext() { return nullptr; }
W ItemList *listNew(uint32_t, intptr_t) { return nullptr; }
W void listInsert(ItemList *, uint32_t, intptr_t) {}
W void listAppend(ItemList *, intptr_t) {}
W intptr_t listRemove(ItemList *, uint32_t) { return 0; }
W void listFree(ItemList *) {}
} // namespace nx
namespace nx {
W void nativeStoreResult(OperationRecord *, intptr_t, long double) {}
W void nativeAfterCall(OperationRecord *, intptr_t) {}
W void setTryStdCall(void *) {}
}
