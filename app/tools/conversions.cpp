// The conversion table: reading "nomix.cnv" line by line, writing it back in
// the same form, and walking from unit to unit through its entries.
#include "tools/conversions.h"

#include <algorithm>
#include <set>
#include <utility>

namespace nomix {

namespace {

// Reads one line at a time into the table and notes what it could not take.
class ConversionReader {
public:
    ConversionReader(ConversionTable &table, ReadReport &report) : table_(table), report_(report) {}

    // A category line, an entry, a blank line or something else; once a limit
    // is reached the remaining lines are only counted.
    void line(int number, std::string_view text) {
        if (full_) return;
        if (text.find('\0') != std::string_view::npos)
            return report_.problem(number, "the line holds NUL bytes: skipped");
        std::string_view trimmed = trimBlanks(text);
        if (!trimmed.empty() && trimmed.front() == '[') return category(number, trimmed);
        if (text.find(':') != std::string_view::npos) return entry(number, text);
        if (!trimmed.empty()) report_.problem(number, "neither a category nor an entry: ignored");
    }

private:
    // "[name]": the text between the brackets, trimmed. A line cut short before
    // its "]" keeps the whole name rather than losing its last letter.
    void category(int number, std::string_view trimmed) {
        if (table_.categories.size() >= kMaxConversionCategories) return stop(number, "categories");
        std::string_view name = trimmed.substr(1);
        if (!name.empty() && name.back() == ']')
            name.remove_suffix(1);
        else
            report_.problem(number, "the category has no closing \"]\"");
        table_.categories.emplace_back(trimBlanks(name));
    }

    // "A: B: AtoB: BtoA"; the last field runs to the end of the line.
    void entry(int number, std::string_view text) {
        if (table_.entries.size() >= kMaxConversionEntries) return stop(number, "entries");
        ConversionEntry e;
        e.category = static_cast<int>(table_.categories.size()) - 1;
        std::string *fields[] = {&e.unitA, &e.unitB, &e.formulaAB};
        int found = 1;
        for (std::string *field : fields) {
            size_t colon = text.find(':');
            *field = trimBlanks(text.substr(0, colon));
            if (colon == std::string_view::npos) {
                text = {};
                break;
            }
            text.remove_prefix(colon + 1);
            ++found;
        }
        e.formulaBA = trimBlanks(text);
        if (found < 4) report_.problem(number, "the entry has " + std::to_string(found) + " of 4 fields");
        table_.entries.push_back(std::move(e));
    }

    // The table is full: the rest of the file is not read.
    void stop(int number, const std::string &what) {
        full_ = true;
        report_.problem(number, "more than " +
                                    std::to_string(what == "entries" ? kMaxConversionEntries
                                                                     : kMaxConversionCategories) +
                                    " " + what + ": the rest of the file was not read");
    }

    ConversionTable &table_;
    ReadReport &report_;
    bool full_ = false;
};

// One entry as a file line.
std::string entryLine(const ConversionEntry &e) {
    return std::string(trimBlanks(e.unitA)) + ": " + std::string(trimBlanks(e.unitB)) + ": " +
           std::string(trimBlanks(e.formulaAB)) + ": " + std::string(trimBlanks(e.formulaBA)) + "\r\n";
}

// Why one entry would not read back the same, or "".
std::string entryWriteProblem(const ConversionEntry &e, size_t categories) {
    const std::pair<const std::string *, const char *> fields[] = {
        {&e.unitA, "unit A"}, {&e.unitB, "unit B"}, {&e.formulaAB, "the formula A to B"}, {&e.formulaBA, "the formula B to A"}};
    for (const auto &[text, name] : fields) {
        std::string reason = unwritableReason(*text);
        if (!reason.empty()) return std::string(name) + ": " + reason;
        if (text != &e.formulaBA && text->find(':') != std::string::npos) return std::string(name) + " holds \":\"";
    }
    if (trimBlanks(e.unitA).starts_with("[")) return "unit A starts with \"[\" and would read as a category";
    if (e.category < -1 || e.category >= static_cast<int>(categories)) return "its category does not exist";
    return {};
}

// One step of the walk: the first entry of the range, not set aside, that leads
// from `current` somewhere other than `previous`. The entry and whether it is
// taken from A to B.
std::optional<std::pair<size_t, bool>> nextStep(const ConversionTable &table, size_t first, size_t last,
                                                const std::vector<bool> &setAside, const std::string &current,
                                                const std::string &previous) {
    for (size_t e = first; e <= last; ++e) {
        if (setAside[e - first]) continue;
        const ConversionEntry &entry = table.entries[e];
        if (entry.unitA == current && entry.unitB != previous) return std::make_pair(e, true);
        if (entry.unitB == current && entry.unitA != previous) return std::make_pair(e, false);
    }
    return std::nullopt;
}

// How one attempt from the source ended.
enum class Attempt { Reached, DeadEnd, Failed };

} // namespace

int ConversionTable::findCategory(std::string_view name) const {
    for (size_t i = 0; i < categories.size(); ++i)
        if (categories[i] == name) return static_cast<int>(i);
    return -1;
}

// Entries of a category lie together, so its first and last entry bound it.
std::optional<std::pair<size_t, size_t>> ConversionTable::categoryRange(int category) const {
    std::optional<std::pair<size_t, size_t>> range;
    for (size_t e = 0; e < entries.size(); ++e) {
        if (entries[e].category != category) continue;
        if (!range) range = std::make_pair(e, e);
        range->second = e;
    }
    return range;
}

std::vector<std::string> ConversionTable::categoryUnits(int category) const {
    std::vector<std::string> units;
    auto add = [&units](const std::string &unit) {
        if (std::find(units.begin(), units.end(), unit) == units.end()) units.push_back(unit);
    };
    auto range = categoryRange(category);
    if (!range) return units;
    for (size_t e = range->first; e <= range->second; ++e) {
        add(entries[e].unitA);
        add(entries[e].unitB);
    }
    return units;
}

ReadReport readConversions(std::string_view text, ConversionTable &table) {
    ReadReport report;
    report.state = ReadReport::State::Loaded;
    std::string decoded = decodeFileText(text);
    ConversionReader reader(table, report);
    forEachLine(decoded, [&reader](int number, std::string_view line) { reader.line(number, line); });
    return report;
}

// The design compares the name as given: the converter loads "nomix.cnv" from
// the program's directory, while an import names its file by a full path.
ReadReport LoadConversions(const std::filesystem::path &file, ConversionTable &table) {
    bool mainTable = file.native() == kConversionFile;
    if (mainTable) table = ConversionTable{};
    std::string bytes;
    ReadReport report = readToolFile(file, bytes);
    if (report.state == ReadReport::State::Missing) {
        if (mainTable) report.message = "NOMIX.CNV is missing";
        return report;
    }
    if (report.state == ReadReport::State::Unreadable) {
        report.message = report.problemText();
        return report;
    }
    ReadReport lines = readConversions(bytes, table);
    report.problems.insert(report.problems.end(), lines.problems.begin(), lines.problems.end());
    return report;
}

std::string conversionsText(const ConversionTable &table) {
    std::string text;
    for (const ConversionEntry &e : table.entries)
        if (e.category < 0 || e.category >= static_cast<int>(table.categories.size())) text += entryLine(e);
    for (size_t c = 0; c < table.categories.size(); ++c) {
        text += "\r\n[" + std::string(trimBlanks(table.categories[c])) + "]\r\n";
        for (const ConversionEntry &e : table.entries)
            if (e.category == static_cast<int>(c)) text += entryLine(e);
    }
    return text;
}

std::vector<std::string> conversionWriteProblems(const ConversionTable &table) {
    std::vector<std::string> problems;
    for (size_t c = 0; c < table.categories.size(); ++c) {
        std::string reason = unwritableReason(table.categories[c]);
        if (!reason.empty()) problems.push_back("category " + std::to_string(c + 1) + ": " + reason);
    }
    for (size_t e = 0; e < table.entries.size(); ++e) {
        std::string reason = entryWriteProblem(table.entries[e], table.categories.size());
        if (!reason.empty()) problems.push_back("entry " + std::to_string(e + 1) + ": " + reason);
    }
    return problems;
}

SaveOutcome SaveFile(const std::filesystem::path &file, const ConversionTable &table) {
    std::vector<std::string> problems = conversionWriteProblems(table);
    if (!problems.empty()) {
        SaveOutcome refused;
        refused.error = "the table cannot be written: " + problems.front();
        return refused;
    }
    return replaceFile(file, conversionsText(table), [](const std::filesystem::path &existing) {
        ConversionTable scratch;
        std::string bytes;
        ReadReport report = readToolFile(existing, bytes);
        if (report.state != ReadReport::State::Loaded || !report.problems.empty()) return false;
        return readConversions(bytes, scratch).complete();
    });
}

namespace {

// One walk from the source: steps until the target, a dead end (nothing usable
// at a unit) or a unit reached a second time (the walk would go round for
// ever). The entry used last is then set aside: a dead end's entry leads only
// there, and an entry that closes a circle has a way round it, so no target
// that could be reached is cut off. With no entry used the source leads nowhere.
Attempt walkOnce(const ConversionTable &table, std::pair<size_t, size_t> range, std::vector<bool> &setAside,
                 const std::string &source, const std::string &target, const FormulaEvaluator &evaluate,
                 ConversionResult &result) {
    std::string current = source, previous;
    std::set<std::string> visited{current};
    std::optional<size_t> lastUsed;
    result.path.clear();
    for (;;) {
        auto step = nextStep(table, range.first, range.second, setAside, current, previous);
        bool circle = false;
        if (step) {
            const ConversionEntry &e = table.entries[step->first];
            std::optional<double> x = evaluate(step->second ? e.formulaAB : e.formulaBA, result.value);
            if (!x) return Attempt::Failed;
            result.value = *x;
            previous = std::exchange(current, step->second ? e.unitB : e.unitA);
            lastUsed = step->first;
            result.path.push_back(step->first);
            if (current == target) return Attempt::Reached;
            circle = !visited.insert(current).second;
        }
        if (step && !circle) continue;
        if (lastUsed) setAside[*lastUsed - range.first] = true;
        return Attempt::DeadEnd;
    }
}

} // namespace

// Every restart sets one more entry aside, so the walk ends after at most as
// many attempts as the category has entries.
ConversionResult convertUnits(const ConversionTable &table, int category, const std::string &source,
                              const std::string &target, double value, const FormulaEvaluator &evaluate) {
    ConversionResult result;
    std::vector<std::string> units = table.categoryUnits(category);
    auto known = [&units](const std::string &u) { return std::find(units.begin(), units.end(), u) != units.end(); };
    if (!known(source) || !known(target)) {
        result.status = ConversionResult::Status::UnknownUnit;
        return result;
    }
    result.value = value;
    if (source == target) {
        result.status = ConversionResult::Status::Converted;
        return result;
    }
    auto range = *table.categoryRange(category);
    std::vector<bool> setAside(range.second - range.first + 1, false);
    for (size_t attempt = 0; attempt <= setAside.size(); ++attempt) {
        result.value = value;
        size_t asideBefore = static_cast<size_t>(std::count(setAside.begin(), setAside.end(), true));
        Attempt outcome = walkOnce(table, range, setAside, source, target, evaluate, result);
        if (outcome == Attempt::Reached) {
            result.status = ConversionResult::Status::Converted;
            return result;
        }
        if (outcome == Attempt::Failed) {
            result.status = ConversionResult::Status::FormulaFailed;
            return result;
        }
        if (static_cast<size_t>(std::count(setAside.begin(), setAside.end(), true)) == asideBefore) break;
    }
    result.status = ConversionResult::Status::Unreachable;
    result.path.clear();
    result.value = value;
    return result;
}

} // namespace nomix
