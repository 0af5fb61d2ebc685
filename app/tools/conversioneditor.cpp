#include "tools/conversioneditor.h"

#include "tools/textfile.h"

namespace nomix {

std::vector<size_t> ConversionEditor::entriesOf(int category) const {
    std::vector<size_t> found;
    for (size_t e = 0; e < table_.entries.size(); ++e)
        if (table_.entries[e].category == category) found.push_back(e);
    return found;
}

int ConversionEditor::addCategory(const std::string &name, std::string *problem) {
    const std::string trimmed(trimBlanks(name));
    std::string why = unwritableReason(trimmed);
    if (trimmed.empty()) why = "a category needs a name";
    else if (trimmed.front() == '{') why = "type the new category's name first";
    if (!why.empty()) {
        if (problem) *problem = why;
        return -1;
    }
    const int existing = table_.findCategory(trimmed);
    if (existing >= 0) return existing;
    table_.categories.push_back(trimmed);
    return int(table_.categories.size()) - 1;
}

// Why a pair cannot be stored so that the file reads it back the same.
static std::string entryProblem(const ConversionEntry &e) {
    if (e.unitA.empty() || e.unitB.empty()) return "both units need a name";
    if (e.formulaAB.empty() || e.formulaBA.empty()) return "both formulas are needed";
    if (e.unitA == e.unitB) return "the two units must differ";
    for (const std::string *text : {&e.unitA, &e.unitB, &e.formulaAB})
        if (text->find(':') != std::string::npos) return "units and the A ==> B formula cannot hold \":\"";
    if (e.unitA.front() == '[') return "unit A cannot start with \"[\"";
    for (const std::string *text : {&e.unitA, &e.unitB, &e.formulaAB, &e.formulaBA}) {
        std::string why = unwritableReason(*text);
        if (!why.empty()) return why;
    }
    return {};
}

ConversionEditor::Stored ConversionEditor::store(int category, ConversionEntry entry) {
    Stored result;
    entry.unitA = std::string(trimBlanks(entry.unitA));
    entry.unitB = std::string(trimBlanks(entry.unitB));
    entry.formulaAB = std::string(trimBlanks(entry.formulaAB));
    entry.formulaBA = std::string(trimBlanks(entry.formulaBA));
    entry.category = category;
    if (category < 0 || category >= int(table_.categories.size())) {
        result.problem = "choose a category first";
        return result;
    }
    result.problem = entryProblem(entry);
    if (!result.problem.empty()) return result;
    const std::vector<size_t> present = entriesOf(category);
    for (size_t e : present) {
        ConversionEntry &old = table_.entries[e];
        if (old.unitA == entry.unitA && old.unitB == entry.unitB) {
            old = std::move(entry);
            result.ok = true;
            result.index = e;
            return result;
        }
    }
    const size_t at = present.empty() ? table_.entries.size() : present.back() + 1;
    table_.entries.insert(table_.entries.begin() + static_cast<std::ptrdiff_t>(at), std::move(entry));
    result.ok = true;
    result.index = at;
    return result;
}

bool ConversionEditor::remove(size_t index) {
    if (index >= table_.entries.size()) return false;
    table_.entries.erase(table_.entries.begin() + static_cast<std::ptrdiff_t>(index));
    return true;
}

size_t ConversionEditor::import(const ConversionTable &other) {
    size_t stored = 0;
    for (const ConversionEntry &e : other.entries) {
        if (e.category < 0 || e.category >= int(other.categories.size())) continue;
        const int category = addCategory(other.categories[size_t(e.category)]);
        if (category >= 0 && store(category, e).ok) ++stored;
    }
    return stored;
}

} // namespace nomix
