// The error model: error numbers in the failing context, messages per context
// with fall-back to the parents, and handlers called in registration order.
#include <vector>

#include "engine.h"

namespace nx {

void setError(ThreadContext *ctx, int32_t code) { ctx->errorCode = code; }

// Calls every handler of the context in registration order with the thread
// handle; the last result counts. A handler may register or release handlers,
// so the list is copied first.
intptr_t callHandlers(ThreadContext *ctx) {
    std::vector<Item *> handlers(ctx->handlers.begin(), ctx->handlers.end());
    intptr_t result = 0;
    for (Item *h : handlers) {
        auto fn = reinterpret_cast<NxErrorHandler>(h->address);
        if (fn) result = fn(threadHandle(ctx));
    }
    return result;
}

intptr_t raiseError(ThreadContext *ctx, int32_t code, intptr_t detail) {
    ctx->errorCode = code;
    ctx->errorDetail = detail;
    intptr_t result = callHandlers(ctx);
    ctx->errorDetail = 0;
    return result;
}

namespace {
// The message stored for a number in this context or the nearest parent, if any.
NxStr findMessage(ThreadContext *ctx, int32_t code) {
    if (code < 0) return nullptr;
    for (ThreadContext *c = ctx; c; c = c->parent) {
        if (static_cast<size_t>(code) < c->messages.size() && c->messages[code])
            return c->messages[code];
    }
    return nullptr;
}
} // namespace

// The message for a number; numbers without one get the message of number 4.
std::string_view errorMessage(ThreadContext *ctx, int32_t code) {
    NxStr m = findMessage(ctx, code);
    if (!m) m = findMessage(ctx, 4);
    return strView(m);
}

// Stores a message; replacing an existing one without the replace flag sets
// error 12, though the new text is kept all the same.
void setErrorMessage(ThreadContext *ctx, int32_t code, std::string_view text, bool replace) {
    if (code < 0) return;
    if (ctx->messages.size() <= static_cast<size_t>(code)) ctx->messages.resize(code + 1, nullptr);
    NxStr &slot = ctx->messages[code];
    bool existed = slot != nullptr;
    NxStr old = slot;
    slot = strFresh(text.data(), static_cast<uint32_t>(text.size()));
    strFree(old);
    if (existed && !replace) ctx->errorCode = 12;
}

// Appends a handler record bound to ctx; its value address is the entry point.
Item *addErrorHandler(ThreadContext *ctx, intptr_t callback) {
    Item *h = newItem(ctx);
    h->flags = flag::Handler;
    h->role = ItemRole::HandlerRecord;
    h->address = callback;
    ctx->handlers.push_back(h);
    return h;
}

} // namespace nx
