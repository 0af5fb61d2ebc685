// Threads, contexts and item lifetimes.
#include "context.h"

#include <algorithm>

#include "engine.h"
#include "state.h"

namespace nx {

namespace {

// Removes one pointer from an engine list, keeping the order of the rest; true
// when it was there. The search starts at the newest end, where what is
// released usually lies.
template <class T> bool eraseOne(Vec<T> &list, T value) {
    auto it = std::find(list.rbegin(), list.rend(), value);
    if (it == list.rend()) return false;
    list.erase(std::next(it).base());
    return true;
}

// Settings a child inherits from its parent; a root gets the engine's defaults.
void inheritSettings(ThreadContext *ctx, ThreadContext *parent) {
    if (parent) {
        ctx->defaultType = parent->defaultType;
        ctx->defaultRank = parent->defaultRank;
        ctx->defaultRulePrecedence = parent->defaultRulePrecedence;
        ctx->propertySeparator = strAlloc(strView(parent->propertySeparator));
        ctx->ruleSeparator = strAlloc(strView(parent->ruleSeparator));
    } else {
        ctx->propertySeparator = strAlloc("~~");
        ctx->ruleSeparator = strAlloc("::=");
        setAngleUnit(1);
    }
}

} // namespace

ThreadContext *defaultContext() { return engine().defaultContext; }

// Resolves the context of a command: the second word of the record t points to
// (a thread record, or any item), else the default context.
ThreadContext *resolveContext(intptr_t t) {
    if (t && isLiveItem(reinterpret_cast<void *>(t))) {
        ThreadContext *c = reinterpret_cast<Item *>(t)->context;
        if (c && heapContains(c)) return c;
    }
    return engine().defaultContext;
}

bool isThreadRecord(intptr_t word) {
    if (!word || !isLiveItem(reinterpret_cast<void *>(word))) return false;
    return (static_cast<uint32_t>(reinterpret_cast<Item *>(word)->flags) & flag::Thread) != 0;
}

// Creates a thread record and its context, a child of parent (or a root).
Item *newThread(ThreadContext *parent) {
    ThreadContext *ctx = heapNew<ThreadContext>();
    ctx->parent = parent;
    inheritSettings(ctx, parent);
    Item *record = heapNew<Item>();
    record->flags = flag::Thread;
    record->role = ItemRole::ThreadRecord;
    record->context = ctx;
    ctx->thread = record;
    return record;
}

// Releases a thread's whole context: its items newest first, handlers,
// messages, texts and pending state.
void releaseThread(Item *thread) {
    ThreadContext *ctx = thread->context;
    if (ctx) {
        while (!ctx->items.empty()) releaseItem(ctx->items.back());
        while (!ctx->handlers.empty()) releaseItem(ctx->handlers.back());
        while (!ctx->patterns.empty()) releaseItem(ctx->patterns.back());
        for (NxStr m : ctx->messages) strFree(m);
        discardPending(ctx);
        for (NxStr *s : {&ctx->propertySeparator, &ctx->ruleSeparator, &ctx->errorExpression,
                         &ctx->errorSymbol, &ctx->stringReturn})
            strFree(*s);
        if (engine().defaultContext == ctx) engine().defaultContext = nullptr;
        heapDelete(ctx);
    }
    heapDelete(thread);
}

Item *newItem(ThreadContext *ctx) {
    Item *item = heapNew<Item>();
    item->context = ctx;
    return item;
}

// Undoes a definition: the item leaves its context's lists and the symbol table,
// and everything it owns goes with it.
void releaseItem(Item *item) {
    if (!item) return;
    if (item->role == ItemRole::ThreadRecord) {
        releaseThread(item);
        return;
    }
    ThreadContext *ctx = item->context;
    if (ctx) {
        eraseOne(ctx->items, item);
        eraseOne(ctx->handlers, item);
        if (eraseOne(ctx->patterns, item)) ctx->patternsVersion++;
    }
    unregisterName(item);
    if (item->closing) {
        // A bracket pair: the partner forgets us; an opener takes its closer along.
        Item *partner = item->closing;
        partner->closing = nullptr;
        item->closing = nullptr;
        if (item->kind() == static_cast<uint32_t>(TokenKind::Open)) releaseItem(partner);
    }
    if (item->role == ItemRole::Expression) {
        releaseExpression(item);
        return;
    }
    releaseItemData(item);
    if (item->memberContext) {
        Item *members = item->memberContext->thread;
        item->memberContext = nullptr;
        releaseThread(members);
    }
    releaseValue(item);
    if (item->regex) freePattern(item->regex);
    if (item->closingRegex) freePattern(item->closingRegex);
    strFree(item->name);
    strFree(item->textData);
    heapDelete(item);
}

void setTextResult(ThreadContext *ctx, std::string_view text) {
    NxStr old = ctx->stringReturn;
    ctx->stringReturn = strFresh(text.data(), static_cast<uint32_t>(text.size()));
    strFree(old);
}

intptr_t textResultToken(ThreadContext *ctx) { return reinterpret_cast<intptr_t>(ctx); }

} // namespace nx
