// The session files: "nomix.tmp", which windows were open, where, and what
// they held, written on exit and read at start-up when "Session Recall" is on;
// and the calculator's "*.ans" files, its answer list as shown. Both readers
// are forgiving: a missing, truncated or garbage file never throws, never
// allocates without bound, and gives back what can be read with the problems
// it met; both writers replace the file atomically.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/textfile.h"  // ReadReport, SaveOutcome

namespace nomix {

// The session file is at most this large; the rest is not read.
inline constexpr size_t kMaxSessionBytes = 16u << 20;
// Lines past this many are not read (a file of empty lines stays small in memory).
inline constexpr size_t kMaxSessionLines = 1000000;
// Longer lines are cut to this many bytes.
inline constexpr size_t kMaxSessionLine = 64u << 10;
// Windows past this many are not read.
inline constexpr size_t kMaxSessionWindows = 512;
// A count line above this is garbage: the records it announces are not read.
inline constexpr long kMaxRecordCount = 100000;

// A window's state as recorded: 0 normal, 1 minimised, 2 maximised.
enum class WindowState { Normal = 0, Minimized = 1, Maximized = 2 };

// Where a normal window stood, in twips.
struct SessionGeometry {
    long height = 0;
    long width = 0;
    long top = 0;
    long left = 0;
    bool operator==(const SessionGeometry &) const = default;
};

// One window in "nomix.tmp": its "::" name line, its state, its geometry
// (recorded only for a normal window other than "frmPlot"), and the lines that
// follow, which only the window itself can interpret (its own records, then
// its control texts); it consumes them in order.
struct WindowRecord {
    std::string name;                         // "MDInomix", "frmNOMIX", "frmGraph", ...
    WindowState state = WindowState::Normal;
    std::optional<SessionGeometry> geometry;   // empty: the window keeps its default place
    std::vector<std::string> lines;

    bool operator==(const WindowRecord &) const = default;
};

// Whether a window of this name in this state has geometry lines.
bool recordsGeometry(std::string_view name, WindowState state);

// The text of "nomix.tmp", CR LF lines. A normal window without geometry is
// written at 0, 0, 0, 0 (the reader then leaves its place alone); a record line
// that begins with "::" is written with one more ":" so that it never reads as
// a window's name line.
std::string sessionText(const std::vector<WindowRecord> &windows);

// What a read of "nomix.tmp" found.
struct SessionRead {
    std::vector<WindowRecord> windows;
    ReadReport report;  // problems with their line numbers
};

// Reads session text (CR LF, LF or CR lines; UTF-8 or Latin-1). Lines before
// the first window, a name line without a name, bad states and bad geometry
// numbers are reported; everything readable is kept.
SessionRead readSessionText(std::string_view text);

// Loads "nomix.tmp": a missing file gives no windows and state Missing.
SessionRead loadSession(const std::filesystem::path &file);

// Replaces the session file atomically; one that did not read fully is kept
// as file + ".bak" first.
SaveOutcome saveSession(const std::filesystem::path &file, const std::vector<WindowRecord> &windows);

// Takes a window's lines one at a time; past the end it answers empty lines,
// so a window restores what a truncated file still holds.
class RecordCursor {
public:
    explicit RecordCursor(const std::vector<std::string> &lines, size_t next = 0)
        : lines_(&lines), next_(next) {}
    bool atEnd() const { return next_ >= lines_->size(); }
    size_t remaining() const { return atEnd() ? 0 : lines_->size() - next_; }
    size_t position() const { return next_; }
    std::string take() { return atEnd() ? std::string() : (*lines_)[next_++]; }
    // A count line: a whole number from 0 to `limit`; anything else (garbage,
    // negative, too large, missing) is 0 and, with a report, a problem.
    long takeCount(long limit = kMaxRecordCount, ReadReport *report = nullptr);

private:
    const std::vector<std::string> *lines_;
    size_t next_ = 0;
};

// The calculator window's two lists.
struct CalculatorLists {
    std::vector<std::string> recall;   // inputs, newest first
    std::vector<std::string> answers;  // answer-list lines, as shown
    bool operator==(const CalculatorLists &) const = default;
};

// The calculator window's own records: the number of recall entries, each
// entry (newest first), the number of answer lines, each line.
std::vector<std::string> calculatorRecords(const CalculatorLists &lists);

// Reads the calculator's records from the cursor. A count larger than the
// lines really left takes only those; a garbage count reads as 0.
CalculatorLists readCalculatorRecords(RecordCursor &cursor, ReadReport *report = nullptr);

// What opening an "*.ans" file gives the calculator window.
struct AnswerSession {
    std::vector<std::string> answers;  // every line of the file, in order
    std::vector<std::string> recall;   // the inputs ("Input: " lines), newest first
    ReadReport report;
};

// Reads answer-file text: each line is an answer-list line; each line starting
// with "Input: " puts the text after those 7 characters at the top of the
// recall list.
AnswerSession readAnswerText(std::string_view text);

// Loads an "*.ans" file (state Missing when there is none).
AnswerSession loadAnswerFile(const std::filesystem::path &file);

// The answer-file text: one CR LF line per answer-list line. A line break
// inside a line (which would split it) is written as a blank.
std::string answerFileText(const std::vector<std::string> &answers);

// Writes an "*.ans" file atomically.
SaveOutcome saveAnswerFile(const std::filesystem::path &file, const std::vector<std::string> &answers);

} // namespace nomix
