#include "tools/moduleform.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>

#include "shell/binding.h"
#include "shell/format.h"
#include "tools/textfile.h"
#include "tools/toolfiles.h"

namespace nomix {

namespace {

// The engine calls error handlers with the thread alone, so the lists being
// collected are found by their thread while a formula is read.
std::map<intptr_t, std::vector<std::string>> &collecting() {
    static std::map<intptr_t, std::vector<std::string>> lists;
    return lists;
}

constexpr int32_t kUndefinedIdentifier = 3;

// The variable-collecting handler: an undefined name becomes the next field
// and a variable of the context, and the engine retries; any other error stands.
extern "C" intptr_t collectModuleVariable(intptr_t thread) {
    auto found = collecting().find(thread);
    Binding &b = binding();
    if (found == collecting().end() || b.ErrorCode(thread) != kUndefinedIdentifier) return 0;
    std::vector<std::string> &names = found->second;
    if (names.size() >= kMaxModuleFields) return 0;
    const std::string name = b.OffendingSymbol(thread);
    if (name.empty() || b.DefineVar(name, 0, thread) == 0) return 0;
    names.push_back(name);
    return 1;
}

std::string upperTrimmed(std::string_view text) { return asciiUpper(trimBlanks(text)); }

// The whole text as a decimal number, nullopt when anything is left over.
std::optional<double> wholeNumber(const std::string &text) {
    if (text.empty()) return std::nullopt;
    char *end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || std::isnan(v)) return std::nullopt;
    return v;
}

// A number as a format showed it: currency sign, thousands commas, a percent
// sign, brackets for a negative value.
std::optional<double> shownNumber(std::string text) {
    bool negative = false, percent = false;
    if (text.size() > 2 && text.front() == '(' && text.back() == ')') {
        negative = true;
        text = text.substr(1, text.size() - 2);
    }
    if (!text.empty() && text.back() == '%') {
        percent = true;
        text.pop_back();
    }
    std::string plain;
    for (char c : text)
        if (c != '$' && c != ',') plain += c;
    if (plain == text && !percent && !negative) return wholeNumber(text);
    std::optional<double> v = wholeNumber(plain);
    if (!v) return std::nullopt;
    if (percent) *v /= 100;
    return negative ? -*v : *v;
}

// Decimal text the engine reads back exactly.
std::string exactText(double v) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17g", v);
    return buffer;
}

} // namespace

const std::vector<std::string> &moduleFormats() {
    static const std::vector<std::string> formats = {
        "General Number", "Currency", "Fixed",      "Standard", "Percent",      "Scientific",
        "Yes/No",         "True/False", "On/Off",   "User defined", "Numeric Format"};
    return formats;
}

std::string FormatToNumber(std::string_view text) {
    const std::string upper = upperTrimmed(text);
    if (upper == "YES" || upper == "TRUE" || upper == "ON") return "1";
    if (upper == "NO" || upper == "FALSE" || upper == "OFF") return "0";
    if (std::optional<double> v = shownNumber(upper)) return exactText(*v);
    return upper;
}

std::vector<std::string> constraintItems(Binding &b, std::string_view constraints, intptr_t thread) {
    std::vector<std::string> items;
    std::string rest(constraints);
    while (true) {
        // The search is token-aware: a comma inside brackets or quotes is not a separator.
        const intptr_t pos = rest.empty() ? 0 : b.InStr(1, rest, ",", 1, thread);
        const std::string item = pos <= 0 ? rest : rest.substr(0, size_t(pos - 1));
        const std::string_view trimmed = trimBlanks(item);
        if (!trimmed.empty()) items.emplace_back(trimmed);
        if (pos <= 0 || size_t(pos) > rest.size()) break;
        rest = rest.substr(size_t(pos));
    }
    return items;
}

std::optional<ConstraintRange> constraintRange(std::string_view item) {
    const size_t dots = item.find("..");
    if (dots == std::string_view::npos) return std::nullopt;
    return ConstraintRange{std::string(trimBlanks(item.substr(0, dots))),
                           std::string(trimBlanks(item.substr(dots + 2)))};
}

ModuleSession::ModuleSession(Binding &b) : b_(b) { newContext(); }

ModuleSession::~ModuleSession() {
    if (thread_ != 0) b_.Release(thread_);
}

void ModuleSession::newContext() {
    if (thread_ != 0) b_.Release(thread_);
    thread_ = b_.CallNoText(nx_NewThread);
    b_.SetErrorHandler(reinterpret_cast<intptr_t>(&collectModuleVariable), thread_);
}

std::optional<std::vector<std::string>> ModuleSession::buildFields(const std::string &formula,
                                                                  std::string *problem) {
    const size_t equals = formula.find('=');
    if (equals == std::string::npos) {
        if (problem) *problem = "The formula needs an \"=\": result = expression.";
        return std::nullopt;
    }
    newContext();
    collecting()[thread_].clear();
    b_.EvalStr(formula.substr(equals + 1), 0, thread_);
    std::vector<std::string> names = std::move(collecting()[thread_]);
    collecting().erase(thread_);
    if (b_.ErrorCode(thread_) != 0) {
        if (problem)
            *problem = names.size() >= kMaxModuleFields && b_.ErrorCode(thread_) == kUndefinedIdentifier
                           ? "A module holds at most " + std::to_string(kMaxModuleFields) + " variables."
                           : b_.ErrorText(0, thread_);
        return std::nullopt;
    }
    const std::string left(trimBlanks(std::string_view(formula).substr(0, equals)));
    if (isVariableName(left) && std::find(names.begin(), names.end(), left) == names.end() &&
        names.size() < kMaxModuleFields && b_.DefineVar(left, 0, thread_) != 0 && b_.ErrorCode(thread_) == 0)
        names.push_back(left);
    return names;
}

bool ModuleSession::CheckConstr(const std::string &valueText, const std::string &constraints,
                                ConstraintRange *range) {
    if (trimBlanks(constraints).empty()) return true;
    const double v = b_.EvalDbl(FormatToNumber(valueText), thread_);
    const intptr_t x = b_.DefineVar("x = " + exactText(v), 0, thread_);
    bool holds = b_.ErrorCode(thread_) == 0;
    for (const std::string &item : constraintItems(b_, constraints, thread_)) {
        if (std::optional<ConstraintRange> r = constraintRange(item)) {
            if (range) *range = *r;
            const double low = b_.EvalDbl(r->low, thread_), high = b_.EvalDbl(r->high, thread_);
            if (!(low <= v && v <= high)) holds = false;
        } else if (b_.EvalDbl(item, thread_) == 0 || b_.ErrorCode(thread_) != 0) {
            holds = false;
        }
    }
    if (x != 0) b_.Release(x);
    return holds;
}

ModuleSession::Outcome ModuleSession::solve(const Module &module, size_t unknown,
                                            const std::vector<std::string> &values, const std::string &eqFrom,
                                            const std::string &eqTo, const std::string &numericFormat) {
    Outcome outcome;
    if (unknown >= module.fields.size()) {
        outcome.state = Outcome::State::NotFound;
        outcome.message = "Choose the unknown field first.";
        return outcome;
    }
    if (!buildFields(module.formula)) {
        outcome.state = Outcome::State::NotFound;
        outcome.message = "Solution not found.  Constraints: " + module.fields[unknown].constraints;
        return outcome;
    }
    for (size_t f = 0; f < module.fields.size(); ++f) {
        if (f == unknown) continue;
        const std::string value = f < values.size() ? std::string(trimBlanks(values[f])) : std::string();
        if (value.empty()) {
            outcome.state = Outcome::State::MissingValue;
            outcome.field = f;
            outcome.message = "Missing value";
            return outcome;
        }
        b_.EvalDbl("SetVar(" + module.fields[f].variable + "," + FormatToNumber(value) + ")", thread_);
    }
    const ModuleField &field = module.fields[unknown];
    ConstraintRange range{eqFrom, eqTo};
    CheckConstr("0", field.constraints, &range);
    b_.ClearError();
    const double result = b_.EvalDbl("Solve(" + module.formula + "," + range.low + "," + range.high + "," +
                                         field.variable + ")",
                                     thread_);
    // The solver raises its "Solution not found" where the language's names
    // live, so the application's handler may have shown it already.
    const bool reported = b_.ErrorCode(thread_) != 0 || b_.ErrorCode() != 0;
    const bool solved = !reported && std::isfinite(result);
    if (!solved || !CheckConstr(exactText(result), field.constraints)) {
        outcome.state = Outcome::State::NotFound;
        outcome.reported = reported;
        outcome.message = "Solution not found.  Constraints: " + field.constraints;
        return outcome;
    }
    outcome.value = result;
    outcome.text = formatValue(result, field.format, numericFormat);
    return outcome;
}

std::string ModuleSession::formatValue(double value, const std::string &format, const std::string &numericFormat) {
    if (format == "Numeric Format") return FormatAnswer(b_, value, numericFormat);
    if (format.empty() || format == "User defined") return FormatAnswer(b_, value, "General Number");
    return FormatAnswer(b_, value, format);
}

std::string ModuleSession::displayText(const std::string &typed, const std::string &format,
                                       const std::string &numericFormat) {
    const std::string number = FormatToNumber(typed);
    std::optional<double> v = wholeNumber(number);
    if (!v) return std::string(trimBlanks(typed));
    return formatValue(*v, format, numericFormat);
}

Module withFields(const Module &module, const std::vector<std::string> &variables) {
    Module changed = module;
    changed.fields.clear();
    for (const std::string &variable : variables) {
        auto old = std::find_if(module.fields.begin(), module.fields.end(),
                                [&](const ModuleField &f) { return f.variable == variable; });
        changed.fields.push_back(old != module.fields.end() ? *old
                                                            : ModuleField{variable, variable, "General Number", "", ""});
    }
    return changed;
}

} // namespace nomix
