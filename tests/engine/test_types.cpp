// Values and data types: the handler table, value creation and release, the
// string family, fixed strings, Void, collections and their text, item copies,
// value copies and conversions through text, and that releasing frees everything.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "cells.h"
#include "context.h"
#include "engine.h"
#include "heap.h"
#include "types.h"

using namespace nx;

namespace {

enum Slot { kComplex = 1, kDouble = 3, kExtended = 4, kByte = 6, kLong = 9, kString = 14, kLpcstr = 15,
            kFixed = 16, kWide = 17, kCollection = 18, kVoid = 19, kFixedZero = 20 };

// Data types and values built by hand in the engine heap, all released when the
// test ends (values first, then types, then the context).
class Types {
public:
    Types() : ctx(heapNew<ThreadContext>()) {}
    Types(const Types &) = delete;
    Types &operator=(const Types &) = delete;
    ~Types() {
        for (Item *item : items_) drop(item);
        for (Item *type : types_) drop(type);
        heapDelete(ctx);
    }
    Item *type(int slot, int32_t size, std::string_view textData = {}) {
        Item *t = heapNew<Item>();
        t->dataType = t;
        t->typeHandler = reinterpret_cast<intptr_t>(typeHandlerForSlot(slot));
        t->size = size;
        if (!textData.empty()) t->textData = strAlloc(textData);
        types_.push_back(t);
        return t;
    }
    // An item of the type without a value.
    Item *bare(Item *type, int32_t count = 0) {
        Item *v = heapNew<Item>();
        v->dataType = type;
        v->typeHandler = type->typeHandler;
        v->size = type->size;
        v->count = count;
        v->context = ctx;
        items_.push_back(v);
        return v;
    }
    Item *value(Item *type, int32_t count = 0) {
        Item *v = bare(type, count);
        createValue(v, ctx);
        return v;
    }
    Item *value(Item *type, std::string_view text) {
        Item *v = value(type);
        EXPECT_TRUE(valueFromText(v, text, ctx)) << text;
        return v;
    }
    // Takes an item out of this set's care (the caller releases it).
    void forget(Item *item) { std::erase(items_, item); }

    ThreadContext *ctx;

private:
    static void drop(Item *item) {
        releaseValue(item);
        strFree(item->name);
        strFree(item->textData);
        heapDelete(item);
    }
    std::vector<Item *> items_, types_;
};

// Live engine blocks, once the shared empty string (made on first use) exists.
int64_t liveBlocksNow() {
    sharedEmpty();
    return heapLiveBlocks();
}

std::string_view held(const Item *item, size_t element = 0) {
    return strView(cellStr(static_cast<const char *>(cellAt(item->address)) + 4 * element));
}

ItemList *listOf(const Item *item) { return fromHandle<ItemList>(load<uint32_t>(cellAt(item->address))); }

// Empties a collection of elements the test made itself, so that releasing the
// collection hands nothing to the item release.
void takeElementsBack(Item *collection) {
    ItemList *list = listOf(collection);
    while (list->count) listRemove(list, list->count);
}

} // namespace

TEST(TypeHandlers, SlotsHaveHandlersOnlyWhereTypesAre) {
    std::vector<intptr_t> seen;
    for (int slot = 0; slot <= 22; ++slot) {
        bool expected = slot == 1 || slot == 2 || slot == 3 || slot == 4 || (slot >= 6 && slot <= 10) ||
                        (slot >= 13 && slot <= 20);
        NxTypeHandler h = typeHandlerForSlot(slot);
        EXPECT_EQ(h != nullptr, expected) << slot;
        if (h) seen.push_back(reinterpret_cast<intptr_t>(h));
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(std::unique(seen.begin(), seen.end()), seen.end()) << "each slot has its own handler";
    EXPECT_EQ(typeHandlerForSlot(3)(nullptr), 0);
}

TEST(ValueLifecycle, DefaultStorageIsZeroedOwnedAndFreed) {
    int64_t start = liveBlocksNow();
    {
        Types t;
        Item *dbl = t.type(kDouble, 8);
        Item *x = t.value(dbl);
        EXPECT_TRUE(x->has(flag::OwnsValue));
        EXPECT_EQ(load<double>(cellAt(x->address)), 0.0);
        Item *array = t.value(dbl, 3);  // elements 0 to 3
        store<double>(static_cast<char *>(cellAt(array->address)) + 24, 4.5);
        EXPECT_EQ(array->size, 8);
        Item *fixed = t.type(kFixed, 0);
        Item *sized = t.bare(fixed);
        sized->size = 5;  // a declared length wins over the type's size
        createValue(sized, t.ctx);
        EXPECT_TRUE(sized->has(flag::OwnsValue));
        Item *none = t.value(fixed);
        EXPECT_EQ(none->address, 0);
        EXPECT_FALSE(none->has(flag::OwnsValue));
        Item *function = t.bare(dbl, 3);  // three parameters, one result cell
        function->flags = flag::ArgList;
        createValue(function, t.ctx);
        store<double>(cellAt(function->address), 6.5);
        Item *copy = t.bare(dbl);
        copyItem(function, copy);
        EXPECT_EQ(load<double>(cellAt(copy->address)), 6.5);
        releaseValue(x);
        EXPECT_EQ(x->address, 0);
        EXPECT_FALSE(x->has(flag::OwnsValue));
        releaseValue(x);  // a second release does nothing
    }
    EXPECT_EQ(heapLiveBlocks(), start);
}

TEST(ValueLifecycle, UnownedValuesAreNeverFreed) {
    Types t;
    Item *v = t.bare(t.type(kString, 4));
    alignas(4) char hostCell[4] = {};
    v->address = reinterpret_cast<intptr_t>(hostCell);  // bound by address
    releaseValue(v);
    EXPECT_EQ(v->address, reinterpret_cast<intptr_t>(hostCell));
    v->address = 0;
}

TEST(StringValues, ReadShowCopyAndReplace) {
    int64_t start = liveBlocksNow();
    {
        Types t;
        Item *str = t.type(kString, 4);
        Item *s = t.value(str, "abc");
        EXPECT_EQ(held(s), "abc");
        EXPECT_EQ(valueToText(s), "abc");

        Item *copy = t.bare(str);
        copyItem(s, copy);
        EXPECT_NE(cellStr(cellAt(copy->address)), cellStr(cellAt(s->address)));
        EXPECT_EQ(held(copy), "abc");

        NxStr other = strAlloc("new text");
        int64_t before = heapLiveBlocks();
        storeNativeResult(str, cellAt(s->address), reinterpret_cast<intptr_t>(other), 0);
        EXPECT_EQ(held(s), "new text");
        EXPECT_EQ(heapLiveBlocks(), before) << "the old string was freed, a new one made";
        EXPECT_NE(cellStr(cellAt(s->address)), other);
        strFree(other);
        EXPECT_EQ(held(copy), "abc");

        Item *array = t.value(str, 2);
        for (size_t i = 0; i < 3; ++i) cellAssign(static_cast<char *>(cellAt(array->address)) + 4 * i, "elem");
        Item *arrayCopy = t.bare(str);
        copyItem(array, arrayCopy);
        EXPECT_EQ(arrayCopy->count, 2);
        EXPECT_EQ(held(arrayCopy, 2), "elem");
        clearValue(array);
        EXPECT_EQ(held(array, 1), "");
        EXPECT_TRUE(array->has(flag::OwnsValue));
    }
    EXPECT_EQ(heapLiveBlocks(), start);
}

TEST(StringValues, EmptyTextIsTheSharedHandleAndFreesNothing) {
    Types t;
    Item *str = t.type(kString, 4);
    Item *s = t.value(str);
    int64_t before = heapLiveBlocks();
    ASSERT_TRUE(valueFromText(s, "", t.ctx));
    EXPECT_EQ(cellStr(cellAt(s->address)), sharedEmpty());
    EXPECT_EQ(heapLiveBlocks(), before);
    clearValue(s);
    EXPECT_EQ(heapLiveBlocks(), before);
    Item *copy = t.bare(str);
    copyItem(s, copy);
    EXPECT_EQ(cellStr(cellAt(copy->address)), sharedEmpty());
    EXPECT_EQ(cellStr(emptyStringCell()), sharedEmpty()) << "the shared empty string survives";
}

TEST(StringValues, WideStringsHoldUtf16) {
    Types t;
    Item *wide = t.type(kWide, 4);
    Item *w = t.value(wide, "A\xE9");
    EXPECT_EQ(held(w), std::string_view("A\0\xE9\0", 4));
    EXPECT_EQ(valueToText(w), "A\xE9");
    cellAssign(cellAt(w->address), std::string_view("x\0\x01\x01", 4));  // U+0101 is beyond Latin-1
    EXPECT_EQ(valueToText(w), "x?");
}

TEST(StringValues, LpcstrKeepsAZeroEndedCopy) {
    int64_t start = liveBlocksNow();
    {
        Types t;
        Item *lpcstr = t.type(kLpcstr, 0);
        Item *p = t.bare(lpcstr);
        NxStr text = strAlloc("hello");
        TypeRequest create{};
        create.Item = reinterpret_cast<intptr_t>(p);
        create.Message = 7;
        create.Word = reinterpret_cast<intptr_t>(text);
        p->address = callTypeHandler(lpcstr, create);
        p->flags |= flag::OwnsValue;
        strFree(text);
        ASSERT_NE(p->address, 0);
        EXPECT_EQ(p->size, 4);
        const char *bytes = cellStr(cellAt(p->address));
        EXPECT_STREQ(bytes, "hello");

        ASSERT_TRUE(valueFromText(p, std::string_view("a\0b", 3), t.ctx));
        EXPECT_EQ(held(p), "a");
        EXPECT_EQ(cellStr(cellAt(p->address))[1], 0);

        Item *copy = t.bare(lpcstr);
        copyItem(p, copy);
        EXPECT_NE(cellStr(cellAt(copy->address)), cellStr(cellAt(p->address))) << "own bytes, no double free";
        storeNativeResult(lpcstr, cellAt(copy->address), reinterpret_cast<intptr_t>("native"), 0);
        EXPECT_EQ(valueToText(copy), "native");
        EXPECT_EQ(valueToText(p), "a");
    }
    EXPECT_EQ(heapLiveBlocks(), start);
}

TEST(FixedStrings, PaddedOrCutToTheDeclaredLength) {
    Types t;
    Item *fixed = t.type(kFixed, 0);
    struct Case { const char *text, *cell; } cases[] = {
        {"ab", "ab   "}, {"abcdefg", "abcde"}, {"", "     "}, {"12345", "12345"},
    };
    for (auto &c : cases) {
        Item *f = t.bare(fixed);
        TypeRequest create{};
        create.Item = reinterpret_cast<intptr_t>(f);
        create.Message = 7;
        create.Word = 5;  // the declared length
        EXPECT_EQ(callTypeHandler(fixed, create), 0);
        createValue(f, t.ctx);
        ASSERT_EQ(f->size, 5);
        ASSERT_TRUE(valueFromText(f, c.text, t.ctx));
        EXPECT_EQ(std::string_view(static_cast<char *>(cellAt(f->address)), 5), c.cell);
        EXPECT_EQ(valueToText(f), c.cell);
    }
    Item *unset = t.bare(fixed);
    unset->size = 3;
    createValue(unset, t.ctx);
    EXPECT_EQ(valueToText(unset), "") << "a zeroed cell shows nothing";
}

TEST(FixedStrings, ZeroVariantGivesItsTypeTheTextZero) {
    Types t;
    Item *fixed = t.type(kFixedZero, 0, "x");
    Item *f = t.bare(fixed);
    f->size = 2;
    createValue(f, t.ctx);
    ASSERT_TRUE(valueFromText(f, "7", t.ctx));
    EXPECT_EQ(strView(fixed->textData), "0");
    EXPECT_EQ(valueToText(f), "7 ");
}

TEST(VoidValues, ShowTheTypesText) {
    Types t;
    EXPECT_EQ(valueToText(t.value(t.type(kVoid, 10, "Ok"))), "Ok");
    EXPECT_EQ(valueToText(t.value(t.type(kVoid, 10))), "");
}

TEST(ItemLists, GrowByDoublingAndShiftOnInsertAndRemove) {
    int64_t start = liveBlocksNow();
    ItemList *list = listNew(4, 77);
    for (intptr_t v = 1; v <= 4; ++v) listAppend(list, v);
    EXPECT_EQ(list->capacity, 4u);
    listAppend(list, 5);
    EXPECT_EQ(list->capacity, 8u);
    EXPECT_EQ(list->count, 5u);
    EXPECT_EQ(list->slots[0], 77);
    for (uint32_t i = 6; i <= 8; ++i) EXPECT_EQ(list->slots[i], 0) << "new slots are zeroed";

    listInsert(list, 2, 9);  // 1 9 2 3 4 5
    listInsert(list, 0, 8);  // outside 1..count appends
    std::vector<intptr_t> expect{1, 9, 2, 3, 4, 5, 8};
    for (uint32_t i = 1; i <= list->count; ++i) EXPECT_EQ(list->slots[i], expect[i - 1]);
    EXPECT_EQ(listRemove(list, 2), 9);
    EXPECT_EQ(listRemove(list, 99), 0);
    EXPECT_EQ(listRemove(list, 0), 0);
    EXPECT_EQ(list->count, 6u);
    EXPECT_EQ(list->slots[2], 2);
    EXPECT_EQ(list->slots[7], 0);
    listFree(list);

    ItemList *empty = listNew(0, 0);
    listAppend(empty, 3);
    EXPECT_EQ(empty->capacity, 1u);
    EXPECT_EQ(empty->slots[1], 3);
    listFree(empty);
    listFree(nullptr);
    EXPECT_EQ(heapLiveBlocks(), start);
}

TEST(Collections, CreateMakesAnEmptyListOwnedByTheContext) {
    int64_t start = liveBlocksNow();
    {
        Types t;
        Item *stack = t.type(kCollection, 0);
        Item *s = t.value(stack);
        EXPECT_EQ(s->size, 4);
        ItemList *list = listOf(s);
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(list->capacity, 1u);
        EXPECT_EQ(list->count, 0u);
        EXPECT_EQ(list->slots[0], reinterpret_cast<intptr_t>(t.ctx));
        Item *copy = t.bare(stack);
        copyItem(s, copy);
        EXPECT_NE(listOf(copy), list);
    }
    EXPECT_EQ(heapLiveBlocks(), start);
}

TEST(Collections, StackFormatShowsElements) {
    Types t;
    Item *stack = t.type(kCollection, 4);
    Item *s = t.value(stack);
    Item *one = t.value(t.type(kLong, 4), "1");
    Item *x = t.value(t.type(kString, 4), "x");
    Item *named = t.value(t.type(kDouble, 8), "-2.5");
    named->name = strAlloc("k");
    listAppend(listOf(s), reinterpret_cast<intptr_t>(one));
    listAppend(listOf(s), reinterpret_cast<intptr_t>(x));

    struct Case { const char *a, *b, *c, *d, *text; } cases[] = {
        {"{", "'", ", ", "}", "{1, 'x'}"},
        {"", "", "", "", "1x"},
        {"[", "\"", ";", "]", "[1;\"x\"]"},
    };
    for (auto &c : cases) {
        setStackFormat(c.a, c.b, c.c, c.d);
        EXPECT_EQ(valueToText(s), c.text);
    }
    setStackFormat("{", "'", ", ", "}");
    listAppend(listOf(s), reinterpret_cast<intptr_t>(named));
    EXPECT_EQ(valueToText(s), "{1, 'x', 'k', -2.5}");
    takeElementsBack(s);
    EXPECT_EQ(valueToText(s), "{}");
    setStackFormat("", "", "", "");
}

TEST(Collections, CopyCopiesEveryElementWithItsName) {
    Types t;
    Item *table = t.type(kCollection, 4);
    Item *s = t.value(table);
    Item *entry = t.value(t.type(kString, 4), "v");
    entry->name = strAlloc("key");
    listAppend(listOf(s), reinterpret_cast<intptr_t>(entry));

    Item *copy = t.bare(table);
    copyItem(s, copy);
    ItemList *list = listOf(copy);
    ASSERT_EQ(list->count, 1u);
    auto *element = reinterpret_cast<Item *>(list->slots[1]);
    EXPECT_NE(element, entry);
    EXPECT_EQ(element->nameView(), "key");
    EXPECT_EQ(held(element), "v");
    EXPECT_NE(element->address, entry->address);
    takeElementsBack(s);
    releaseValue(copy);  // hands the copied element to the item release
}

TEST(Collections, AListThatHoldsItselfStillShows) {
    Types t;
    Item *stack = t.type(kCollection, 4);
    Item *s = t.value(stack);
    Item *alias = t.bare(stack);  // an element whose value is the same list
    alias->address = s->address;
    listAppend(listOf(s), reinterpret_cast<intptr_t>(alias));
    setStackFormat("(", "", "", ")");
    std::string text = valueToText(s);
    EXPECT_EQ(text.substr(0, 3), "(((");
    EXPECT_EQ(text.size() % 2, 0u);
    setStackFormat("", "", "", "");
    takeElementsBack(s);
    alias->address = 0;
}

TEST(Collections, ClearEmptiesTheListAndKeepsIt) {
    Types t;
    Item *stack = t.type(kCollection, 4);
    Item *s = t.value(stack);
    for (int i = 0; i < 5; ++i) listAppend(listOf(s), 0);
    ItemList *list = listOf(s);
    clearValue(s);
    EXPECT_EQ(listOf(s), list);
    EXPECT_EQ(list->count, 0u);
    EXPECT_EQ(list->capacity, 8u);
}

TEST(CopyItem, CopiesShapeAndGivesOwnStorage) {
    Types t;
    Item *dbl = t.type(kDouble, 8);
    Item *source = t.value(dbl, "2.5");
    source->flags |= flag::Variable | flag::ChainHead | flag::Constant;
    source->precedence = 7;
    source->conversions.push_back({dbl, 123});
    Item *target = t.bare(dbl);
    target->flags = flag::ChainHead;  // the target's own registration stays
    EXPECT_EQ(copyItem(source, target), target);
    EXPECT_EQ(target->flags, intptr_t(flag::Variable | flag::ChainHead | flag::Constant | flag::OwnsValue));
    EXPECT_EQ(target->precedence, 7);
    ASSERT_EQ(target->conversions.size(), 1u);
    EXPECT_EQ(target->conversions[0].routine, 123);
    EXPECT_EQ(target->typeHandler, dbl->typeHandler);
    EXPECT_NE(target->address, source->address);
    EXPECT_EQ(load<double>(cellAt(target->address)), 2.5);

    Item *plain = t.bare(dbl);
    copyItem(source, plain);
    EXPECT_FALSE(plain->has(flag::ChainHead)) << "a copy is not registered";
    EXPECT_EQ(copyItem(source, source), source);
    EXPECT_EQ(load<double>(cellAt(source->address)), 2.5);

    Item *fresh = copyItem(source, nullptr);
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(fresh->dataType, dbl);
    EXPECT_EQ(load<double>(cellAt(fresh->address)), 2.5);
    releaseItem(fresh);
}

TEST(CopyValue, ReplacesTheTargetsValueInPlace) {
    int64_t start = liveBlocksNow();
    {
        Types t;
        Item *str = t.type(kString, 4);
        Item *a = t.value(str, "one");
        Item *b = t.value(str, "two");
        intptr_t where = b->address;
        int64_t before = heapLiveBlocks();
        EXPECT_EQ(copyValue(a, b), 1);
        EXPECT_EQ(b->address, where);
        EXPECT_EQ(held(b), "one");
        EXPECT_NE(cellStr(cellAt(a->address)), cellStr(cellAt(b->address)));
        EXPECT_EQ(heapLiveBlocks(), before) << "\"two\" was released";
        EXPECT_EQ(copyValue(a, a), 1);
        EXPECT_EQ(held(a), "one");

        Item *dbl = t.type(kDouble, 8);
        Item *x = t.value(dbl, "1.25"), *y = t.value(dbl);
        EXPECT_EQ(copyValue(x, y), 1);
        EXPECT_EQ(load<double>(cellAt(y->address)), 1.25);
        EXPECT_EQ(copyValue(x, b), 0) << "different types";
        EXPECT_EQ(held(b), "one");
    }
    EXPECT_EQ(heapLiveBlocks(), start);
}

TEST(ConvertThroughText, ReadsTheShownTextIntoTheTarget) {
    Types t;
    Item *dbl = t.type(kDouble, 8), *lng = t.type(kLong, 4), *str = t.type(kString, 4), *wide = t.type(kWide, 4);
    Item *ext = t.type(kExtended, 10), *cpx = t.type(kComplex, 20), *byte = t.type(kByte, 1);
    struct Case { Item *from; const char *text; Item *to; intptr_t ok; const char *shown; } cases[] = {
        {dbl, "2.5", lng, 1, " 2"},       {dbl, "3.5", lng, 1, " 4"},
        {lng, "-7", str, 1, "-7"},        {str, "'q'", wide, 1, "'q'"},
        {ext, "0.5", cpx, 1, " .5"},      {cpx, "3+4i", ext, 0, " 0"},
        {lng, "300", byte, 1, " 44"},     {str, "12abc", dbl, 0, " 0"},
    };
    for (auto &c : cases) {
        Item *from = t.value(c.from, c.text);
        Item *to = t.value(c.to);
        EXPECT_EQ(convertThroughText(from, to), c.ok) << c.text;
        EXPECT_EQ(valueToText(to), c.shown) << c.text;
    }
}

TEST(ValueLifecycle, EveryTypeFreesEverythingItMade) {
    int64_t start = liveBlocksNow();
    {
        Types t;
        struct Case { int slot; int32_t size; const char *text; } cases[] = {
            {kComplex, 20, "1-2i"}, {2, 8, "5"}, {kDouble, 8, "1"}, {kExtended, 10, "1"}, {kByte, 1, "1"},
            {7, 2, "1"}, {8, 2, "1"}, {kLong, 4, "1"}, {10, 4, "1"}, {13, 4, "1"},
            {kString, 4, "text"}, {kLpcstr, 0, "text"}, {kWide, 4, "text"}, {kCollection, 4, nullptr},
            {kVoid, 10, nullptr},
        };
        for (auto &c : cases) {
            Item *type = t.type(c.slot, c.size, "Ok");
            Item *v = t.value(type, 1);
            if (c.text) {
                EXPECT_TRUE(valueFromText(v, c.text, t.ctx)) << c.slot;
            }
            valueToText(v);
            Item *copy = t.bare(type);
            copyItem(v, copy);
            clearValue(copy);
            Item *other = t.value(type, 1);
            copyValue(v, other);
            convertThroughText(v, other);
        }
    }
    EXPECT_EQ(heapLiveBlocks(), start);
}
