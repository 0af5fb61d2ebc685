// Syntax rules: a pattern of literal tokens, regex literals and parameters, and
// a replacement text in which the parameters' captures are filled in.
#pragma once
#include <string>
#include <vector>

#include "engine.h"

namespace nx {

enum class ElementType { Literal, RegexLiteral, Param, RegexParam };

struct RuleElement {
    ElementType type;
    std::string text;                   // token text, or parameter name
    std::string source;                 // regex source, for the regex forms
    CompiledPattern *regex = nullptr;   // anchored at the match position
};

struct RuleData {
    std::vector<RuleElement> elements;  // one variant: no optional parts or alternatives left
    bool infix = false;                 // starts with a parameter: {x} op {y}
    std::vector<std::string> params;    // every parameter of the rule, in any variant
};

// Parses a rule pattern into its variants (optional parts and alternatives
// spelled out), shortest first. False with ctx->errorCode set on failure.
bool parseRulePattern(ThreadContext *ctx, std::string_view pattern, std::vector<std::vector<RuleElement>> &variants);
void freeElements(std::vector<RuleElement> &elements);

// Fills a replacement: {name} gives the capture, {name: text} gives text when
// name captured something, any other braces stay with their content filled.
std::string fillReplacement(std::string_view replacement, const std::vector<std::pair<std::string, std::string>> &captures,
                            bool caseSensitive);

// Routine 196/197: turns a macro's parameter list into rule parameters.
void setSyntaxParamsRoutine(OperationRecord *record);
std::string setSyntaxParams(ThreadContext *ctx, std::string_view params, std::string_view expr);

} // namespace nx
