// What the tool files ("nomix.cnv", "nomix.usm") share: reading a file of any
// content as text lines, reporting what could not be read, and replacing a
// file without ever losing one that was not fully understood.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "shell/settings.h"  // SaveOutcome, writeFileAtomically

namespace nomix {

// Files larger than this are read up to it; the rest is reported as not read.
inline constexpr size_t kMaxToolFileBytes = 16u << 20;

// One thing a reader skipped or changed: the 1-based line (0 for the file as a
// whole) and why.
struct ReadProblem {
    int line = 0;
    std::string reason;
    bool operator==(const ReadProblem &) const = default;
};

// What a load found. `message` is the text the caller shows the user (in a
// message box), empty when there is nothing to show.
struct ReadReport {
    enum class State { Missing, Loaded, Unreadable };
    State state = State::Missing;
    std::vector<ReadProblem> problems;
    std::string message;

    // True when everything in the file was read: saving reproduces it.
    bool complete() const { return state == State::Loaded && problems.empty(); }
    void problem(int line, std::string reason) { problems.push_back({line, std::move(reason)}); }
    // "line 3: reason" for each problem, one per line, for logs and boxes.
    std::string problemText() const;
};

// The file's bytes, at most kMaxToolFileBytes of them. A missing file leaves
// the report Missing; a directory, a device or an unreadable file makes it
// Unreadable; a longer file is cut and noted as a problem.
ReadReport readToolFile(const std::filesystem::path &file, std::string &bytes);

// File text as UTF-8: a file that is valid UTF-8 stays as it is, any other is
// classic 8-bit text and is read as Latin-1.
std::string decodeFileText(std::string_view bytes);

// Calls `line(number, text)` for every line of the text. CR LF, LF and a lone
// CR all end a line; a last line without an end counts too.
void forEachLine(std::string_view text, const std::function<void(int, std::string_view)> &line);

// The text without blanks and tabs at either end.
std::string_view trimBlanks(std::string_view text);

// Why a value cannot be written as one line of a tool file (a line break, a NUL
// byte, text that is not UTF-8), or "" when it can.
std::string unwritableReason(std::string_view value);


} // namespace nomix
