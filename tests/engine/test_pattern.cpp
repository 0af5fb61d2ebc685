// The pattern dialect: what patterns match (greedy, no backtracking), how
// malformed patterns degrade, and the process-wide escape map and word characters.
#include <gtest/gtest.h>

#include <string>

#include "engine.h"
#include "heap.h"
#include "pattern.h"

using namespace nx;
using namespace std::string_literals;

namespace {

constexpr size_t kNone = SIZE_MAX;

struct MatchCase {
    std::string pattern;
    std::string text;
    size_t start;          // where matching begins
    size_t matchStart;     // kNone: no match
    size_t matchLength;
    bool caseSensitive = false;
};

// Compiles, matches and frees one case; the pattern never leaks.
void expectMatch(const MatchCase &c) {
    SCOPED_TRACE("pattern \"" + c.pattern + "\" on \"" + c.text + "\"");
    CompiledPattern *p = compilePattern(c.pattern, c.caseSensitive);
    ASSERT_NE(p, nullptr);
    size_t s = 0, n = 0;
    bool found = matchPattern(p, c.text, c.start, s, n);
    EXPECT_EQ(found, c.matchStart != kNone);
    if (found && c.matchStart != kNone) {
        EXPECT_EQ(s, c.matchStart);
        EXPECT_EQ(n, c.matchLength);
    }
    freePattern(p);
}

const char *kNumber = "([0-9]*\\.)?[0-9]+(e[-+]?[0-9]+)?";
const char *kName = "[a-z_][0-9a-z_]*";
const char *kOperators = "[\\|+/*^$&#\\-=%@!`\\\\<>?]+";

} // namespace

TEST(Pattern, HostPatternsMatchWhatTheLanguageNeeds) {
    const MatchCase cases[] = {
        {kNumber, "12.5e-3", 0, 0, 7},
        {kNumber, "12", 0, 0, 2},
        {kNumber, ".5", 0, 0, 2},
        {kNumber, "12.5e", 0, 0, 4},          // the exponent group fails whole
        {kName, "Sin", 0, 0, 3},
        {kName, "_x1", 0, 0, 3},
        {kName, "1abc", 0, 1, 3},
        {"^"s + kName, "1abc", 0, kNone, 0},
        {kOperators, "a<=>b", 0, 1, 3},
        {kOperators, "|+/*^$&#-=%@!`\\<>?", 0, 0, 18},
        {"[\\x00\\x01\\x02]", "ab\0c"s, 0, 2, 1},
        {"a\0b"s, "xa\0b"s, 0, 1, 3},         // a raw NUL inside the pattern text
        {"\\q", "say \"hi\"", 0, 4, 1},
        {"\\t\\n\\r\\v\\f", "\t\n\r\v\f", 0, 0, 5},
        {"\\65\\066", "AB", 0, 0, 2},
        {"\\2550", "\xff" "0", 0, 0, 2},      // decimal escapes stop before passing 255
    };
    for (const MatchCase &c : cases) expectMatch(c);
}

TEST(Pattern, ElementsQuantifiersAndAnchors) {
    const MatchCase cases[] = {
        {"abc", "xABC", 0, 1, 3},
        {"abc", "xABC", 0, kNone, 0, true},
        {"[^a-c]+", "abCxyz", 0, 3, 3},
        {"[^a-c]+", "abCxyz", 0, 2, 4, true},
        {"[z-a]", "z", 0, kNone, 0},          // a reversed range is empty
        {"a.c", "a\nc", 0, 0, 3},
        {"a{2,3}", "aaaa", 0, 0, 3},
        {"a{2}", "a", 0, kNone, 0},
        {"a{2,}", "aaaaa", 0, 0, 5},
        {"a{5,2}", "aaaaa", 0, 0, 5},          // max below min becomes min
        {"a*a", "aaa", 0, kNone, 0},          // no backtracking into a*
        {"cat|dog", "hotdog", 0, 3, 3},
        {"a|ab", "ab", 0, 0, 1},              // the first alternative that matches wins
        {"(ab|cd)+", "xabcdab", 0, 1, 6},
        {"(a*)*b", "b", 0, 0, 1},              // empty repetitions terminate
        {"\\bcat\\b", "concat cat", 0, 7, 3},
        {"\\bab", "ab", 0, 0, 2},              // the start of the text is a boundary,
        {"\\b-", "-", 0, 0, 1},                // whatever character follows
        {"x\\b", "x", 0, 0, 1},
        {"ab$", "abab", 0, 2, 2},
        {"a+$", "aab aa", 0, 4, 2},
        {"^b", "ab", 0, kNone, 0},
        {"^b", "ab", 1, 1, 1},                 // anchored at the start position
        {"", "abc", 0, 0, 0},
        {"a", "a", 2, kNone, 0},               // start beyond the text
    };
    for (const MatchCase &c : cases) expectMatch(c);
}

TEST(Pattern, MalformedPatternsCompileToSomethingSane) {
    const MatchCase cases[] = {
        {"[abc", "xb", 0, 1, 1},        // unclosed class runs to the end
        {"(ab", "xab", 0, 1, 2},        // unclosed group too
        {"ab)", "ab)", 0, 0, 3},        // a stray ")" is literal
        {"ab\\", "ab\\", 0, 0, 3},      // a trailing backslash stands for itself
        {"*a", "*a", 0, 0, 2},          // nothing to repeat: literal
        {"a{x}", "a{x}", 0, 0, 4},      // "{" without digits is literal
        {"a{3", "a{3", 0, 0, 3},
        {"\\x", "x", 0, 0, 1},          // "\x" without hex digits
        {"\\x4g", "\x04g", 0, 0, 2},
        {"[]a", "a", 0, kNone, 0},      // an empty class matches nothing
        {"$", "a$", 0, 1, 1},           // "$" with no element before it is literal
        {"^", "abc", 0, 0, 0},
        {"a{99999999999}", "aaa", 0, kNone, 0},
    };
    for (const MatchCase &c : cases) expectMatch(c);
}

TEST(Pattern, NestingDepthIsBounded) {
    std::string ok = std::string(kMaxGroupDepth, '(') + "a" + std::string(kMaxGroupDepth, ')');
    CompiledPattern *p = compilePattern(ok, false);
    ASSERT_NE(p, nullptr);
    size_t s = 0, n = 0;
    EXPECT_TRUE(matchPattern(p, "a", 0, s, n));
    freePattern(p);
    EXPECT_EQ(compilePattern(std::string(kMaxGroupDepth + 1, '(') + "a", false), nullptr);
    EXPECT_EQ(compilePattern(std::string(1000000, '('), false), nullptr);
}

TEST(Pattern, CompiledPatternsLiveInTheEngineHeap) {
    int64_t before = heapLiveBlocks();
    CompiledPattern *p = compilePattern(kNumber, false);
    EXPECT_GT(heapLiveBlocks(), before);
    EXPECT_LT(reinterpret_cast<uintptr_t>(p), uintptr_t(1) << 31);
    freePattern(p);
    freePattern(nullptr);
    EXPECT_EQ(heapLiveBlocks(), before);
    size_t s = 0, n = 0;
    EXPECT_FALSE(matchPattern(nullptr, "a", 0, s, n));
}

TEST(Pattern, CharMapChangesLaterCompilations) {
    CompiledPattern *before = compilePattern("\\q", false);
    setCharMap('q', 39);
    CompiledPattern *after = compilePattern("\\q", false);
    setCharMap('q', 34);
    setCharMap(300, 1);  // out of range: ignored
    setCharMap('q', -1);
    size_t s = 0, n = 0;
    EXPECT_TRUE(matchPattern(before, "\"", 0, s, n));
    EXPECT_TRUE(matchPattern(after, "'", 0, s, n));
    EXPECT_FALSE(matchPattern(after, "\"", 0, s, n));
    expectMatch({"\\q", "\"", 0, 0, 1});
    freePattern(before);
    freePattern(after);
}

TEST(Pattern, WordCharactersDecideBoundaries) {
    const std::pair<unsigned char, bool> defaults[] = {
        {'a', true}, {'Z', true}, {'5', true}, {'_', true}, {' ', false}, {'-', false}, {0xE9, false}, {0, false}};
    for (auto [c, word] : defaults) EXPECT_EQ(isWordChar(c), word) << int(c);
    setWordChars("ab-");
    EXPECT_TRUE(isWordChar('-'));
    EXPECT_FALSE(isWordChar('c'));
    expectMatch({"\\bc", "abc", 0, 2, 1});  // c is no longer a word character
    setWordChars("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_");
    expectMatch({"\\bc", "ab-c", 0, 3, 1});
    expectMatch({"\\bc", "abc", 0, kNone, 0});
}
