// Reading the SendKeys notation. One table names every braced key, so the
// reader and keyNameText cannot drift apart.
#include "shell/keynotation.h"

#include <cctype>
#include <charconv>
#include <optional>

namespace nomix {

namespace {

struct NamedKey {
    std::string_view name;
    KeyName key;
    char32_t character;  // what the key types, 0 when it types nothing
};

// The first name of a key is the one keyNameText gives back.
const NamedKey kNamedKeys[] = {
    {"ENTER", KeyName::Enter, 13},     {"TAB", KeyName::Tab, 9},
    {"ESC", KeyName::Escape, 27},      {"ESCAPE", KeyName::Escape, 27},
    {"BACKSPACE", KeyName::Backspace, 8}, {"BS", KeyName::Backspace, 8},
    {"BKSP", KeyName::Backspace, 8},   {"DELETE", KeyName::Delete, 0},
    {"DEL", KeyName::Delete, 0},       {"INSERT", KeyName::Insert, 0},
    {"INS", KeyName::Insert, 0},       {"HOME", KeyName::Home, 0},
    {"END", KeyName::End, 0},          {"PGUP", KeyName::PageUp, 0},
    {"PGDN", KeyName::PageDown, 0},    {"UP", KeyName::Up, 0},
    {"DOWN", KeyName::Down, 0},        {"LEFT", KeyName::Left, 0},
    {"RIGHT", KeyName::Right, 0},
    {"F1", KeyName::F1, 0},   {"F2", KeyName::F2, 0},   {"F3", KeyName::F3, 0},   {"F4", KeyName::F4, 0},
    {"F5", KeyName::F5, 0},   {"F6", KeyName::F6, 0},   {"F7", KeyName::F7, 0},   {"F8", KeyName::F8, 0},
    {"F9", KeyName::F9, 0},   {"F10", KeyName::F10, 0}, {"F11", KeyName::F11, 0}, {"F12", KeyName::F12, 0},
    {"F13", KeyName::F13, 0}, {"F14", KeyName::F14, 0}, {"F15", KeyName::F15, 0}, {"F16", KeyName::F16, 0},
};

struct Modifiers {
    bool shift = false, ctrl = false, alt = false;
    bool any() const { return shift || ctrl || alt; }
    Modifiers operator|(Modifiers o) const { return {shift || o.shift, ctrl || o.ctrl, alt || o.alt}; }
};

// The code point of the UTF-8 character at `at` and its length; a byte that
// does not start valid UTF-8 is taken as a Latin-1 character of one byte.
std::pair<char32_t, size_t> decodeCharacter(std::string_view text, size_t at) {
    auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(at);
    size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    if (length <= 1 || at + length > text.size()) return {lead, 1};
    char32_t code = lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return {lead, 1};
        code = (code << 6) | (byte(at + i) & 0x3F);
    }
    return {code, length};
}

// ASCII upper case: key names are ASCII.
std::string upper(std::string_view text) {
    std::string result(text);
    for (char &c : result) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return result;
}

// The named key of a brace name, in any case.
std::optional<NamedKey> namedKey(std::string_view name) {
    std::string wanted = upper(name);
    for (const NamedKey &key : kNamedKeys)
        if (key.name == wanted) return key;
    return std::nullopt;
}

// Reads the notation left to right; groups recurse with the modifiers held.
class KeyReader {
public:
    explicit KeyReader(std::string_view text) : text_(text) {}

    // The whole text; a ")" left over is an error.
    KeySequence read() {
        sequence(Modifiers{}, false);
        if (result_.ok() && pos_ < text_.size()) fail("\")\" without \"(\"");
        return std::move(result_);
    }

private:
    // Keys up to the end, or up to the ")" that closes a group when `inGroup`.
    void sequence(Modifiers held, bool inGroup) {
        while (result_.ok() && pos_ < text_.size()) {
            if (text_[pos_] == ')') {
                if (inGroup) return;
                fail("\")\" without \"(\"");
                return;
            }
            element(held);
        }
        if (inGroup && result_.ok()) fail("\"(\" without \")\"");
    }

    // One key or group, with any modifiers written before it.
    void element(Modifiers held) {
        Modifiers mods;
        size_t start = pos_;
        for (; pos_ < text_.size(); ++pos_) {
            char c = text_[pos_];
            if (c == '+') mods.shift = true;
            else if (c == '^') mods.ctrl = true;
            else if (c == '%') mods.alt = true;
            else break;
        }
        if (pos_ >= text_.size() || (mods.any() && text_[pos_] == ')')) {
            fail("a modifier without a key after it", start);
            return;
        }
        Modifiers now = held | mods;
        char c = text_[pos_];
        if (c == '(') {
            ++pos_;
            sequence(now, true);
            if (result_.ok()) ++pos_;  // the ")"
        } else if (c == '{') {
            braced(now);
        } else if (c == '~') {
            ++pos_;
            emit(KeyName::Enter, 13, now, 1);
        } else if (c == '}') {
            fail("\"}\" without \"{\"");
        } else {
            auto [code, length] = decodeCharacter(text_, pos_);
            pos_ += length;
            emit(KeyName::Character, code, now, 1);
        }
    }

    // "{NAME}" or "{NAME n}"; "{}}" is the "}" key.
    void braced(Modifiers mods) {
        size_t start = pos_++;
        size_t close = text_.find('}', text_.substr(pos_, 1) == "}" ? pos_ + 1 : pos_);
        if (close == std::string_view::npos) {
            fail("\"{\" without \"}\"", start);
            return;
        }
        std::string_view inside = text_.substr(pos_, close - pos_);
        pos_ = close + 1;
        long count = 1;
        size_t blank = inside.find(' ', 1);
        if (blank != std::string_view::npos) {
            std::string_view number = inside.substr(blank + 1);
            auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), count);
            if (number.empty() || ec != std::errc() || end != number.data() + number.size() || count < 0 ||
                count > kMaxKeyRepeat) {
                fail("\"" + std::string(number) + "\" is not a repeat count from 0 to " + std::to_string(kMaxKeyRepeat),
                     start);
                return;
            }
            inside = inside.substr(0, blank);
        }
        if (inside.empty()) {
            fail("\"{}\" names no key", start);
            return;
        }
        auto [code, length] = decodeCharacter(inside, 0);
        if (length == inside.size()) {
            emit(KeyName::Character, code, mods, count);
        } else if (std::optional<NamedKey> key = namedKey(inside)) {
            emit(key->key, key->character, mods, count);
        } else {
            fail("\"{" + std::string(inside) + "}\" is not a key name", start);
        }
    }

    // Adds a key count times, up to kMaxKeyStrokes in all.
    void emit(KeyName key, char32_t character, Modifiers mods, long count) {
        for (long i = 0; i < count; ++i) {
            if (result_.strokes.size() >= kMaxKeyStrokes) {
                fail("more than " + std::to_string(kMaxKeyStrokes) + " keys");
                return;
            }
            result_.strokes.push_back({key, character, mods.shift, mods.ctrl, mods.alt});
        }
    }

    // Keeps the first error only: later ones follow from it.
    void fail(std::string message) { fail(std::move(message), pos_); }
    void fail(std::string message, size_t at) {
        if (!result_.ok()) return;
        result_.error = std::move(message);
        result_.errorAt = at;
    }

    std::string_view text_;
    size_t pos_ = 0;
    KeySequence result_;
};

} // namespace

// One reader per sequence.
KeySequence parseKeys(std::string_view keys) { return KeyReader(keys).read(); }

// The first table name of the key.
std::string_view keyNameText(KeyName key) {
    for (const NamedKey &named : kNamedKeys)
        if (named.key == key) return named.name;
    return {};
}

} // namespace nomix
