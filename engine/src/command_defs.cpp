// Definitions, rules, release, and the token commands (1, 2, 22, 65, 66, 95, 96, 100).
#include <cstring>

#include "commands.h"
#include "engine.h"

namespace nx {

namespace {

// Code 22: releases the item named by TextArg, else the handle in MiscArg1.
void releaseCommand(Call &c) {
    Item *item = nullptr;
    if (!c.textArg.empty())
        item = lookupName(c.ctx, c.textArg);
    else if (isLiveItem(reinterpret_cast<void *>(c.misc1)))
        item = reinterpret_cast<Item *>(c.misc1);
    if (!item) {
        c.ctx->errorCode = 3;
        return;
    }
    releaseItem(item);
}

// Reads a 32-bit 1-based position from the caller's variable.
size_t readPosition(intptr_t address) {
    if (!address) return 0;
    int32_t p;
    std::memcpy(&p, reinterpret_cast<void *>(address), 4);
    return p > 1 ? static_cast<size_t>(p - 1) : 0;
}
void writePosition(intptr_t address, size_t pos) {
    if (!address) return;
    int32_t p = static_cast<int32_t>(pos + 1);
    std::memcpy(reinterpret_cast<void *>(address), &p, 4);
}

TokenMode modeOf(intptr_t mode) {
    return mode == 1 ? TokenMode::WithSpace : mode == 2 ? TokenMode::Resume : TokenMode::Normal;
}

// Codes 65 and 66: the pattern matching at a 1-based position (0 means 1).
intptr_t tokenAt(Call &c, bool wholeFlags) {
    size_t pos = c.misc1 > 1 ? static_cast<size_t>(c.misc1 - 1) : 0;
    Token tok;
    if (!nextToken(c.ctx, c.textArg, pos, modeOf(c.misc2), tok) || !tok.pattern) return 0;
    uint32_t f = static_cast<uint32_t>(tok.pattern->flags);
    return wholeFlags ? f : (f & flag::KindMask);
}

// Code 96: the next token; the position advances and MiscArg1's slot (a 32-bit
// cell) receives the matching pattern, from which mode 2 resumes.
intptr_t nextTokenCommand(Call &c) {
    size_t pos = readPosition(c.returnPtr);
    Item *below = nullptr;
    if (c.misc1) {
        uint32_t h;
        std::memcpy(&h, reinterpret_cast<void *>(c.misc1), 4);
        below = fromHandle<Item>(h);
    }
    Token tok;
    bool noMatch = false;
    if (!nextToken(c.ctx, c.textArg, pos, modeOf(c.misc2), tok, below, &noMatch)) {
        if (noMatch) c.ctx->errorCode = 5;
        return c.text("");
    }
    writePosition(c.returnPtr, pos);
    if (c.misc1) {
        uint32_t h = toHandle(tok.pattern);
        std::memcpy(reinterpret_cast<void *>(c.misc1), &h, 4);
    }
    return c.text(tok.text);
}

// Code 100: the bracketed group at the position.
intptr_t readGroupCommand(Call &c) {
    size_t pos = readPosition(c.returnPtr);
    std::string_view group;
    if (!readGroup(c.ctx, c.textArg, pos, static_cast<int>(c.misc2), group)) return c.text("");
    writePosition(c.returnPtr, pos);
    return c.text(group);
}

} // namespace

bool definitionCommand(intptr_t code, Call &c, intptr_t &result) {
    switch (code) {
    case 1:
        result = reinterpret_cast<intptr_t>(define(c.ctx, c.textArg, c.misc1, c.misc2, c.returnPtr));
        return true;
    case 2:
        c.ctx->errorCode = 0;
        result = reinterpret_cast<intptr_t>(defineRule(c.ctx, c.textArg, static_cast<int32_t>(c.misc1), 0));
        return true;
    case 22: releaseCommand(c); return true;
    case 65: result = tokenAt(c, false); return true;
    case 66: result = tokenAt(c, true); return true;
    case 95: result = c.text(expand(c.ctx, c.textArg)); return true;
    case 96: result = nextTokenCommand(c); return true;
    case 100: result = readGroupCommand(c); return true;
    default: return false;
    }
}

} // namespace nx
