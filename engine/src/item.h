// Items: the engine's one record type for everything defined (data type,
// variable, constant, function, operator, token pattern, rule head, compiled
// expression, thread, error handler). A handle is the item's address.
#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

#include "heap.h"
#include "nxeng296.h"
#include "nxstring.h"

namespace nx {

template <class T> using Vec = std::vector<T, HeapAllocator<T>>;

struct ThreadContext;
struct CompiledPattern;
struct Item;

// Flag word bits. The low four bits are a token pattern's kind.
namespace flag {
constexpr uint32_t KindMask = 0xF;
constexpr uint32_t ArgList = 1u << 4;      // takes a parenthesised argument list
constexpr uint32_t Literal = 1u << 5;      // token is a literal of the pattern's data type
constexpr uint32_t OperatorRun = 1u << 6;  // run of operator characters to split
constexpr uint32_t ChainHead = 1u << 7;    // heads its name's chain in the symbol table
constexpr uint32_t Variable = 1u << 8;
constexpr uint32_t Infix = 1u << 9;
constexpr uint32_t Prefix = 1u << 10;
constexpr uint32_t Postfix = 1u << 11;
constexpr uint32_t Operator = 1u << 12;
constexpr uint32_t PassOnce = 1u << 13;
constexpr uint32_t Constant = 1u << 14;
constexpr uint32_t PassShift = 17;
constexpr uint32_t PassMask = 3u << 17;
constexpr uint32_t StdCall = 1u << 19;
constexpr uint32_t NativeCall = 1u << 20;
constexpr uint32_t AnyType = 1u << 21;
constexpr uint32_t RuleHead = 1u << 22;
constexpr uint32_t OwnsValue = 1u << 26;
constexpr uint32_t ValueAtAddr = 1u << 27;
constexpr uint32_t Thread = 1u << 28;
constexpr uint32_t Handler = 1u << 29;
constexpr uint32_t VarArgs = 1u << 30;
} // namespace flag

enum class PassMode : uint32_t { ByValue = 0, ByRef = 1, ByHandle = 2, ByExpr = 3 };

enum class TokenKind : uint32_t {
    Plain = 0, Name = 1, Separator = 2, Open = 3, Close = 4, EvalNow = 5, Expand = 6,
    Member = 7, Quoted = 8, Statement = 9, Space = 10, BodyEnd = 11, ThreadMarker = 12,
    BlockOpen = 13, BlockClose = 14, EvalInPlace = 15
};

// What an item is, beyond its flag word (engine-internal bookkeeping).
enum class ItemRole : uint32_t {
    Plain = 0, DataType, Expression, ThreadRecord, HandlerRecord, RuleElement, RuleHead, Function
};

struct Conversion {
    Item *target;
    intptr_t routine;
};

// The first three words are pointer-sized so that the value address is the
// third word, as an OperationRecord's Result is: one accessor serves both.
struct Item {
    intptr_t flags = 0;
    ThreadContext *context = nullptr;
    intptr_t address = 0;              // value, routine, or compiled body (an Expression item)
    OperationRecord *chain = nullptr;  // first record of a compiled expression
    NxStr name = nullptr;
    NxStr textData = nullptr;
    CompiledPattern *regex = nullptr;  // token pattern: compiled opening pattern
    int32_t precedence = 0;
    int32_t count = 0;
    Item *next = nullptr;              // next item of the same name
    Vec<Item *> members;               // parameters / fields / rule elements
    ThreadContext *memberContext = nullptr;
    Item *closing = nullptr;           // bracket partner (kinds 3 and 4)
    CompiledPattern *closingRegex = nullptr;  // quoted literal's closing pattern (kind 8)
    Vec<Conversion> conversions;       // data type: conversions to other types
    Item *dataType = nullptr;          // a data type's own dataType is itself
    intptr_t typeHandler = 0;
    int32_t size = 0;
    int32_t offset = 0;
    ItemRole role = ItemRole::Plain;
    bool overhead = false;             // needs run-time argument handling
    bool folded = false;               // a temporary whose value the compiler folds (fold.cpp)
    void *extra = nullptr;             // role-specific data (compiled expression state, rule data)
    intptr_t userValue = 0;            // property 15 of the item-data commands
    int32_t activeCalls = 0;           // a function's calls in progress (recursion)
    uint32_t magic = kItemMagic;       // tells a live item from any other memory

    static constexpr uint32_t kItemMagic = 0x4D455449;
    Item() = default;
    Item(const Item &) = delete;
    Item &operator=(const Item &) = delete;
    ~Item() { magic = 0; }

    uint32_t kind() const { return static_cast<uint32_t>(flags) & flag::KindMask; }
    bool has(uint32_t f) const { return (static_cast<uint32_t>(flags) & f) == f; }
    PassMode passMode() const {
        return static_cast<PassMode>((static_cast<uint32_t>(flags) & flag::PassMask) >> flag::PassShift);
    }
    std::string_view nameView() const { return strView(name); }
    bool isDataType() const { return dataType == this; }
};

// Item list of a collection value (Stack, SortedList, Table): a header and a
// slot array of capacity + 1 words; slot 0 holds the owner context.
struct ItemList {
    uint32_t flags = 0;
    uint32_t pad = 0;
    intptr_t *slots = nullptr;
    uint32_t capacity = 0;
    uint32_t count = 0;
};

// True when p is the address of a live item: a handle the language passes in as
// a plain number is checked before the engine follows it.
bool isLiveItem(const void *p);

ItemList *listNew(uint32_t capacity, intptr_t owner);
void listInsert(ItemList *list, uint32_t position, intptr_t value);  // 1-based; count+1 appends
void listAppend(ItemList *list, intptr_t value);
intptr_t listRemove(ItemList *list, uint32_t position);
void listFree(ItemList *list);  // the slot array and header; not the elements

} // namespace nx
