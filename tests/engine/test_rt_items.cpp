// The callback interface, nxExprThread, and the routines that work on items:
// assignment, errors raised from the language, addresses, libraries, the
// command entry as a routine, and collections.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "codestubs.h"
#include "test_rt_support.h"
#include "types.h"

using namespace nx;
using rt::Chain;

namespace {

intptr_t handle(const void *p) { return reinterpret_cast<intptr_t>(p); }

// Typed items with values of their own in one context, released at the end; the
// engine heap must be back where it started.
class Values {
public:
    Values() : live_(baseline()), ctx(heapNew<ThreadContext>()) {}
    // Process-wide cells made on first use (the shared empty string, the true
    // cell) are not leaks of a test: make them before counting.
    static int64_t baseline() {
        sharedEmpty();
        initRoutineTable();
        return heapLiveBlocks();
    }
    ~Values() {
        for (auto it = items_.rbegin(); it != items_.rend(); ++it) releaseItem(*it);
        while (!ctx->items.empty()) releaseItem(ctx->items.back());  // made by the routines themselves
        for (Item *t : types_) heapDelete(t);
        for (Item *p : ctx->patterns) heapDelete(p);
        ctx->patterns.clear();
        strFree(ctx->errorSymbol);
        strFree(ctx->stringReturn);
        for (NxStr m : ctx->messages) strFree(m);
        heapDelete(ctx);
        EXPECT_EQ(heapLiveBlocks(), live_);
    }
    Item *type(int slot, int32_t size) {
        Item *t = heapNew<Item>();
        t->dataType = t;
        t->typeHandler = reinterpret_cast<intptr_t>(typeHandlerForSlot(slot));
        t->size = size;
        types_.push_back(t);
        return t;
    }
    Item *value(Item *type) {
        Item *v = newItem(ctx);
        v->dataType = type;
        v->size = type->size;
        v->flags = flag::Variable;
        createValue(v, ctx);
        items_.push_back(v);
        return v;
    }
    Item *ext(long double x) {
        Item *v = value(extended());
        storeExt(cellAt(v->address), x);
        return v;
    }
    Item *str(std::string_view text) {
        Item *v = value(string());
        cellAssign(cellAt(v->address), text);
        return v;
    }
    Item *stack() { return value(collection()); }
    Item *extended() { return cached(extended_, 4, 10); }
    Item *string() { return cached(string_, 14, 4); }
    Item *collection() { return cached(collection_, 18, 4); }

    int64_t live_;
    ThreadContext *ctx;

private:
    Item *cached(Item *&slot, int handlerSlot, int32_t size) { return slot ? slot : slot = type(handlerSlot, size); }
    std::vector<Item *> items_, types_;
    Item *extended_ = nullptr, *string_ = nullptr, *collection_ = nullptr;
};

ItemList *listOf(const Item *stack) { return fromHandle<ItemList>(load<uint32_t>(cellAt(stack->address))); }
long double extOf(const Item *item) { return loadExt(cellAt(item->address)); }

// ---- callbacks ----

TEST(Callbacks, ReadArgumentsByTheirDeclaredWidth) {
    Chain c;
    Item *item = c.variable(c.ext(1));
    intptr_t text = c.str("text"), empty = c.str(""), null = c.cell(4);
    OperationRecord *r = c.add(61, 0, 0, 0,
                               c.args({c.lng(-7), c.dbl(0.5), c.ext(1.0L / 3), text, empty, null, handle(item)}));
    EXPECT_EQ(nxParamCount(r), 7);
    EXPECT_EQ(nxParamHandle(r, 7), handle(item));
    EXPECT_EQ(nxParamLng(r, 1), -7);
    EXPECT_EQ(nxParamDbl(r, 2), 0.5);
    EXPECT_EQ(nxParamExt(r, 3), 1.0L / 3);

    char *copy = nxParamStr(r, 4);
    EXPECT_EQ(strView(copy), "text");
    EXPECT_NE(copy, cellStr(cellAt(text)));
    nxStrFree(copy);
    for (intptr_t i : {5, 6}) {
        char *none = nxParamStr(r, i);
        EXPECT_EQ(strLen(none), 0u);
        nxStrFree(none);
        const char *bytes = nxParamStrB(r, i);
        ASSERT_NE(bytes, nullptr);
        EXPECT_EQ(bytes[0], 0);
    }
    EXPECT_EQ(nxParamStrB(r, 4), cellStr(cellAt(text)));
    OperationRecord bare{};
    EXPECT_EQ(nxParamCount(&bare), 0);
}

TEST(Callbacks, ResultsAndVariablesAreWrittenThroughTheThirdWord) {
    Chain c;
    intptr_t real = c.ext(0), text = c.str("old");
    OperationRecord *r = c.add(61, 0, 0, real);
    Item *variable = c.variable(real), *textVariable = c.variable(text);
    nxReturnExt(r, 2.5L);
    EXPECT_EQ(rt::extAt(real), 2.5L);
    nxSetVariableValueDbl(handle(variable), 0.25);
    EXPECT_EQ(rt::dblAt(real), 0.25);

    r->Result = text;
    int64_t live = heapLiveBlocks();
    nxReturnStr(r, "first");
    nxReturnStr(r, "second");  // the first text is released
    EXPECT_EQ(rt::strAt(text), "second");
    nxSetVariableValueStr(handle(textVariable), "third");
    EXPECT_EQ(rt::strAt(text), "third");
    EXPECT_EQ(heapLiveBlocks(), live);
    nxReturnStr(r, nullptr);
    EXPECT_EQ(rt::strAt(text), "");
}

TEST(Callbacks, TextResultsComeAsIndependentCopiesOrBorrowedBytes) {
    Chain c;
    ThreadContext *ctx = c.context();
    ctx->stringReturn = strAlloc("result");
    intptr_t token = handle(ctx);
    char *a = nxStrReturn(token), *b = nxStrReturn(token);
    EXPECT_EQ(strView(a), "result");
    EXPECT_EQ(strView(b), "result");
    EXPECT_NE(a, b);
    nxStrFree(a);
    EXPECT_EQ(strView(b), "result");
    nxStrFree(b);
    EXPECT_EQ(nxStrReturnB(token), ctx->stringReturn);
    strFree(ctx->stringReturn);
    ctx->stringReturn = nullptr;
    EXPECT_EQ(strLen(nxStrReturn(token)), 0u);
    EXPECT_STREQ(nxStrReturnB(token), "");
    EXPECT_STREQ(nxStrReturnB(0), "");
}

// ---- threads ----

TEST(ExprThread, FindsTheNearestContextWithTokenPatterns) {
    Item *root = newThread(nullptr), *child = newThread(root->context), *grandchild = newThread(child->context);
    struct Case { bool childHasPatterns; Item *expected; } cases[] = {{false, root}, {true, child}};
    for (const auto &k : cases) {
        root->context->patterns.push_back(heapNew<Item>());
        if (k.childHasPatterns) child->context->patterns.push_back(heapNew<Item>());
        for (Item *compiledIn : {child, grandchild}) {
            Chain c(compiledIn->context);
            OperationRecord *first = c.add(61, 0, 0, 0);
            OperationRecord *second = c.add(61, 0, 0, 0);
            EXPECT_EQ(nxExprThread(first), handle(k.expected));
            EXPECT_EQ(nxExprThread(second), handle(k.expected));
            EXPECT_EQ(nxExprThread(c.end()), handle(k.expected));
        }
        for (Item *t : {root, child})
            for (Item *p : t->context->patterns) heapDelete(p);
        root->context->patterns.clear();
        child->context->patterns.clear();
    }
    Chain own(child->context);  // no patterns anywhere: the root
    EXPECT_EQ(nxExprThread(own.add(61, 0, 0, 0)), handle(root));
    EXPECT_EQ(nxExprThread(nullptr), 0);
    releaseThread(grandchild);
    releaseThread(child);
    releaseThread(root);
}

// ---- assignment ----

TEST(Assignment, CopiesWithinATypeConvertsBetweenTypesAndRefusesConstants) {
    Values v;
    Item *dbl = v.type(3, 8), *lng = v.type(9, 4);
    Item *x = v.value(dbl), *y = v.value(dbl), *n = v.value(lng);
    store<double>(cellAt(y->address), 2.5);
    Chain c(v.ctx);
    c.call(140, 0, 0, 0, c.args({handle(x), handle(y)}));
    EXPECT_EQ(load<double>(cellAt(x->address)), 2.5);
    c.call(140, handle(n), handle(y), 0);  // an operator record: operands in Arg1/Arg2
    EXPECT_EQ(load<int32_t>(cellAt(n->address)), 2);

    x->flags |= flag::Constant;
    store<double>(cellAt(y->address), 9);
    c.call(140, 0, 0, 0, c.args({handle(x), handle(y)}));
    EXPECT_EQ(load<double>(cellAt(x->address)), 2.5);
    EXPECT_EQ(v.ctx->errorCode, 13);
}

TEST(Assignment, FixedWidthFormsCopyRawBytes) {
    for (auto [slot, width] : {std::pair{141, 4}, std::pair{142, 8}, std::pair{143, 10}}) {
        Chain c;
        intptr_t from = c.cell(), to = c.cell();
        std::memset(cellAt(from), 0xAB, 16);
        c.call(slot, 0, 0, 0, c.args({handle(c.variable(to)), handle(c.variable(from))}));
        auto *bytes = static_cast<unsigned char *>(cellAt(to));
        EXPECT_EQ(bytes[width - 1], 0xAB) << slot;
        EXPECT_EQ(bytes[width], 0) << slot;
    }
}

// ---- errors from the language ----

std::vector<std::pair<std::string, std::string>> messages;
void captureMessage(const char *text, const char *caption) { messages.emplace_back(text, caption); }

TEST(Errors, ErrorRaisesNumberOneWithItsTextThroughTheHandlers) {
    Item *thread = newThread(nullptr);
    ThreadContext *ctx = thread->context;
    ctx->patterns.push_back(heapNew<Item>());
    Item *handler = heapNew<Item>();
    handler->address = reinterpret_cast<intptr_t>(&errorMessageBuilder);
    ctx->handlers.push_back(handler);
    messages.clear();
    nxSetMessageCallback(&captureMessage);
    {
        Chain c(ctx);
        c.call(154, c.str("Value out of range"), 0, 0);
    }
    EXPECT_EQ(ctx->errorCode, 1);
    ctx->errorSymbol = strAlloc("x");
    errorMessageBuilder(handle(thread));
    nxSetMessageCallback(nullptr);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].first, "Error #1\r\nValue out of range");
    EXPECT_EQ(messages[0].second, "Error");
    EXPECT_EQ(messages[1].first, "Error #1\r\nValue out of range\r\nItem: x");
    ctx->handlers.clear();
    heapDelete(handler);
    heapDelete(ctx->patterns.back());
    ctx->patterns.clear();
    releaseThread(thread);
}

// ---- addresses, the table, libraries ----

TEST(Addresses, OfSlotsAndOfElements) {
    Chain c;
    // A routine's address reaches the language as a stub below 2 GiB that leads
    // back to the routine.
    EXPECT_LT(languageCodeAddress(routineSlotContent(48)), intptr_t(0x80000000));
    EXPECT_EQ(engineCodeAddress(languageCodeAddress(routineSlotContent(48))), routineSlotContent(48));
    for (auto [index, expected] : {std::pair{48.0L, languageCodeAddress(routineSlotContent(48))},
                                   std::pair{-1.0L, intptr_t(0)},
                                   std::pair{1e9L, intptr_t(0)}}) {
        intptr_t result = c.ext(-1);
        c.call(101, c.ext(index), 0, result);
        EXPECT_EQ(rt::extAt(result), static_cast<long double>(expected)) << index;
    }
    Item *type = c.variable(0);
    type->size = 8;
    intptr_t address = c.lng(0);
    c.call(102, 0, 0, address, c.args({c.lng(static_cast<int32_t>(handle(type))), c.lng(1000), c.lng(3)}));
    EXPECT_EQ(rt::lngAt(address), 1024);
    c.call(102, 0, 0, address, c.args({c.lng(0), c.lng(1000), c.lng(3)}));  // no type: size 0
    EXPECT_EQ(rt::lngAt(address), 1000);
}

TEST(Libraries, AreNumberedAndTheirExportsFound) {
    Chain c;
    intptr_t first = c.lng(0), again = c.lng(0), missing = c.lng(-1);
    c.call(108, c.str("libm.so.6"), 0, first);
    c.call(108, c.str("libm.so.6"), 0, again);
    c.call(108, c.str("libdoes-not-exist.so"), 0, missing);
    EXPECT_GE(rt::lngAt(first), 1);
    EXPECT_EQ(rt::lngAt(again), rt::lngAt(first));
    EXPECT_EQ(rt::lngAt(missing), 0);

    void *libm = dlopen("libm.so.6", RTLD_NOW);
    intptr_t address = c.dbl(-1);
    c.call(109, first, c.str("cos"), address);
    EXPECT_EQ(rt::dblAt(address), static_cast<double>(reinterpret_cast<uintptr_t>(dlsym(libm, "cos"))));
    EXPECT_NE(rt::dblAt(address), 0);
    for (auto [number, name] : {std::pair{rt::lngAt(first), "no_such_export"}, std::pair{0, "cos"}, std::pair{99, "cos"}}) {
        c.call(109, c.lng(number), c.str(name), address);
        EXPECT_EQ(rt::dblAt(address), 0) << number << " " << name;
    }
    dlclose(libm);
}

// ---- the command entry as a routine ----

TEST(CommandRoutines, CallTheEntryWithTheirSixArguments) {
    Item *thread = newThread(nullptr);
    const int32_t t = static_cast<int32_t>(handle(thread));
    Chain c(thread->context);
    auto call = [&](int slot, int32_t code, intptr_t result) {
        c.call(slot, 0, 0, result, c.args({c.lng(code), c.str(""), c.lng(0), c.lng(0), c.lng(0), c.lng(t)}));
    };
    intptr_t number = c.lng(-1), text = c.str("old");
    setAngleUnit(3);
    call(99, nx_GetAngleUnit, number);
    EXPECT_EQ(rt::lngAt(number), 3);
    setAngleUnit(1);
    call(100, nx_GetPropertySeparator, text);
    EXPECT_EQ(rt::strAt(text), "~~");
    call(100, nx_GetAngleUnit, text);  // a number is no text result
    EXPECT_EQ(rt::strAt(text), "");
    c.call(99, 0, 0, number, c.args({c.lng(nx_GetDefaultRank)}));  // missing trailing arguments are 0
    releaseThread(thread);
}

// ---- collections ----

// Calls a collection routine; x and y are the first two operands.
OperationRecord *collect(Chain &c, int slot, intptr_t x, intptr_t y, intptr_t result, intptr_t argList = 0) {
    return c.call(slot, x, y, result, argList);
}

TEST(Stacks, PushPopAndReadByPosition) {
    Values v;
    Chain c(v.ctx);
    Item *stack = v.stack();
    intptr_t count = c.lng(0);
    for (long double x : {1.0L, 2.0L, 3.0L}) collect(c, 120, stack->address, handle(v.ext(x)), count);
    EXPECT_EQ(rt::lngAt(count), 3);
    collect(c, 120, stack->address, handle(v.ext(0.5L)), count, c.args({stack->address, 0, c.lng(2)}));
    EXPECT_EQ(rt::lngAt(count), 4);  // inserted at 2: 1, 0.5, 2, 3

    struct Case { int slot; int32_t index; long double expected; int32_t countAfter; } cases[] = {
        {125, 2, 0.5L, 4},  // read
        {125, 0, 3, 4},     // index below 1: the last
        {125, 9, 3, 4},     // beyond the count: the last
        {122, 1, 1, 3},     // pop
        {122, 0, 3, 2},
        {122, 0, 2, 1},
        {122, 0, 0.5L, 0},
        {122, 0, 0, 0},     // empty
    };
    for (const auto &k : cases) {
        intptr_t result = c.ext(-1);
        collect(c, k.slot, stack->address, c.lng(k.index), result);
        EXPECT_EQ(rt::extAt(result), k.expected) << "slot " << k.slot << " index " << k.index;
        EXPECT_EQ(listOf(stack)->count, static_cast<uint32_t>(k.countAfter));
    }
}

TEST(Stacks, TextFormsReadElementsAsText) {
    Values v;
    Chain c(v.ctx);
    Item *stack = v.stack();
    intptr_t count = c.lng(0), text = c.str(""), number = c.ext(-1);
    collect(c, 120, stack->address, handle(v.str("abc")), count);
    collect(c, 120, stack->address, handle(v.ext(-4)), count);
    collect(c, 123, stack->address, c.lng(0), text);
    EXPECT_EQ(rt::strAt(text), "-4");
    collect(c, 122, stack->address, c.lng(0), number);
    EXPECT_EQ(rt::extAt(number), 0);  // "abc" is no number
    collect(c, 123, stack->address, c.lng(0), text);
    EXPECT_EQ(rt::strAt(text), "");   // empty
}

TEST(Stacks, JoinsAndLiteralsBuildAFreshResultEachTime) {
    Values v;
    Chain c(v.ctx);
    Item *a = v.stack(), *b = v.stack(), *result = v.stack();
    intptr_t count = c.lng(0);
    collect(c, 120, a->address, handle(v.ext(1)), count);
    collect(c, 120, b->address, handle(v.ext(2)), count);
    collect(c, 120, b->address, handle(v.ext(3)), count);
    for (int run = 0; run < 2; ++run) {
        collect(c, 128, a->address, b->address, result->address);
        ASSERT_EQ(listOf(result)->count, 3u) << "run " << run;
        EXPECT_EQ(extOf(reinterpret_cast<Item *>(listOf(result)->slots[3])), 3);
    }
    collect(c, 128, a->address, 0, result->address);
    EXPECT_EQ(listOf(result)->count, 1u);

    Item *x = v.ext(7), *s = v.str("x");
    for (int run = 0; run < 2; ++run) collect(c, 129, handle(x), handle(s), result->address, c.args({handle(x), handle(s)}));
    ASSERT_EQ(listOf(result)->count, 2u);
    EXPECT_EQ(extOf(reinterpret_cast<Item *>(listOf(result)->slots[1])), 7);
    EXPECT_NE(listOf(result)->slots[1], handle(x));  // a copy, not the item itself

    c.call(135, 0, 0, 0, c.args({c.str("{"), c.str("'"), c.str(", "), c.str("}")}));
    EXPECT_EQ(valueToText(result), "{7, 'x'}");
    c.call(135, 0, 0, 0, c.args({c.str(""), c.str(""), c.str(""), c.str("")}));
}

TEST(Tables, KeepEntriesInNameOrder) {
    Values v;
    Chain c(v.ctx);
    Item *table = v.stack();
    auto insert = [&](const char *name, long double x) {
        c.call(130, table->address, c.str(name), 0, c.args({table->address, c.str(name), handle(v.ext(x))}));
    };
    for (auto [name, x] : {std::pair{"m", 1.0L}, std::pair{"b", 2.0L}, std::pair{"x", 3.0L}, std::pair{"B", 4.0L},
                           std::pair{"a", 5.0L}}) insert(name, x);
    ItemList *list = listOf(table);
    std::vector<std::string> names;
    for (uint32_t i = 1; i <= list->count; ++i) names.emplace_back(reinterpret_cast<Item *>(list->slots[i])->nameView());
    EXPECT_EQ(names, (std::vector<std::string>{"a", "B", "m", "x"}));  // "B" replaced "b"

    struct Case { const char *name; long double expected; } cases[] = {{"b", 4}, {"A", 5}, {"x", 3}, {"q", -1}};
    for (const auto &k : cases) {
        intptr_t h = c.lng(0), kept = c.lng(-5);
        c.call(133, table->address, c.str(k.name), h);
        c.call(132, table->address, c.str(k.name), kept);
        if (k.expected < 0) {
            EXPECT_EQ(rt::lngAt(h), 0) << k.name;
            EXPECT_EQ(rt::lngAt(kept), -5) << k.name;  // not found: the result keeps its value
        } else {
            EXPECT_EQ(extOf(fromHandle<Item>(static_cast<uint32_t>(rt::lngAt(h)))), k.expected) << k.name;
            EXPECT_EQ(rt::lngAt(kept), rt::lngAt(h));
        }
    }
    c.call(131, table->address, c.str("M"), 0);
    c.call(131, table->address, c.str("absent"), 0);
    EXPECT_EQ(listOf(table)->count, 3u);
}

} // namespace
