// A compiled expression over a hand-built chain, with the fast path the
// compiler would build for it, for the tests of folding and machine code.
#pragma once
#include <initializer_list>

#include "compiler.h"
#include "fold.h"
#include "test_rt_support.h"

namespace rt {

// A compiled-expression item over a hand-built chain, with the fast path the
// compiler would build for it (records in `folded` count as folded).
class Compiled {
public:
    Compiled(Chain &chain, intptr_t result, std::initializer_list<OperationRecord *> folded = {}) {
        expr_ = chain.expression(result);
        data_ = nx::heapNew<nx::ExprData>();
        data_->pure = nx::isPureChain(expr_->chain);
        for (OperationRecord *r : folded) nx::noteFoldable(data_, r, nullptr);
        expr_->extra = data_;
        nx::buildFastPath(expr_);
    }
    ~Compiled() {
        nx::releaseFastPath(data_);
        for (void *b : data_->blocks) nx::heapFree(b);
        nx::heapDelete(data_);
        expr_->extra = nullptr;
    }
    Compiled(const Compiled &) = delete;
    Compiled &operator=(const Compiled &) = delete;

    intptr_t handle() const { return reinterpret_cast<intptr_t>(expr_); }
    nx::FastPath *fast() const { return data_->fast; }
    bool hot() const { return nx::hotEntry(expr_) != nullptr; }

private:
    Item *expr_ = nullptr;
    nx::ExprData *data_ = nullptr;
};

} // namespace rt
