// The pattern dialect: compiling pattern text into alternatives of elements and
// matching them greedily, plus the process-wide escape map and word characters.
#include "pattern.h"

#include <algorithm>
#include <array>
#include <new>

#include "engine.h"

namespace nx {

namespace {

// The escape map and the word-character set are shared by every pattern in the
// process; they start with their defaults the first time anything needs them.
struct PatternTables {
    std::array<uint8_t, 256> escapeMap{};
    std::bitset<256> wordChars;
    PatternTables() {
        for (int c = 0; c < 256; ++c) escapeMap[c] = static_cast<uint8_t>(c);
        escapeMap['t'] = 9;
        escapeMap['r'] = 13;
        escapeMap['v'] = 11;
        escapeMap['f'] = 12;
        escapeMap['n'] = 10;
        escapeMap['q'] = 34;
        for (int c = 'a'; c <= 'z'; ++c) wordChars.set(c).set(c - 32);
        for (int c = '0'; c <= '9'; ++c) wordChars.set(c);
        wordChars.set('_');
    }
};

// The tables, created on first use.
PatternTables &tables() {
    static PatternTables instance;
    return instance;
}

inline unsigned char byteAt(std::string_view text, size_t i) { return static_cast<unsigned char>(text[i]); }

// Adds the other case of every ASCII letter in the set; only a-z/A-Z fold.
void foldCase(std::bitset<256> &set) {
    for (int c = 'a'; c <= 'z'; ++c) {
        if (set.test(c) || set.test(c - 32)) set.set(c).set(c - 32);
    }
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Value of a hexadecimal digit, or -1.
int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads pattern text into a CompiledPattern. Malformed input never fails except
// for nesting deeper than kMaxGroupDepth: an unclosed class or group runs to the
// end of the text, a stray quantifier or "{" is a literal character.
class PatternCompiler {
public:
    PatternCompiler(std::string_view text, bool caseSensitive) : text_(text), caseSensitive_(caseSensitive) {}

    // The whole pattern; nullptr when it nests too deeply.
    PatternPtr compile() {
        PatternPtr pattern(heapNew<CompiledPattern>());
        if (!text_.empty() && text_[0] == '^') {
            pattern->options |= CompiledPattern::Anchored;
            ++pos_;
        }
        if (!parseAlternatives(*pattern, 0)) return nullptr;
        return pattern;
    }

private:
    bool atEnd() const { return pos_ >= text_.size(); }
    char peek() const { return text_[pos_]; }

    // Alternatives separated by "|" up to a ")" (inside a group) or the end.
    bool parseAlternatives(CompiledPattern &into, int depth) {
        for (;;) {
            into.alternatives.emplace_back();
            if (!parseSequence(into.alternatives.back(), depth)) return false;
            if (atEnd() || peek() != '|') return true;
            ++pos_;
        }
    }

    // One alternative: elements with their quantifiers.
    bool parseSequence(PatternAlternative &alt, int depth) {
        while (!atEnd()) {
            char c = peek();
            if (c == '|' || (c == ')' && depth > 0)) return true;
            if (!parseItem(alt, depth)) return false;
        }
        return true;
    }

    // One element, or a quantifier / "$" applying to the previous one.
    bool parseItem(PatternAlternative &alt, int depth) {
        char c = peek();
        bool hasPrevious = !alt.elements.empty();
        if (hasPrevious && (c == '?' || c == '*' || c == '+')) {
            ++pos_;
            applyQuantifier(alt.elements.back(), c == '+' ? 1 : 0, c == '?' ? 1 : kUnbounded);
            return true;
        }
        int32_t lo = 0, hi = 0;
        if (hasPrevious && c == '{' && parseBraces(lo, hi)) {
            applyQuantifier(alt.elements.back(), lo, hi);
            return true;
        }
        if (hasPrevious && c == '$') {
            ++pos_;
            alt.elements.emplace_back().kind = ElementKind::EndOfText;
            return true;
        }
        if (c == '(') return parseGroup(alt, depth);
        alt.elements.push_back(parseAtom());
        return true;
    }

    // A zero-width element takes no repeat count.
    static void applyQuantifier(PatternElement &element, int32_t lo, int32_t hi) {
        if (element.kind == ElementKind::WordBoundary || element.kind == ElementKind::EndOfText) return;
        element.minRepeat = lo;
        element.maxRepeat = hi;
    }

    // "{m,n}", "{m,}" or "{n}" at pos_; leaves pos_ alone (and returns false)
    // when the brace does not start a well-formed count, so it is a literal.
    bool parseBraces(int32_t &lo, int32_t &hi) {
        size_t p = pos_ + 1;
        if (!readNumber(p, lo)) return false;
        hi = lo;
        if (p < text_.size() && text_[p] == ',') {
            ++p;
            if (!readNumber(p, hi)) hi = kUnbounded;
        }
        if (p >= text_.size() || text_[p] != '}') return false;
        pos_ = p + 1;
        if (hi < lo) hi = lo;
        return true;
    }

    // Decimal digits at p, saturating far below overflow.
    bool readNumber(size_t &p, int32_t &value) const {
        if (p >= text_.size() || !isDigit(text_[p])) return false;
        int64_t v = 0;
        while (p < text_.size() && isDigit(text_[p])) {
            v = std::min<int64_t>(v * 10 + (text_[p] - '0'), kUnbounded);
            ++p;
        }
        value = static_cast<int32_t>(v);
        return true;
    }

    // "(...)": a sub-pattern; an unclosed group ends with the text.
    bool parseGroup(PatternAlternative &alt, int depth) {
        if (depth >= kMaxGroupDepth) return false;
        ++pos_;
        PatternElement element;
        element.kind = ElementKind::Group;
        element.sub.reset(heapNew<CompiledPattern>());
        if (!parseAlternatives(*element.sub, depth + 1)) return false;
        if (!atEnd()) ++pos_;  // the ")"
        alt.elements.push_back(std::move(element));
        return true;
    }

    // A single-character element: literal, ".", class or escape.
    PatternElement parseAtom() {
        PatternElement element;
        char c = peek();
        ++pos_;
        if (c == '.') {
            element.members.set();
        } else if (c == '[') {
            parseClass(element.members);
        } else if (c == '\\' && !atEnd() && peek() == 'b') {
            ++pos_;
            element.kind = ElementKind::WordBoundary;
        } else {
            element.members.set(c == '\\' ? escapeCode() : static_cast<unsigned char>(c));
            if (!caseSensitive_) foldCase(element.members);
        }
        return element;
    }

    // The code an escape stands for; pos_ is just after the backslash. A
    // backslash at the very end stands for itself.
    unsigned char escapeCode() {
        if (atEnd()) return '\\';
        char c = peek();
        ++pos_;
        if (c == 'x') {
            int value = 0, digits = 0;
            while (digits < 2 && !atEnd() && hexValue(peek()) >= 0) {
                value = value * 16 + hexValue(peek());
                ++pos_;
                ++digits;
            }
            return digits ? static_cast<unsigned char>(value) : tables().escapeMap['x'];
        }
        if (isDigit(c)) {
            int value = c - '0';
            while (!atEnd() && isDigit(peek()) && value * 10 + (peek() - '0') <= 255) {
                value = value * 10 + (peek() - '0');
                ++pos_;
            }
            return static_cast<unsigned char>(value);
        }
        return tables().escapeMap[static_cast<unsigned char>(c)];
    }

    // "[...]" after the "[": ranges, escapes and a leading "^" complement. An
    // unclosed class takes the rest of the text.
    void parseClass(std::bitset<256> &set) {
        bool complement = !atEnd() && peek() == '^';
        if (complement) ++pos_;
        while (!atEnd() && peek() != ']') {
            unsigned char first = classChar();
            if (pos_ + 1 < text_.size() && peek() == '-' && text_[pos_ + 1] != ']') {
                ++pos_;
                unsigned char last = classChar();
                for (int ch = first; ch <= last; ++ch) set.set(ch);
            } else {
                set.set(first);
            }
        }
        if (!atEnd()) ++pos_;  // the "]"
        if (!caseSensitive_) foldCase(set);
        if (complement) set.flip();
    }

    // One character of a class, escapes resolved.
    unsigned char classChar() {
        char c = peek();
        ++pos_;
        return c == '\\' ? escapeCode() : static_cast<unsigned char>(c);
    }

    std::string_view text_;
    size_t pos_ = 0;
    bool caseSensitive_;
};

bool matchAlternatives(const CompiledPattern &pattern, std::string_view text, size_t pos, size_t &end);

// \b: the characters on the two sides differ in being word characters; the
// start of the text always counts.
bool atWordBoundary(std::string_view text, size_t pos) {
    if (pos == 0) return true;
    bool before = isWordChar(byteAt(text, pos - 1));
    bool after = pos < text.size() && isWordChar(byteAt(text, pos));
    return before != after;
}

// One element at pos, repeated greedily up to its maximum; it fails when it got
// fewer than its minimum. Never gives characters back.
bool matchElement(const PatternElement &element, std::string_view text, size_t &pos) {
    switch (element.kind) {
    case ElementKind::WordBoundary: return atWordBoundary(text, pos);
    case ElementKind::EndOfText: return pos == text.size();
    case ElementKind::Set: {
        int32_t count = 0;
        while (count < element.maxRepeat && pos < text.size() && element.members.test(byteAt(text, pos))) {
            ++pos;
            ++count;
        }
        return count >= element.minRepeat;
    }
    case ElementKind::Group: {
        int32_t count = 0;
        size_t end = 0;
        while (count < element.maxRepeat && matchAlternatives(*element.sub, text, pos, end)) {
            ++count;
            if (end == pos) {  // an empty repetition would repeat forever
                count = std::max(count, element.minRepeat);
                break;
            }
            pos = end;
        }
        return count >= element.minRepeat;
    }
    }
    return false;
}

// The elements of one alternative in order, from pos.
bool matchSequence(const PatternAlternative &alt, std::string_view text, size_t pos, size_t &end) {
    for (const PatternElement &element : alt.elements) {
        if (!matchElement(element, text, pos)) return false;
    }
    end = pos;
    return true;
}

// The first alternative that matches at pos.
bool matchAlternatives(const CompiledPattern &pattern, std::string_view text, size_t pos, size_t &end) {
    for (const PatternAlternative &alt : pattern.alternatives) {
        if (matchSequence(alt, text, pos, end)) return true;
    }
    return false;
}

// Tries every position from start on; an anchored pattern only at start.
bool scan(const CompiledPattern *pattern, std::string_view text, size_t start, bool honourAnchor,
          size_t &matchStart, size_t &matchLength) {
    if (!pattern || start > text.size()) return false;
    size_t last = honourAnchor && pattern->anchored() ? start : text.size();
    for (size_t p = start; p <= last; ++p) {
        size_t end = 0;
        if (matchAlternatives(*pattern, text, p, end)) {
            matchStart = p;
            matchLength = end - p;
            return true;
        }
    }
    return false;
}

} // namespace

void PatternDeleter::operator()(CompiledPattern *pattern) const { heapDelete(pattern); }

// Compiles pattern text; nullptr only when it nests too deeply or memory runs out.
namespace {

// Adds the characters a sequence of elements can begin with; true when the
// whole sequence can match empty text.
bool addFirstChars(const Vec<PatternElement> &elements, std::bitset<256> &first);

// The first characters of a pattern's alternatives; true when one can be empty.
bool firstCharsOf(const CompiledPattern &p, std::bitset<256> &first) {
    bool empty = false;
    for (const PatternAlternative &a : p.alternatives) empty = addFirstChars(a.elements, first) || empty;
    return empty || p.alternatives.empty();
}

bool addFirstChars(const Vec<PatternElement> &elements, std::bitset<256> &first) {
    for (const PatternElement &e : elements) {
        bool elementEmpty = e.minRepeat == 0;
        switch (e.kind) {
        case ElementKind::Set: first |= e.members; break;
        case ElementKind::Group: elementEmpty = (e.sub ? firstCharsOf(*e.sub, first) : true) || elementEmpty; break;
        default: elementEmpty = true; break;  // zero width
        }
        if (!elementEmpty) return false;
    }
    return true;
}

} // namespace

CompiledPattern *compilePattern(std::string_view pattern, bool caseSensitive) {
    try {
        CompiledPattern *p = PatternCompiler(pattern, caseSensitive).compile().release();
        if (p) p->canBeEmpty = firstCharsOf(*p, p->firstChars);
        return p;
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

// Releases a compiled pattern with all its groups.
void freePattern(CompiledPattern *pattern) { heapDelete(pattern); }

// Finds the first match at or after start (only at start when anchored).
bool matchPattern(const CompiledPattern *pattern, std::string_view text, size_t start, size_t &matchStart,
                  size_t &matchLength) {
    return scan(pattern, text, start, true, matchStart, matchLength);
}

// Matches at exactly pos, as the tokenizer needs.
bool matchHere(const CompiledPattern *pattern, std::string_view text, size_t pos, size_t &length) {
    size_t end = 0;
    if (!pattern || pos > text.size() || !matchAlternatives(*pattern, text, pos, end)) return false;
    length = end - pos;
    return true;
}

// Finds the first match at or after start whether or not the pattern is anchored.
bool searchPattern(const CompiledPattern *pattern, std::string_view text, size_t start, size_t &matchStart,
                   size_t &matchLength) {
    return scan(pattern, text, start, false, matchStart, matchLength);
}

// Replaces the word-character set by exactly the given characters.
void setWordChars(std::string_view chars) {
    std::bitset<256> &set = tables().wordChars;
    set.reset();
    for (char c : chars) set.set(static_cast<unsigned char>(c));
}

// Changes what "\c" stands for; codes outside 0-255 are ignored.
void setCharMap(int code, int replacement) {
    if (code < 0 || code > 255 || replacement < 0 || replacement > 255) return;
    tables().escapeMap[code] = static_cast<uint8_t>(replacement);
}

// Whether \b counts the character as part of a word.
bool isWordChar(unsigned char c) { return tables().wordChars.test(c); }

} // namespace nx
