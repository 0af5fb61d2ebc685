// Hand-built operation chains for the runtime tests: records, cells, argument
// lists and expression items in the engine heap, all freed with the builder.
#pragma once
#include <initializer_list>
#include <memory>
#include <string_view>
#include <vector>

#include "cells.h"
#include "engine.h"
#include "heap.h"
#include "routines.h"

namespace rt {

using nx::Item;
using nx::ThreadContext;

// The routine in a table slot (the table is filled on first use).
inline NxRoutine slotRoutine(int slot) {
    nx::initRoutineTable();
    return reinterpret_cast<NxRoutine>(nx::routineAddress(slot));
}

class Chain {
public:
    // A chain in a context of its own (heapNew'd), or in a given one.
    explicit Chain(ThreadContext *ctx = nullptr) : ctx_(ctx), ownsContext_(ctx == nullptr) {
        nx::initRoutineTable();
        if (!ctx_) ctx_ = nx::heapNew<ThreadContext>();
        end_ = block<OperationRecord>();
        end_->Arg1 = reinterpret_cast<intptr_t>(ctx_);
    }
    ~Chain() {
        for (intptr_t cell : strings_) nx::strFree(nx::cellStr(nx::cellAt(cell)));
        for (Item *item : items_) nx::heapDelete(item);
        for (void *b : blocks_) nx::heapFree(b);
        if (ownsContext_) nx::heapDelete(ctx_);
    }
    Chain(const Chain &) = delete;
    Chain &operator=(const Chain &) = delete;

    ThreadContext *context() const { return ctx_; }

    // Another chain in the same context (a sub-expression), freed with this one.
    Chain &sub() {
        subs_.push_back(std::make_unique<Chain>(ctx_));
        return *subs_.back();
    }
    OperationRecord *end() const { return end_; }
    OperationRecord *first() const { return first_ ? first_ : end_; }

    // Zeroed cells of the usual widths, holding a first value.
    intptr_t cell(size_t bytes = 20) { return reinterpret_cast<intptr_t>(raw(bytes)); }
    intptr_t ext(long double v) { return put(10, [&](void *c) { nx::storeExt(c, v); }); }
    intptr_t dbl(double v) { return put(8, [&](void *c) { nx::store<double>(c, v); }); }
    intptr_t lng(int32_t v) { return put(4, [&](void *c) { nx::store<int32_t>(c, v); }); }
    intptr_t complex(long double re, long double im) {
        return put(20, [&](void *c) {
            nx::storeExt(c, re);
            nx::storeExt(static_cast<char *>(c) + 10, im);
        });
    }
    // A String cell (its string is released with the builder).
    intptr_t str(std::string_view text) {
        intptr_t c = put(4, [&](void *p) { nx::setCellStr(p, nx::strAlloc(text)); });
        strings_.push_back(c);
        return c;
    }
    // An ArgumentList: the count, then the slots.
    intptr_t args(std::initializer_list<intptr_t> slots) {
        auto *list = static_cast<intptr_t *>(raw((slots.size() + 1) * sizeof(intptr_t)));
        list[0] = static_cast<intptr_t>(slots.size());
        size_t i = 1;
        for (intptr_t s : slots) list[i++] = s;
        return reinterpret_cast<intptr_t>(list);
    }

    // Appends a record in front of the terminating record.
    OperationRecord *add(NxRoutine routine, intptr_t a1, intptr_t a2, intptr_t result, intptr_t argList = 0) {
        auto *r = block<OperationRecord>();
        *r = {a1, a2, result, argList, reinterpret_cast<intptr_t>(end_), reinterpret_cast<intptr_t>(routine)};
        if (last_)
            last_->Next = reinterpret_cast<intptr_t>(r);
        else
            first_ = r;
        last_ = r;
        return r;
    }
    OperationRecord *add(int slot, intptr_t a1, intptr_t a2, intptr_t result, intptr_t argList = 0) {
        return add(slotRoutine(slot), a1, a2, result, argList);
    }

    // Calls one routine on a record of this chain, outside any runner.
    OperationRecord *call(int slot, intptr_t a1, intptr_t a2, intptr_t result, intptr_t argList = 0) {
        OperationRecord *r = add(slot, a1, a2, result, argList);
        reinterpret_cast<NxRoutine>(r->Routine)(r);
        return r;
    }

    // An expression item over this chain with the given result cell.
    Item *expression(intptr_t resultCell) {
        Item *e = nx::heapNew<Item>();
        e->role = nx::ItemRole::Expression;
        e->context = ctx_;
        e->address = resultCell;
        e->chain = first();
        items_.push_back(e);
        return e;
    }
    // A plain item (variable) with a value cell, optionally typed.
    Item *variable(intptr_t valueCell, Item *type = nullptr) {
        Item *v = nx::heapNew<Item>();
        v->context = ctx_;
        v->address = valueCell;
        v->dataType = type;
        v->flags = nx::flag::Variable;
        items_.push_back(v);
        return v;
    }

private:
    void *raw(size_t bytes) {
        void *p = nx::heapAlloc(bytes);
        blocks_.push_back(p);
        return p;
    }
    template <class T> T *block() { return static_cast<T *>(raw(sizeof(T))); }
    template <class F> intptr_t put(size_t bytes, F fill) {
        void *c = raw(bytes < 20 ? 20 : bytes);
        fill(c);
        return reinterpret_cast<intptr_t>(c);
    }

    ThreadContext *ctx_;
    bool ownsContext_;
    OperationRecord *end_ = nullptr;
    OperationRecord *first_ = nullptr;
    OperationRecord *last_ = nullptr;
    std::vector<void *> blocks_;
    std::vector<intptr_t> strings_;
    std::vector<Item *> items_;
    std::vector<std::unique_ptr<Chain>> subs_;
};

// Reading cells back.
inline long double extAt(intptr_t c) { return nx::loadExt(nx::cellAt(c)); }
inline double dblAt(intptr_t c) { return nx::load<double>(nx::cellAt(c)); }
inline int32_t lngAt(intptr_t c) { return nx::load<int32_t>(nx::cellAt(c)); }
inline std::string_view strAt(intptr_t c) { return nx::cellText(nx::cellAt(c)); }

} // namespace rt
