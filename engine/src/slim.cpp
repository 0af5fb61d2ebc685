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

// A temporary or literal whose cell holds its whole value and that nothing
// else about the item matters for.
bool isPlainValue(const Item *i) {
    return i->role == ItemRole::Plain && i->has(flag::OwnsValue) && !i->has(flag::Variable) && i->address &&
           i->size > 0 && i->count <= 0 && !i->name && !i->memberContext && !i->extra && i->members.empty() &&
           valueOwnsNothing(i->dataType);
}

// The candidates, sorted by address, with a mark for each one a word points into.
class Candidates {
public:
    void add(Item *i) { items_.push_back({i, false}); }
    void sort() { std::sort(items_.begin(), items_.end(), [](const Entry &a, const Entry &b) { return a.item < b.item; }); }
    bool empty() const { return items_.empty(); }

    // Marks the candidate a word points into, if any.
    void see(intptr_t word) {
        auto it = std::upper_bound(items_.begin(), items_.end(), word,
                                   [](intptr_t w, const Entry &e) { return w < reinterpret_cast<intptr_t>(e.item); });
        if (it == items_.begin()) return;
        --it;
        if (word < reinterpret_cast<intptr_t>(it->item) + intptr_t(sizeof(Item))) it->referenced = true;
    }

    // Every word a chain's records and argument lists hold, whatever it means.
    void seeChain(const OperationRecord *r) {
        for (; r; r = reinterpret_cast<const OperationRecord *>(r->Next)) {
            for (intptr_t w : {r->Arg1, r->Arg2, r->Result, r->ArgList}) see(w);
            if (auto *list = reinterpret_cast<const intptr_t *>(r->ArgList); list && list[0] > 0 && list[0] < kMaxListCount)
                for (intptr_t k = 1; k <= list[0]; ++k) see(list[k]);
            if (!r->Routine) break;
        }
    }

    bool referenced(const Item *i) const {
        auto it = std::lower_bound(items_.begin(), items_.end(), i, [](const Entry &e, const Item *p) { return e.item < p; });
        return it != items_.end() && it->item == i && it->referenced;
    }
    size_t unreferenced() const {
        return size_t(std::count_if(items_.begin(), items_.end(), [](const Entry &e) { return !e.referenced; }));
    }

private:
    struct Entry {
        Item *item;
        bool referenced;
    };
    std::vector<Entry> items_;
};

} // namespace

void slimExpression(Item *expr) {
    auto *data = static_cast<ExprData *>(expr->extra);
    if (!data || data->owned.empty()) return;
    Candidates candidates;
    for (Item *o : data->owned)
        if (isPlainValue(o)) candidates.add(o);
    if (candidates.empty()) return;
    candidates.sort();
    candidates.seeChain(expr->chain);
    for (Item *o : data->owned)
        if (o->role == ItemRole::Expression) candidates.seeChain(o->chain);

    data->cells.reserve(data->cells.size() + candidates.unreferenced());
    auto kept = data->owned.begin();
    for (Item *o : data->owned) {
        if (isPlainValue(o) && !candidates.referenced(o)) {
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
