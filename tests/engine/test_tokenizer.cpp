// The tokenizer, the bracket-group reader and quoted-literal bodies, driven by
// the calculator's own token patterns in the order the calculator defines them.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "engine.h"
#include "heap.h"
#include "pattern.h"

using namespace nx;
using namespace std::string_literals;

namespace {

constexpr int kCloser = 100;  // label of a closer: its opener's label + 100

// Owns hand-built contexts and token-pattern items and frees them all, so each
// test can check that the engine heap returns to where it started.
class Workspace {
public:
    ~Workspace() {
        for (Item *item : items_) {
            freePattern(item->regex);
            freePattern(item->closingRegex);
            heapDelete(item);
        }
        for (ThreadContext *ctx : contexts_) heapDelete(ctx);
    }

    ThreadContext *context(ThreadContext *parent = nullptr) {
        ThreadContext *ctx = heapNew<ThreadContext>();
        ctx->parent = parent;
        contexts_.push_back(ctx);
        return ctx;
    }

    // A token pattern inserted at index `at` of ctx's list (default: on top, the
    // newest); a bracket's closer goes right above its opener.
    Item *pattern(ThreadContext *ctx, int label, std::string_view opening, uint32_t flags,
                  std::string_view closing = {}, size_t at = SIZE_MAX) {
        Item *item = make(ctx, label, opening, flags);
        at = std::min(at, ctx->patterns.size());
        ctx->patterns.insert(ctx->patterns.begin() + at, item);
        if ((flags & flag::KindMask) == uint32_t(TokenKind::Open) && !closing.empty()) {
            item->closing = make(ctx, label + kCloser, closing, uint32_t(TokenKind::Close));
            item->closing->closing = item;
            ctx->patterns.insert(ctx->patterns.begin() + at + 1, item->closing);
        } else if ((flags & flag::KindMask) == uint32_t(TokenKind::Quoted)) {
            item->closingRegex = compilePattern("^"s.append(closing), false);
        }
        return item;
    }

    int label(const Item *item) const { return labels_.count(item) ? labels_.at(item) : -1; }

private:
    Item *make(ThreadContext *ctx, int label, std::string_view opening, uint32_t flags) {
        Item *item = heapNew<Item>();
        item->flags = flags;
        item->context = ctx;
        item->regex = compilePattern("^"s.append(opening), false);
        items_.push_back(item);
        labels_[item] = label;
        return item;
    }

    std::vector<ThreadContext *> contexts_;
    std::vector<Item *> items_;
    std::map<const Item *, int> labels_;
};

// The calculator's token patterns, labelled with their definition numbers.
void loadHostPatterns(Workspace &ws, ThreadContext *ctx) {
    ws.pattern(ctx, 26, "[\\x00\\x01\\x02]", 0);
    ws.pattern(ctx, 27, "\\x03", 40, "\\x03");
    ws.pattern(ctx, 28, "\\x05", 0);
    ws.pattern(ctx, 29, "\\x06", 3, "\\x07");
    ws.pattern(ctx, 30, ":", 0);
    ws.pattern(ctx, 31, ":=", 0);
    ws.pattern(ctx, 32, "\\[", 3, "\\]");
    ws.pattern(ctx, 33, "\\{", 3, "\\}");
    ws.pattern(ctx, 34, "[\\q]", 40, "[\\q]");
    ws.pattern(ctx, 35, "[']", 40, "[']");
    ws.pattern(ctx, 36, "\\x0D\\x0A", 9);
    ws.pattern(ctx, 37, ";", 9);
    ws.pattern(ctx, 38, "~t", 12);
    ws.pattern(ctx, 39, "~Eval", 5);
    ws.pattern(ctx, 40, "~Eval_1", 5 | flag::PassOnce);
    ws.pattern(ctx, 41, "~Eval_P", 15);
    ws.pattern(ctx, 42, "~Expand", 6);
    ws.pattern(ctx, 43, "~Expand_1", 6 | flag::PassOnce);
    ws.pattern(ctx, 44, "\\.", 7);
    ws.pattern(ctx, 45, "\\~\\~", 0);
    ws.pattern(ctx, 46, ",", 2);
    ws.pattern(ctx, 47, "\\(", 3, "\\)");
    ws.pattern(ctx, 48, "[ \\t]+", 10);
    ws.pattern(ctx, 49, "[\\|+/*^$&#\\-=%@!`\\\\<>?]+", 64);
    ws.pattern(ctx, 50, "([0-9]*\\.)?[0-9]+(e[-+]?[0-9]+)?", 32);
    ws.pattern(ctx, 51, "[a-z_][0-9a-z_]*", 1);
}

using Tokens = std::vector<std::pair<std::string, int>>;  // token text, pattern label

// Every token of the text in the given mode; a trailing "?" entry when the
// tokenizer stopped on text that no pattern matches.
Tokens tokenize(const Workspace &ws, ThreadContext *ctx, std::string_view text, TokenMode mode = TokenMode::Normal) {
    Tokens out;
    size_t pos = 0;
    Token token;
    bool noMatch = false;
    while (nextToken(ctx, text, pos, mode, token, nullptr, &noMatch))
        out.emplace_back(std::string(token.text), token.embedded ? 0 : ws.label(token.pattern));
    if (noMatch) out.emplace_back("?", -1);
    return out;
}

class Tokenizer : public ::testing::Test {
protected:
    void SetUp() override {
        live_ = heapLiveBlocks();
        ws_ = std::make_unique<Workspace>();
        host_ = ws_->context();
        loadHostPatterns(*ws_, host_);
    }
    void TearDown() override {
        ws_.reset();
        EXPECT_EQ(heapLiveBlocks(), live_);
    }
    int64_t live_ = 0;
    std::unique_ptr<Workspace> ws_;
    ThreadContext *host_ = nullptr;
};

} // namespace

TEST_F(Tokenizer, HostPatternsCutExpressions) {
    const std::pair<std::string, Tokens> cases[] = {
        {"~Eval_1", {{"~Eval_1", 40}}},
        {"~Evalx", {{"~Eval", 39}, {"x", 51}}},
        {"a:=b", {{"a", 51}, {":=", 31}, {"b", 51}}},
        {"a:b", {{"a", 51}, {":", 30}, {"b", 51}}},
        {".5", {{".5", 50}}},
        {"x.y", {{"x", 51}, {".", 44}, {"y", 51}}},
        {"\"a;b\";c", {{"\"a;b\"", 34}, {";", 37}, {"c", 51}}},
        {"'x' + \"y\"", {{"'x'", 35}, {"+", 49}, {"\"y\"", 34}}},
        {"\x03" "a b\x03", {{"\x03" "a b\x03", 27}}},
        {"max(x, 2.5e3)", {{"max", 51}, {"(", 47}, {"x", 51}, {",", 46}, {"2.5e3", 50}, {")", 147}}},
        {"a<=-b", {{"a", 51}, {"<=-", 49}, {"b", 51}}},
        {"[\x06\x07]", {{"[", 32}, {"\x06", 29}, {"\x07", 129}, {"]", 132}}},
        {"a\r\nb ~~ ~t", {{"a", 51}, {"\r\n", 36}, {"b", 51}, {"~~", 45}, {"~t", 38}}},
        {"\x05\x02", {{"\x05", 28}, {"\x02", 26}}},
        {"  a \t", {{"a", 51}}},
        {"", {}},
        {"\"abc", {{"?", -1}}},            // an unterminated string is no token
        {"a \xa7 b", {{"a", 51}, {"?", -1}}},
    };
    for (const auto &[text, expected] : cases) EXPECT_EQ(tokenize(*ws_, host_, text), expected) << text;
}

TEST_F(Tokenizer, WhiteSpaceModesAndPositions) {
    Tokens withSpace = {{"a", 51}, {"  ", 48}, {"+", 49}, {"\t", 48}, {"b", 51}};
    EXPECT_EQ(tokenize(*ws_, host_, "a  +\tb", TokenMode::WithSpace), withSpace);

    Token token;
    bool noMatch = true;
    size_t pos = 1;
    EXPECT_FALSE(nextToken(host_, "a   ", pos, TokenMode::Normal, token, nullptr, &noMatch));
    EXPECT_FALSE(noMatch);  // end of text after skipped space is no error

    pos = 1;
    EXPECT_FALSE(nextToken(host_, "a \xa7", pos, TokenMode::Normal, token, nullptr, &noMatch));
    EXPECT_TRUE(noMatch);
    EXPECT_EQ(pos, 1u);  // unchanged, for the caller's error location

    pos = 0;
    EXPECT_FALSE(nextToken(nullptr, "a", pos, TokenMode::Normal, token, nullptr, &noMatch));
}

TEST_F(Tokenizer, PriorityFollowsListOrderAndContexts) {
    ThreadContext *child = ws_->context(host_);
    ws_->pattern(child, 1, "a", 0);
    ws_->pattern(host_, 2, "[a-z]+", 1, {}, 0);  // rank 0: tried after every older pattern
    ws_->pattern(host_, 3, "b", 0);              // newest: tried first
    const std::pair<std::string, Tokens> inHost[] = {
        {"abc", {{"abc", 51}}},
        {"bc", {{"b", 3}, {"c", 51}}},
    };
    for (const auto &[text, expected] : inHost) EXPECT_EQ(tokenize(*ws_, host_, text), expected) << text;
    EXPECT_EQ(tokenize(*ws_, child, "abc"), (Tokens{{"a", 1}, {"b", 3}, {"c", 51}}));
}

TEST_F(Tokenizer, RuleHeadPatternsOnlyWhileTheAskingContextExpands) {
    ThreadContext *child = ws_->context(host_);
    ws_->pattern(host_, 1, "Max", flag::RuleHead);
    EXPECT_EQ(tokenize(*ws_, host_, "Max"), (Tokens{{"Max", 51}}));
    EXPECT_EQ(tokenize(*ws_, child, "Max"), (Tokens{{"Max", 51}}));
    host_->parseState = 2;
    EXPECT_EQ(tokenize(*ws_, host_, "Max"), (Tokens{{"Max", 1}}));
    EXPECT_EQ(tokenize(*ws_, child, "Max"), (Tokens{{"Max", 51}}));
    host_->parseState = 0;
    child->parseState = 2;
    EXPECT_EQ(tokenize(*ws_, child, "Max"), (Tokens{{"Max", 1}}));
}

TEST_F(Tokenizer, ResumeFindsTheNextLowerPatternThatMatches) {
    ThreadContext *child = ws_->context(host_);
    Item *childA = ws_->pattern(child, 1, "\\.5", 0);
    Token token;
    size_t pos = 0;
    ASSERT_TRUE(nextToken(child, ".5", pos, TokenMode::Normal, token));
    EXPECT_EQ(ws_->label(token.pattern), 1);
    Item *below = childA;
    for (int label : {50, 44}) {  // then the parent's patterns, newest first
        pos = 0;
        ASSERT_TRUE(nextToken(child, ".5", pos, TokenMode::Resume, token, below));
        EXPECT_EQ(ws_->label(token.pattern), label);
        below = token.pattern;
    }
    pos = 0;
    bool noMatch = false;
    EXPECT_FALSE(nextToken(child, ".5", pos, TokenMode::Resume, token, below, &noMatch));
    EXPECT_TRUE(noMatch);
    Item stranger;
    EXPECT_FALSE(nextToken(child, ".5", pos, TokenMode::Resume, token, &stranger, &noMatch));
    EXPECT_TRUE(noMatch);
}

TEST_F(Tokenizer, EmbeddedItemsAndDegeneratePatterns) {
    Item *target = ws_->pattern(ws_->context(), 9, "zz", 0);
    uint32_t h = toHandle(target);
    std::string text = "\x01"s + char(h) + char(h >> 8) + char(h >> 16) + char(h >> 24) + "x";
    Token token;
    size_t pos = 0;
    ASSERT_TRUE(nextToken(host_, text, pos, TokenMode::Normal, token));
    EXPECT_TRUE(token.embedded);
    EXPECT_EQ(token.pattern, target);
    EXPECT_EQ(pos, 5u);
    // A marker without a full handle, or with handle 0, is plain text.
    EXPECT_EQ(tokenize(*ws_, host_, "\x01" "ab"), (Tokens{{"\x01", 26}, {"ab", 51}}));
    EXPECT_EQ(tokenize(*ws_, host_, "\x01\0\0\0\0"s), (Tokens{{"\x01", 26}, {"\0"s, 26}, {"\0"s, 26}, {"\0"s, 26}, {"\0"s, 26}}));
    // A pattern that matches the empty text never yields an endless run of empty tokens.
    ws_->pattern(host_, 7, "[ ]*", 10);
    ws_->pattern(host_, 8, "q*", 0);
    EXPECT_EQ(tokenize(*ws_, host_, "a b"), (Tokens{{"a", 51}, {"b", 51}}));
}

TEST_F(Tokenizer, ReadGroupFindsTheMatchingCloser) {
    struct GroupCase {
        std::string text;
        size_t pos;
        int mode;
        std::string group;  // expected text, when errorCode is 0
        size_t end;
        int32_t errorCode;
    };
    const GroupCase cases[] = {
        {"(a(b)c)d", 0, 0, "a(b)c", 7, 0},
        {"(a(b)c)d", 0, 1, "(a(b)c)", 7, 0},
        {"x+(1)", 2, 0, "1", 5, 0},
        {"()", 0, 0, "", 2, 0},
        {"{1, {2}} ", 0, 0, "1, {2}", 8, 0},
        {"(a [b) c] d)e", 0, 0, "a [b) c] d", 12, 0},  // only the group's own closer ends it
        {"( \")\" )z", 0, 1, "( \")\" )", 7, 0},      // a closer inside a string is text
        {"(a(b)c", 0, 0, "", 0, 10},
        {"a(b)", 0, 0, "", 0, 10},
        {"", 0, 0, "", 0, 10},
        {"(a \xa7 b)", 0, 0, "", 0, 5},
    };
    for (const GroupCase &c : cases) {
        SCOPED_TRACE(c.text);
        host_->errorCode = 0;
        size_t pos = c.pos;
        std::string_view group;
        EXPECT_EQ(readGroup(host_, c.text, pos, c.mode, group), c.errorCode == 0);
        EXPECT_EQ(host_->errorCode, c.errorCode);
        if (c.errorCode == 0) {
            EXPECT_EQ(group, c.group);
            EXPECT_EQ(pos, c.end);
        } else {
            EXPECT_EQ(pos, c.pos);
        }
    }
}

TEST_F(Tokenizer, ReadGroupSurvivesDeepNesting) {
    const size_t depth = 200000;
    std::string text = std::string(depth, '(') + std::string(depth, ')');
    size_t pos = 0;
    std::string_view group;
    ASSERT_TRUE(readGroup(host_, text, pos, 0, group));
    EXPECT_EQ(group.size(), 2 * depth - 2);
    EXPECT_EQ(pos, text.size());
}

TEST_F(Tokenizer, LiteralBodyDropsTheDelimiters) {
    const std::pair<std::string, std::string> cases[] = {
        {"'abc'", "abc"},
        {"\"x;y\"", "x;y"},
        {"\"\"", ""},
        {"\x03" "a b\x03", "a b"},
        {"'ab'cd", "ab"},
        {"abc", "abc"},  // no quoted-literal pattern matches: unchanged
        {"'abc", "'abc"},
    };
    for (const auto &[literal, body] : cases) EXPECT_EQ(literalBody(host_, literal), body) << literal;
}
