// Compiled token patterns: the engine's small regular-expression dialect.
// A pattern is a list of alternatives, each a sequence of elements; matching is
// greedy and never backtracks into an element, so one attempt is a single pass.
#pragma once
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "item.h"

namespace nx {

// Frees a sub-pattern owned by an element (the engine heap, not operator delete).
struct PatternDeleter {
    void operator()(CompiledPattern *pattern) const;
};
using PatternPtr = std::unique_ptr<CompiledPattern, PatternDeleter>;

enum class ElementKind : uint8_t {
    Set,           // one character out of a membership table
    Group,         // a parenthesised sub-pattern, matched recursively
    WordBoundary,  // \b: zero width
    EndOfText      // $ after an element: zero width
};

struct PatternElement {
    ElementKind kind = ElementKind::Set;
    std::bitset<256> members;  // indexed by character code (Set)
    int32_t minRepeat = 1;
    int32_t maxRepeat = 1;     // kUnbounded for * and +
    PatternPtr sub;            // Group
};

struct PatternAlternative {
    Vec<PatternElement> elements;
};

struct CompiledPattern {
    static constexpr uint32_t Anchored = 1u << 2;  // "^": only at the start position
    uint32_t options = 0;
    Vec<PatternAlternative> alternatives;
    // The characters a match can begin with, and whether it can be empty: the
    // tokenizer passes over a pattern that cannot match at a character with one
    // table lookup instead of an attempt.
    std::bitset<256> firstChars;
    bool canBeEmpty = false;
    bool anchored() const { return (options & Anchored) != 0; }
    bool mayStartWith(unsigned char c) const { return canBeEmpty || firstChars.test(c); }
};

constexpr int32_t kUnbounded = INT32_MAX;
constexpr int kMaxGroupDepth = 64;  // deeper nesting does not compile

// Matches at exactly `pos`, whether the pattern is anchored or not; sets the
// length of the match (which may be 0).
bool matchHere(const CompiledPattern *pattern, std::string_view text, size_t pos, size_t &length);

// Searches from `start` onwards, ignoring the pattern's anchor: the first
// position at which the pattern matches (used for the closing delimiter of a
// quoted literal, which may lie anywhere after the opening one).
bool searchPattern(const CompiledPattern *pattern, std::string_view text, size_t start,
                   size_t &matchStart, size_t &matchLength);

} // namespace nx
