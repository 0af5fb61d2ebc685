// Parsing and evaluating through the command entry (codes 4 to 10, 21, 50, 51).
#include <cmath>
#include <cstring>

#include "cells.h"
#include "commands.h"
#include "define_block.h"
#include "engine.h"
#include "state.h"

namespace nx {

namespace {

Item *exprArg(intptr_t word) {
    if (!isLiveItem(reinterpret_cast<void *>(word))) return nullptr;
    Item *e = reinterpret_cast<Item *>(word);
    return e->role == ItemRole::Expression ? e : nullptr;
}

// Runs an expression's chain between its context's two control words and
// returns its result cell (nullptr when it has none).
void *run(Item *expr) {
    ThreadContext *ctx = expr->context;
    loadControlWord(ctx->fpuWordEval);
    try {
        if (expr->chain) evaluationRunner()(expr->chain);
    } catch (...) {
        loadControlWord(ctx->fpuWordAfter);
        throw;
    }
    loadControlWord(ctx->fpuWordAfter);
    return expr->address ? cellAt(expr->address) : nullptr;
}

// Codes 7 to 9: the raw bytes of the result, with the code's fixed width.
void evaluateInto(Item *expr, intptr_t target, size_t width) {
    void *cell = run(expr);
    if (!target) return;
    if (cell)
        std::memcpy(reinterpret_cast<void *>(target), cell, width);
    else
        std::memset(reinterpret_cast<void *>(target), 0, width);
}

// The text of an evaluated expression, or the message of its context's error.
std::string resultText(Item *expr) {
    run(expr);
    ThreadContext *ctx = expr->context;
    if (ctx->errorCode) return std::string(errorMessage(ctx, ctx->errorCode));
    if (!expr->address || !expr->dataType) return std::string();
    // The result may be a variable bound to any address, holding any handle.
    struct Conversion {
        Item *expr;
        std::string text;
    } conversion{expr, {}};
    auto convert = [](void *p) {
        auto *c = static_cast<Conversion *>(p);
        c->text = valueToText(c->expr);
    };
    if (!runGuarded(ctx, convert, &conversion)) return std::string(errorMessage(ctx, ctx->errorCode));
    return std::move(conversion.text);
}

// Codes 4 and 5: parse in the first data type (Extended), evaluate, store.
void evalNumber(Call &c, bool extended) {
    Item *expr = parse(c.ctx, c.textArg, engine().firstTypes[0]);
    if (!expr) return;
    long double v = 0;
    try {
        void *cell = run(expr);
        if (cell) v = loadExt(cell);
    } catch (...) {
        releaseItem(expr);
        throw;
    }
    releaseItem(expr);
    if (!c.returnPtr) return;
    if (extended)
        storeExt(reinterpret_cast<void *>(c.returnPtr), v);
    else
        store<double>(reinterpret_cast<void *>(c.returnPtr), static_cast<double>(v));
}

// Code 6: parse, evaluate and release; the text is the value or the message.
// In continuation mode a pending body takes the text as its next line, and
// nothing is evaluated.
intptr_t evalText(Call &c) {
    if (c.misc2 && c.ctx->pendingBlock && c.ctx->pendingBlock->collectingBody) {
        define(c.ctx, c.textArg, 0, 0, 0);
        return c.text("");
    }
    Item *type = c.misc1 ? reinterpret_cast<Item *>(c.misc1) : nullptr;
    Item *expr = parseContinued(c.ctx, c.textArg, type, c.misc2 != 0);
    if (!expr) {
        if (c.ctx->errorCode == 0) return c.text("");
        return c.text(errorMessage(c.ctx, c.ctx->errorCode));
    }
    std::string text;
    try {
        text = resultText(expr);
    } catch (const std::bad_alloc &) {
        // What the evaluation had made is gone with the unwinding: there is
        // room again for the handlers, which tell the user.
        raiseError(c.ctx, nx_ErrNoMemory, 0);
        text = std::string(errorMessage(c.ctx, nx_ErrNoMemory));
    } catch (...) {
        text = std::string(errorMessage(c.ctx, c.ctx->errorCode));
    }
    releaseItem(expr);
    return c.text(text);
}

// Code 50: generic argument access for natives.
intptr_t paramCommand(Call &c) {
    auto *record = reinterpret_cast<OperationRecord *>(c.misc1);
    if (!record) return 0;
    if (c.misc2 == 0) return record->Arg1;
    intptr_t slot = argSlot(record, c.misc2);
    Item *type = c.t ? reinterpret_cast<Item *>(c.t) : nullptr;
    if (c.returnPtr && type) {
        std::memcpy(reinterpret_cast<void *>(c.returnPtr), cellAt(slot), type->size);
        return 0;
    }
    if (c.returnPtr) return slot;
    return c.text(strView(cellStr(cellAt(slot))));
}

// Code 51: generic result for natives: a text, or t's Size bytes from ReturnPtr.
intptr_t returnCommand(Call &c) {
    auto *record = reinterpret_cast<OperationRecord *>(c.misc1);
    if (!record || !record->Result) return 0;
    if (!c.t) {
        cellAssign(cellAt(record->Result), c.textArg);
        return 0;
    }
    Item *type = reinterpret_cast<Item *>(c.t);
    if (c.returnPtr) std::memcpy(cellAt(record->Result), reinterpret_cast<void *>(c.returnPtr), type->size);
    return 0;
}

} // namespace

bool evaluationCommand(intptr_t code, Call &c, intptr_t &result) {
    switch (code) {
    case 4: evalNumber(c, false); return true;
    case 5: evalNumber(c, true); return true;
    case 6: result = evalText(c); return true;
    case 7:
    case 8:
    case 9:
        if (Item *e = exprArg(c.misc1)) evaluateInto(e, c.returnPtr, code == 7 ? 8 : code == 8 ? 10 : 4);
        return true;
    case 10:
        if (Item *e = exprArg(c.misc1)) result = c.text(resultText(e));
        return true;
    case 21: {
        Item *type = c.misc1 ? reinterpret_cast<Item *>(c.misc1) : nullptr;
        result = reinterpret_cast<intptr_t>(parse(c.ctx, c.textArg, type));
        return true;
    }
    case 50: result = paramCommand(c); return true;
    case 51: result = returnCommand(c); return true;
    default: return false;
    }
}

} // namespace nx
