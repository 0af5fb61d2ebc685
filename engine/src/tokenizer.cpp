// The tokenizer: cuts text into tokens with the token patterns of a context and
// its parents (newest pattern first, child before parent), reads bracket groups
// and takes quoted literals apart.
#include <algorithm>
#include <array>
#include <span>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine.h"
#include "pattern.h"

namespace nx {

namespace {

constexpr uint32_t kKindOpen = static_cast<uint32_t>(TokenKind::Open);
constexpr uint32_t kKindClose = static_cast<uint32_t>(TokenKind::Close);
constexpr uint32_t kKindQuoted = static_cast<uint32_t>(TokenKind::Quoted);
constexpr uint32_t kKindSpace = static_cast<uint32_t>(TokenKind::Space);
constexpr int32_t kExpanding = 2;  // ThreadContext::parseState while rules are expanded
constexpr size_t kEmbeddedLength = 5;

// Below this many patterns a list is walked as it is.
constexpr size_t kIndexFrom = 16;

} // namespace

// The patterns of one context grouped by the bytes their tokens may start with:
// for byte b, the indices into the list in ascending order.
struct PatternIndex {
    uint32_t version = 0;
    std::array<uint32_t, 257> start{};  // byte b's indices: order[start[b], start[b + 1])
    std::vector<uint32_t> order;

    std::span<const uint32_t> startingWith(unsigned char b) const {
        return std::span<const uint32_t>(order.data() + start[b], start[b + 1] - start[b]);
    }

    // Fills the index from a pattern list. A pattern without a compiled form
    // (none has one for long) is listed under every byte, as the plain walk
    // would try it everywhere.
    void build(const Vec<Item *> &patterns, uint32_t listVersion) {
        order.clear();
        for (unsigned b = 0; b < 256; ++b) {
            start[b] = static_cast<uint32_t>(order.size());
            for (size_t i = 0; i < patterns.size(); ++i) {
                const Item *item = patterns[i];
                if (!item->regex || item->regex->mayStartWith(static_cast<unsigned char>(b)))
                    order.push_back(static_cast<uint32_t>(i));
            }
        }
        start[256] = static_cast<uint32_t>(order.size());
        version = listVersion;
    }
};

namespace {

// A context's index, brought up to date; nullptr for short lists. The index is
// a cache outside the engine heap: it is not part of any definition.
const PatternIndex *indexOf(const ThreadContext *c) {
    if (c->patterns.size() < kIndexFrom) return nullptr;
    if (!c->patternIndex) {
        c->patternIndex = std::make_shared<PatternIndex>();
        c->patternIndex->build(c->patterns, c->patternsVersion);
    } else if (c->patternIndex->version != c->patternsVersion) {
        c->patternIndex->build(c->patterns, c->patternsVersion);
    }
    return c->patternIndex.get();
}

// Where a match of a token pattern lies: the whole token, and for a quoted
// literal the body between its delimiters.
struct TokenSpan {
    size_t length = 0;
    size_t bodyStart = 0;
    size_t bodyEnd = 0;
};

// Matches one token pattern at exactly pos. A quoted literal extends to the
// first match of its closing pattern after the opening one, so that its body may
// hold anything, separators included; without a closing match it does not match.
bool matchToken(const Item *item, std::string_view text, size_t pos, TokenSpan &span) {
    size_t open = 0;
    if (!matchHere(item->regex, text, pos, open)) return false;
    span.bodyStart = span.bodyEnd = pos + open;
    span.length = open;
    if (item->kind() != kKindQuoted || !item->closingRegex) return true;
    size_t closeStart = 0, closeLength = 0;
    if (!searchPattern(item->closingRegex, text, pos + open, closeStart, closeLength)) return false;
    span.bodyEnd = closeStart;
    span.length = closeStart + closeLength - pos;
    return true;
}

// A pattern takes part unless it is a rule head and the context that asked is
// not expanding rules.
bool usable(const Item *item, const ThreadContext *origin) {
    if (!item || !item->regex) return false;
    return !item->has(flag::RuleHead) || origin->parseState == kExpanding;
}

// Tries one pattern at pos for findPattern.
bool tryPattern(const Item *item, const ThreadContext *origin, std::string_view text, size_t pos, bool quotedOnly,
                TokenSpan &span) {
    if (!usable(item, origin) || (quotedOnly && item->kind() != kKindQuoted)) return false;
    return matchToken(item, text, pos, span) && span.length > 0;
}

// Walks the pattern lists from index `below` - 1 of `from` down, then every
// parent from its top, and returns the first pattern that matches a non-empty
// token at pos. An empty match is no token: it would never advance. Long lists
// are walked through their index, which holds only the patterns that may start
// with the byte at pos, in the same order.
Item *findPattern(const ThreadContext *origin, const ThreadContext *from, size_t below, std::string_view text,
                  size_t pos, bool quotedOnly, TokenSpan &span) {
    const auto first = static_cast<unsigned char>(text[pos]);
    for (const ThreadContext *c = from; c; c = c->parent, below = SIZE_MAX) {
        size_t top = std::min(below, c->patterns.size());
        if (const PatternIndex *index = indexOf(c)) {
            std::span<const uint32_t> candidates = index->startingWith(first);
            for (auto it = candidates.rbegin(); it != candidates.rend(); ++it) {
                if (*it >= top) continue;
                Item *item = c->patterns[*it];
                if (tryPattern(item, origin, text, pos, quotedOnly, span)) return item;
            }
            continue;
        }
        for (size_t i = top; i-- > 0;) {
            Item *item = c->patterns[i];
            if (item->regex && !item->regex->mayStartWith(first)) continue;
            if (tryPattern(item, origin, text, pos, quotedOnly, span)) return item;
        }
    }
    return nullptr;
}

// The context whose list holds `pattern` (searching ctx, then its parents) and
// the pattern's index there; false when no list holds it.
bool locatePattern(const ThreadContext *ctx, const Item *pattern, const ThreadContext *&holder, size_t &index) {
    for (const ThreadContext *c = ctx; c; c = c->parent) {
        for (size_t i = c->patterns.size(); i-- > 0;) {
            if (c->patterns[i] == pattern) {
                holder = c;
                index = i;
                return true;
            }
        }
    }
    return false;
}

// An embedded item: the marker byte and a 4-byte little-endian handle. A zero
// handle is no item; the patterns then see the marker as ordinary text.
bool readEmbedded(std::string_view text, size_t pos, Token &token) {
    if (text[pos] != kItemMarker || text.size() - pos < kEmbeddedLength) return false;
    unsigned char bytes[4];
    std::memcpy(bytes, text.data() + pos + 1, 4);
    uint32_t handle = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (uint32_t(bytes[3]) << 24);
    if (handle == 0 || !isLiveItem(fromHandle<Item>(handle))) return false;  // a stray marker byte is text
    token = Token{pos, text.substr(pos, kEmbeddedLength), fromHandle<Item>(handle), true};
    return true;
}

// Records a group reader's failure in the context.
bool failGroup(ThreadContext *ctx, int32_t code) {
    ctx->errorCode = code;
    return false;
}

} // namespace

// Reads the token at pos: an embedded item, or the highest-priority pattern of
// ctx and its parents that matches there. White space is skipped in Normal mode.
bool nextToken(ThreadContext *ctx, std::string_view text, size_t &pos, TokenMode mode, Token &token,
               Item *resumeBelow, bool *noMatch) {
    if (noMatch) *noMatch = false;
    bool resuming = mode == TokenMode::Resume && resumeBelow;
    const ThreadContext *from = ctx;
    size_t below = SIZE_MAX;
    if (!ctx || (resuming && !locatePattern(ctx, resumeBelow, from, below))) {
        if (noMatch) *noMatch = pos < text.size();
        return false;
    }
    for (size_t p = pos;;) {
        if (p >= text.size()) {
            pos = p;
            return false;
        }
        if (!resuming && readEmbedded(text, p, token)) {
            pos = p + kEmbeddedLength;
            return true;
        }
        TokenSpan span;
        Item *item = findPattern(ctx, from, below, text, p, false, span);
        if (!item) {
            if (noMatch) *noMatch = true;
            return false;
        }
        token = Token{p, text.substr(p, span.length), item, false};
        p += span.length;
        if (item->kind() != kKindSpace || mode != TokenMode::Normal) {
            pos = p;
            return true;
        }
    }
}

// Reads the bracket group that opens at pos, nested groups included, and moves
// pos past its closer. Error 5 when a token is not recognised, 10 when the text
// ends before the closer or pos is not at an opening bracket.
bool readGroup(ThreadContext *ctx, std::string_view text, size_t &pos, int mode, std::string_view &group) {
    if (!ctx) return false;
    size_t p = pos;
    bool noMatch = false;
    Token open;
    if (!nextToken(ctx, text, p, TokenMode::WithSpace, open, nullptr, &noMatch)) return failGroup(ctx, noMatch ? 5 : 10);
    if (open.embedded || open.pattern->kind() != kKindOpen) return failGroup(ctx, 10);
    // The closers still expected, innermost last: an explicit stack, so that deep
    // nesting in user text cannot exhaust the call stack.
    std::vector<const Item *> closers{open.pattern->closing};
    Token token;
    while (!closers.empty()) {
        if (!nextToken(ctx, text, p, TokenMode::WithSpace, token, nullptr, &noMatch))
            return failGroup(ctx, noMatch ? 5 : 10);
        if (token.embedded) continue;
        uint32_t kind = token.pattern->kind();
        if (kind == kKindOpen) closers.push_back(token.pattern->closing);
        else if (kind == kKindClose && token.pattern == closers.back()) closers.pop_back();
    }
    size_t from = mode == 1 ? open.start : open.start + open.text.size();
    size_t to = mode == 1 ? p : token.start;
    group = text.substr(from, to - from);
    pos = p;
    return true;
}

// The body of a quoted literal: the text between the opening and the closing
// delimiter of the quoted-literal pattern that matches at its start. Text that
// no such pattern matches comes back unchanged.
std::string_view literalBody(ThreadContext *ctx, std::string_view literal) {
    TokenSpan span;
    if (!ctx || !findPattern(ctx, ctx, SIZE_MAX, literal, 0, true, span)) return literal;
    return literal.substr(span.bodyStart, span.bodyEnd - span.bodyStart);
}

} // namespace nx
