#include "tools/adder.h"

#include <algorithm>
#include <cmath>

#include "shell/binding.h"
#include "shell/format.h"
#include "tools/toolfiles.h"

namespace nomix {

void AdderTape::select(size_t row) { current_ = std::min(row, rows_.size() - 1); }

// The tape always ends in a row with no value, the place for the next entry.
void AdderTape::keepEmptyLastRow() {
    if (rows_.empty() || !rows_.back().value.empty()) rows_.emplace_back();
}

AdderTotal AdderTape::recalc(const AdderEvaluator &evaluate, const AdderFormatter &format) {
    AdderTotal result;
    double total = 0;
    for (size_t r = 0; r < rows_.size(); ++r) {
        if (rows_[r].value.empty()) continue;
        std::optional<double> v = evaluate(rows_[r].value);
        if (!v) {
            current_ = r;
            result.state = AdderTotal::State::EntryFailed;
            result.row = r;
            return result;
        }
        total += *v;
    }
    // An infinite or undefined sum has no place on a tape: the classic runtime
    // stopped with "Overflow" here.
    if (!std::isfinite(total)) {
        result.state = AdderTotal::State::Overflow;
        result.row = current_;
        return result;
    }
    if (!rows_.back().value.empty()) {
        rows_.emplace_back();
        current_ = rows_.size() - 1;
    }
    result.total = total;
    result.text = format(total);
    return result;
}

AdderTotal AdderTape::add(const AdderEvaluator &evaluate, const AdderFormatter &format) {
    AdderTotal result = recalc(evaluate, format);
    if (result.state != AdderTotal::State::Ok) return result;
    if (current_ + 1 < rows_.size()) ++current_;
    return result;
}

AdderTotal AdderTape::clear(const AdderEvaluator &evaluate, const AdderFormatter &format) {
    rows_.assign(1, AdderRow{});
    current_ = 0;
    return recalc(evaluate, format);
}

void AdderTape::removeCurrent() {
    if (current_ + 1 >= rows_.size()) {
        rows_.back() = AdderRow{};  // the free row is only emptied
        return;
    }
    rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(current_));
}

void AdderTape::insertBeforeCurrent() {
    rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(current_), AdderRow{});
}

void AdderTape::setRows(std::vector<AdderRow> rows) {
    rows_ = std::move(rows);
    keepEmptyLastRow();
    current_ = rows_.size() - 1;
}

std::vector<std::string> adderLines(const std::vector<AdderRow> &rows) {
    std::vector<std::string> lines;
    lines.reserve(rows.size());
    for (const AdderRow &row : rows) lines.push_back(row.value + "\t" + row.comment);
    return lines;
}

std::vector<AdderRow> adderRowsFromLines(const std::vector<std::string> &lines) {
    std::vector<AdderRow> rows;
    rows.reserve(lines.size());
    for (const std::string &line : lines) {
        const size_t tab = line.find('\t');
        if (tab == std::string::npos) rows.push_back({line, {}});
        else rows.push_back({line.substr(0, tab), line.substr(tab + 1)});
    }
    return rows;
}

std::string adderFileText(const std::vector<AdderRow> &rows) { return joinToolLines(adderLines(rows)); }

std::vector<AdderRow> readAdderText(std::string_view text, ReadReport &report) {
    report.state = ReadReport::State::Loaded;
    return adderRowsFromLines(toolFileLines(text, kMaxAdderRows, report));
}

ReadReport loadAdderFile(const std::filesystem::path &file, std::vector<AdderRow> &rows) {
    std::vector<std::string> lines;
    ReadReport report = loadToolFileLines(file, kMaxAdderRows, lines);
    if (report.state == ReadReport::State::Loaded) rows = adderRowsFromLines(lines);
    return report;
}

SaveOutcome saveAdderFile(const std::filesystem::path &file, const std::vector<AdderRow> &rows) {
    return saveToolFileLines(file, adderLines(rows));
}

AdderEvaluator engineAdderEvaluator(Binding &b) {
    return [&b](const std::string &value) { return evaluateNumber(b, value); };
}

AdderFormatter adderFormatter(Binding &b, std::string format) {
    return [&b, format = std::move(format)](double total) { return FormatAnswer(b, total, format); };
}

} // namespace nomix
