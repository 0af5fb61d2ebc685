#include "tools/converterform.h"

#include <algorithm>

#include "shell/binding.h"
#include "shell/format.h"
#include "tools/toolfiles.h"

namespace nomix {

void ConverterForm::setTable(ConversionTable table, const std::string &category) {
    table_ = std::move(table);
    category_ = -1;
    categoryName_.clear();
    units_.clear();
    if (!selectCategory(category) && !table_.categories.empty()) selectCategory(table_.categories.front());
}

bool ConverterForm::selectCategory(const std::string &name) {
    const int found = table_.findCategory(name);
    if (found < 0) return false;
    category_ = found;
    categoryName_ = name;
    units_ = table_.categoryUnits(found);
    for (ConverterRow &row : rows_) row = ConverterRow{};
    return true;
}

bool ConverterForm::addRow() {
    if (rows_.size() >= kMaxConverterRows) return false;
    rows_.emplace_back();
    return true;
}

bool ConverterForm::removeRow() {
    if (rows_.size() <= kMinConverterRows) return false;
    rows_.pop_back();
    active_ = 0;
    return true;
}

void ConverterForm::typeNumber(size_t row, std::string text) {
    if (row >= rows_.size()) return;
    active_ = row;
    for (size_t r = 0; r < rows_.size(); ++r)
        if (r != row) rows_[r].number.clear();
    rows_[row].number = std::move(text);
}

void ConverterForm::setNumber(size_t row, std::string text) {
    if (row < rows_.size()) rows_[row].number = std::move(text);
}

void ConverterForm::setUnit(size_t row, std::string unit) {
    if (row < rows_.size()) rows_[row].unit = std::move(unit);
}

bool ConverterForm::readyToConvert() const {
    if (rows_[active_].number.empty()) return false;
    return std::none_of(rows_.begin(), rows_.end(), [](const ConverterRow &r) { return r.unit.empty(); });
}

ConvertOutcome ConverterForm::convert(Binding &b, const std::string &numericFormat) {
    ConvertOutcome outcome;
    const ConverterRow &source = rows_[active_];
    if (source.number.empty()) {
        outcome.state = ConvertOutcome::State::MissingValue;
        outcome.message = "Missing unit or value";
        return outcome;
    }
    for (size_t r = 0; r < rows_.size(); ++r) {
        const std::string &unit = rows_[r].unit;
        if (std::find(units_.begin(), units_.end(), unit) != units_.end()) continue;
        outcome.state = ConvertOutcome::State::BadUnit;
        outcome.row = r;
        outcome.message = unit.empty() ? "unit is missing" : unit + " is not defined";
        return outcome;
    }
    std::optional<double> value = evaluateNumber(b, source.number);
    if (!value) {
        outcome.state = ConvertOutcome::State::FormulaFailed;
        return outcome;
    }
    // Formulas read x from a cell of this conversion's own.
    EngineCell x;
    ItemGuard releaseX(b, b.DefineVar("x", x.address()));
    const FormulaEvaluator evaluate = [&](const std::string &formula, double in) -> std::optional<double> {
        x.value() = in;
        return evaluateNumber(b, formula);
    };
    for (size_t r = 0; r < rows_.size(); ++r) {
        if (r == active_) continue;
        ConversionResult result = convertUnits(table_, category_, source.unit, rows_[r].unit, *value, evaluate);
        if (result.status == ConversionResult::Status::FormulaFailed) {
            outcome.state = ConvertOutcome::State::FormulaFailed;
            outcome.row = r;
            return outcome;
        }
        if (result.status != ConversionResult::Status::Converted) {
            outcome.state = ConvertOutcome::State::Unreachable;
            outcome.row = r;
            outcome.message = rows_[r].unit + " cannot be reached from " + source.unit;
            return outcome;
        }
        rows_[r].number = FormatAnswer(b, result.value, numericFormat);
    }
    return outcome;
}

std::vector<std::string> ConverterForm::sessionLines() const {
    std::vector<std::string> lines{categoryName_};
    for (const ConverterRow &row : rows_) {
        lines.push_back(row.number);
        lines.push_back(row.unit);
    }
    return lines;
}

void ConverterForm::restoreLines(const std::vector<std::string> &lines) {
    if (!lines.empty()) selectCategory(lines[0]);
    const size_t count = std::clamp((lines.size() - std::min<size_t>(lines.size(), 1)) / 2,
                                    kMinConverterRows, kMaxConverterRows);
    rows_.assign(count, ConverterRow{});
    for (size_t r = 0; r < count; ++r) {
        if (1 + 2 * r < lines.size()) rows_[r].number = lines[1 + 2 * r];
        if (2 + 2 * r < lines.size()) rows_[r].unit = lines[2 + 2 * r];
    }
    active_ = 0;
    for (size_t r = 0; r < count; ++r)
        if (!rows_[r].number.empty()) {
            active_ = r;
            break;
        }
}

std::vector<std::string> readConverterText(std::string_view text, ReadReport &report) {
    report.state = ReadReport::State::Loaded;
    return toolFileLines(text, 1 + 2 * kMaxConverterRows, report);
}

ReadReport loadConverterFile(const std::filesystem::path &file, std::vector<std::string> &lines) {
    return loadToolFileLines(file, 1 + 2 * kMaxConverterRows, lines);
}

SaveOutcome saveConverterFile(const std::filesystem::path &file, const std::vector<std::string> &lines) {
    return saveToolFileLines(file, lines);
}

} // namespace nomix
