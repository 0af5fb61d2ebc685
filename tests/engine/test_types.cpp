// Values and data types: value storage, the string family, fixed strings, Void,
// collections and their text, item and value copies, conversion through text,
// and that releasing frees everything that was made.
#include <gtest/gtest.h>

#include <cstring>
#include <ranges>
#include <vector>

#include "cells.h"
#include "context.h"
#include "engine.h"
#include "types.h"

using namespace nx;

namespace {

enum { kComplex = 1, kDouble = 3, kExtended = 4, kByte = 6, kLong = 9, kString = 14, kLpcstr = 15, kFixed = 16,
       kWide = 17, kCollection = 18, kVoid = 19, kFixedZero = 20 };

// Types and values built by hand in the engine heap, released at the end, newest
// first.
struct Types {
    ThreadContext *ctx = heapNew<ThreadContext>();
    std::vector<Item *> made;
    ~Types() {
        for (Item *item : std::ranges::reverse_view(made)) {  // values before their types
            releaseValue(item);
            strFree(item->name);
            strFree(item->textData);
            heapDelete(item);
        }
        heapDelete(ctx);
    }
    Item *type(int slot, int32_t size, std::string_view textData = {}) {
        Item *t = bare(nullptr);
        t->dataType = t;
        t->typeHandler = reinterpret_cast<intptr_t>(typeHandlerForSlot(slot));
        t->size = size;
        t->textData = textData.empty() ? nullptr : strAlloc(textData);
        return t;
    }
    Item *bare(Item *type, int32_t count = 0) {
        Item *v = made.emplace_back(heapNew<Item>());
        if (type) {
            v->dataType = type;
            v->typeHandler = type->typeHandler;
            v->size = type->size;
        }
        v->count = count;
        v->context = ctx;
        return v;
    }
    Item *value(Item *type, std::string_view text = {}, int32_t count = 0) {
        Item *v = bare(type, count);
        createValue(v, ctx);
        if (!text.empty()) {
            EXPECT_TRUE(valueFromText(v, text, ctx)) << text;
        }
        return v;
    }
};

// Message 7 for an item, with its argument word.
TypeRequest &createRequest(Item *item, intptr_t word) {
    static TypeRequest r;
    r = TypeRequest{};
    r.Item = reinterpret_cast<intptr_t>(item);
    r.Message = 7;
    r.Word = word;
    return r;
}

int64_t liveBlocksNow() {
    sharedEmpty();  // made on first use
    return heapLiveBlocks();
}

std::string_view held(const Item *item, size_t element = 0) {
    return strView(cellStr(static_cast<const char *>(cellAt(item->address)) + 4 * element));
}

ItemList *listOf(const Item *item) { return fromHandle<ItemList>(load<uint32_t>(cellAt(item->address))); }

// Empties a collection of the elements the test made, so releasing it frees none.
void takeElementsBack(Item *collection) {
    while (listOf(collection)->count) listRemove(listOf(collection), listOf(collection)->count);
}

} // namespace

TEST(Values, StorageIsZeroedOwnedAndReleased) {
    int64_t start = liveBlocksNow();
    {
        Types t;
        Item *dbl = t.type(kDouble, 8);
        Item *x = t.value(dbl);
        EXPECT_TRUE(x->has(flag::OwnsValue));
        EXPECT_EQ(load<double>(cellAt(x->address)), 0.0);
        Item *array = t.value(dbl, {}, 3);  // elements 0 to 3
        store<double>(static_cast<char *>(cellAt(array->address)) + 24, 4.5);
        Item *function = t.bare(dbl, 3);  // three parameters but one result cell
        function->flags = flag::ArgList;
        createValue(function, t.ctx);
        EXPECT_EQ(copyItem(function, t.bare(dbl))->size, 8);
        releaseValue(x);
        EXPECT_FALSE(x->address || x->has(flag::OwnsValue));
        alignas(4) char hostCell[4] = {};
        Item *bound = t.bare(t.type(kString, 4));
        bound->address = reinterpret_cast<intptr_t>(hostCell);
        releaseValue(bound);  // not owned: left alone
        EXPECT_EQ(bound->address, reinterpret_cast<intptr_t>(hostCell));
        bound->address = 0;
    }
    EXPECT_EQ(heapLiveBlocks(), start);
}

TEST(Strings, ReadShowCopyReplaceAndClear) {
    int64_t start = liveBlocksNow();
    {
        Types t;
        Item *str = t.type(kString, 4);
        Item *s = t.value(str, "abc");
        EXPECT_EQ(valueToText(s), "abc");
        Item *copy = copyItem(s, t.bare(str));
        EXPECT_NE(cellStr(cellAt(copy->address)), cellStr(cellAt(s->address)));
        NxStr other = strAlloc("new");
        int64_t before = heapLiveBlocks();
        storeNativeResult(str, cellAt(s->address), reinterpret_cast<intptr_t>(other), 0);
        EXPECT_EQ(held(s), "new");
        EXPECT_EQ(heapLiveBlocks(), before) << "\"abc\" freed, a copy of \"new\" made";
        strFree(other);
        EXPECT_EQ(held(copy), "abc");
        Item *array = t.value(str, {}, 2);
        for (int i = 0; i < 3; ++i) cellAssign(static_cast<char *>(cellAt(array->address)) + 4 * i, "e");
        EXPECT_EQ(held(copyItem(array, t.bare(str)), 2), "e");
        clearValue(array);
        EXPECT_EQ(held(array, 1), "");
    }
    EXPECT_EQ(heapLiveBlocks(), start);
}

TEST(Strings, EmptyTextIsTheSharedHandleAndFreesNothing) {
    Types t;
    Item *s = t.value(t.type(kString, 4));
    int64_t before = liveBlocksNow();
    ASSERT_TRUE(valueFromText(s, "", t.ctx));
    EXPECT_EQ(cellStr(cellAt(s->address)), sharedEmpty());
    clearValue(s);
    EXPECT_EQ(heapLiveBlocks(), before);
    EXPECT_EQ(cellStr(emptyStringCell()), sharedEmpty());
}

TEST(Strings, WideAndZeroEndedForms) {
    Types t;
    Item *w = t.value(t.type(kWide, 4), "A\xE9");
    EXPECT_EQ(held(w), std::string_view("A\0\xE9\0", 4));
    EXPECT_EQ(valueToText(w), "A\xE9");
    cellAssign(cellAt(w->address), std::string_view("x\0\x01\x01", 4));  // U+0101 is not Latin-1
    EXPECT_EQ(valueToText(w), "x?");

    Item *lpcstr = t.type(kLpcstr, 0);
    Item *p = t.bare(lpcstr);
    NxStr text = strAlloc("hello");
    p->address = callTypeHandler(lpcstr, createRequest(p, reinterpret_cast<intptr_t>(text)));
    p->flags |= flag::OwnsValue;
    strFree(text);
    EXPECT_EQ(p->size, 4);
    EXPECT_STREQ(cellStr(cellAt(p->address)), "hello");
    ASSERT_TRUE(valueFromText(p, std::string_view("a\0b", 3), t.ctx));
    EXPECT_EQ(held(p), "a");
    Item *copy = copyItem(p, t.bare(lpcstr));
    EXPECT_NE(cellStr(cellAt(copy->address)), cellStr(cellAt(p->address))) << "own bytes";
    storeNativeResult(lpcstr, cellAt(copy->address), reinterpret_cast<intptr_t>("native"), 0);
    EXPECT_EQ(valueToText(copy) + valueToText(p), "nativea");
}

TEST(Strings, FixedStringsArePaddedOrCutAndVoidShowsItsText) {
    Types t;
    Item *fixed = t.type(kFixed, 0);
    struct { const char *text, *cell; } cases[] = {{"ab", "ab   "}, {"abcdefg", "abcde"}, {"", "     "}};
    for (auto [text, cell] : cases) {
        Item *f = t.bare(fixed);
        callTypeHandler(fixed, createRequest(f, 5));  // the declared length
        createValue(f, t.ctx);
        ASSERT_TRUE(valueFromText(f, text, t.ctx));
        EXPECT_EQ(std::string_view(static_cast<char *>(cellAt(f->address)), 5), cell);
        EXPECT_EQ(valueToText(f), cell);
    }
    Item *zeroType = t.type(kFixedZero, 3, "x");
    EXPECT_EQ(valueToText(t.value(zeroType)), "") << "a zeroed cell shows nothing";
    EXPECT_EQ(strView(zeroType->textData), "0");
    EXPECT_EQ(valueToText(t.value(t.type(kVoid, 10, "Ok"))), "Ok") << "Void shows its type's text";
    EXPECT_EQ(valueToText(t.value(t.type(kVoid, 10))), "");
}

TEST(ItemLists, GrowByDoublingAndShift) {
    int64_t start = liveBlocksNow();
    ItemList *list = listNew(4, 77);
    for (intptr_t v = 1; v <= 5; ++v) listAppend(list, v);
    EXPECT_EQ(list->capacity, 8u);
    EXPECT_EQ(list->count, 5u);
    EXPECT_EQ(list->slots[0], 77);
    EXPECT_EQ(list->slots[8], 0) << "new slots are zeroed";
    listInsert(list, 2, 9);  // 1 9 2 3 4 5
    listInsert(list, 0, 8);  // outside 1..count: appends
    EXPECT_EQ(listRemove(list, 2), 9);
    EXPECT_EQ(listRemove(list, 99), 0);
    std::vector<intptr_t> now(list->slots + 1, list->slots + 1 + list->count);
    EXPECT_EQ(now, (std::vector<intptr_t>{1, 2, 3, 4, 5, 8}));
    listFree(list);
    ItemList *empty = listNew(0, 0);
    listAppend(empty, 3);
    EXPECT_EQ(empty->capacity, 1u);
    listFree(empty);
    EXPECT_EQ(heapLiveBlocks(), start);
}

TEST(Collections, StackFormatShowsElements) {
    Types t;
    Item *s = t.value(t.type(kCollection, 4));
    Item *named = t.value(t.type(kDouble, 8), "-2.5");
    named->name = strAlloc("k");
    for (Item *e : {t.value(t.type(kLong, 4), "1"), t.value(t.type(kString, 4), "x")})
        listAppend(listOf(s), reinterpret_cast<intptr_t>(e));
    struct { const char *a, *b, *c, *d, *text; } cases[] = {
        {"{", "'", ", ", "}", "{1, 'x'}"}, {"", "", "", "", "1x"}, {"[", "\"", ";", "]", "[1;\"x\"]"},
    };
    for (auto &c : cases) {
        setStackFormat(c.a, c.b, c.c, c.d);
        EXPECT_EQ(valueToText(s), c.text);
    }
    listAppend(listOf(s), reinterpret_cast<intptr_t>(named));
    Item *alias = t.bare(s->dataType);  // an element that is the list itself
    alias->address = s->address;
    listAppend(listOf(s), reinterpret_cast<intptr_t>(alias));
    setStackFormat("{", "'", ", ", "}");
    EXPECT_TRUE(valueToText(s).starts_with("{1, 'x', 'k', -2.5, {1, 'x', 'k', -2.5, {1, "));
    takeElementsBack(s);
    alias->address = 0;
    EXPECT_EQ(valueToText(s), "{}");
    setStackFormat("", "", "", "");
}

TEST(Collections, NewCopiedWithNamesAndCleared) {
    Types t;
    Item *table = t.type(kCollection, 4);
    Item *s = t.value(table);
    EXPECT_EQ(listOf(s)->capacity, 1u);
    EXPECT_EQ(listOf(s)->slots[0], reinterpret_cast<intptr_t>(t.ctx)) << "owned by the context";
    Item *entry = t.value(t.type(kString, 4), "v");
    entry->name = strAlloc("key");
    listAppend(listOf(s), reinterpret_cast<intptr_t>(entry));
    Item *copy = copyItem(s, t.bare(table));
    ASSERT_EQ(listOf(copy)->count, 1u);
    auto *element = reinterpret_cast<Item *>(listOf(copy)->slots[1]);
    EXPECT_NE(element->address, entry->address);
    EXPECT_EQ(element->nameView(), "key");
    EXPECT_EQ(held(element), "v");
    takeElementsBack(s);
    ItemList *list = listOf(copy);
    clearValue(copy);  // hands the copied element to the item release
    EXPECT_EQ(listOf(copy), list);
    EXPECT_EQ(list->count, 0u);
}

TEST(CopyItem, CopiesShapeAndGivesOwnStorage) {
    Types t;
    Item *dbl = t.type(kDouble, 8);
    Item *source = t.value(dbl, "2.5");
    source->flags |= flag::Variable | flag::ChainHead;
    source->precedence = 7;
    source->conversions.push_back({dbl, 123});
    Item *target = t.bare(dbl);
    target->flags = flag::ChainHead;  // the target's own registration stays
    EXPECT_EQ(copyItem(source, target), target);
    EXPECT_EQ(target->flags, intptr_t(flag::Variable | flag::ChainHead | flag::OwnsValue));
    EXPECT_EQ(target->precedence, 7);
    EXPECT_EQ(target->conversions.at(0).routine, 123);
    EXPECT_NE(target->address, source->address);
    EXPECT_EQ(load<double>(cellAt(target->address)), 2.5);
    EXPECT_FALSE(copyItem(source, t.bare(dbl))->has(flag::ChainHead)) << "a copy is not registered";
    EXPECT_EQ(copyItem(source, source), source);
    Item *fresh = copyItem(source, nullptr);
    EXPECT_EQ(load<double>(cellAt(fresh->address)), 2.5);
    releaseItem(fresh);
}

TEST(CopyValue, ReplacesTheTargetsValueInPlace) {
    int64_t start = liveBlocksNow();
    {
        Types t;
        Item *str = t.type(kString, 4);
        Item *a = t.value(str, "one"), *b = t.value(str, "two");
        intptr_t where = b->address;
        int64_t before = heapLiveBlocks();
        EXPECT_EQ(copyValue(a, b), 1);
        EXPECT_EQ(b->address, where);
        EXPECT_EQ(held(b), "one");
        EXPECT_EQ(heapLiveBlocks(), before) << "\"two\" was released";
        EXPECT_EQ(copyValue(a, a), 1);
        EXPECT_EQ(held(a), "one");
        Item *x = t.value(t.type(kDouble, 8), "1.25");
        EXPECT_EQ(copyValue(x, b), 0) << "different types";
    }
    EXPECT_EQ(heapLiveBlocks(), start);
}

TEST(ConvertThroughText, ReadsTheShownTextIntoTheTarget) {
    Types t;
    Item *dbl = t.type(kDouble, 8), *lng = t.type(kLong, 4), *str = t.type(kString, 4), *wide = t.type(kWide, 4);
    Item *ext = t.type(kExtended, 10), *cpx = t.type(kComplex, 20), *byte = t.type(kByte, 1);
    struct { Item *from; const char *text; Item *to; intptr_t ok; const char *shown; } cases[] = {
        {dbl, "2.5", lng, 1, " 2"}, {dbl, "3.5", lng, 1, " 4"}, {lng, "-7", str, 1, "-7"},
        {str, "'q'", wide, 1, "'q'"}, {ext, "0.5", cpx, 1, " .5"}, {cpx, "3+4i", ext, 0, " 0"},
        {lng, "300", byte, 1, " 44"}, {str, "12abc", dbl, 0, " 0"},
    };
    for (auto &c : cases) {
        Item *to = t.value(c.to);
        EXPECT_EQ(convertThroughText(t.value(c.from, c.text), to), c.ok) << c.text;
        EXPECT_EQ(valueToText(to), c.shown) << c.text;
    }
}

TEST(Values, EveryTypeFreesEverythingItMade) {
    int64_t start = liveBlocksNow();
    {
        Types t;
        struct { int slot, size; } types[] = {{1, 20}, {2, 8}, {3, 8}, {4, 10}, {6, 1}, {7, 2}, {8, 2}, {9, 4},
            {10, 4}, {13, 4}, {14, 4}, {15, 0}, {16, 4}, {17, 4}, {18, 4}, {19, 10}, {20, 4}};
        for (auto [slot, size] : types) {
            Item *type = t.type(slot, size, "Ok");
            Item *v = t.value(type, {}, 1);
            valueFromText(v, slot == kComplex ? "1-2i" : "1", t.ctx);
            valueToText(v);
            clearValue(copyItem(v, t.bare(type)));
            Item *other = t.value(type, {}, 1);
            copyValue(v, other);
            convertThroughText(v, other);
        }
    }
    EXPECT_EQ(heapLiveBlocks(), start);
}
