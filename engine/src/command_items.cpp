// Item properties (codes 97 and 98) and the value operations (70 to 74).
#include <cstring>

#include "cells.h"
#include "codestubs.h"
#include "commands.h"
#include "engine.h"

namespace nx {

namespace {

// 1-based position of a token pattern in its context's list, searching this
// context and then its parents.
intptr_t patternRank(ThreadContext *ctx, Item *item) {
    for (ThreadContext *c = ctx; c; c = c->parent)
        for (size_t i = 0; i < c->patterns.size(); ++i)
            if (c->patterns[i] == item) return static_cast<intptr_t>(i + 1);
    return 0;
}

bool isPattern(Item *item) { return item->regex != nullptr; }

// Reads one property; text results are parked through the call.
intptr_t getProperty(Call &c, Item *item, intptr_t property, bool &known) {
    known = true;
    switch (property) {
    case 1: return static_cast<uint32_t>(item->flags);
    case 2: return threadHandle(item->context);
    // A routine's address reaches the language through its stub; a variable's
    // storage lies in the engine heap and fits as it is.
    case 3: return item->has(flag::Variable) ? item->address : languageCodeAddress(item->address);
    case 4: return c.text(item->nameView());
    case 5: return isPattern(item) ? patternRank(c.ctx, item) : chainPosition(item);
    case 6: return item->precedence;
    case 7: return reinterpret_cast<intptr_t>(item->next);
    case 8: {
        intptr_t n = 0;
        for (Item *i = item; i; i = i->next) ++n;
        return n;
    }
    case 9: return item->size;
    case 10: return item->count;
    case 12: return reinterpret_cast<intptr_t>(item->dataType);
    case 13: return reinterpret_cast<intptr_t>(item);
    case 14:
        if (c.returnPtr && item->address && item->size > 0)
            std::memcpy(reinterpret_cast<void *>(c.returnPtr), cellAt(item->address), item->size);
        return 0;
    case 15: return item->userValue;
    default: known = false; return 0;
    }
}

// Renames an item: it leaves the symbol table and, with a non-empty name, comes
// back under the new one.
void rename(Item *item, std::string_view name) {
    unregisterName(item);
    strAssign(item->name, name);
    if (!name.empty() && item->context) registerName(item->context, item, 1);
}

bool setProperty(Call &c, Item *item, intptr_t property) {
    intptr_t v = c.returnPtr;
    switch (property) {
    case 1: item->flags = static_cast<uint32_t>(v); return true;
    case 2: case 5: case 8: case 12: case 13: return true;
    case 3: item->address = v; return true;
    case 4:
        if (c.textArg.empty() && !mayUnname(item)) {
            c.ctx->errorCode = 13;  // "This item cannot be modified"
            return true;
        }
        rename(item, c.textArg);
        return true;
    case 6: item->precedence = static_cast<int32_t>(v); return true;
    case 9: item->size = static_cast<int32_t>(v); return true;
    case 10: item->count = static_cast<int32_t>(v); return true;
    case 14:
        if (v && item->address && item->size > 0)
            std::memcpy(cellAt(item->address), reinterpret_cast<void *>(v), item->size);
        return true;
    case 15: item->userValue = v; return true;
    default: return false;
    }
}

// Code 97. By name, a property that yields 0 tries the next item of the name;
// property 13 with a mask walks to the first item having every bit of it.
intptr_t getItemData(Call &c) {
    intptr_t property = c.misc2;
    Item *item = !c.textArg.empty() ? lookupName(c.ctx, c.textArg)
                                    : (isLiveItem(reinterpret_cast<void *>(c.misc1))
                                           ? reinterpret_cast<Item *>(c.misc1) : nullptr);
    if (!item) {
        if (property != 13) c.ctx->errorCode = 3;
        return 0;
    }
    if (property == 13 && c.returnPtr) {
        uint32_t mask = static_cast<uint32_t>(c.returnPtr);
        for (Item *i = item; i; i = i->next)
            if ((static_cast<uint32_t>(i->flags) & mask) == mask) return reinterpret_cast<intptr_t>(i);
        return 0;
    }
    bool known = false;
    intptr_t result = getProperty(c, item, property, known);
    if (!known) {
        c.ctx->errorCode = 6;
        return 0;
    }
    if (!c.textArg.empty() && property != 4)
        for (Item *i = item->next; result == 0 && i; i = i->next) result = getProperty(c, i, property, known);
    return result;
}

// Code 98: by handle, or by name when the handle is 0.
intptr_t setItemData(Call &c) {
    Item *item = c.misc1 ? (isLiveItem(reinterpret_cast<void *>(c.misc1)) ? reinterpret_cast<Item *>(c.misc1) : nullptr)
                         : lookupName(c.ctx, c.textArg);
    if (!item) {
        c.ctx->errorCode = 3;
        return 0;
    }
    if (c.misc2 == 7 || !setProperty(c, item, c.misc2)) c.ctx->errorCode = 6;
    return 0;
}

Item *itemArg(intptr_t word) {
    return isLiveItem(reinterpret_cast<void *>(word)) ? reinterpret_cast<Item *>(word) : nullptr;
}

} // namespace

bool itemCommand(intptr_t code, Call &c, intptr_t &result) {
    switch (code) {
    case 70: {
        Item *source = itemArg(c.misc1);
        result = source ? reinterpret_cast<intptr_t>(copyItem(source, itemArg(c.misc2))) : 0;
        return true;
    }
    case 71:
    case 72: {
        Item *from = itemArg(c.misc1), *to = itemArg(c.misc2);
        if (from && to) result = code == 71 ? convertThroughText(from, to) : copyValue(from, to);
        return true;
    }
    case 73:
    case 74: return true;
    case 97: result = getItemData(c); return true;
    case 98: result = setItemData(c); return true;
    default: return false;
    }
}

} // namespace nx
