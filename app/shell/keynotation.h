// The key-sequence notation of the script native SendKeys, read into key
// strokes without knowing any toolkit: the window side turns each stroke into
// a key event. Plain characters type themselves; "+" Shift, "^" Ctrl and "%"
// Alt hold for the next key or for a group in parentheses; "~" is Enter;
// named keys and the special characters go in braces ("{ENTER}", "{+}"), and
// "{KEY n}" presses a key n times.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace nomix {

// What a stroke presses: a character, or a named key.
enum class KeyName {
    Character,
    Enter, Tab, Escape, Backspace, Delete, Insert,
    Home, End, PageUp, PageDown, Up, Down, Left, Right,
    F1, F2, F3, F4, F5, F6, F7, F8, F9, F10, F11, F12, F13, F14, F15, F16,
};

// One key press, with the modifiers held while it is pressed.
struct KeyStroke {
    KeyName key = KeyName::Character;
    char32_t character = 0;  // the character typed (Character; also 13, 9, 27, 8 for Enter, Tab, Esc, Backspace)
    bool shift = false;
    bool ctrl = false;
    bool alt = false;

    bool operator==(const KeyStroke &) const = default;
};

// A repeat count above this is an error (it would only flood the window).
inline constexpr long kMaxKeyRepeat = 1000;
// A sequence yielding more strokes than this is an error.
inline constexpr size_t kMaxKeyStrokes = 100000;

// The strokes of a sequence, or the first error with its byte offset.
struct KeySequence {
    std::vector<KeyStroke> strokes;
    std::string error;   // empty when the whole sequence was read
    size_t errorAt = 0;  // offset in the text where the error was found

    bool ok() const { return error.empty(); }
};

// Reads a key sequence (UTF-8 text). A sequence with an error is not sent:
// SendKeys reports the error and presses nothing. The strokes read before the
// error are kept only to help tell where it went wrong.
KeySequence parseKeys(std::string_view keys);

// The brace name of a named key ("ENTER", "F5"), or "" for Character.
std::string_view keyNameText(KeyName key);

} // namespace nomix
