#include "shell/bootscript.h"

#include <charconv>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <system_error>

#include "nxeng296.h"

namespace nomix {

namespace {

constexpr std::array<std::string_view, kKeptTypeCount> kTypeNames = {
    "Extended", "Double", "Single", "Long", "Dword", "String", "WideString", "FixedString",
    "Byte", "LPCSTR", "Stack", "SortedList", "Table", "Void", "Complex"};

// ASCII case-insensitive equality, the way the engine compares names.
bool equalFolded(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto fold = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; };
        if (fold(static_cast<unsigned char>(a[i])) != fold(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// True when text begins with prefix, ASCII case ignored (engine keywords fold case).
bool startsWithFolded(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && equalFolded(text.substr(0, prefix.size()), prefix);
}

// Blanks and tabs separate words; nothing else does.
bool isBlank(char c) { return c == ' ' || c == '\t'; }

// The text without blanks at either end.
std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

// A whole word as a decimal number (optionally negative); nothing else may follow.
std::optional<int64_t> parseNumber(std::string_view word) {
    int64_t value = 0;
    const char *end = word.data() + word.size();
    auto [ptr, ec] = std::from_chars(word.data(), end, value);
    if (word.empty() || ec != std::errc() || ptr != end) return std::nullopt;
    return value;
}

// Splits on runs of blanks.
// The blank-separated words of an argument list.
std::vector<std::string_view> splitWords(std::string_view s) {
    std::vector<std::string_view> words;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && isBlank(s[i])) ++i;
        size_t start = i;
        while (i < s.size() && !isBlank(s[i])) ++i;
        if (i > start) words.push_back(s.substr(start, i - start));
    }
    return words;
}

// Which command a keyword names, and whether its text carries {{N}} escapes.
struct Keyword {
    std::string_view word;
    BootCommandKind kind;
    bool escapes;
};
constexpr std::array<Keyword, 7> kKeywords = {{
    {"init", BootCommandKind::Initialize, false},
    {"message", BootCommandKind::Message, false},
    {"messagex", BootCommandKind::Message, true},
    {"define", BootCommandKind::Define, false},
    {"definex", BootCommandKind::Define, true},
    {"syntax", BootCommandKind::Syntax, false},
    {"syntaxx", BootCommandKind::Syntax, true},
}};

// The keyword entry for a command word (exact case), or nullptr.
const Keyword *findKeyword(std::string_view word) {
    for (const Keyword &k : kKeywords)
        if (k.word == word) return &k;
    return nullptr;
}

// Replaces each {{N}} (N decimal, 0-255) by the character with code N. Any other
// text, braces included, is copied as it stands.
bool decodeEscapes(std::string_view in, std::string &out, std::string &error) {
    out.clear();
    size_t i = 0;
    while (i < in.size()) {
        if (in.compare(i, 2, "{{") == 0) {
            size_t digits = i + 2;
            while (digits < in.size() && in[digits] >= '0' && in[digits] <= '9') ++digits;
            if (digits > i + 2 && in.compare(digits, 2, "}}") == 0) {
                auto code = parseNumber(in.substr(i + 2, digits - i - 2));
                if (!code || *code > 255) {
                    error = "character code out of range in \"" +
                            std::string(in.substr(i, digits + 2 - i)) + "\"";
                    return false;
                }
                out.push_back(static_cast<char>(static_cast<unsigned char>(*code)));
                i = digits + 2;
                continue;
            }
        }
        out.push_back(in[i++]);
    }
    return true;
}

// One argument word: a number, routine:N or type:Name.
bool parseArgument(std::string_view word, BootArgument &arg, std::string &error) {
    if (word.starts_with("routine:")) {
        auto n = parseNumber(word.substr(8));
        if (!n || *n < 0) {
            error = "bad routine number in \"" + std::string(word) + "\"";
            return false;
        }
        arg = {BootArgument::Kind::Routine, *n, KeptType::Extended};
        return true;
    }
    if (word.starts_with("type:")) {
        auto type = keptTypeByName(word.substr(5));
        if (!type) {
            error = "unknown data type in \"" + std::string(word) + "\"";
            return false;
        }
        arg = {BootArgument::Kind::Type, 0, *type};
        return true;
    }
    auto n = parseNumber(word);
    if (!n) {
        error = "bad argument \"" + std::string(word) + "\"";
        return false;
    }
    arg = {BootArgument::Kind::Number, *n, KeptType::Extended};
    return true;
}

// The argument words and the text of a define or syntax line ("ARGS | TEXT").
bool parseDefinition(std::string_view rest, size_t maxArgs, BootCommand &cmd,
                     std::string_view &text, std::string &error) {
    size_t bar = rest.find('|');
    if (bar == std::string_view::npos) {
        error = "missing \"| \" before the text";
        return false;
    }
    text = rest.substr(bar + 1);
    if (!text.empty()) {
        if (text.front() != ' ') {
            error = "the text must follow \"| \" (a bar and one blank)";
            return false;
        }
        text.remove_prefix(1);
    }
    auto words = splitWords(rest.substr(0, bar));
    if (words.size() > maxArgs) {
        error = "too many arguments (at most " + std::to_string(maxArgs) + ")";
        return false;
    }
    for (std::string_view word : words) {
        BootArgument arg;
        if (!parseArgument(word, arg, error)) return false;
        cmd.args.push_back(arg);
    }
    return true;
}

// "CODE TEXT": the code, one blank, then the text to the end of the line.
bool parseMessage(std::string_view rest, BootCommand &cmd, std::string_view &text,
                  std::string &error) {
    while (!rest.empty() && isBlank(rest.front())) rest.remove_prefix(1);
    size_t end = rest.find(' ');
    auto code = parseNumber(rest.substr(0, end));
    if (!code) {
        error = "message without an error number";
        return false;
    }
    cmd.args.push_back({BootArgument::Kind::Number, *code, KeptType::Extended});
    text = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    return true;
}

// The part of a command line after its keyword, by kind.
bool parseBody(const Keyword &keyword, std::string_view rest, BootCommand &cmd,
               std::string &error) {
    std::string_view text;
    bool ok = true;
    switch (keyword.kind) {
    case BootCommandKind::Initialize:
        if (!trimBlanks(rest).empty()) {
            error = "init takes no arguments";
            return false;
        }
        return true;
    case BootCommandKind::Message:
        ok = parseMessage(rest, cmd, text, error);
        break;
    case BootCommandKind::Define:
        ok = parseDefinition(rest, 3, cmd, text, error);
        break;
    case BootCommandKind::Syntax:
        ok = parseDefinition(rest, 1, cmd, text, error);
        // Rules are sent with rank 1 unless the line says otherwise.
        if (ok && cmd.args.empty()) cmd.args.push_back({BootArgument::Kind::Number, 1, KeptType::Extended});
        break;
    }
    if (!ok) return false;
    if (keyword.escapes) return decodeEscapes(text, cmd.text, error);
    cmd.text.assign(text);
    return true;
}

// A "#[n]" comment numbers the command that follows it.
std::optional<int> commentNumber(std::string_view comment) {
    if (!comment.starts_with("#[")) return std::nullopt;
    size_t close = comment.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    auto n = parseNumber(comment.substr(2, close - 2));
    if (!n || *n < 0 || *n > 1'000'000) return std::nullopt;
    return static_cast<int>(*n);
}

// Reads one non-comment line into a command; false with a message when malformed.
bool parseCommandLine(std::string_view line, BootCommand &cmd, std::string &error) {
    std::string_view body = line;
    while (!body.empty() && isBlank(body.front())) body.remove_prefix(1);
    size_t end = 0;
    while (end < body.size() && !isBlank(body[end]) && body[end] != '|') ++end;
    const Keyword *keyword = findKeyword(body.substr(0, end));
    if (!keyword) {
        error = "unknown command \"" + std::string(body.substr(0, end)) + "\"";
        return false;
    }
    cmd.kind = keyword->kind;
    return parseBody(*keyword, body.substr(end), cmd, error);
}

// Frees an engine string when the call that borrowed it returns.
struct EngineStrFree {
    void operator()(char *s) const { nxStrFree(s); }
};
using EngineStr = std::unique_ptr<char, EngineStrFree>;

} // namespace

// The type's name as the definitions spell it.
std::string_view keptTypeName(KeptType type) {
    return kTypeNames[static_cast<size_t>(type)];
}

// Maps a type name to its slot in the kept-handle table.
std::optional<KeptType> keptTypeByName(std::string_view name) {
    for (size_t i = 0; i < kTypeNames.size(); ++i)
        if (equalFolded(kTypeNames[i], name)) return static_cast<KeptType>(i);
    return std::nullopt;
}

// Splits the source into lines and reads each one; a "#[n]" label applies to
// the next command only.
BootScript parseBootScript(std::string_view source) {
    BootScript script;
    int lineNo = 0;
    int pendingNumber = 0;
    while (!source.empty() || lineNo == 0) {
        size_t nl = source.find('\n');
        std::string_view line = source.substr(0, nl);
        source = nl == std::string_view::npos ? std::string_view() : source.substr(nl + 1);
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        std::string_view trimmed = trimBlanks(line);
        if (trimmed.empty()) continue;
        if (trimmed.front() == '#') {
            if (auto n = commentNumber(trimmed)) pendingNumber = *n;
            continue;
        }
        BootCommand cmd;
        cmd.line = lineNo;
        cmd.number = pendingNumber;
        pendingNumber = 0;
        std::string error;
        if (parseCommandLine(line, cmd, error))
            script.commands.push_back(std::move(cmd));
        else
            script.problems.push_back({lineNo, std::move(error)});
    }
    return script;
}

// Reads the whole file in binary mode (texts are 8-bit and must arrive unchanged).
BootScript readBootScriptFile(const std::filesystem::path &file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return {{}, {{0, "cannot read " + file.string()}}};
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) return {{}, {{0, "cannot read " + file.string()}}};
    return parseBootScript(content.str());
}

// An explicit override first, then the installed layout (bin/ beside
// share/nomix/), then the source tree for development builds. An installed
// program uses its own copy even when the tree it was built from still exists;
// a build tree has no share/nomix beside its bin/, so it uses the sources.
std::vector<std::filesystem::path> dataDirectories() {
    std::vector<std::filesystem::path> dirs;
    if (const char *env = std::getenv("NOMIX_DATA_DIR"); env && *env) dirs.emplace_back(env);
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        auto installed = (exe.parent_path() / ".." / "share" / "nomix").lexically_normal();
        if (std::filesystem::is_directory(installed, ec)) dirs.push_back(installed);
    }
#ifdef NOMIX_SOURCE_DIR
    dirs.push_back(std::filesystem::path(NOMIX_SOURCE_DIR) / "data");
#endif
    return dirs;
}

// The first data directory that holds the file wins.
std::optional<std::filesystem::path> findDataFile(const std::filesystem::path &relative) {
    for (const auto &dir : dataDirectories()) {
        std::error_code ec;
        auto candidate = dir / relative;
        if (std::filesystem::is_regular_file(candidate, ec)) return candidate;
    }
    return std::nullopt;
}

// Where the first-phase language file is found.
std::optional<std::filesystem::path> findLanguageFile() {
    return findDataFile(std::filesystem::path("language") / "phase1.nxl");
}

// The name after a leading "DataType:" keyword: the type whose handle the
// definition's result becomes.
std::string_view definedTypeName(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    if (!startsWithFolded(text, "DataType:")) return {};
    text.remove_prefix(9);
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    size_t end = 0;
    auto nameChar = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    };
    while (end < text.size() && nameChar(text[end])) ++end;
    return text.substr(0, end);
}

// A sender for one engine thread (0: the default one); kept handles start empty.
BootSender::BootSender(NomixEntry entry, intptr_t thread) : entry_(entry), thread_(thread) {}

// One command with a text argument, copied into an engine string for the call.
intptr_t BootSender::call(intptr_t command, std::string_view text, intptr_t miscArg1,
                          intptr_t miscArg2, intptr_t returnPtr) const {
    if (!entry_) return 0;
    // The engine reads its text as a counted engine string, so hand it one.
    EngineStr engineText(nxStrAlloc(text.data(), static_cast<uint32_t>(text.size())));
    return entry_(command, engineText.get(), miscArg1, miscArg2, returnPtr, thread_);
}

// One command whose text argument is absent.
intptr_t BootSender::callNoText(intptr_t command, intptr_t miscArg1, intptr_t miscArg2,
                                intptr_t returnPtr) const {
    if (!entry_) return 0;
    return entry_(command, nullptr, miscArg1, miscArg2, returnPtr, thread_);
}

// The entry address of a built-in routine, asked of the engine each time since
// the native-math library may have replaced it.
intptr_t BootSender::routineAddress(int64_t routine) const {
    return callNoText(nx_RoutineAddress, static_cast<intptr_t>(routine));
}

// The current error code of the sender's thread.
int32_t BootSender::errorCode() const {
    return static_cast<int32_t>(callNoText(nx_GetError));
}

// The handle kept for a type, 0 while it has none.
intptr_t BootSender::keptType(KeptType type) const { return kept_[static_cast<size_t>(type)]; }

// Turns an argument into the number sent; false when a type has no handle yet.
bool BootSender::resolve(const BootArgument &argument, intptr_t &value) const {
    switch (argument.kind) {
    case BootArgument::Kind::Number:
        value = static_cast<intptr_t>(argument.number);
        return true;
    case BootArgument::Kind::Routine:
        value = routineAddress(argument.number);
        return true;
    case BootArgument::Kind::Type:
        value = keptType(argument.type);
        return value != 0;
    }
    return false;
}

// Sends one command whose arguments are already numbers.
intptr_t BootSender::sendResolved(const BootCommand &command, const std::array<intptr_t, 3> &a) {
    switch (command.kind) {
    case BootCommandKind::Initialize:
        // Start-up takes no arguments at all, not even a thread.
        return entry_(nx_Initialize, nullptr, 0, 0, 0, 0);
    case BootCommandKind::Message:
        // Neither a message nor a rule need reset an earlier error code, so clear
        // it first: each code read afterwards then belongs to its own line.
        callNoText(nx_ClearError);
        return call(nx_SetErrorMessage, command.text, a[0]);
    case BootCommandKind::Syntax:
        callNoText(nx_ClearError);
        return call(nx_DefineSyntax, command.text, a[0]);
    case BootCommandKind::Define:
        return call(nx_Define, command.text, a[0], a[1], a[2]);
    }
    return 0;
}

// Updates the kept handle after a "DataType:" definition of a kept type.
void BootSender::keepTypeHandle(const BootCommand &command, intptr_t handle) {
    // A failed change to a known type returns 0; the type itself still exists,
    // so its kept handle must survive.
    if (handle == 0) return;
    if (auto type = keptTypeByName(definedTypeName(command.text)))
        kept_[static_cast<size_t>(*type)] = handle;
}

// Sends one command and reports its result and the error code it left; a command
// whose type argument has no handle is not sent, rather than sent with 0.
SendResult BootSender::send(const BootCommand &command) {
    SendResult r;
    r.line = command.line;
    r.number = command.number;
    r.kind = command.kind;
    if (!entry_) {
        r.status = SendStatus::NoEngine;
        return r;
    }
    std::array<intptr_t, 3> args{};
    for (size_t i = 0; i < command.args.size() && i < args.size(); ++i) {
        if (!resolve(command.args[i], args[i])) {
            r.status = SendStatus::Unresolved;
            return r;
        }
    }
    r.result = sendResolved(command, args);
    r.error = errorCode();
    if (command.kind == BootCommandKind::Define) keepTypeHandle(command, r.result);
    return r;
}

// Sends every command in order; a failing line does not stop the rest.
std::vector<SendResult> BootSender::sendAll(const std::vector<BootCommand> &commands) {
    std::vector<SendResult> results;
    results.reserve(commands.size());
    for (const BootCommand &command : commands) results.push_back(send(command));
    return results;
}

} // namespace nomix
