// Reading a rule's pattern text into elements, spelling out optional parts and
// alternatives as variants, and filling replacement texts.
#include <algorithm>

#include "cells.h"
#include "rules.h"

namespace nx {

namespace {

// A pattern before its variants are spelled out.
struct Node {
    enum class Kind { Element, Optional, Alternatives } kind = Kind::Element;
    RuleElement element{ElementType::Literal, {}, {}, nullptr};
    std::vector<std::vector<Node>> branches;  // Optional: one branch; Alternatives: several
};

std::string_view trimView(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// Index just past the closer matching the opener at `open`, honouring nested
// brackets of the same pair and quoted texts; npos when unclosed.
size_t matchingClose(std::string_view s, size_t open, char opener, char closer) {
    int depth = 0;
    for (size_t i = open; i < s.size(); ++i) {
        char c = s[i];
        if (c == '\'' && i != open) {
            size_t q = s.find('\'', i + 1);
            if (q == std::string_view::npos) return std::string_view::npos;
            i = q;
            continue;
        }
        if (c == '{' && opener != '{') {
            size_t q = matchingClose(s, i, '{', '}');
            if (q == std::string_view::npos) return q;
            i = q - 1;
            continue;
        }
        if (c == opener) ++depth;
        else if (c == closer && --depth == 0) return i + 1;
    }
    return std::string_view::npos;
}

// Splits at top-level '|' (outside quotes and nested brackets).
std::vector<std::string_view> splitAlternatives(std::string_view s) {
    std::vector<std::string_view> parts;
    int depth = 0;
    size_t start = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c == '\'') {
            size_t q = s.find('\'', i + 1);
            if (q == std::string_view::npos) break;
            i = q;
        } else if (c == '{' || c == '[') {
            ++depth;
        } else if (c == '}' || c == ']') {
            --depth;
        } else if (c == '|' && depth == 0) {
            parts.push_back(s.substr(start, i - start));
            start = i + 1;
        }
    }
    parts.push_back(s.substr(start));
    return parts;
}

class PatternReader {
public:
    explicit PatternReader(ThreadContext *ctx) : ctx_(ctx) {}

    // Reads a sequence of nodes; false (with the context's error) on failure.
    bool sequence(std::string_view s, std::vector<Node> &out) {
        size_t i = 0;
        while (i < s.size()) {
            char c = s[i];
            if (c == ' ' || c == '\t') {
                ++i;
            } else if (c == '{' || c == '[') {
                size_t end = matchingClose(s, i, c, c == '{' ? '}' : ']');
                if (end == std::string_view::npos) return fail(10);
                std::string_view inner = s.substr(i + 1, end - i - 2);
                if (!(c == '{' ? brace(inner, out) : optional(inner, out))) return false;
                i = end;
            } else if (c == '\'') {
                size_t end = s.find('\'', i + 1);
                if (end == std::string_view::npos) return fail(2);
                if (!literalTokens(s.substr(i + 1, end - i - 1), out)) return false;
                i = end + 1;
            } else {
                size_t end = s.find_first_of("{['", i);
                if (end == std::string_view::npos) end = s.size();
                if (!literalTokens(s.substr(i, end - i), out)) return false;
                i = end;
            }
        }
        return true;
    }

private:
    bool fail(int32_t code) {
        ctx_->errorCode = code;
        return false;
    }

    // Literal text is cut into tokens by the context's own token patterns.
    bool literalTokens(std::string_view text, std::vector<Node> &out) {
        size_t pos = 0;
        while (pos < text.size()) {
            Token tok;
            bool noMatch = false;
            if (!nextToken(ctx_, text, pos, TokenMode::Normal, tok, nullptr, &noMatch)) {
                if (!noMatch) break;
                // Text no pattern reads is one literal up to where a token
                // starts again; a rule headed by it gets a pattern of its own.
                size_t start = pos++;  // at least one character, so the loop advances
                while (pos < text.size()) {
                    size_t probe = pos;
                    Token next;
                    if (nextToken(ctx_, text, probe, TokenMode::Normal, next)) break;
                    ++pos;
                }
                Node n;
                n.element = {ElementType::Literal, std::string(text.substr(start, pos - start)), {}, nullptr};
                out.push_back(std::move(n));
                continue;
            }
            Node n;
            n.element = {ElementType::Literal, std::string(tok.text), {}, nullptr};
            out.push_back(std::move(n));
        }
        return true;
    }

    bool optional(std::string_view inner, std::vector<Node> &out) {
        Node n;
        n.kind = Node::Kind::Optional;
        n.branches.emplace_back();
        if (!sequence(inner, n.branches.back())) return false;
        out.push_back(std::move(n));
        return true;
    }

    // A braced element: a regex literal, alternatives, or a parameter.
    bool brace(std::string_view inner, std::vector<Node> &out) {
        std::string_view t = trimView(inner);
        auto alternatives = splitAlternatives(inner);
        if (alternatives.size() > 1) {
            Node n;
            n.kind = Node::Kind::Alternatives;
            for (std::string_view a : alternatives) {
                n.branches.emplace_back();
                if (!sequence(a, n.branches.back())) return false;
            }
            out.push_back(std::move(n));
            return true;
        }
        Node n;
        if (!t.empty() && t.front() == '\'') {
            if (t.size() < 2 || t.back() != '\'') return fail(2);
            n.element = {ElementType::RegexLiteral, std::string(t.substr(1, t.size() - 2)),
                         std::string(t.substr(1, t.size() - 2)), nullptr};
        } else {
            size_t colon = t.find(':');
            std::string name(trimView(t.substr(0, colon)));
            if (name.empty()) return fail(2);
            if (colon == std::string_view::npos) {
                n.element = {ElementType::Param, name, {}, nullptr};
            } else {
                std::string source;
                if (!regexSource(trimView(t.substr(colon + 1)), source)) return false;
                n.element = {ElementType::RegexParam, name, source, nullptr};
            }
        }
        out.push_back(std::move(n));
        return true;
    }

    // A parameter's regex: quoted, or the value of a text variable.
    bool regexSource(std::string_view form, std::string &source) {
        if (!form.empty() && form.front() == '\'') {
            if (form.size() < 2 || form.back() != '\'') return fail(2);
            source.assign(form.substr(1, form.size() - 2));
            return true;
        }
        Item *var = lookupName(ctx_, form);
        if (!var || !var->address) return fail(3);
        source.assign(strView(cellStr(cellAt(var->address))));
        return true;
    }

    ThreadContext *ctx_;
};

// Spells out every variant of a node sequence.
void variantsOf(const std::vector<Node> &nodes, size_t from, std::vector<RuleElement> prefix,
                std::vector<std::vector<RuleElement>> &out) {
    if (from == nodes.size()) {
        out.push_back(std::move(prefix));
        return;
    }
    const Node &n = nodes[from];
    if (n.kind == Node::Kind::Element) {
        prefix.push_back(n.element);
        variantsOf(nodes, from + 1, std::move(prefix), out);
        return;
    }
    std::vector<std::vector<RuleElement>> heads;
    if (n.kind == Node::Kind::Optional) heads.emplace_back();
    for (const auto &branch : n.branches) variantsOf(branch, 0, {}, heads);
    for (auto &h : heads) {
        std::vector<RuleElement> p = prefix;
        p.insert(p.end(), h.begin(), h.end());
        variantsOf(nodes, from + 1, std::move(p), out);
    }
}

// Compiles the regexes of a variant, anchored at the match position.
bool compileElements(ThreadContext *ctx, std::vector<RuleElement> &elements) {
    for (RuleElement &e : elements) {
        if (e.type != ElementType::RegexLiteral && e.type != ElementType::RegexParam) continue;
        e.regex = compilePattern("^" + e.source, false);
        if (!e.regex) {
            ctx->errorCode = 5;
            return false;
        }
    }
    return true;
}

} // namespace

bool parseRulePattern(ThreadContext *ctx, std::string_view pattern, std::vector<std::vector<RuleElement>> &variants) {
    std::vector<Node> nodes;
    PatternReader reader(ctx);
    if (!reader.sequence(pattern, nodes)) return false;
    variantsOf(nodes, 0, {}, variants);
    std::stable_sort(variants.begin(), variants.end(),
                     [](const auto &a, const auto &b) { return a.size() < b.size(); });
    for (auto &v : variants) {
        if (!compileElements(ctx, v)) {
            for (auto &w : variants) freeElements(w);
            variants.clear();
            return false;
        }
    }
    return true;
}

void freeElements(std::vector<RuleElement> &elements) {
    for (RuleElement &e : elements) {
        if (e.regex) freePattern(e.regex);
        e.regex = nullptr;
    }
}

namespace {

const std::string *captureOf(const std::vector<std::pair<std::string, std::string>> &captures, std::string_view name,
                             bool cs) {
    for (const auto &c : captures)
        if (equalNames(c.first, name, cs)) return &c.second;
    return nullptr;
}

bool hasContent(const std::string &s) { return s.find_first_not_of(" \t") != std::string::npos; }

} // namespace

std::string fillReplacement(std::string_view r, const std::vector<std::pair<std::string, std::string>> &captures,
                            bool cs) {
    std::string out;
    size_t i = 0;
    while (i < r.size()) {
        if (r[i] != '{') {
            out += r[i++];
            continue;
        }
        size_t end = matchingClose(r, i, '{', '}');
        if (end == std::string_view::npos) {
            out.append(r.substr(i));
            break;
        }
        std::string_view inner = r.substr(i + 1, end - i - 2);
        size_t colon = inner.find(':');
        std::string_view name = trimView(inner.substr(0, colon));
        const std::string *cap = captureOf(captures, name, cs);
        if (cap && colon == std::string_view::npos) {
            out += *cap;
        } else if (cap) {
            if (hasContent(*cap)) out += fillReplacement(inner.substr(colon + 1), captures, cs);
        } else {
            out += '{';
            out += fillReplacement(inner, captures, cs);
            out += '}';
        }
        i = end;
    }
    return out;
}

} // namespace nx
