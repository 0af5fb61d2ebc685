// Data type handlers and the value lifecycle.
//
// A handler receives a TypeRequest and acts on one message: 2 read text into the
// item's value, 3 show the value as text, 4 release, 5 store a native result,
// 6 copy, 7 create, 8 clear. Conventions of this engine beyond the message table:
// - message 2 returns 1 when the text was read, 0 when it was not (the value is
//   then left as it was), so that a failed conversion is never taken for success;
// - messages 6 and 7 return a value block (the cells themselves, for every
//   element of an array), never a bare handle, so that the engine always owns a
//   block it can swap, copy and free;
// - messages 4, 6 and 8 use the block at Value, or the item's own when Value is 0;
//   2 and 3 use the item's.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <new>
#include <type_traits>
#include <unordered_map>

#include "cells.h"
#include "engine.h"
#include "types.h"

namespace nx {
namespace {

enum Message : intptr_t { FromText = 2, ToText = 3, Release = 4, StoreNative = 5, Copy = 6, Create = 7, Clear = 8 };

constexpr uint16_t kOverflowMask = 0x8;  // x87 control word bit 3
constexpr int32_t kErrorOverflow = 25;

// ---- request helpers ----

// The request's fields in their engine types.
Item *requestItem(const TypeRequest &r) { return reinterpret_cast<Item *>(r.Item); }
ThreadContext *requestContext(const TypeRequest &r) { return reinterpret_cast<ThreadContext *>(r.Context); }
std::string_view wordText(const TypeRequest &r) { return strView(reinterpret_cast<const char *>(r.Word)); }

// The item's own value cell (messages 2 and 3).
unsigned char *itemCell(const TypeRequest &r) {
    Item *item = requestItem(r);
    return item ? static_cast<unsigned char *>(cellAt(item->address)) : nullptr;
}

// The value block a message concerns (messages 4 to 8).
unsigned char *valueBlock(const TypeRequest &r) {
    return r.Value ? static_cast<unsigned char *>(cellAt(r.Value)) : itemCell(r);
}

// Cells in an item's value: an array item has elements 0 to count. A function's
// count is its number of parameters, not elements.
size_t elementCount(const Item *item) {
    if (!item || item->count <= 0 || (item->flags & (flag::ArgList | flag::Operator))) return 1;
    return size_t(item->count) + 1;
}

// The data type an item's value follows (a data type is its own).
Item *typeOf(const Item *item) {
    if (!item) return nullptr;
    return item->dataType ? item->dataType : const_cast<Item *>(item);
}

// Bytes of one element: the item's own size (a declared length), else its type's.
int32_t elementSize(const Item *item) { return item->size > 0 ? item->size : std::max(typeOf(item)->size, 0); }

// The handler that speaks for an item: its data type's, else its own copy.
intptr_t handlerOf(const Item *item) {
    if (!item) return 0;
    if (item->dataType && item->dataType->typeHandler) return item->dataType->typeHandler;
    return item->typeHandler;
}

// Sends a message to the item's handler; 0 when it has none.
intptr_t send(const Item *item, TypeRequest &r) {
    intptr_t h = handlerOf(item);
    return h ? reinterpret_cast<NxTypeHandler>(h)(&r) : 0;
}

// An engine-heap block; exhaustion throws, and the handler guard turns that into 0.
void *allocOrThrow(size_t bytes) {
    void *p = heapAlloc(bytes);
    if (!p) throw std::bad_alloc();
    return p;
}

// Message 3's answer: a heap cell holding a new string handle, both the caller's.
intptr_t textCell(std::string_view text) {
    void *cell = allocOrThrow(4);
    setCellStr(cell, strAlloc(text));
    return reinterpret_cast<intptr_t>(cell);
}

// ---- numbers ----

// Real cells in their formats: Extended cells hold 10 bytes, not sizeof(long double).
template <class T> T loadReal(const void *cell) {
    if constexpr (std::is_same_v<T, long double>) return loadExt(cell);
    else return load<T>(cell);
}
template <class T> void storeReal(void *cell, T v) {
    if constexpr (std::is_same_v<T, long double>) storeExt(cell, v);
    else store<T>(cell, v);
}

// The shown form that goes with a cell format.
template <class T> constexpr RealKind realKind() {
    if constexpr (std::is_same_v<T, float>) return RealKind::Single;
    else if constexpr (std::is_same_v<T, double>) return RealKind::Double;
    else return RealKind::Extended;
}

// Reads text straight into the cell's format, so the value is rounded only once.
template <class T> bool readReal(std::string_view text, T &v) {
    if constexpr (std::is_same_v<T, float>) return readSingle(text, v);
    else if constexpr (std::is_same_v<T, double>) return readDouble(text, v);
    else return readExtended(text, v);
}

// A Double infinity shown while its context unmasks overflow is that fault.
void noteDoubleOverflow(const TypeRequest &r, double v) {
    Item *item = requestItem(r);
    ThreadContext *ctx = item ? item->context : nullptr;
    if (std::isinf(v) && ctx && !(ctx->fpuWordEval & kOverflowMask)) ctx->errorCode = kErrorOverflow;
}

// Extended, Double and Single: messages 2, 3 and 5.
template <class T> intptr_t realMessages(TypeRequest &r) {
    unsigned char *cell = r.Message == StoreNative ? valueBlock(r) : itemCell(r);
    if (!cell) return 0;
    switch (r.Message) {
    case FromText: {
        T v;
        if (!readReal(wordText(r), v)) return 0;
        storeReal(cell, v);
        return 1;
    }
    case ToText: {
        T v = loadReal<T>(cell);
        if constexpr (std::is_same_v<T, double>) noteDoubleOverflow(r, v);
        return textCell(formatReal(v, realKind<T>()));
    }
    case StoreNative:
        storeReal(cell, static_cast<T>(r.Number));
        return 1;
    }
    return 0;
}

// Byte to Quad: messages 2, 3 and 5, keeping the low bits of the type's width.
template <class T> intptr_t integerMessages(TypeRequest &r) {
    unsigned char *cell = r.Message == StoreNative ? valueBlock(r) : itemCell(r);
    if (!cell) return 0;
    switch (r.Message) {
    case FromText: {
        uint64_t bits;
        if (!readInteger(wordText(r), bits)) return 0;
        store<T>(cell, static_cast<T>(bits));  // keeps the low bits
        return 1;
    }
    case ToText: {
        T v = load<T>(cell);
        return textCell(std::is_signed_v<T> ? formatInteger(int64_t(v)) : formatUnsigned(uint64_t(v)));
    }
    case StoreNative:
        store<T>(cell, static_cast<T>(r.Word));
        return 1;
    }
    return 0;
}

// Complex (real, then imaginary Extended): messages 2 and 3.
intptr_t complexMessages(TypeRequest &r) {
    unsigned char *cell = itemCell(r);
    if (!cell) return 0;
    if (r.Message == FromText) {
        long double re, im;
        if (!readComplex(wordText(r), re, im)) return 0;
        storeExt(cell, re);
        storeExt(cell + 10, im);
        return 1;
    }
    if (r.Message == ToText) return textCell(formatComplex(loadExt(cell), loadExt(cell + 10)));
    return 0;
}

// ---- strings ----

// How a string type keeps its text: as bytes, as UTF-16LE, or as bytes that end
// at the first zero (LPCSTR values are handed to C functions).
enum class TextKind { Bytes, Wide, ZeroEnded };

// Latin-1 to UTF-16LE, one 16-bit character per byte.
std::string toWide(std::string_view latin1) {
    std::string wide;
    wide.reserve(latin1.size() * 2);
    for (char c : latin1) {
        wide += c;
        wide += '\0';
    }
    return wide;
}

// UTF-16LE back to Latin-1; characters beyond it become "?".
std::string fromWide(std::string_view wide) {
    std::string bytes;
    bytes.reserve(wide.size() / 2);
    for (size_t i = 0; i + 1 < wide.size(); i += 2)
        bytes += wide[i + 1] == 0 ? wide[i] : '?';
    return bytes;
}

// The text before its first zero byte, as a C function would see it.
std::string_view upToZero(std::string_view s) { return s.substr(0, std::min(s.find('\0'), s.size())); }

// The bytes a string type keeps for a text.
std::string storedForm(TextKind kind, std::string_view text) {
    if (kind == TextKind::Wide) return toWide(text);
    if (kind == TextKind::ZeroEnded) return std::string(upToZero(text));
    return std::string(text);
}

// The text a string type shows for the bytes it keeps.
std::string shownForm(TextKind kind, std::string_view stored) {
    if (kind == TextKind::Wide) return fromWide(stored);
    if (kind == TextKind::ZeroEnded) return std::string(upToZero(stored));
    return std::string(stored);
}

// Replaces the item's string by one holding the text.
bool storeText(TextKind kind, Item *item, std::string_view text) {
    if (!item || !item->address) return false;
    cellAssign(cellAt(item->address), storedForm(kind, text));
    return true;
}

// Releases the string of every element; the cells then hold the empty text.
void releaseStrings(const TypeRequest &r) {
    unsigned char *block = valueBlock(r);
    if (!block) return;
    for (size_t i = 0, n = elementCount(requestItem(r)); i < n; ++i) {
        strFree(cellStr(block + 4 * i));
        setCellStr(block + 4 * i, sharedEmpty());
    }
}

// A new block holding a copy of every element's string; an empty source gives
// the shared empty handle.
intptr_t copyStrings(const TypeRequest &r) {
    const unsigned char *source = valueBlock(r);
    size_t n = elementCount(requestItem(r));
    auto *block = static_cast<unsigned char *>(allocOrThrow(4 * n));
    for (size_t i = 0; i < n; ++i)
        setCellStr(block + 4 * i, strAlloc(strView(source ? cellStr(source + 4 * i) : nullptr)));
    return reinterpret_cast<intptr_t>(block);
}

// LPCSTR values are made by the handler: cells holding the text of Word (a
// handle) in element 0 and the empty text elsewhere.
intptr_t createZeroEnded(const TypeRequest &r) {
    Item *item = requestItem(r);
    size_t n = elementCount(item);
    auto *block = static_cast<unsigned char *>(allocOrThrow(4 * n));
    for (size_t i = 0; i < n; ++i) setCellStr(block + 4 * i, sharedEmpty());
    setCellStr(block, strAlloc(upToZero(wordText(r))));
    if (item && item->size == 0) item->size = 4;
    return reinterpret_cast<intptr_t>(block);
}

// The text a native handed back: a counted handle, or plain zero-ended bytes
// for LPCSTR.
std::string_view nativeText(TextKind kind, intptr_t word) {
    const char *p = reinterpret_cast<const char *>(word);
    if (kind == TextKind::ZeroEnded) return p ? std::string_view(p) : std::string_view();
    return strView(p);
}

// String, WideString and LPCSTR: every message; the cell owns its handle.
template <TextKind Kind> intptr_t stringMessages(TypeRequest &r) {
    switch (r.Message) {
    case FromText:
        return storeText(Kind, requestItem(r), literalBody(requestContext(r), wordText(r)));
    case ToText: {
        unsigned char *cell = itemCell(r);
        return cell ? textCell(shownForm(Kind, strView(cellStr(cell)))) : 0;
    }
    case Release:
        releaseStrings(r);
        heapFree(valueBlock(r));
        return 1;
    case StoreNative:
        if (r.Value) cellAssign(cellAt(r.Value), nativeText(Kind, r.Word));
        return 1;
    case Copy:
        return copyStrings(r);
    case Create:
        return Kind == TextKind::ZeroEnded ? createZeroEnded(r) : 0;
    case Clear:
        releaseStrings(r);
        return 1;
    }
    return 0;
}

// ---- fixed-length strings (blank padded) ----

// Writes the text into the fixed cell, cut or padded with blanks to its length.
bool storeFixed(Item *item, std::string_view text) {
    if (!item || !item->address || item->size <= 0) return false;
    auto *cell = static_cast<char *>(cellAt(item->address));
    size_t n = size_t(item->size), used = std::min(n, text.size());
    std::memcpy(cell, text.data(), used);
    std::memset(cell + used, ' ', n - used);
    return true;
}

// FixedString: messages 2 and 3; 7 records a declared length passed in Word.
intptr_t fixedMessages(TypeRequest &r) {
    Item *item = requestItem(r);
    if (!item) return 0;
    if (r.Message == FromText) return storeFixed(item, literalBody(requestContext(r), wordText(r)));
    if (r.Message == ToText && item->address && item->size > 0) {
        auto *cell = static_cast<const char *>(cellAt(item->address));
        return textCell(std::string_view(cell, strnlen(cell, size_t(item->size))));
    }
    if (r.Message == Create && item->size == 0 && r.Word > 0 && r.Word < (intptr_t(1) << 24))
        item->size = static_cast<int32_t>(r.Word);  // the declared length
    return 0;
}

// FixedString whose type shows "0" by default.
intptr_t fixedZeroMessages(TypeRequest &r) {
    Item *type = typeOf(requestItem(r));
    if (type && strView(type->textData) != "0") strAssign(type->textData, "0");
    return fixedMessages(r);
}

// Void: shows its type's text data.
intptr_t voidMessages(TypeRequest &r) {
    if (r.Message != ToText) return 0;
    Item *type = typeOf(requestItem(r));
    return textCell(type ? strView(type->textData) : std::string_view());
}

// ---- collections ----

struct StackFormat {
    std::string open, quote, separator, close;
};
// The process-wide collection texts (routine 135 sets them).
StackFormat &stackFormat() {
    static StackFormat format;
    return format;
}

// Collection cells hold the 32-bit handle of an item list.
ItemList *cellList(const void *cell) { return fromHandle<ItemList>(load<uint32_t>(cell)); }
void setCellList(void *cell, ItemList *list) { store<uint32_t>(cell, toHandle(list)); }

// Hands every element to the item release, last first.
void releaseElements(ItemList *list) {
    while (list && list->count > 0) releaseItem(reinterpret_cast<Item *>(listRemove(list, list->count)));
}

// A copy of one element for a collection owned by `owner`. The name goes with
// it: a Table's keys are its elements' names.
Item *copyElement(Item *element, intptr_t owner) {
    if (!element) return nullptr;
    Item *target = owner ? newItem(reinterpret_cast<ThreadContext *>(owner)) : nullptr;
    Item *copy = copyItem(element, target);
    if (copy && strLen(element->name)) strAssign(copy->name, element->nameView());
    return copy;
}

// A fresh list with a copy of every element of the source (or an empty one).
ItemList *copyList(const ItemList *source, intptr_t context) {
    intptr_t owner = source ? source->slots[0] : context;
    uint32_t count = source ? source->count : 0;
    ItemList *list = listNew(std::max<uint32_t>(count, 1), owner);
    for (uint32_t i = 1; i <= count; ++i)
        listAppend(list, reinterpret_cast<intptr_t>(copyElement(reinterpret_cast<Item *>(source->slots[i]), owner)));
    return list;
}

// Collection values are made by the handler: one new list per element.
intptr_t createLists(const TypeRequest &r, const unsigned char *source) {
    Item *item = requestItem(r);
    size_t n = elementCount(item);
    auto *block = static_cast<unsigned char *>(allocOrThrow(4 * n));
    for (size_t i = 0; i < n; ++i)
        setCellList(block + 4 * i, source ? copyList(cellList(source + 4 * i), r.Context) : listNew(1, r.Context));
    if (item && item->size == 0) item->size = 4;
    return reinterpret_cast<intptr_t>(block);
}

// Releases every list's elements; with freeLists the lists themselves too.
void releaseLists(const TypeRequest &r, bool freeLists) {
    unsigned char *block = valueBlock(r);
    if (!block) return;
    for (size_t i = 0, n = elementCount(requestItem(r)); i < n; ++i) {
        ItemList *list = cellList(block + 4 * i);
        releaseElements(list);
        if (freeLists) {
            listFree(list);
            setCellList(block + 4 * i, nullptr);
        }
    }
}

// Whether an element is shown between quotes (String and LPCSTR values).
bool isQuotedHandler(intptr_t handler) {
    return handler && (handler == reinterpret_cast<intptr_t>(typeHandlerForSlot(14)) ||
                       handler == reinterpret_cast<intptr_t>(typeHandlerForSlot(15)));
}

// One element's contribution: its name, then its value, each followed by the
// separator. Strings are quoted, other values lose their leading blanks.
std::string elementText(const Item *element, const StackFormat &f) {
    std::string text;
    if (strLen(element->name)) text += f.quote + std::string(element->nameView()) + f.quote + f.separator;
    if (element->address) {
        std::string value = valueToText(const_cast<Item *>(element));
        if (isQuotedHandler(handlerOf(element))) value = f.quote + value + f.quote;
        else value.erase(0, value.find_first_not_of(' '));
        text += value + f.separator;
    }
    return text;
}

// Nesting depth of collections being shown on this thread: a list that reaches
// itself must not exhaust the stack.
struct ShowDepth {
    static inline thread_local int depth = 0;
    ShowDepth() { ++depth; }
    ~ShowDepth() { --depth; }
    bool tooDeep() const { return depth > 64; }
};

// The collection shown as text: open, elements without the last separator, close.
std::string collectionText(const ItemList *list) {
    const StackFormat &f = stackFormat();
    ShowDepth nesting;
    if (!list || nesting.tooDeep()) return f.open + f.close;
    std::string text;
    for (uint32_t i = 1; i <= list->count; ++i)
        if (auto *element = reinterpret_cast<const Item *>(list->slots[i])) text += elementText(element, f);
    if (!f.separator.empty() && text.ends_with(f.separator)) text.resize(text.size() - f.separator.size());
    return f.open + text + f.close;
}

// Stack, SortedList and Table: every message but 2.
intptr_t collectionMessages(TypeRequest &r) {
    switch (r.Message) {
    case ToText: {
        unsigned char *cell = itemCell(r);
        return cell ? textCell(collectionText(cellList(cell))) : 0;
    }
    case Release:
        releaseLists(r, true);
        heapFree(valueBlock(r));
        return 1;
    case StoreNative:
        if (r.Value) store<uint32_t>(cellAt(r.Value), static_cast<uint32_t>(r.Word));
        return 1;
    case Copy:
        return createLists(r, valueBlock(r));
    case Create:
        return createLists(r, nullptr);
    case Clear:
        releaseLists(r, false);
        return 1;
    }
    return 0;
}

// ---- handler entry points ----

// Every handler runs guarded: a failure inside one (the engine heap exhausted)
// answers 0, "not handled", instead of unwinding into the caller.
template <intptr_t (*Messages)(TypeRequest &)> intptr_t guarded(TypeRequest *request) noexcept {
    if (!request) return 0;
    try {
        return Messages(*request);
    } catch (...) {
        return 0;
    }
}

// Text converted from another value is stored as it stands, not read as a
// literal: a string that happens to begin and end with quotes keeps them.
bool readPlainText(Item *to, std::string_view text, bool &done) {
    intptr_t h = handlerOf(to);
    auto is = [h](int slot) { return h == reinterpret_cast<intptr_t>(typeHandlerForSlot(slot)); };
    done = true;
    if (is(14)) return storeText(TextKind::Bytes, to, text);
    if (is(15)) return storeText(TextKind::ZeroEnded, to, text);
    if (is(17)) return storeText(TextKind::Wide, to, text);
    if (is(16) || is(20)) return storeFixed(to, text);
    done = false;
    return false;
}

// Exchanges the contents of two blocks.
void swapBytes(void *a, void *b, size_t n) {
    std::swap_ranges(static_cast<unsigned char *>(a), static_cast<unsigned char *>(a) + n,
                     static_cast<unsigned char *>(b));
}

// Bytes of an item's whole value, all elements.
size_t valueBytes(const Item *item) { return size_t(elementSize(item)) * elementCount(item); }

// Fields that go with a copied item; the target keeps its own registration bit.
void copyFields(const Item *source, Item *target) {
    intptr_t moved = source->flags & ~intptr_t(flag::ChainHead | flag::OwnsValue);
    target->flags = moved | (target->flags & intptr_t(flag::ChainHead));
    target->dataType = source->dataType;
    target->precedence = source->precedence;
    target->conversions = source->conversions;
    target->typeHandler = source->typeHandler;
    target->size = source->size;
    target->count = source->count;  // an array keeps all its elements
}

// The value block a copy message makes, or a byte copy of the source.
intptr_t duplicateValue(Item *source, ThreadContext *ctx) {
    TypeRequest r{};
    r.Value = r.Word = source->address;
    r.Item = reinterpret_cast<intptr_t>(source);
    r.Message = Copy;
    r.Context = reinterpret_cast<intptr_t>(ctx);
    if (intptr_t block = send(source, r)) return block;
    size_t bytes = valueBytes(source);
    if (!bytes) return 0;
    void *block = allocOrThrow(bytes);
    if (source->address) std::memcpy(block, cellAt(source->address), bytes);
    return reinterpret_cast<intptr_t>(block);
}

} // namespace

// ---- the value lifecycle ----

// Sends a request to a data type's handler; 0 when the type has none.
intptr_t callTypeHandler(Item *type, TypeRequest &request) {
    if (!type || !type->typeHandler) return 0;
    return reinterpret_cast<NxTypeHandler>(type->typeHandler)(&request);
}

// The engine's handler for a routine table slot (1 to 20), nullptr for the others.
NxTypeHandler typeHandlerForSlot(int slot) {
    switch (slot) {
    case 1: return guarded<complexMessages>;
    case 2: return guarded<integerMessages<int64_t>>;
    case 3: return guarded<realMessages<double>>;
    case 4: return guarded<realMessages<long double>>;
    case 6: return guarded<integerMessages<uint8_t>>;
    case 7: return guarded<integerMessages<int16_t>>;
    case 8: return guarded<integerMessages<uint16_t>>;
    case 9: return guarded<integerMessages<int32_t>>;
    case 10: return guarded<integerMessages<uint32_t>>;
    case 13: return guarded<realMessages<float>>;
    case 14: return guarded<stringMessages<TextKind::Bytes>>;
    case 15: return guarded<stringMessages<TextKind::ZeroEnded>>;
    case 16: return guarded<fixedMessages>;
    case 17: return guarded<stringMessages<TextKind::Wide>>;
    case 18: return guarded<collectionMessages>;
    case 19: return guarded<voidMessages>;
    case 20: return guarded<fixedZeroMessages>;
    default: return nullptr;
    }
}

// True for types whose cells hold their whole value (numbers, Void, fixed
// strings, types without a handler): a copy is a copy of the bytes.
bool valueOwnsNothing(const Item *type) {
    if (!type || !type->typeHandler) return true;
    static const intptr_t owning[] = {
        reinterpret_cast<intptr_t>(typeHandlerForSlot(14)), reinterpret_cast<intptr_t>(typeHandlerForSlot(15)),
        reinterpret_cast<intptr_t>(typeHandlerForSlot(17)), reinterpret_cast<intptr_t>(typeHandlerForSlot(18))};
    static const intptr_t plain[] = {
        reinterpret_cast<intptr_t>(typeHandlerForSlot(1)),  reinterpret_cast<intptr_t>(typeHandlerForSlot(2)),
        reinterpret_cast<intptr_t>(typeHandlerForSlot(3)),  reinterpret_cast<intptr_t>(typeHandlerForSlot(4)),
        reinterpret_cast<intptr_t>(typeHandlerForSlot(6)),  reinterpret_cast<intptr_t>(typeHandlerForSlot(7)),
        reinterpret_cast<intptr_t>(typeHandlerForSlot(8)),  reinterpret_cast<intptr_t>(typeHandlerForSlot(9)),
        reinterpret_cast<intptr_t>(typeHandlerForSlot(10)), reinterpret_cast<intptr_t>(typeHandlerForSlot(13)),
        reinterpret_cast<intptr_t>(typeHandlerForSlot(16)), reinterpret_cast<intptr_t>(typeHandlerForSlot(19)),
        reinterpret_cast<intptr_t>(typeHandlerForSlot(20))};
    for (intptr_t h : owning)
        if (type->typeHandler == h) return false;
    for (intptr_t h : plain)
        if (type->typeHandler == h) return true;
    return false;  // a host's handler may own what its cells point to
}

namespace {

// The value blocks of arrays the engine made, by address, with their sizes:
// the array syntax reaches elements by address, and an index beyond the block
// must not read or write the memory after it. Engine threads define and
// evaluate at the same time, so the table has a lock.
class ArrayBlocks {
public:
    void add(intptr_t block, size_t bytes) {
        std::lock_guard<std::mutex> lock(mutex_);
        sizes_[block] = bytes;
    }
    void remove(intptr_t block) {
        std::lock_guard<std::mutex> lock(mutex_);
        sizes_.erase(block);
    }
    size_t bytes(intptr_t block) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = sizes_.find(block);
        return it == sizes_.end() ? 0 : it->second;
    }

private:
    std::mutex mutex_;
    std::unordered_map<intptr_t, size_t> sizes_;
};

ArrayBlocks &arrayBlocks() {
    static ArrayBlocks blocks;
    return blocks;
}

} // namespace

size_t arrayBlockBytes(intptr_t address) { return arrayBlocks().bytes(address); }

// Storage for a new item: the handler's block, else size bytes per element,
// zeroed. A value the item already owned is released first.
void createValue(Item *item, ThreadContext *ctx) {
    if (!item) return;
    releaseValue(item);
    TypeRequest r{};
    r.Item = reinterpret_cast<intptr_t>(item);
    r.Message = Create;
    r.Context = reinterpret_cast<intptr_t>(ctx ? ctx : item->context);
    intptr_t block = send(item, r);
    if (!block) {
        int32_t size = elementSize(item);
        if (size <= 0) return;
        item->size = size;
        block = reinterpret_cast<intptr_t>(allocOrThrow(size_t(size) * elementCount(item)));
    }
    item->address = block;
    item->flags |= flag::OwnsValue;
    if (elementCount(item) > 1) arrayBlocks().add(block, valueBytes(item));
}

// Hands an owned value back: message 4, or a plain free when the handler does
// not take it.
void releaseValue(Item *item) {
    if (!item || !item->has(flag::OwnsValue)) return;
    if (item->address) {
        arrayBlocks().remove(item->address);
        TypeRequest r{};
        r.Value = item->address;
        r.Item = reinterpret_cast<intptr_t>(item);
        r.Message = Release;
        if (!send(item, r)) heapFree(cellAt(item->address));
    }
    item->address = 0;
    item->flags &= ~intptr_t(flag::OwnsValue);
}

// Message 8: frees what the value owns and keeps its block.
void clearValue(Item *item) {
    if (!item || !item->address) return;
    TypeRequest r{};
    r.Value = item->address;
    r.Item = reinterpret_cast<intptr_t>(item);
    r.Message = Clear;
    send(item, r);
}

// Message 3: the value's text; the cell and handle it returns are freed here.
std::string valueToText(Item *item) {
    if (!item) return {};
    TypeRequest r{};
    r.Value = item->address;
    r.Item = reinterpret_cast<intptr_t>(item);
    r.Message = ToText;
    r.Context = reinterpret_cast<intptr_t>(item->context);
    void *cell = cellAt(send(item, r));
    if (!cell) return {};
    NxStr handle = cellStr(cell);
    std::string text(strView(handle));
    strFree(handle);
    heapFree(cell);
    return text;
}

// Message 2: reads text (handed over as a counted string) into the item's value.
bool valueFromText(Item *item, std::string_view text, ThreadContext *ctx) {
    if (!item) return false;
    NxStr handle = strAlloc(text);
    TypeRequest r{};
    r.Value = item->address;
    r.Item = reinterpret_cast<intptr_t>(item);
    r.Message = FromText;
    r.Word = reinterpret_cast<intptr_t>(handle);
    r.Context = reinterpret_cast<intptr_t>(ctx ? ctx : item->context);
    intptr_t read = send(item, r);
    strFree(handle);
    return read != 0;
}

// Message 5: a native call's result into a cell of the type.
void storeNativeResult(Item *type, void *cell, intptr_t word, long double number) {
    if (!type || !cell) return;
    TypeRequest r{};
    r.Value = reinterpret_cast<intptr_t>(cell);
    r.Item = reinterpret_cast<intptr_t>(type);
    r.Message = StoreNative;
    r.Word = word;
    r.Number = number;
    callTypeHandler(type, r);
}

// Command 70: the target (a new item when null) takes the source's type and
// shape and a value of its own copied from the source's.
Item *copyItem(Item *source, Item *target) {
    if (!source || source == target) return target;
    if (!target) {
        target = newItem(source->context);
        if (!target) {
            target = heapNew<Item>();
            target->context = source->context;
        }
    } else {
        releaseValue(target);
    }
    copyFields(source, target);
    target->address = duplicateValue(source, target->context);
    if (target->address) target->flags |= flag::OwnsValue;
    return target;
}

// Command 71: from's value shown as text by its handler and read by to's.
intptr_t convertThroughText(Item *from, Item *to) {
    if (!from || !to || !to->address) return 0;
    std::string text = valueToText(from);
    bool done = false;
    bool read = readPlainText(to, text, done);
    if (!done) read = valueFromText(to, text, to->context);
    return read ? 1 : 0;
}

// Command 72: a copy of from's value replaces to's in place (to may be bound by
// address); what to held is released afterwards, so copying a value onto
// itself is safe.
intptr_t copyValue(Item *from, Item *to) {
    if (!from || !to || !from->address || !to->address || from->dataType != to->dataType) return 0;
    if (from == to) return 1;
    size_t bytes = std::min(valueBytes(from), valueBytes(to));
    if (valueOwnsNothing(from->dataType)) {
        // Plain values copy without allocating, so evaluation allocates nothing.
        std::memmove(cellAt(to->address), cellAt(from->address), bytes);
        return 1;
    }
    Item old;  // stands for the block that ends up holding to's former value
    old.dataType = from->dataType;
    old.typeHandler = from->typeHandler;
    old.size = from->size;
    old.count = from->count;
    old.address = duplicateValue(from, to->context);
    if (!old.address) return 0;
    swapBytes(cellAt(to->address), cellAt(old.address), bytes);
    old.flags = flag::OwnsValue;
    releaseValue(&old);
    return 1;
}

void setStackFormat(std::string_view open, std::string_view quote, std::string_view separator,
                    std::string_view close) {
    stackFormat() = {std::string(open), std::string(quote), std::string(separator), std::string(close)};
}

} // namespace nx
