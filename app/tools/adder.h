// The adder tape: entries of a value (any expression) and a comment, the total
// in the "Adder Format", and the ".add" file. The window shows a tape and
// forwards edits; everything that decides what the tape holds lives here.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/textfile.h"

namespace nomix {

class Binding;

struct AdderRow {
    std::string value, comment;
    bool operator==(const AdderRow &) const = default;
};

// A tape file holds at most this many rows; the rest is reported as not read.
inline constexpr size_t kMaxAdderRows = 100000;

// The value of one entry, nullopt when the evaluation failed (the engine's
// handler has shown why).
using AdderEvaluator = std::function<std::optional<double>(const std::string &value)>;
// The total as shown, through the "Adder Format".
using AdderFormatter = std::function<std::string(double total)>;

// What a recalculation found.
struct AdderTotal {
    enum class State {
        Ok,         // text is the formatted total
        EntryFailed,  // the entry of row `row` did not evaluate; the old total stays
        Overflow    // the sum is not a finite number; the old total stays
    };
    State state = State::Ok;
    size_t row = 0;  // the failing row (0-based tape row)
    double total = 0;
    std::string text;
};

class AdderTape {
public:
    AdderTape() { rows_.emplace_back(); }

    // The rows, the last one always empty in value (the place for the next entry).
    const std::vector<AdderRow> &rows() const { return rows_; }
    size_t current() const { return current_; }
    const AdderRow &currentRow() const { return rows_[current_]; }

    // Makes a row current (clamped to the tape).
    void select(size_t row);
    // The edit fields copied into the current row.
    void setValue(std::string text) { rows_[current_].value = std::move(text); }
    void setComment(std::string text) { rows_[current_].comment = std::move(text); }

    // Recalc: adds the non-empty values from the first row on. A failing
    // entry becomes current and stops the sum. When the last row holds a value,
    // an empty row is appended and becomes current.
    AdderTotal recalc(const AdderEvaluator &evaluate, const AdderFormatter &format);
    // btnAdd: recalculates, then moves to the row after the current one.
    AdderTotal add(const AdderEvaluator &evaluate, const AdderFormatter &format);
    // btnClear: only the empty row remains; the total of nothing.
    AdderTotal clear(const AdderEvaluator &evaluate, const AdderFormatter &format);
    // Ctrl+Delete: removes the current row (the empty last row stays).
    void removeCurrent();
    // Insert: an empty row before the current one, which becomes current.
    void insertBeforeCurrent();

    // The tape from file lines: each "value<TAB>comment". The last row is
    // kept empty and becomes current.
    void setRows(std::vector<AdderRow> rows);

private:
    void keepEmptyLastRow();

    std::vector<AdderRow> rows_;
    size_t current_ = 0;
};

// Tape rows as lines ("value<TAB>comment"), from the first row to the last.
std::vector<std::string> adderLines(const std::vector<AdderRow> &rows);
// Lines back into rows: the text before the first tab is the value, the rest the comment.
std::vector<AdderRow> adderRowsFromLines(const std::vector<std::string> &lines);

// The ".add" file: the text, and reading it back (any bytes).
std::string adderFileText(const std::vector<AdderRow> &rows);
std::vector<AdderRow> readAdderText(std::string_view text, ReadReport &report);
ReadReport loadAdderFile(const std::filesystem::path &file, std::vector<AdderRow> &rows);
SaveOutcome saveAdderFile(const std::filesystem::path &file, const std::vector<AdderRow> &rows);

// The engine's evaluator and the "Adder Format" formatter.
AdderEvaluator engineAdderEvaluator(Binding &b);
AdderFormatter adderFormatter(Binding &b, std::string format);

} // namespace nomix
