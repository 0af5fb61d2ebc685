// Defining syntax rules and rule heads.
#include <algorithm>
#include <cctype>

#include "cells.h"
#include "rules.h"

namespace nx {

namespace {


// A literal as a regex of the pattern dialect: punctuation escaped, other
// bytes given by code.
std::string regexOfLiteral(std::string_view text) {
    static const char *hex = "0123456789ABCDEF";
    std::string r;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '_' || c == ' ') {
            r += static_cast<char>(c);
        } else if (c >= 0x21 && c < 0x7F) {
            r += '\\';
            r += static_cast<char>(c);
        } else {
            r += "\\x";
            r += hex[c >> 4];
            r += hex[c & 15];
        }
    }
    return r;
}

// True when the context's token patterns read the whole text as one token.
bool isOneToken(ThreadContext *ctx, std::string_view text) {
    size_t pos = 0;
    Token tok;
    return nextToken(ctx, text, pos, TokenMode::WithSpace, tok) && pos == text.size();
}

// The rule-head pattern for a head the tokenizer does not read as one token;
// it takes part only while rules are expanded. Shared by rules of one head.
bool ensureHeadPattern(ThreadContext *ctx, const std::string &name, const std::string &source) {
    for (Item *p : ctx->patterns)
        if ((static_cast<uint32_t>(p->flags) & flag::RuleHead) && p->nameView() == name) return true;
    Item *p = newItem(ctx);
    p->flags = flag::RuleHead;
    p->name = strAlloc(name);
    p->regex = compilePattern("^" + source, false);
    if (!p->regex) {
        releaseItem(p);
        ctx->errorCode = 5;
        return false;
    }
    ctx->patterns.push_back(p);
    ctx->patternsVersion++;
    ctx->items.push_back(p);
    return true;
}

// Works out a variant's head: its first literal, the literal after a leading
// parameter (an infix-shaped rule), or a leading regex, which then heads the
// rule through a pattern of its own.
bool headOf(ThreadContext *ctx, const std::vector<RuleElement> &e, std::string &name, bool &infix) {
    infix = false;
    if (e.empty()) return false;
    const RuleElement &first = e[0];
    if (first.type == ElementType::Literal) {
        name = first.text;
        return isOneToken(ctx, name) || ensureHeadPattern(ctx, name, regexOfLiteral(name));
    }
    if (first.type == ElementType::RegexLiteral || first.type == ElementType::RegexParam) {
        name = first.source;
        return ensureHeadPattern(ctx, name, first.source);
    }
    if (e.size() < 2 || e[1].type != ElementType::Literal) return false;
    infix = true;
    name = e[1].text;
    return isOneToken(ctx, name) || ensureHeadPattern(ctx, name, regexOfLiteral(name));
}

// Makes and registers one rule head for a variant.
Item *defineVariant(ThreadContext *ctx, std::vector<RuleElement> elements, std::string_view replacement,
                    const std::vector<std::string> &params, int32_t precedence, int32_t rank, uint32_t extraFlags) {
    std::string name;
    bool infix = false;
    if (!headOf(ctx, elements, name, infix)) {
        if (!ctx->errorCode) ctx->errorCode = 2;
        freeElements(elements);
        return nullptr;
    }
    Item *rule = newItem(ctx);
    rule->flags = flag::RuleHead | extraFlags | (infix ? flag::Infix : 0);
    rule->role = ItemRole::RuleHead;
    rule->name = strAlloc(name);
    rule->textData = strAlloc(replacement);
    rule->precedence = precedence;
    auto *data = heapNew<RuleData>();
    data->elements = std::move(elements);
    data->infix = infix;
    data->params = params;
    rule->extra = data;
    registerName(ctx, rule, rank);
    if (ctx->errorCode) {
        releaseItem(rule);
        return nullptr;
    }
    ctx->items.push_back(rule);
    return rule;
}

} // namespace

// Defines a rule "pattern ::= replacement"; each variant of the pattern becomes
// a rule of its own, longest last so that it is tried first.
Item *defineRule(ThreadContext *ctx, std::string_view text, int32_t rank, uint32_t extraFlags) {
    std::string_view sep = strView(ctx->ruleSeparator);
    size_t cut = sep.empty() ? std::string_view::npos : text.find(sep);
    if (cut == std::string_view::npos) {
        ctx->errorCode = 2;
        return nullptr;
    }
    std::string_view pattern = trimBlanks(text.substr(0, cut));
    std::string_view replacement = trimBlanks(text.substr(cut + sep.size()));
    int32_t precedence = ctx->defaultRulePrecedence;
    size_t digits = 0;
    while (digits < pattern.size() && std::isdigit(static_cast<unsigned char>(pattern[digits]))) ++digits;
    if (digits && digits < pattern.size() && (pattern[digits] == ' ' || pattern[digits] == '\t')) {
        precedence = std::stoi(std::string(pattern.substr(0, digits)));
        pattern = trimBlanks(pattern.substr(digits));
    }
    if (rank == 0) rank = ctx->defaultRank;
    std::vector<std::vector<RuleElement>> variants;
    if (!parseRulePattern(ctx, pattern, variants)) return nullptr;
    // A parameter missing from a variant has captured nothing there.
    std::vector<std::string> params;
    for (const auto &v : variants)
        for (const RuleElement &e : v)
            if ((e.type == ElementType::Param || e.type == ElementType::RegexParam) &&
                std::find(params.begin(), params.end(), e.text) == params.end())
                params.push_back(e.text);
    Item *last = nullptr;
    for (size_t i = 0; i < variants.size(); ++i) {
        last = defineVariant(ctx, std::move(variants[i]), replacement, params, precedence, rank, extraFlags);
        if (!last) {
            for (size_t j = i + 1; j < variants.size(); ++j) freeElements(variants[j]);
            return nullptr;
        }
    }
    return last;
}

// Frees what an item's role keeps beside its fields.
void releaseItemData(Item *item) {
    if (item->role == ItemRole::RuleHead && item->extra) {
        auto *data = static_cast<RuleData *>(item->extra);
        freeElements(data->elements);
        heapDelete(data);
        item->extra = nullptr;
    } else if (item->role == ItemRole::Function) {
        detachBody(item);
    }
}

// Wraps every token of expr that names a parameter in braces, so that
// "f(x) ::= x*x" with the parameters "(x)" becomes "f({x}) ::= {x}*{x}".
std::string setSyntaxParams(ThreadContext *ctx, std::string_view params, std::string_view expr) {
    std::vector<std::string> names;
    std::string_view p = trimBlanks(params);
    if (!p.empty() && p.front() == '(') p.remove_prefix(1);
    if (!p.empty() && p.back() == ')') p.remove_suffix(1);
    while (!p.empty()) {
        size_t comma = p.find(',');
        std::string_view n = trimBlanks(p.substr(0, comma));
        if (!n.empty()) names.emplace_back(n);
        if (comma == std::string_view::npos) break;
        p.remove_prefix(comma + 1);
    }
    std::string out;
    size_t pos = 0;
    bool cs = ctx->caseSensitive != 0;
    while (pos < expr.size()) {
        size_t before = pos;
        Token tok;
        if (!nextToken(ctx, expr, pos, TokenMode::WithSpace, tok)) {
            out += expr[before];
            pos = before + 1;
            continue;
        }
        bool isParam = false;
        for (const auto &n : names) isParam = isParam || equalNames(n, tok.text, cs);
        if (isParam) {
            out += '{';
            out.append(tok.text);
            out += '}';
        } else {
            out.append(expr.substr(before, pos - before));
        }
    }
    return out;
}

void setSyntaxParamsRoutine(OperationRecord *record) {
    ThreadContext *ctx = resolveContext(nxExprThread(record));
    intptr_t n = argCount(record);
    std::string_view params = strView(cellStr(cellAt(argSlot(record, 1))));
    std::string_view expr = n >= 2 ? strView(cellStr(cellAt(argSlot(record, 2)))) : std::string_view();
    if (n >= 3) {
        uint32_t t = load<uint32_t>(cellAt(argSlot(record, 3)));
        if (t) ctx = resolveContext(t);
    }
    cellAssign(cellAt(record->Result), setSyntaxParams(ctx, params, expr));
}

} // namespace nx
