// Emitting operation records: result cells, conversions, run-time addresses,
// sub-expressions, and calls of natives and of functions with bodies.
#include <cstdlib>
#include <cstring>

#include "cells.h"
#include "compiler.h"
#include "fold.h"

namespace nx {

void Code::append(OperationRecord *r) {
    r->Next = 0;
    if (last)
        last->Next = reinterpret_cast<intptr_t>(r);
    else
        first = r;
    last = r;
}

void Code::append(const Code &other) {
    if (other.empty()) return;
    if (last)
        last->Next = reinterpret_cast<intptr_t>(other.first);
    else
        first = other.first;
    last = other.last;
}

Emitter::Emitter(ThreadContext *ctx, Item *expr)
    : ctx_(ctx), expr_(expr), data_(static_cast<ExprData *>(expr->extra)) {}

// Takes bytes from the newest arena block, starting a new block when it is
// full. Blocks grow with the expression: a short one fits in its first block.
void *ExprData::carve(size_t bytes) {
    constexpr size_t kLargestBlock = 16384;
    bytes = (bytes + 7) & ~size_t(7);
    if (bytes > roomLeft) {
        // Doubling per block up to the largest size (the shift stays small).
        size_t size = std::min(kLargestBlock, firstBlock << std::min<size_t>(blocks.size(), 8));
        size = std::max(size, bytes);
        auto *block = static_cast<char *>(heapAlloc(size));
        if (!block) throw std::bad_alloc();
        blocks.push_back(block);
        room = block;
        roomLeft = size;
    }
    void *p = room;
    room += bytes;
    roomLeft -= bytes;
    return p;
}

OperationRecord *Emitter::record(intptr_t routine) {
    auto *r = static_cast<OperationRecord *>(data_->carve(sizeof(OperationRecord)));
    r->Routine = routine;
    return r;
}

intptr_t *Emitter::argumentList(size_t n) {
    auto *list = static_cast<intptr_t *>(data_->carve((n + 1) * sizeof(intptr_t)));
    list[0] = static_cast<intptr_t>(n);
    return list;
}

// A cell of the given type owned by the expression.
Item *Emitter::temporary(Item *type) {
    Item *t = newItem(ctx_);
    t->dataType = type;
    t->size = type ? type->size : 0;
    if (type) createValue(t, ctx_);
    data_->owned.push_back(t);
    return t;
}

// A literal: a constant of the pattern's type whose value its handler reads
// from the token text.
Item *Emitter::constant(Item *pattern, std::string_view text) {
    Item *type = pattern->dataType ? pattern->dataType : ctx_->defaultType;
    Item *c = temporary(type);
    c->flags |= flag::Constant;
    if (c->address) valueFromText(c, text, ctx_);
    return c;
}

Item *Emitter::view(Item *type, intptr_t address) {
    Item *v = newItem(ctx_);
    v->flags = flag::Variable;
    v->dataType = type;
    v->size = type ? type->size : 0;
    v->address = address;
    data_->owned.push_back(v);
    return v;
}

// Cuts an operand's records out as a chain of its own, for a routine to run
// when it chooses (parameters passed by expression).
Item *Emitter::subExpression(Operand &operand) {
    settle(operand);
    Item *sub = newItem(ctx_);
    sub->role = ItemRole::Expression;
    sub->dataType = operand.type();
    sub->address = operand.item ? operand.item->address : 0;
    OperationRecord *end = record(0);
    end->Arg1 = reinterpret_cast<intptr_t>(ctx_);
    Code chain = operand.code;
    chain.append(end);
    sub->chain = chain.first;
    operand.code = Code{};
    data_->owned.push_back(sub);
    return sub;
}

void Emitter::bindAddress(Code &code, Operand &operand, intptr_t *field) {
    if (!operand.dynamic) {
        *field = operand.item ? operand.item->address : 0;
        return;
    }
    OperationRecord *fix = record(reinterpret_cast<intptr_t>(&fixAddressRoutine));
    fix->Arg1 = reinterpret_cast<intptr_t>(operand.item);
    fix->Arg2 = reinterpret_cast<intptr_t>(field);
    code.append(fix);
}

// Copies a moving operand's value into a cell of its own.
void Emitter::settle(Operand &operand) {
    if (!operand.dynamic) return;
    Item *fixed = temporary(operand.type());
    OperationRecord *load = record(reinterpret_cast<intptr_t>(&loadValueRoutine));
    load->Arg1 = reinterpret_cast<intptr_t>(operand.item);
    load->Arg2 = reinterpret_cast<intptr_t>(fixed);
    load->Result = fixed->address;
    operand.code.append(load);
    operand.item = fixed;
    operand.dynamic = false;
}

namespace {

// The routine converting one type to another: the last pair naming the target.
intptr_t conversionRoutine(Item *from, Item *to) {
    if (!from) return 0;
    for (auto it = from->conversions.rbegin(); it != from->conversions.rend(); ++it)
        if (it->target == to) return it->routine ? it->routine : routineAddress(23);
    return 0;
}

} // namespace

bool Emitter::convert(Operand &operand, Item *target) {
    Item *from = operand.type();
    if (!target || from == target) return true;
    intptr_t routine = conversionRoutine(from, target);
    if (!routine) return false;
    Item *out = temporary(target);
    if (routine == routineAddress(23)) {
        // Through text: the routine works on the two items.
        OperationRecord *r = record(routine);
        r->Arg1 = reinterpret_cast<intptr_t>(operand.item);
        r->Arg2 = reinterpret_cast<intptr_t>(out);
        r->Result = out->address;
        operand.code.append(r);
    } else {
        OperationRecord *r = record(routine);
        bool folds = isFoldableRoutine(routine) && isConstantOperand(operand);
        Code code;
        bindAddress(code, operand, &r->Arg1);
        r->Result = out->address;
        operand.code.append(code);
        operand.code.append(r);
        if (folds) noteFoldable(data_, r, out);
    }
    operand.item = out;
    operand.dynamic = false;
    return true;
}

// ---- overloads ----

std::vector<Item *> sameName(ThreadContext *ctx, std::string_view name) {
    std::vector<Item *> items;
    for (ThreadContext *c = ctx; c; c = c->parent)
        for (Item *i = lookupLocal(c, name); i; i = i->next)
            if (i->role != ItemRole::RuleHead) items.push_back(i);
    return items;
}

std::vector<Item *> operatorCandidates(ThreadContext *ctx, std::string_view name, uint32_t fixity) {
    std::vector<Item *> out;
    for (Item *i : sameName(ctx, name))
        if ((static_cast<uint32_t>(i->flags) & (flag::Operator | fixity)) == (flag::Operator | fixity)) out.push_back(i);
    return out;
}

size_t paramCount(Item *callee) { return static_cast<size_t>(callee->count); }

// Parameter i (0-based) of the callee's declared parameters; nullptr beyond them
// unless the last one is a variable list.
Item *paramAt(Item *callee, size_t i) {
    size_t seen = 0;
    Item *lastParam = nullptr;
    for (Item *m : callee->members) {
        if (m->dataType == callee && !m->isDataType()) continue;
        if (seen == i) return m;
        lastParam = m;
        ++seen;
    }
    if (lastParam && lastParam->has(flag::VarArgs)) return lastParam;
    return nullptr;
}

bool acceptsArity(Item *callee, size_t n) {
    if (callee->has(flag::VarArgs) && callee->regex) return true;  // a callable bracket pattern
    size_t p = paramCount(callee);
    if (n == p) return true;
    if (p > 0) {
        Item *last = paramAt(callee, p - 1);
        if (last && last->has(flag::VarArgs) && n + 1 >= p) return true;
    }
    if (n < p) {
        Item *next = paramAt(callee, n);
        return next && strLen(next->textData) > 0;
    }
    return false;
}

namespace {

bool accepts(Item *param, Item *argType) {
    if (!param || param->has(flag::AnyType) || !param->dataType) return true;
    if (param->dataType == argType) return true;
    return conversionRoutine(argType, param->dataType) != 0;
}

bool acceptsTypes(Item *callee, const std::vector<Operand *> &args) {
    if (callee->regex) return true;
    for (size_t i = 0; i < args.size(); ++i)
        if (!accepts(paramAt(callee, i), args[i]->type())) return false;
    return true;
}

} // namespace

Item *chooseOverload(ThreadContext *ctx, const CallSite &site, const std::vector<Operand *> &args) {
    std::vector<Item *> candidates;
    if (site.callable) {
        candidates.push_back(site.callable);
    } else if (site.fixity) {
        candidates = operatorCandidates(ctx, site.name, site.fixity);
    } else {
        for (Item *i : sameName(ctx, site.name))
            if (i->has(flag::ArgList)) candidates.push_back(i);
    }
    bool arityFits = false;
    for (Item *c : candidates) {
        if (!acceptsArity(c, args.size())) continue;
        arityFits = true;
        if (acceptsTypes(c, args)) return c;
    }
    ctx->errorCode = arityFits ? 7 : 8;
    return nullptr;
}

// ---- calls ----

namespace {

PassMode modeOf(Item *callee, Item *param) {
    if (callee->regex) return PassMode::ByHandle;  // callable brackets take items
    return param ? param->passMode() : PassMode::ByValue;
}

// Prepares one argument for its parameter: converted and settled by value,
// cut out by expression, as it stands by handle or by reference.
bool prepare(Emitter &em, Item *callee, Item *param, Operand &arg, Code &code, intptr_t &slot,
             Vec<OperationRecord *> *) {
    PassMode mode = modeOf(callee, param);
    bool anyType = !param || param->has(flag::AnyType) || callee->regex;
    if (mode == PassMode::ByExpr) {
        if (!anyType && !em.convert(arg, param->dataType)) return false;
        slot = reinterpret_cast<intptr_t>(em.subExpression(arg));
        return true;
    }
    if (mode == PassMode::ByValue && !anyType && !em.convert(arg, param->dataType)) return false;
    code.append(arg.code);
    arg.code = Code{};
    if (mode == PassMode::ByHandle) {
        slot = reinterpret_cast<intptr_t>(arg.item);
        return true;
    }
    slot = 0;
    return true;
}

bool hasBody(Item *callee) { return callee->role == ItemRole::Function; }

// A table routine on constants passed by value can be computed once.
bool foldsOnConstants(Item *callee, intptr_t routine, const std::vector<Operand> &args) {
    if (args.empty() || !callee->dataType || !isFoldableRoutine(routine)) return false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (modeOf(callee, paramAt(callee, i)) != PassMode::ByValue) return false;
        if (!isConstantOperand(args[i])) return false;
    }
    return true;
}

// x^2 through libNomix296's Double power with the literal 2: a square, the most
// common power of all, needs no power routine.
bool squaresByPower(intptr_t routine, const std::vector<Operand> &args) {
    if (routine == 0 || routine != nativeDoublePower() || args.size() != 2) return false;
    const Item *exponent = args[1].item;
    return exponent && !args[1].dynamic && exponent->has(flag::Constant) && exponent->address &&
           exponent->size == 8 && load<double>(cellAt(exponent->address)) == 2.0;
}

// The value of a constant operand as an integer (a data type handle, say).
bool constantNumber(const Operand &op, intptr_t &out) {
    if (!op.code.empty() || !op.item || !op.item->has(flag::Constant)) return false;
    std::string text = valueToText(op.item);
    char *end = nullptr;
    long double v = std::strtold(text.c_str(), &end);
    if (end == text.c_str()) return false;
    out = static_cast<intptr_t>(v);
    return true;
}

} // namespace

bool emitCall(Emitter &em, Item *callee, std::vector<Operand> &args, Operand &result) {
    size_t n = args.size();
    intptr_t valueType = 0;
    if (callee->has(flag::ValueAtAddr) && (n == 0 || !constantNumber(args[0], valueType))) {
        em.ctx()->errorCode = 24;
        return false;
    }
    Code code;
    std::vector<intptr_t> slots(n, 0);
    std::vector<bool> needsBinding(n, false);
    for (size_t i = 0; i < n; ++i) {
        Item *param = paramAt(callee, i);
        if (!prepare(em, callee, param, args[i], code, slots[i], nullptr)) {
            em.ctx()->errorCode = 7;
            return false;
        }
        PassMode mode = modeOf(callee, param);
        needsBinding[i] = mode == PassMode::ByValue || mode == PassMode::ByRef;
    }
    Item *type = callee->dataType;
    Item *out = type ? em.temporary(type) : nullptr;
    bool viaCopies = hasBody(callee) || (callee->has(flag::StdCall) && !callee->has(flag::NativeCall));
    if (viaCopies) {
        // Parameters take their arguments through copy records, last first.
        for (size_t k = n; k-- > 0;) {
            Item *param = paramAt(callee, k);
            OperationRecord *copy = em.record(reinterpret_cast<intptr_t>(&copyParamRoutine));
            if (needsBinding[k])
                em.bindAddress(code, args[k], &copy->Arg1);
            else
                copy->Arg1 = slots[k];
            copy->Arg2 = reinterpret_cast<intptr_t>(param);
            copy->Result = reinterpret_cast<intptr_t>(callee->context);
            code.append(copy);
        }
        OperationRecord *call = em.record(reinterpret_cast<intptr_t>(hasBody(callee) ? &bodyRunner : &nativeCallRoutine));
        call->Arg1 = reinterpret_cast<intptr_t>(callee);
        call->Arg2 = reinterpret_cast<intptr_t>(out);
        call->Result = out ? out->address : 0;
        code.append(call);
        if (hasBody(callee)) em.data()->needsArgumentHandling = true;
    } else {
        intptr_t routine = callee->address ? callee->address : routineAddress(0);
        if (squaresByPower(routine, args)) routine = reinterpret_cast<intptr_t>(&squareDoubleRoutine);
        bool folds = foldsOnConstants(callee, routine, args);
        OperationRecord *call = em.record(routine);
        intptr_t *list = em.argumentList(n);
        Code fixes;
        for (size_t k = n; k-- > 0;) {
            if (needsBinding[k])
                em.bindAddress(fixes, args[k], &list[k + 1]);
            else
                list[k + 1] = slots[k];
        }
        call->ArgList = reinterpret_cast<intptr_t>(list);
        if (n >= 1) {
            if (needsBinding[0]) em.bindAddress(fixes, args[0], &call->Arg1); else call->Arg1 = list[1];
        }
        if (n >= 2) {
            if (needsBinding[1]) em.bindAddress(fixes, args[1], &call->Arg2); else call->Arg2 = list[2];
        }
        call->Result = out ? out->address : 0;
        code.append(fixes);
        code.append(call);
        if (folds && !callee->has(flag::ValueAtAddr)) noteFoldable(em.data(), call, out);
        if (callee->has(flag::ValueAtAddr)) {
            // The call computes an address: the operand is the value of the
            // named type there, its address written into a view at run time.
            auto *t = reinterpret_cast<Item *>(valueType);
            if (!t || !isLiveItem(t) || !t->isDataType()) {
                em.ctx()->errorCode = 24;
                return false;
            }
            Item *v = em.view(t, 0);
            call->Result = reinterpret_cast<intptr_t>(&v->address);
            result.item = v;
            result.code = code;
            result.dynamic = true;
            return true;
        }
    }
    result.item = out;
    result.code = code;
    result.dynamic = false;
    return true;
}

} // namespace nx
