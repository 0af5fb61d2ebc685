// The summation table: an expression tabulated over an arithmetic sequence of
// one variable's values, each row the value, the term and the running sum, and
// the ".sum" file of its five input texts. The window shows what runSummation
// produced.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/textfile.h"

namespace nomix {

class Binding;

// The input texts, in the order of the window's fields and of the ".sum" file.
struct SumInputs {
    std::string expression, variable, from, to, step;
    bool operator==(const SumInputs &) const = default;
};

struct SumRow {
    std::string value, term, sum;
    bool operator==(const SumRow &) const = default;
};

// A table stops before it would pass this many rows, so a tiny step cannot
// freeze the program filling a grid no one can read.
inline constexpr size_t kMaxSumRows = 100000;

struct SumRun {
    enum class State {
        Done,           // rows, total and last are the result
        EngineError,    // the engine reported an error (its handler showed it); rows so far stay
        Refused,        // the run did not start: `message` says why
        RuntimeError    // the sum itself failed (`message`, e.g. "Overflow"); rows so far stay
    };
    State state = State::Done;
    std::vector<SumRow> rows;
    std::string total = "0", last = "0";  // formatted sum and last term (when Done)
    std::string message;
};

// btnCalculate: binds the variable to a cell of its own, evaluates the bounds,
// parses the expression once and evaluates it for v = from, from + step, ...
// while v has not passed `to` (widened by 1e-14 in the direction of travel, so
// an end reached by adding a decimal step is not lost). Terms and sums are
// formatted with `numericFormat`; a row's value is plain decimal text.
SumRun runSummation(Binding &b, const SumInputs &inputs, const std::string &numericFormat);

// The number of rows a range gives, or nullopt when it never ends (a step of 0
// or of the wrong sign that would not stop).
std::optional<double> sumRowCount(double from, double end, double step);

// The value column's text: up to 15 significant digits, no leading blank.
std::string sumValueText(double v);

// The ".sum" file: one input text a line, in SumInputs order.
std::vector<std::string> sumLines(const SumInputs &inputs);
SumInputs sumInputsFromLines(const std::vector<std::string> &lines);
SumInputs readSumText(std::string_view text, ReadReport &report);
ReadReport loadSumFile(const std::filesystem::path &file, SumInputs &inputs);
SaveOutcome saveSumFile(const std::filesystem::path &file, const SumInputs &inputs);

} // namespace nomix
