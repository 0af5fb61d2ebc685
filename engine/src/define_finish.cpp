// Finishing a definition: registration, body, flags, rule, token pattern,
// storage and value; and the `nx_Define` driver with its open blocks.
#include <algorithm>
#include <memory>

#include "cells.h"
#include "codestubs.h"
#include "define_block.h"
#include "engine.h"
#include "state.h"

namespace nx {

namespace {


// A data type's bookkeeping: the default type of its context and the first
// three types of the process.
void recordDataType(ThreadContext *ctx, Item *type) {
    if (!ctx->defaultType) ctx->defaultType = type;
    EngineState &e = engine();
    if (e.typesRecorded < 3) e.firstTypes[e.typesRecorded++] = type;
}

// Inserts a token pattern by rank: r > 0 counts back from the newest, r <= 0
// from the oldest; position 1 is tried last.
void insertPattern(ThreadContext *ctx, Item *pattern, int32_t rank) {
    int32_t count = static_cast<int32_t>(ctx->patterns.size());
    int32_t position = rank > 0 ? count - rank + 2 : -rank;
    position = std::clamp(position, 1, count + 1);
    ctx->patterns.insert(ctx->patterns.begin() + (position - 1), pattern);
    ctx->patternsVersion++;
}

// Compiles the opening pattern and, for brackets and quoted literals, the
// closing one.
bool finishPattern(PendingBlock &b) {
    Item *item = b.item;
    item->regex = compilePattern("^" + b.opening, false);
    if (!item->regex) {
        b.defCtx->errorCode = 5;
        return false;
    }
    if (b.hasAddress)
        item->flags |= flag::ArgList | flag::NativeCall | flag::VarArgs | flag::AnyType |
                       (static_cast<intptr_t>(PassMode::ByHandle) << flag::PassShift);
    insertPattern(b.defCtx, item, b.rank);
    if (!b.closingGiven) return true;
    if (item->kind() == static_cast<uint32_t>(TokenKind::Open)) {
        Item *closer = define(b.defCtx, "Pattern:" + b.closing, static_cast<intptr_t>(TokenKind::Close), 0, 0);
        if (!closer) return false;
        item->closing = closer;
        closer->closing = item;
    } else if (item->kind() == static_cast<uint32_t>(TokenKind::Quoted)) {
        item->closingRegex = compilePattern("^" + b.closing, false);
    }
    return true;
}

// Storage and initial value of a variable.
bool finishVariable(PendingBlock &b) {
    Item *item = b.item;
    if (item->size == 0 && item->dataType && item->dataType != item) item->size = item->dataType->size;
    if (!b.hasAddress) createValue(item, b.defCtx);
    // A variable bound to an address is read and written there, also outside
    // any evaluation (a line that is only its name): memory that is not there
    // is refused now rather than faulted on later.
    if (b.hasAddress && item->address && !isMappedAddress(item->address, std::max<int32_t>(item->size, 1))) {
        b.defCtx->errorCode = 9;  // "Invalid definition"
        return false;
    }
    if (!b.hasValue) return true;
    Item *expr = parse(b.defCtx, b.valueText, item->dataType);
    if (!expr) return false;
    evaluateExpression(expr);
    if (b.defCtx->errorCode == 0 && item->address) copyValue(expr, item);
    releaseItem(expr);
    return b.defCtx->errorCode == 0;
}

// Compiles a function's body in its member context with the function's type as
// the result type.
bool finishBody(PendingBlock &b) {
    Item *item = b.item;
    if (!item->memberContext) item->memberContext = newThread(b.defCtx)->context;
    ThreadContext *mc = item->memberContext;
    item->role = ItemRole::Function;  // a recursive call in the body calls the body
    mc->bodyOwner = item;
    intptr_t address = item->address;
    item->address = 0;  // the body replaces any address; a failed body leaves none behind
    Item *body = parse(mc, b.body, item->dataType);
    mc->bodyOwner = nullptr;
    if (!body) {
        item->role = ItemRole::Plain;
        item->address = address;
        b.defCtx->errorCode = mc->errorCode ? mc->errorCode : 2;
        return false;
    }
    attachBody(item, body);
    if (!b.overhead && !bodyNeedsArgumentHandling(body)) strAssign(item->textData, b.body);
    return true;
}

// The steps after the last part. Returns the item (or rule), or nullptr.
Item *finish(PendingBlock &b) {
    Item *item = b.item;
    ThreadContext *ctx = b.defCtx;
    if (b.parts == 0) return nullptr;
    if (b.modifying) return item;
    uint32_t f = static_cast<uint32_t>(item->flags);
    if (!item->dataType && (f & (flag::Variable | flag::ArgList | flag::Operator)))
        item->dataType = ctx->defaultType;
    if (b.isTypeDefinition) recordDataType(ctx, item);
    if (!b.bootstrap && !b.isSyntax) {
        registerName(ctx, item, b.rank);
        if (ctx->errorCode) return nullptr;
    }
    if (b.hasBody && !finishBody(b)) return nullptr;
    if (b.bootstrap && !b.isSyntax) {
        registerName(ctx, item, b.rank);
        if (ctx->errorCode) return nullptr;
    }
    if (b.placeholders[0]) item->flags |= b.placeholders[0];
    if (b.isSyntax) return defineRule(ctx, b.syntaxText, b.rank, static_cast<uint32_t>(item->flags) & flag::PassOnce);
    if (b.precedence) item->precedence = b.precedence;
    if (b.isPattern && !finishPattern(b)) return nullptr;
    // An item with a body is a function: its address is the body, not storage.
    if ((static_cast<uint32_t>(item->flags) & flag::Variable) && !b.hasBody && !finishVariable(b)) return nullptr;
    if (static_cast<uint32_t>(item->flags) & flag::Operator)
        for (Item *m : item->members)
            if (m->dataType != item) m->precedence = item->precedence;
    item->overhead = b.overhead;
    item->context = ctx;
    ctx->items.push_back(item);
    return item;
}

// Finishes a block and, on success, defines the text that `nextdef` left. An
// item that failed, defined nothing, or gave way to a rule is released.
Item *complete(PendingBlock &b) {
    Item *result = finish(b);
    if (!b.modifying && result != b.item) releaseItem(b.item);
    b.item = nullptr;
    if (result && b.hasNextDef) define(b.defCtx, b.nextDef, 0, 0, 0);
    return result;
}

// Drops every open block of the context after an error.
void abandonBlocks(ThreadContext *ctx) {
    while (PendingBlock *b = ctx->pendingBlock) {
        ctx->pendingBlock = b->outer;
        if (b->item && !b->modifying) releaseItem(b->item);
        heapDelete(b);
    }
    ctx->continuation = 0;
}

// A line of a pending body: collected until "end", then compiled.
Item *bodyLine(ThreadContext *ctx, std::string_view text) {
    PendingBlock *b = ctx->pendingBlock;
    std::string_view line = trimBlanks(text);
    if (line.size() == 3 && (line[0] | 32) == 'e' && (line[1] | 32) == 'n' && (line[2] | 32) == 'd') {
        ctx->pendingBlock = b->outer;
        ctx->continuation = std::max(0, ctx->continuation - 1);
        ctx->pendingBodyContext = nullptr;
        b->collectingBody = false;
        b->hasBody = !b->body.empty();
        b->funcStart = false;
        Item *result = complete(*b);
        heapDelete(b);
        return result;
    }
    if (!b->body.empty()) b->body += "\r\n";
    b->body.append(line);
    return b->item;
}

// Open blocks outlive the call that began them, so every block lives in the
// engine heap and is freed the same way whether it ends here or at `end`.
// A block dropped before its item was finished takes the item with it.
struct BlockDeleter {
    void operator()(PendingBlock *b) const {
        if (b->item && !b->modifying) releaseItem(b->item);
        heapDelete(b);
    }
};
using BlockPtr = std::unique_ptr<PendingBlock, BlockDeleter>;

} // namespace

long double evaluateExpression(Item *expr) {
    ThreadContext *ctx = expr->context;
    loadControlWord(ctx->fpuWordEval);
    try {
        if (expr->chain) evaluationRunner()(expr->chain);
    } catch (const ProcessorFault &) {
    }
    loadControlWord(ctx->fpuWordAfter);
    Item *t = expr->dataType;
    if (!expr->address || !t) return 0;
    EngineState &e = engine();
    if (t == e.firstTypes[0]) return loadExt(cellAt(expr->address));
    if (t == e.firstTypes[1] && t->size == 8) return load<double>(cellAt(expr->address));
    if (t->size == 4 && !t->typeHandler) return load<int32_t>(cellAt(expr->address));
    std::string text = valueToText(expr);
    intptr_t n = 0;
    if (plainNumber(text, n)) return static_cast<long double>(std::strtold(text.c_str(), nullptr));
    return 0;
}

void discardPending(ThreadContext *ctx) { abandonBlocks(ctx); }

Item *defineParts(ThreadContext *ctx, std::string_view text, intptr_t p1, intptr_t p2, intptr_t p3);

// nx_Define: parts go to the innermost open block, or to a new item. When the
// engine heap runs out midway, what was begun is dropped and the error says so.
Item *define(ThreadContext *ctx, std::string_view text, intptr_t p1, intptr_t p2, intptr_t p3) {
    try {
        return defineParts(ctx, text, p1, p2, p3);
    } catch (const std::bad_alloc &) {
        abandonBlocks(ctx);
        ctx->errorCode = nx_ErrNoMemory;
        return nullptr;
    }
}

Item *defineParts(ThreadContext *ctx, std::string_view text, intptr_t p1, intptr_t p2, intptr_t p3) {
    ctx->errorCode = 0;
    if (ctx->pendingBlock && ctx->pendingBlock->collectingBody) return bodyLine(ctx, text);
    PendingBlock *b = ctx->pendingBlock;
    BlockPtr fresh;
    if (!b) {
        fresh.reset(heapNew<PendingBlock>(ctx, newItem(ctx), p1, p2, p3));
        b = fresh.get();
    }
    std::string rest(text);
    while (true) {
        PendingBlock::Stop stop = b->process(rest);
        if (stop == PendingBlock::Stop::Failed) {
            int32_t code = ctx->errorCode ? ctx->errorCode : (b->defCtx->errorCode ? b->defCtx->errorCode : 2);
            if (!fresh) abandonBlocks(ctx);
            ctx->errorCode = code;
            return nullptr;
        }
        if (stop == PendingBlock::Stop::Begin) {
            if (!b->open) {
                b->open = true;
                if (fresh) fresh.release();
                b->outer = ctx->pendingBlock == b ? b->outer : ctx->pendingBlock;
                ctx->pendingBlock = b;
            } else {
                Item *owner = b->item;
                if (!owner->memberContext) owner->memberContext = newThread(b->defCtx)->context;
                auto *nested = heapNew<PendingBlock>(owner->memberContext, newItem(owner->memberContext), 0, 0, 0);
                nested->open = true;
                nested->outer = b;
                ctx->pendingBlock = nested;
                b = nested;
            }
            ctx->continuation++;
            continue;
        }
        if (stop == PendingBlock::Stop::End) {
            if (!b->open) {
                ctx->errorCode = 24;
                return nullptr;
            }
            PendingBlock *outer = b->outer;
            ctx->pendingBlock = outer;
            ctx->continuation = std::max(0, ctx->continuation - 1);
            Item *done = complete(*b);
            int32_t err = b->defCtx->errorCode;
            heapDelete(b);
            if (err && !done) {
                abandonBlocks(ctx);
                ctx->errorCode = err;
                return nullptr;
            }
            if (outer) {
                if (done) outer->adopt(done);
                b = outer;
                continue;
            }
            if (trimBlanks(rest).empty()) return done;
            fresh.reset(heapNew<PendingBlock>(ctx, newItem(ctx), 0, 0, 0));
            b = fresh.get();
            continue;
        }
        // The text is used up.
        if (b->open) return b->item;
        if (b->funcStart) {
            b->open = true;
            b->collectingBody = true;
            fresh.release();
            b->outer = ctx->pendingBlock;
            ctx->pendingBlock = b;
            ctx->pendingBodyContext = b->item->memberContext;
            ctx->continuation++;
            return b->item;
        }
        Item *result = complete(*b);
        if (!result && ctx->errorCode == 0 && b->defCtx->errorCode) ctx->errorCode = b->defCtx->errorCode;
        return result;
    }
}

} // namespace nx
