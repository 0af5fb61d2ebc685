// Token-aware substring search: finds a text as a whole token the way the
// tokenizer cuts the text, optionally only outside bracketed groups.
#include "routines.h"

namespace nx {
namespace {

constexpr int32_t kUnrecognizedPattern = 5;

// Moves pos past the bracketed group that opens at `start`. When the group
// cannot be read (no closer), the search goes on after the opener, so it always
// advances.
void skipGroup(ThreadContext *ctx, std::string_view text, const Token &opener, size_t &pos) {
    size_t p = opener.start;
    std::string_view group;
    if (readGroup(ctx, text, p, 1, group) && p > opener.start)
        pos = p;
    else
        pos = opener.start + (opener.text.empty() ? 1 : opener.text.size());
}

// The 0-based start of the first token equal to `search` from `pos` on, or -1.
// A character no pattern accepts is stepped over and leaves error 5 behind.
int64_t findToken(ThreadContext *ctx, std::string_view text, std::string_view search, size_t pos,
                  bool outerOnly) {
    while (pos < text.size()) {
        const size_t before = pos;
        Token token;
        bool noMatch = false;
        if (!nextToken(ctx, text, pos, TokenMode::Normal, token, nullptr, &noMatch)) {
            if (!noMatch) return -1;  // only white space was left
            ctx->errorCode = kUnrecognizedPattern;
            pos = before + 1;
            continue;
        }
        if (token.text == search) return static_cast<int64_t>(token.start);
        if (outerOnly && !token.embedded && token.pattern &&
            token.pattern->kind() == static_cast<uint32_t>(TokenKind::Open))
            skipGroup(ctx, text, token, pos);
        if (pos <= before) pos = before + 1;  // a pattern that matched nothing
    }
    return -1;
}

} // namespace
} // namespace nx

extern "C" {

// nxInStr(Start, Text, Search, Mode, Context): the 1-based position of the first
// token of Text (from Start on) equal to Search, 0 when there is none. Text and
// Search are String cells; Mode 1 steps over bracketed groups. The result is
// where the matching token itself begins, after any white space before it.
NX_API intptr_t nxInStr(intptr_t start, const uint32_t *text, const uint32_t *search, intptr_t mode,
                        intptr_t context) {
    auto *ctx = context ? reinterpret_cast<nx::ThreadContext *>(context) : nx::defaultContext();
    if (!ctx || !text || !search) return 0;
    std::string_view haystack = nx::cellText(text), needle = nx::cellText(search);
    if (start > static_cast<intptr_t>(haystack.size())) return 0;
    size_t from = start > 1 ? static_cast<size_t>(start - 1) : 0;
    int64_t found = nx::findToken(ctx, haystack, needle, from, mode == 1);
    return found < 0 ? 0 : static_cast<intptr_t>(found + 1);
}

} // extern "C"
