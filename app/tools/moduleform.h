// A solver module at work: the fields a formula yields (its variables, found
// by evaluating it in an engine context of the module's own), the field
// values as numbers, the constraint checks and the solve for the unknown
// field. The modules window shows a Module and forwards to this.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/modulefile.h"

namespace nomix {

class Binding;

// The field formats offered for a module's fields, in list order.
const std::vector<std::string> &moduleFormats();

// FormatToNumber: the field text trimmed and upper-cased; a number (also one
// shown through a format: "$1,234.50", "(5.00)", "12.5%") becomes its plain
// decimal text; YES, TRUE and ON become "1", NO, FALSE and OFF "0"; any other
// text stays as it is, for the engine to evaluate.
std::string FormatToNumber(std::string_view text);

// The constraint items of a field: split at top-level commas (commas inside
// parentheses or quotes do not split), each trimmed, empty ones left out.
std::vector<std::string> constraintItems(Binding &b, std::string_view constraints, intptr_t thread = 0);

// A range item "low..high" split, nullopt for a condition.
struct ConstraintRange {
    std::string low, high;
};
std::optional<ConstraintRange> constraintRange(std::string_view item);

// Formulas become fields; values are checked and solved for. Each session has
// an engine context of its own, released with it.
class ModuleSession {
public:
    explicit ModuleSession(Binding &b);
    ~ModuleSession();
    ModuleSession(const ModuleSession &) = delete;
    ModuleSession &operator=(const ModuleSession &) = delete;

    // The variables of "left = right" in order of first appearance on the
    // right, then the left side (at most kMaxModuleFields). A fresh context is
    // made for the formula. nullopt, with `problem` set, when the formula has
    // no "=" or an error other than an undefined name stands.
    std::optional<std::vector<std::string>> buildFields(const std::string &formula, std::string *problem = nullptr);

    // CheckConstr: whether the value satisfies every item; the last range's
    // texts go to `range`. An empty constraint text always holds.
    bool CheckConstr(const std::string &valueText, const std::string &constraints,
                     ConstraintRange *range = nullptr);

    struct Outcome {
        enum class State { Solved, MissingValue, NotFound };
        State state = State::Solved;
        size_t field = 0;     // the field that is missing (MissingValue)
        std::string text;     // the formatted result (Solved)
        double value = 0;
        std::string message;  // what to show otherwise
        bool reported = false;  // the engine's error handler has shown why already
    };
    // Solve: every field but the unknown assigned from its text, the formula
    // solved for the unknown between its range (else eqFrom .. eqTo), the
    // result checked against its constraints and formatted with its format.
    Outcome solve(const Module &module, size_t unknown, const std::vector<std::string> &values,
                  const std::string &eqFrom, const std::string &eqTo, const std::string &numericFormat);

    // The text a field shows for a value typed into it: a number (or a
    // two-state word) through the field's format; other text as typed.
    std::string displayText(const std::string &typed, const std::string &format, const std::string &numericFormat);

    intptr_t thread() const { return thread_; }

private:
    void newContext();
    std::string formatValue(double value, const std::string &format, const std::string &numericFormat);

    Binding &b_;
    intptr_t thread_ = 0;
};

// The module after its formula changed: the fields of `variables`, each
// keeping the caption, format, constraints and details it had, new ones
// captioned with their name in "General Number".
Module withFields(const Module &module, const std::vector<std::string> &variables);

} // namespace nomix
