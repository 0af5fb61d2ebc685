// The SendKeys notation: sequences to key strokes, and the errors that
// unknown names, unbalanced braces and parentheses give.
#include <gtest/gtest.h>

#include "shell/keynotation.h"

using namespace nomix;

namespace {

using Strokes = std::vector<KeyStroke>;

KeyStroke ch(char32_t c, bool shift = false, bool ctrl = false, bool alt = false) {
    return {KeyName::Character, c, shift, ctrl, alt};
}
KeyStroke key(KeyName k, char32_t c = 0, bool shift = false, bool ctrl = false, bool alt = false) {
    return {k, c, shift, ctrl, alt};
}

struct Case {
    const char *keys;
    Strokes strokes;
};

TEST(KeyNotation, Sequences) {
    const KeyStroke enter = key(KeyName::Enter, 13);
    const Case cases[] = {
        {"", {}},
        {"ab", {ch('a'), ch('b')}},
        {"A1 ", {ch('A'), ch('1'), ch(' ')}},
        {"~", {enter}},
        {"2+3~", {ch('2'), ch('3', true), enter}},
        {"^c", {ch('c', false, true)}},
        {"%f", {ch('f', false, false, true)}},
        {"+^%x", {ch('x', true, true, true)}},
        {"+(ab)c", {ch('a', true), ch('b', true), ch('c')}},
        {"^(+(a)b)", {ch('a', true, true), ch('b', false, true)}},
        {"()", {}},
        {"{ENTER}{enter}", {enter, enter}},
        {"{TAB}{ESC}{BS}{BACKSPACE}",
         {key(KeyName::Tab, 9), key(KeyName::Escape, 27), key(KeyName::Backspace, 8), key(KeyName::Backspace, 8)}},
        {"{DEL}{INS}{HOME}{END}{PGUP}{PGDN}",
         {key(KeyName::Delete), key(KeyName::Insert), key(KeyName::Home), key(KeyName::End), key(KeyName::PageUp),
          key(KeyName::PageDown)}},
        {"{UP}{DOWN}{LEFT}{RIGHT}", {key(KeyName::Up), key(KeyName::Down), key(KeyName::Left), key(KeyName::Right)}},
        {"{F1}{F10}{F16}", {key(KeyName::F1), key(KeyName::F10), key(KeyName::F16)}},
        {"{+}{^}{%}{~}{{}{}}{(}{)}", {ch('+'), ch('^'), ch('%'), ch('~'), ch('{'), ch('}'), ch('('), ch(')')}},
        {"{LEFT 3}", {key(KeyName::Left), key(KeyName::Left), key(KeyName::Left)}},
        {"{x 5}", {ch('x'), ch('x'), ch('x'), ch('x'), ch('x')}},
        {"{x 0}a", {ch('a')}},
        {"{} 2}", {ch('}'), ch('}')}},
        {"+{LEFT 2}", {key(KeyName::Left, 0, true), key(KeyName::Left, 0, true)}},
        {"\xc2\xb0{\xc3\xa9}", {ch(U'\u00b0'), ch(U'\u00e9')}},
        {"\xb0", {ch(0xb0)}},
    };
    for (const Case &c : cases) {
        KeySequence read = parseKeys(c.keys);
        EXPECT_TRUE(read.ok()) << c.keys << ": " << read.error;
        EXPECT_EQ(read.strokes, c.strokes) << c.keys;
    }
}

struct ErrorCase {
    const char *keys;
    size_t at;
    size_t keptStrokes;
};

TEST(KeyNotation, ErrorsAreReportedNotCrashed) {
    const ErrorCase cases[] = {
        {"{NOPE}", 0, 0},
        {"ab{ENTER", 2, 2},
        {"a}", 1, 1},
        {"{}", 0, 0},
        {"(ab", 3, 2},
        {"ab)", 2, 2},
        {"+", 0, 0},
        {"x^", 1, 1},
        {"(+)", 1, 0},
        {"{LEFT -1}", 0, 0},
        {"{LEFT x}", 0, 0},
        {"{LEFT 99999999999}", 0, 0},
        {"{LEFT 1001}", 0, 0},
    };
    for (const ErrorCase &c : cases) {
        KeySequence read = parseKeys(c.keys);
        EXPECT_FALSE(read.ok()) << c.keys;
        EXPECT_EQ(read.errorAt, c.at) << c.keys << ": " << read.error;
        EXPECT_EQ(read.strokes.size(), c.keptStrokes) << c.keys;
    }
}

TEST(KeyNotation, TooManyStrokesIsAnError) {
    std::string flood;
    for (int i = 0; i < 101; ++i) flood += "{a 1000}";
    KeySequence read = parseKeys(flood);
    EXPECT_FALSE(read.ok());
    EXPECT_EQ(read.strokes.size(), kMaxKeyStrokes);
}

} // namespace
