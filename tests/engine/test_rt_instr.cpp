// nxInStr: token-aware search with a small set of the calculator's token
// patterns, inside and outside bracketed groups.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_rt_support.h"

using namespace nx;
using namespace std::string_literals;

namespace {

// A context with hand-built token patterns (lowest priority first), freed at the end.
class Patterns {
public:
    Patterns() : ctx(heapNew<ThreadContext>()) {
        Item *open = add("\\(", uint32_t(TokenKind::Open));
        Item *close = add("\\)", uint32_t(TokenKind::Close));
        open->closing = close;
        close->closing = open;
        add(",", uint32_t(TokenKind::Separator));
        add("[ \\t]+", uint32_t(TokenKind::Space));
        add("[+*/=<>-]+", flag::OperatorRun);
        add("([0-9]*\\.)?[0-9]+", flag::Literal);
        add("[a-z_][0-9a-z_]*", uint32_t(TokenKind::Name));
    }
    ~Patterns() {
        for (Item *p : ctx->patterns) {
            freePattern(p->regex);
            heapDelete(p);
        }
        heapDelete(ctx);
    }
    ThreadContext *ctx;

private:
    Item *add(std::string_view pattern, uint32_t flags) {
        Item *p = heapNew<Item>();
        p->flags = flags;
        p->context = ctx;
        p->regex = compilePattern("^"s.append(pattern), false);
        ctx->patterns.push_back(p);
        return p;
    }
};

// nxInStr on two String cells.
intptr_t inStr(ThreadContext *ctx, intptr_t start, std::string_view text, std::string_view search, int mode) {
    char *t = strAlloc(text), *s = strAlloc(search);
    uint32_t textCell = toHandle(t), searchCell = toHandle(s);
    intptr_t found = nxInStr(start, &textCell, &searchCell, mode, reinterpret_cast<intptr_t>(ctx));
    strFree(t);
    strFree(s);
    return found;
}

TEST(InStr, FindsWholeTokensInsideOrOutsideGroups) {
    struct Case { const char *text, *search; intptr_t start; int mode; intptr_t expected; } cases[] = {
        {"max(x)", "x", 1, 0, 5},
        {"max(x)", "x", 1, 1, 0},       // inside the group
        {"max(x)", "(", 1, 1, 4},       // a delimiter is compared before its group is skipped
        {"max(x)", "x)", 1, 0, 0},      // two tokens
        {"max(x)", "max", 1, 0, 1},
        {"maxx + x", "x", 1, 0, 8},     // not the x inside maxx
        {"x + max(x)", "x", 2, 0, 9},
        {"x + max(x)", "x", 2, 1, 0},
        {"f(a, (x)) + x", "x", 1, 1, 13},
        {"max( x)", "x", 1, 0, 6},      // where the token begins, after the blank
        {"max(x)", "x", 7, 0, 0},       // start beyond the text
        {"max(x)", "x", 0, 0, 5},       // a start below 1 reads from the beginning
        {"", "x", 1, 0, 0},
        {"a + b", "", 1, 0, 0},
    };
    for (const auto &k : cases) {
        Patterns p;
        EXPECT_EQ(inStr(p.ctx, k.start, k.text, k.search, k.mode), k.expected)
            << k.text << " / " << k.search << " from " << k.start << " mode " << k.mode;
        EXPECT_EQ(p.ctx->errorCode, 0) << k.text;
    }
}

TEST(InStr, SearchesOnAfterTheOpenerOfAnUnclosedGroup) {
    Patterns p;
    EXPECT_EQ(inStr(p.ctx, 1, "(x", "x", 1), 2);
    EXPECT_EQ(p.ctx->errorCode, 10);  // the group reader's "no closer"
}

TEST(InStr, StepsOverUnrecognizedCharactersAndLeavesErrorFive) {
    struct Case { const char *text, *search; intptr_t expected; } cases[] = {
        {"a ? b", "b", 5},
        {"?x", "x", 2},
        {"a ?", "b", 0},
    };
    for (const auto &k : cases) {
        Patterns p;
        EXPECT_EQ(inStr(p.ctx, 1, k.text, k.search, 0), k.expected) << k.text;
        EXPECT_EQ(p.ctx->errorCode, 5) << k.text;
    }
}

TEST(InStr, BeyondTheTextReturnsZeroWithoutTokenizing) {
    Patterns p;
    EXPECT_EQ(inStr(p.ctx, 4, "a ?", "?", 0), 0);
    EXPECT_EQ(p.ctx->errorCode, 0);
}

} // namespace
