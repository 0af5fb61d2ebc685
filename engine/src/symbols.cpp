// The symbol table: per context, the heads of the same-name chains sorted by
// name and binary-searched; items of one name form a chain through `next`.
#include <algorithm>
#include <atomic>

#include "engine.h"

namespace nx {

namespace {

// Position of the first head not ordered before name.
Vec<Item *>::iterator lowerBound(ThreadContext *ctx, std::string_view name) {
    bool cs = ctx->caseSensitive != 0;
    return std::lower_bound(ctx->symbols.begin(), ctx->symbols.end(), name,
                            [cs](Item *head, std::string_view n) {
                                return compareNames(head->nameView(), n, cs) < 0;
                            });
}

void markHead(Item *item, bool head) {
    if (head)
        item->flags |= flag::ChainHead;
    else
        item->flags &= ~static_cast<intptr_t>(flag::ChainHead);
}

} // namespace

Item *lookupLocal(ThreadContext *ctx, std::string_view name) {
    auto it = lowerBound(ctx, name);
    if (it != ctx->symbols.end() && equalNames((*it)->nameView(), name, ctx->caseSensitive != 0))
        return *it;
    return nullptr;
}

// Finds a name in the context, then its parents. Ordinary lookups pass over rule
// heads, so a name that is only a syntax rule is not an item; a table whose
// chain holds only rule heads does not hide a parent's item.
Item *lookupName(ThreadContext *ctx, std::string_view name, bool ruleHeads) {
    if (name.empty()) return nullptr;
    for (ThreadContext *c = ctx; c; c = c->parent) {
        Item *head = lookupLocal(c, name);
        if (!head) continue;
        if (ruleHeads) return head;
        for (Item *i = head; i; i = i->next)
            if (!(static_cast<uint32_t>(i->flags) & flag::RuleHead)) return i;
    }
    return nullptr;
}

namespace {
std::atomic<size_t> longestRegistered{1};
}

// The length of the longest name ever entered in any table: no name is longer.
size_t longestName() { return longestRegistered.load(std::memory_order_relaxed); }

// Enters an item under its name at chain position r (r < 0 counts from the end),
// clamped to 1..length+1. A constant at the head refuses it with error 13.
void registerName(ThreadContext *ctx, Item *item, int32_t rank) {
    std::string_view name = item->nameView();
    if (name.empty()) return;
    size_t longest = longestRegistered.load(std::memory_order_relaxed);
    while (name.size() > longest && !longestRegistered.compare_exchange_weak(longest, name.size())) {
    }
    auto it = lowerBound(ctx, name);
    if (it == ctx->symbols.end() || !equalNames((*it)->nameView(), name, ctx->caseSensitive != 0)) {
        item->next = nullptr;
        markHead(item, true);
        ctx->symbols.insert(it, item);
        return;
    }
    Item *head = *it;
    if (static_cast<uint32_t>(head->flags) & flag::Constant) {
        ctx->errorCode = 13;
        return;
    }
    int32_t length = 0;
    for (Item *i = head; i; i = i->next) ++length;
    int32_t position = rank < 0 ? length + rank + 2 : rank;
    position = std::clamp(position, 1, length + 1);
    if (position == 1) {
        item->next = head;
        markHead(head, false);
        markHead(item, true);
        *it = item;
        return;
    }
    Item *before = head;
    for (int32_t p = 2; p < position; ++p) before = before->next;
    item->next = before->next;
    before->next = item;
    markHead(item, false);
}

// Takes an item out of its context's table: the next item of its name becomes
// the head, or it is unlinked from the chain.
void unregisterName(Item *item) {
    ThreadContext *ctx = item->context;
    if (!ctx || item->nameView().empty()) return;
    auto it = lowerBound(ctx, item->nameView());
    if (it == ctx->symbols.end() || !equalNames((*it)->nameView(), item->nameView(), ctx->caseSensitive != 0))
        return;
    Item *head = *it;
    if (head == item) {
        if (item->next) {
            *it = item->next;
            markHead(item->next, true);
        } else {
            ctx->symbols.erase(it);
        }
    } else {
        for (Item *i = head; i->next; i = i->next) {
            if (i->next == item) {
                i->next = item->next;
                break;
            }
        }
    }
    item->next = nullptr;
    markHead(item, false);
}

// 1-based position of an item among the items that share its name.
int32_t chainPosition(Item *item) {
    ThreadContext *ctx = item->context;
    if (!ctx) return 0;
    Item *head = lookupLocal(ctx, item->nameView());
    int32_t p = 1;
    for (Item *i = head; i; i = i->next, ++p)
        if (i == item) return p;
    return 0;
}

} // namespace nx
