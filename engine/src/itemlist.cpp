// Item lists: the storage of Stack, SortedList and Table values. Elements sit in
// slots 1 to count; slot 0 keeps the owner the collection was created for.
#include <cstring>
#include <new>

#include "item.h"

namespace nx {
namespace {

// Doubles the slot array (at least to one slot), zeroing the new slots.
void grow(ItemList *list) {
    uint32_t capacity = list->capacity ? list->capacity * 2 : 1;
    void *slots = heapRealloc(list->slots, (size_t(capacity) + 1) * sizeof(intptr_t));
    if (!slots) throw std::bad_alloc();
    list->slots = static_cast<intptr_t *>(slots);
    for (uint32_t i = list->capacity + 1; i <= capacity; ++i) list->slots[i] = 0;
    list->capacity = capacity;
}

} // namespace

// A new empty list with room for `capacity` elements.
ItemList *listNew(uint32_t capacity, intptr_t owner) {
    auto *slots = static_cast<intptr_t *>(heapAlloc((size_t(capacity) + 1) * sizeof(intptr_t)));
    if (!slots) throw std::bad_alloc();
    ItemList *list;
    try {
        list = heapNew<ItemList>();
    } catch (...) {
        heapFree(slots);
        throw;
    }
    list->slots = slots;
    list->slots[0] = owner;
    list->capacity = capacity;
    return list;
}

// Inserts at the 1-based position, moving that slot and the later ones up; a
// position outside 1..count appends.
void listInsert(ItemList *list, uint32_t position, intptr_t value) {
    if (!list) return;
    if (list->count == list->capacity) grow(list);
    if (position < 1 || position > list->count) position = list->count + 1;
    std::memmove(&list->slots[position + 1], &list->slots[position],
                 (list->count + 1 - position) * sizeof(intptr_t));
    list->slots[position] = value;
    ++list->count;
}

// Adds an element after the last one.
void listAppend(ItemList *list, intptr_t value) {
    if (list) listInsert(list, list->count + 1, value);
}

// Takes the element at the 1-based position out, moving the later ones down;
// 0 when there is no such element.
intptr_t listRemove(ItemList *list, uint32_t position) {
    if (!list || position < 1 || position > list->count) return 0;
    intptr_t value = list->slots[position];
    std::memmove(&list->slots[position], &list->slots[position + 1],
                 (list->count - position) * sizeof(intptr_t));
    list->slots[list->count] = 0;
    --list->count;
    return value;
}

// Frees the list's slots and header; the elements stay with the caller.
void listFree(ItemList *list) {
    if (!list) return;
    heapFree(list->slots);
    heapDelete(list);
}

} // namespace nx
