#include "tools/toolfiles.h"

#include <cctype>

#include "nxeng296.h"
#include "shell/binding.h"

namespace nomix {

// Lines beyond the limit are counted as one problem, so a huge file costs nothing.
std::vector<std::string> toolFileLines(std::string_view text, size_t limit, ReadReport &report) {
    std::vector<std::string> lines;
    const std::string decoded = decodeFileText(text);
    bool cut = false;
    forEachLine(decoded, [&](int number, std::string_view line) {
        if (lines.size() >= limit) {
            if (!cut) report.problem(number, "more lines than this file can hold; the rest was not read");
            cut = true;
            return;
        }
        lines.emplace_back(line);
    });
    return lines;
}

ReadReport loadToolFileLines(const std::filesystem::path &file, size_t limit,
                             std::vector<std::string> &lines) {
    std::string bytes;
    ReadReport report = readToolFile(file, bytes);
    if (report.state != ReadReport::State::Loaded) return report;
    lines = toolFileLines(bytes, limit, report);
    return report;
}

std::string joinToolLines(const std::vector<std::string> &lines) {
    std::string text;
    for (const std::string &line : lines) text += line + "\r\n";
    return text;
}

// A break inside a value would split one record into two on reading.
static std::string oneLine(std::string value) {
    for (char &c : value)
        if (c == '\r' || c == '\n' || c == '\0') c = ' ';
    return value;
}

SaveOutcome saveToolFileLines(const std::filesystem::path &file, std::vector<std::string> lines) {
    for (std::string &line : lines) line = oneLine(std::move(line));
    return replaceFile(file, joinToolLines(lines), [](const std::filesystem::path &) { return true; });
}

EngineCell::EngineCell() : cell_(static_cast<double *>(nxAlloc(sizeof(double)))) { *cell_ = 0; }
EngineCell::~EngineCell() { nxFree(cell_); }

ItemGuard::~ItemGuard() {
    if (h_ != 0) b_.Release(h_);
}

bool isVariableName(std::string_view name) {
    if (name.empty() || std::isdigit(static_cast<unsigned char>(name.front()))) return false;
    for (char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
    return true;
}

std::optional<double> evaluateNumber(Binding &b, const std::string &expression) {
    const double value = b.EvalDbl(expression);
    if (b.ErrorCode() != 0) return std::nullopt;
    return value;
}

} // namespace nomix
