// The in-progress state of one definition. A definition opened with `begin` (or
// a function whose body follows with `funcstart`) keeps this record in its
// context until `end`, and later texts add their parts to it.
#pragma once
#include <string>

#include "engine.h"

namespace nx {

// The property keywords of the definition language.
enum class Keyword {
    None, Address, AnyType, Begin, Bootstrap, ByExpr, ByHandle, ByRef, ByVal, CaseSensitive,
    ConvertsFrom, ConvertsFromType, ConvertsFromAddr, ConvertsTo, ConvertsToType, ConvertsToAddr,
    Count, DataType, DefaultType, End, Execute, FuncBody, FuncStart, IsParam, Name, NativeCall,
    NextDef, Overhead, PassOnce, Pattern, Precedence, Properties, Rank, Size, StdCall, Syntax,
    TextData, Thread, TypeHandler, Value, ValueAtAddr, Variable, VariableArgList
};

struct PendingBlock {
    enum class Stop { Done, Failed, Begin, End };

    PendingBlock(ThreadContext *ctx, Item *target, intptr_t p1, intptr_t p2, intptr_t p3)
        : defCtx(ctx), item(target), rank(ctx->defaultRank), placeholders{p1, p2, p3} {}

    ThreadContext *defCtx;      // where the item is defined (`thread` may change it)
    Item *item;
    PendingBlock *outer = nullptr;
    int parts = 0;              // effective parts so far
    int32_t rank;
    int32_t precedence = 0;
    int32_t fieldOffset = 0;
    intptr_t placeholders[3];
    int nextPlaceholder = 0;
    bool open = false;          // begun and not yet ended
    bool collectingBody = false;
    bool modifying = false;     // an existing data type is being modified
    bool isTypeDefinition = false;
    bool paramNext = false;
    bool bootstrap = false;
    bool overhead = false;
    bool funcStart = false;
    bool hasBody = false;
    bool hasValue = false;
    bool hasAddress = false;
    bool isPattern = false;
    bool closingGiven = false;
    bool isSyntax = false;
    bool hasNextDef = false;
    Item *conversionOwner = nullptr;
    std::string body, valueText, opening, closing, syntaxText, nextDef;

    static constexpr int kMaxRewrites = 1000;
    static constexpr intptr_t kMaxCount = 100000000;  // array elements

    Stop process(std::string &rest);
    bool keyword(Keyword k, std::string_view value, std::string &rest);
    bool member(std::string_view group);
    void adopt(Item *m);
    bool number(std::string_view value, intptr_t &out);
    bool takePlaceholder(std::string_view value, intptr_t &out);
    Item *typeOf(std::string_view value);
    Item *conversionType(std::string_view name);
    bool conversion(Keyword kind, std::string_view value, std::string &rest);
    void beginDataType(std::string_view name);
};

bool plainNumber(std::string_view text, intptr_t &out);

} // namespace nx
