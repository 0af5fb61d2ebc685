// Collection routines: Stack, SortedList and Table values are item lists whose
// elements are item copies owned by the list. Push, pop and read by position;
// insert, delete and look up Table entries by name (Tables keep name order).
#include <string>

#include "routines.h"
#include "types.h"

namespace nx {
namespace {

using R = OperationRecord;

// A collection cell's list, the list of operand x, an element, the owner.
ItemList *listIn(const void *cell) { return cell ? fromHandle<ItemList>(load<uint32_t>(cell)) : nullptr; }
ItemList *xList(const R *r) { return listIn(cellAt(r->Arg1)); }
Item *element(const ItemList *list, uint32_t i) { return reinterpret_cast<Item *>(list->slots[i]); }
ThreadContext *owner(const ItemList *list) { return reinterpret_cast<ThreadContext *>(list->slots[0]); }

// A copy of an item for a list, made in the list's thread. Names stay behind
// unless asked for: an unnamed element shows its value, a named one its name.
Item *copyFor(ItemList *list, Item *source, bool keepName) {
    if (!source) return nullptr;
    ThreadContext *ctx = owner(list) ? owner(list) : source->context;
    Item *copy = copyItem(source, newItem(ctx));
    if (copy && keepName && strLen(source->name)) strAssign(copy->name, source->nameView());
    return copy;
}

// Releases every element, last first, leaving the list empty.
void clearList(ItemList *list) {
    while (list->count > 0) releaseItem(reinterpret_cast<Item *>(listRemove(list, list->count)));
}

// The position an Index argument selects: the last element when Index is
// below 1 or beyond the count.
uint32_t pickPosition(const ItemList *list, int32_t index) {
    return index < 1 || static_cast<uint32_t>(index) > list->count ? list->count : static_cast<uint32_t>(index);
}

// ---- stacks ----

// nx_Push(Stack, ByHandle Data, Index = 0): a copy of Data goes in at Index when
// that is a position of the list, else at the end; the result is the new count.
void push(R *r) {
    ItemList *list = xList(r);
    if (!list) {
        setOf<int32_t>(r, 0);
        return;
    }
    if (Item *copy = copyFor(list, reinterpret_cast<Item *>(r->Arg2), false)) {
        int32_t index = argCount(r) >= 3 ? argOf<int32_t>(r, 3) : 0;
        if (index >= 1 && static_cast<uint32_t>(index) <= list->count)
            listInsert(list, static_cast<uint32_t>(index), reinterpret_cast<intptr_t>(copy));
        else
            listAppend(list, reinterpret_cast<intptr_t>(copy));
    }
    setOf<int32_t>(r, static_cast<int32_t>(list->count));
}

// The text of the element an Index selects (empty for an empty list); with
// `remove` the element is released and taken out of the list.
std::string takeText(R *r, bool remove) {
    ItemList *list = xList(r);
    if (!list || list->count == 0) return {};
    uint32_t position = pickPosition(list, r->Arg2 ? yOf<int32_t>(r) : 0);
    std::string text = valueToText(element(list, position));
    if (remove) releaseItem(reinterpret_cast<Item *>(listRemove(list, position)));
    return text;
}

// An element's text read back as a number; 0 when it is not one.
long double textNumber(const std::string &text) {
    long double value = 0;
    return readExtended(text, value) ? value : 0.0L;
}

// The handle of the element at position y (the last for y out of range), as Long.
void elementHandle(R *r) {
    ItemList *list = xList(r);
    Item *e = list && list->count ? element(list, pickPosition(list, yOf<int32_t>(r))) : nullptr;
    setOf<int32_t>(r, static_cast<int32_t>(toHandle(e)));
}

// The result collection of a record, emptied first so that each evaluation
// builds it afresh instead of adding to the previous run's elements.
ItemList *freshResult(R *r) {
    void *cell = cellAt(r->Result);
    ItemList *list = listIn(cell);
    if (list) {
        clearList(list);
    } else {
        list = listNew(1, reinterpret_cast<intptr_t>(recordContext(r)));
        store<uint32_t>(cell, toHandle(list));
    }
    return list;
}

// Copies every element of one collection into another, names included.
void copyElements(ItemList *to, const ItemList *from) {
    if (!from) return;
    for (uint32_t i = 1; i <= from->count; ++i)
        if (Item *copy = copyFor(to, element(from, i), true)) listAppend(to, reinterpret_cast<intptr_t>(copy));
}

// The elements of x, and of y when given, as a new collection.
void joinCollections(R *r) {
    ItemList *result = freshResult(r);
    copyElements(result, xList(r));
    if (r->Arg2) copyElements(result, listIn(cellAt(r->Arg2)));
}

// The collection literal {a, b, ...}: its arguments are items, each copied in.
void collectionLiteral(R *r) {
    ItemList *result = freshResult(r);
    for (intptr_t i = 1; i <= argCount(r); ++i)
        if (Item *copy = copyFor(result, argItem(r, i), false)) listAppend(result, reinterpret_cast<intptr_t>(copy));
}

// ---- tables ----

// Where a name is, or belongs, in a Table kept in name order.
struct Lookup {
    bool found;
    uint32_t position;  // 1-based; the insertion point when not found
};
Lookup findEntry(const ItemList *list, std::string_view name) {
    const bool caseSensitive = owner(list) && owner(list)->caseSensitive;
    uint32_t lo = 1, hi = list->count + 1;
    while (lo < hi) {
        uint32_t mid = lo + (hi - lo) / 2;
        int c = compareNames(element(list, mid)->nameView(), name, caseSensitive);
        if (c == 0) return {true, mid};
        if (c < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return {false, lo};
}

// The entry named y in table x, or nullptr.
Item *namedEntry(const ItemList *list, std::string_view name) {
    if (!list) return nullptr;
    Lookup at = findEntry(list, name);
    return at.found ? element(list, at.position) : nullptr;
}

// nx_Insert(Table, Entry, ByHandle Data): a copy of Data under the name Entry,
// replacing an entry of that name.
void insertEntry(R *r) {
    ItemList *list = xList(r);
    std::string_view name = yText(r);
    Item *copy = list ? copyFor(list, argItem(r, 3), false) : nullptr;
    if (!copy) return;
    strAssign(copy->name, name);
    Lookup at = findEntry(list, name);
    if (at.found) {
        releaseItem(element(list, at.position));
        list->slots[at.position] = reinterpret_cast<intptr_t>(copy);
    } else {
        listInsert(list, at.position, reinterpret_cast<intptr_t>(copy));
    }
}

// nx_Delete(Table, Entry): removes and releases the named entry.
void deleteEntry(R *r) {
    ItemList *list = xList(r);
    if (!list) return;
    Lookup at = findEntry(list, yText(r));
    if (at.found) releaseItem(reinterpret_cast<Item *>(listRemove(list, at.position)));
}

// True when an item holds a collection (its type uses the collection handler).
bool isCollection(const Item *item) {
    intptr_t handler = reinterpret_cast<intptr_t>(typeHandlerForSlot(18));
    return item && item->address && item->dataType && handler && item->dataType->typeHandler == handler;
}

// The entry named ArgList 2 of the Table item named ArgList 1 in the thread of
// ArgList 3 (0: the default thread); 0 when either is missing.
void entryByNames(R *r) {
    intptr_t thread = argCount(r) >= 3 ? argOf<int32_t>(r, 3) : 0;
    auto *table = reinterpret_cast<Item *>(command(nx_GetItemData, cellText(argCell(r, 1)), 0, nx_Handle, 0, thread));
    Item *entry = isCollection(table) ? namedEntry(listIn(cellAt(table->address)), cellText(argCell(r, 2))) : nullptr;
    setOf<int32_t>(r, static_cast<int32_t>(toHandle(entry)));
}

// StackFormat(a, b, c, d): the texts collections are shown with.
void stackFormat(R *r) {
    setStackFormat(cellText(argCell(r, 1)), cellText(argCell(r, 2)), cellText(argCell(r, 3)),
                   cellText(argCell(r, 4)));
}

constexpr RoutineSlot kCollections[] = {
    {120, push},
    {122, [](R *r) { setExt(r, textNumber(takeText(r, true))); }},
    {123, [](R *r) { setText(r, takeText(r, true)); }},
    {124, elementHandle},
    {125, [](R *r) { setExt(r, textNumber(takeText(r, false))); }},
    {126, [](R *r) { setText(r, takeText(r, false)); }},
    {127, [](R *r) {
         ItemList *list = xList(r);
         setOf<int32_t>(r, list ? static_cast<int32_t>(list->count) : 0);
     }},
    {128, joinCollections},
    {129, collectionLiteral},
    {130, insertEntry},
    {131, deleteEntry},
    {132, [](R *r) {
         if (Item *e = namedEntry(xList(r), yText(r))) setOf<int32_t>(r, static_cast<int32_t>(toHandle(e)));
     }},
    {133, [](R *r) { setOf<uint32_t>(r, toHandle(namedEntry(xList(r), yText(r)))); }},
    {134, entryByNames},
    {135, stackFormat},
};

} // namespace

// This file's routines, for the table.
std::span<const RoutineSlot> collectionRoutines() { return kCollections; }

} // namespace nx
