// Slimming a compiled expression. While compiling, every temporary and literal
// is an item, because operands carry their type through it; once the chain is
// built, records name those values by cell address only. Items nothing refers
// to any more are let go and their cells kept, which leaves a compiled
// expression a fraction of its size.
#include <algorithm>
#include <vector>

#include "cells.h"
#include "compiler.h"

namespace nx {

namespace {

constexpr intptr_t kMaxListCount = intptr_t(1) << 20;

// Every word a chain's records and argument lists hold, whatever it means.
void collectWords(const OperationRecord *r, std::vector<intptr_t> &words) {
    for (; r; r = reinterpret_cast<const OperationRecord *>(r->Next)) {
        words.insert(words.end(), {r->Arg1, r->Arg2, r->Result, r->ArgList});
        if (auto *list = reinterpret_cast<const intptr_t *>(r->ArgList); list && list[0] > 0 && list[0] < kMaxListCount)
            words.insert(words.end(), list + 1, list + 1 + list[0]);
        if (!r->Routine) break;
    }
}

// True when a sorted word list holds an address inside the item.
bool refersTo(const std::vector<intptr_t> &words, const Item *item) {
    auto start = reinterpret_cast<intptr_t>(item);
    auto it = std::lower_bound(words.begin(), words.end(), start);
    return it != words.end() && *it < start + intptr_t(sizeof(Item));
}

// A temporary or literal whose cell holds its whole value and that nothing
// else about the item matters for.
bool isPlainValue(const Item *i) {
    return i->role == ItemRole::Plain && i->has(flag::OwnsValue) && !i->has(flag::Variable) && i->address &&
           i->size > 0 && i->count <= 0 && !i->name && !i->memberContext && !i->extra && i->members.empty() &&
           valueOwnsNothing(i->dataType);
}

} // namespace

void slimExpression(Item *expr) {
    auto *data = static_cast<ExprData *>(expr->extra);
    if (!data || data->owned.empty()) return;
    std::vector<intptr_t> words;
    collectWords(expr->chain, words);
    for (Item *o : data->owned)
        if (o->role == ItemRole::Expression) collectWords(o->chain, words);
    std::sort(words.begin(), words.end());

    auto kept = data->owned.begin();
    size_t letGo = 0;
    for (Item *o : data->owned)
        letGo += isPlainValue(o) && !refersTo(words, o);
    data->cells.reserve(data->cells.size() + letGo);
    for (Item *o : data->owned) {
        if (isPlainValue(o) && !refersTo(words, o)) {
            data->cells.push_back({o->address, o->size, o->has(flag::Constant)});
            o->address = 0;
            o->flags &= ~intptr_t(flag::OwnsValue);
            heapDelete(o);  // never registered anywhere: nothing else to undo
        } else {
            *kept++ = o;
        }
    }
    data->owned.erase(kept, data->owned.end());
    data->owned.shrink_to_fit();
}

} // namespace nx
