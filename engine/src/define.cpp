// The definition language: a definition is a list of parts cut at the property
// separator; keyword parts fill the fields of one new item, member groups in
// brackets define its parameters or fields, and any other part is rewritten by
// the syntax rules into keyword parts.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "cells.h"
#include "codestubs.h"
#include "define_block.h"
#include "engine.h"
#include "state.h"

namespace nx {

namespace {


struct KeywordName {
    std::string_view name;
    Keyword keyword;
};

// Sorted by name for binary search.
constexpr KeywordName kKeywords[] = {
    {"address", Keyword::Address},       {"anytype", Keyword::AnyType},
    {"begin", Keyword::Begin},           {"bootstrap", Keyword::Bootstrap},
    {"byexpr", Keyword::ByExpr},         {"byhandle", Keyword::ByHandle},
    {"byref", Keyword::ByRef},           {"byval", Keyword::ByVal},
    {"casesensitive", Keyword::CaseSensitive}, {"convertsfrom", Keyword::ConvertsFrom},
    {"convertsfromaddr", Keyword::ConvertsFromAddr}, {"convertsfromtype", Keyword::ConvertsFromType},
    {"convertsto", Keyword::ConvertsTo}, {"convertstoaddr", Keyword::ConvertsToAddr},
    {"convertstotype", Keyword::ConvertsToType}, {"count", Keyword::Count},
    {"datatype", Keyword::DataType},     {"defaulttype", Keyword::DefaultType},
    {"end", Keyword::End},               {"execute", Keyword::Execute},
    {"funcbody", Keyword::FuncBody},     {"funcstart", Keyword::FuncStart},
    {"isparam", Keyword::IsParam},       {"name", Keyword::Name},
    {"nativecall", Keyword::NativeCall}, {"nextdef", Keyword::NextDef},
    {"overhead", Keyword::Overhead},     {"passonce", Keyword::PassOnce},
    {"pattern", Keyword::Pattern},       {"precedence", Keyword::Precedence},
    {"properties", Keyword::Properties}, {"rank", Keyword::Rank},
    {"size", Keyword::Size},             {"stdcall", Keyword::StdCall},
    {"syntax", Keyword::Syntax},         {"textdata", Keyword::TextData},
    {"thread", Keyword::Thread},         {"typehandler", Keyword::TypeHandler},
    {"value", Keyword::Value},           {"valueataddr", Keyword::ValueAtAddr},
    {"variable", Keyword::Variable},     {"variablearglist", Keyword::VariableArgList},
};

Keyword keywordOf(const std::string &lower) {
    auto it = std::lower_bound(std::begin(kKeywords), std::end(kKeywords), lower,
                               [](const KeywordName &k, const std::string &n) { return k.name < n; });
    return (it != std::end(kKeywords) && it->name == lower) ? it->keyword : Keyword::None;
}


std::string lowered(std::string_view s) {
    std::string r(s);
    for (char &c : r) c = static_cast<char>(foldAscii(static_cast<unsigned char>(c)));
    return r;
}

void setPassMode(Item *item, PassMode mode) {
    item->flags = (item->flags & ~static_cast<intptr_t>(flag::PassMask)) |
                  (static_cast<intptr_t>(mode) << flag::PassShift);
}

bool startsWithOpener(ThreadContext *ctx, std::string_view text) {
    size_t pos = 0;
    Token tok;
    return nextToken(ctx, text, pos, TokenMode::Normal, tok) && tok.pattern && !tok.embedded &&
           tok.start == 0 && tok.pattern->kind() == static_cast<uint32_t>(TokenKind::Open);
}

} // namespace

// Reads a plain decimal integer or real (rounded), as definitions write numbers.
bool plainNumber(std::string_view text, intptr_t &out) {
    std::string s(trimBlanks(text));
    if (s.empty()) return false;
    char *end = nullptr;
    long double v = std::strtold(s.c_str(), &end);
    if (!end || *end != 0 || !std::isfinite(v)) return false;
    out = engineCodeAddress(static_cast<intptr_t>(std::llrint(static_cast<double>(v))));
    return true;
}

// The value of a numeric property: a placeholder, a plain number, else an
// expression evaluated now and rounded.
bool PendingBlock::number(std::string_view value, intptr_t &out) {
    // A routine's stub, given to the language, stands for the routine itself.
    if (takePlaceholder(value, out) || plainNumber(value, out)) {
        out = engineCodeAddress(out);
        return true;
    }
    if (value.empty()) {
        out = 0;
        return true;
    }
    Item *expr = parse(defCtx, value, engine().firstTypes[0]);
    if (!expr) return false;
    long double v = evaluateExpression(expr);
    releaseItem(expr);
    if (defCtx->errorCode) return false;
    out = static_cast<intptr_t>(std::llrint(static_cast<double>(v)));
    return true;
}

// "#" takes the next placeholder, "#k" placeholder k; a placeholder is used up.
bool PendingBlock::takePlaceholder(std::string_view value, intptr_t &out) {
    int index = -1;
    if (value == "#") {
        index = nextPlaceholder;
    } else if (value.size() == 2 && value[0] == '#' && value[1] >= '1' && value[1] <= '3') {
        index = value[1] - '1';
    }
    if (index < 0) return false;
    if (index > 2) {
        out = 0;
        return true;
    }
    out = placeholders[index];
    placeholders[index] = 0;
    nextPlaceholder = index + 1;
    return true;
}

// A data type named by a part: a placeholder handle, the default type when
// empty, else a name that must be a type (error 3).
Item *PendingBlock::typeOf(std::string_view value) {
    intptr_t handle = 0;
    if (takePlaceholder(value, handle)) return handle ? reinterpret_cast<Item *>(handle) : defCtx->defaultType;
    if (value.empty()) return defCtx->defaultType;
    Item *t = lookupName(defCtx, value);
    while (t && !t->isDataType()) t = t->next;
    if (!t) defCtx->errorCode = 3;
    return t;
}

// The type a conversion names, defined on the spot when absent.
Item *PendingBlock::conversionType(std::string_view name) {
    Item *t = lookupName(defCtx, name);
    while (t && !t->isDataType()) t = t->next;
    if (!t) t = define(defCtx, "DataType: " + std::string(name), 0, 0, 0);
    return t;
}

// Handles one conversion part; `from` selects the list of the named type.
bool PendingBlock::conversion(Keyword kind, std::string_view value, std::string &rest) {
    std::string sep(strView(defCtx->propertySeparator));
    switch (kind) {
    case Keyword::ConvertsFrom:
    case Keyword::ConvertsTo: {
        size_t comma = value.find(',');
        std::string_view type = trimBlanks(value.substr(0, comma));
        std::string_view addr = comma == std::string_view::npos ? std::string_view() : trimBlanks(value.substr(comma + 1));
        std::string prefix = kind == Keyword::ConvertsFrom ? "ConvertsFromType" : "ConvertsToType";
        std::string addrKey = kind == Keyword::ConvertsFrom ? "ConvertsFromAddr" : "ConvertsToAddr";
        rest = prefix + ": " + std::string(type) + " " + sep + " " + addrKey + ": " + std::string(addr) + " " +
               sep + " " + rest;
        return true;
    }
    case Keyword::ConvertsFromType:
    case Keyword::ConvertsToType: {
        Item *t = conversionType(value);
        if (!t) return false;
        if (kind == Keyword::ConvertsFromType) {
            t->conversions.push_back({item, 0});
            conversionOwner = t;
        } else {
            item->conversions.push_back({t, 0});
            conversionOwner = item;
        }
        return true;
    }
    default: {  // the address of the pair just added
        intptr_t routine = 0;
        if (trimBlanks(value).empty())
            routine = routineAddress(23);
        else if (!number(value, routine))
            return false;
        if (conversionOwner && !conversionOwner->conversions.empty())
            conversionOwner->conversions.back().routine = routine;
        return true;
    }
    }
}

// The first part "DataType: Name" makes the item a data type, or reopens an
// existing type of that name so that the remaining parts modify it.
void PendingBlock::beginDataType(std::string_view name) {
    Item *existing = lookupName(defCtx, name);
    while (existing && !existing->isDataType()) existing = existing->next;
    if (existing) {
        releaseItem(item);
        item = existing;
        modifying = true;
        return;
    }
    strAssign(item->name, name);
    item->dataType = item;
    item->role = ItemRole::DataType;
    isTypeDefinition = true;
}

// Acts on one keyword part. Returns false when the definition fails.
bool PendingBlock::keyword(Keyword k, std::string_view value, std::string &rest) {
    intptr_t n = 0;
    switch (k) {
    case Keyword::Address:
        if (!number(value, n)) return false;
        item->address = n;
        hasAddress = true;
        return true;
    case Keyword::AnyType: item->flags |= flag::AnyType; return true;
    case Keyword::Bootstrap: bootstrap = overhead = true; return true;
    case Keyword::ByExpr: setPassMode(item, PassMode::ByExpr); return true;
    case Keyword::ByHandle: setPassMode(item, PassMode::ByHandle); return true;
    case Keyword::ByRef: setPassMode(item, PassMode::ByRef); return true;
    case Keyword::ByVal: setPassMode(item, PassMode::ByValue); return true;
    case Keyword::CaseSensitive: defCtx->caseSensitive = lowered(value) == "true"; return true;
    case Keyword::ConvertsFrom: case Keyword::ConvertsFromType: case Keyword::ConvertsFromAddr:
    case Keyword::ConvertsTo: case Keyword::ConvertsToType: case Keyword::ConvertsToAddr:
        return conversion(k, value, rest);
    case Keyword::Count:
        if (!number(value, n)) return false;
        if (n < 0 || n > kMaxCount) {  // more elements than the engine heap could ever hold
            defCtx->errorCode = 24;
            return false;
        }
        item->count = static_cast<int32_t>(n);
        return true;
    case Keyword::DataType: {
        if (parts == 0 && !value.empty() && value[0] != '#') {
            beginDataType(value);
            return true;
        }
        Item *t = typeOf(value);
        if (!t && defCtx->errorCode) return false;
        item->dataType = t;
        return true;
    }
    case Keyword::DefaultType: {
        Item *t = typeOf(value);
        if (!t) {
            defCtx->errorCode = 3;
            return false;
        }
        defCtx->defaultType = t;
        return true;
    }
    case Keyword::Execute: {
        Item *expr = parse(defCtx, value, nullptr);
        if (!expr) return false;
        evaluateExpression(expr);
        releaseItem(expr);
        return defCtx->errorCode == 0;
    }
    case Keyword::FuncBody:
        body.assign(value);
        hasBody = !body.empty();
        return true;
    case Keyword::FuncStart: funcStart = true; return true;
    case Keyword::IsParam: paramNext = true; return true;
    case Keyword::Name:
        // A name is one word: "Var: x y" leaves " y" after the name the rules
        // read, and an item named "x y" could never be written in an
        // expression; worse, what then removes "x" by name (Local) would take
        // the name of another item. Such a definition is a syntax error.
        if (value.find_first_of(" \t\r\n") != std::string_view::npos) {
            defCtx->errorCode = 2;
            return false;
        }
        strAssign(item->name, value);
        return true;
    case Keyword::NativeCall: item->flags |= flag::NativeCall; return true;
    case Keyword::NextDef:
        nextDef = rest;
        hasNextDef = true;
        rest.clear();
        return true;
    case Keyword::Overhead: overhead = true; return true;
    case Keyword::PassOnce: item->flags |= flag::PassOnce; return true;
    case Keyword::Pattern:
        isPattern = true;
        opening.assign(value);
        return true;
    case Keyword::Precedence:
        if (!number(value, n)) return false;
        if (n) precedence = static_cast<int32_t>(n);
        return true;
    case Keyword::Properties:
        if (!number(value, n)) return false;
        item->flags |= n;
        return true;
    case Keyword::Rank:
        if (!number(value, n)) return false;
        rank = static_cast<int32_t>(n);
        return true;
    case Keyword::Size:
        if (!number(value, n)) return false;
        item->size = static_cast<int32_t>(n);
        return true;
    case Keyword::StdCall: item->flags |= flag::StdCall; return true;
    case Keyword::Syntax:
        isSyntax = true;
        syntaxText.assign(value);
        return true;
    case Keyword::TextData: strAssign(item->textData, value); return true;
    case Keyword::Thread: {
        if (!number(value, n)) return false;
        ThreadContext *c = resolveContext(n);
        if (c) defCtx = item->context = c;
        return true;
    }
    case Keyword::TypeHandler:
        if (!number(value, n)) return false;
        // A handler is called while values are made, outside any evaluation:
        // a number that is no code is refused rather than called.
        if (n && !isExecutableAddress(n)) {
            defCtx->errorCode = nx_ErrUndefinedCallback;
            return false;
        }
        item->typeHandler = n;
        return true;
    case Keyword::Value:
        valueText.assign(value);
        hasValue = true;
        return true;
    case Keyword::ValueAtAddr: item->flags |= flag::ValueAtAddr; return true;
    case Keyword::Variable: item->flags |= flag::Variable; return true;
    case Keyword::VariableArgList: item->flags |= flag::VarArgs; return true;
    default: return true;  // Begin and End are handled by the part loop
    }
}

// A bracketed member group: defined in the item's member context, it becomes a
// parameter (after IsParam) or a field at the running offset.
bool PendingBlock::member(std::string_view group) {
    if (!item->memberContext) item->memberContext = newThread(defCtx)->context;
    ThreadContext *mc = item->memberContext;
    Item *m = define(mc, group, 0, 0, 0);
    if (!m) {
        if (mc->errorCode) {
            defCtx->errorCode = mc->errorCode;
            return false;
        }
        return true;
    }
    adopt(m);
    return true;
}

// Makes a finished item this item's parameter or field.
void PendingBlock::adopt(Item *m) {
    item->members.push_back(m);
    if (paramNext) {
        item->count++;
        if (m->passMode() != PassMode::ByValue) overhead = true;
        paramNext = false;
    } else {
        m->offset = fieldOffset;
        fieldOffset += m->size;
        item->size = fieldOffset;
    }
}

// Processes parts from the front of `rest` until the text ends, fails, or a
// `begin` or `end` part hands control back to the caller with the rest.
PendingBlock::Stop PendingBlock::process(std::string &rest) {
    std::string sep(strView(defCtx->propertySeparator));
    int rewrites = 0;
    while (true) {
        std::string_view r = trimBlanks(rest);
        if (r.empty()) return Stop::Done;
        if (!isPattern && startsWithOpener(defCtx, r)) {
            size_t pos = 0;
            std::string_view group;
            if (!readGroup(defCtx, r, pos, 0, group)) return Stop::Failed;
            std::string groupText(group);
            std::string_view after = trimBlanks(r.substr(pos));
            if (!sep.empty() && after.substr(0, sep.size()) == sep) after.remove_prefix(sep.size());
            rest.assign(after);
            if (!member(groupText)) return Stop::Failed;
            ++parts;
            continue;
        }
        size_t cut = sep.empty() ? std::string_view::npos : r.find(sep);
        std::string_view part = trimBlanks(r.substr(0, cut));
        std::string after(cut == std::string_view::npos ? std::string_view() : r.substr(cut + sep.size()));
        if (part.empty()) {
            rest = std::move(after);
            continue;
        }
        size_t colon = part.find(':');
        std::string key = lowered(trimBlanks(part.substr(0, colon)));
        std::string_view value = colon == std::string_view::npos ? std::string_view() : trimBlanks(part.substr(colon + 1));
        Keyword k = keywordOf(key);
        if (k == Keyword::Begin || k == Keyword::End) {
            rest = std::move(after);
            ++parts;
            return k == Keyword::Begin ? Stop::Begin : Stop::End;
        }
        if (k != Keyword::None) {
            std::string valueCopy(value);
            rest = std::move(after);
            if (!keyword(k, valueCopy, rest)) return Stop::Failed;
            ++parts;
            continue;
        }
        if (isPattern && !closingGiven) {
            closing.assign(part);
            closingGiven = true;
            rest = std::move(after);
            ++parts;
            continue;
        }
        // Not a keyword: the syntax rules rewrite the text from this part on.
        std::string whole(r);
        std::string expanded = expand(defCtx, whole);
        if (defCtx->errorCode) return Stop::Failed;
        if (expanded == whole || ++rewrites > kMaxRewrites) {
            defCtx->errorCode = 2;
            return Stop::Failed;
        }
        rest = std::move(expanded);
    }
}

} // namespace nx
