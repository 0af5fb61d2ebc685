// The unit converter's form without its widgets: the chosen category and its
// units, the number/unit rows (More and Less), the row typed into last, the
// conversion of every other row, and the ".con" file. The window mirrors it.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "tools/conversions.h"
#include "tools/textfile.h"

namespace nomix {

class Binding;

struct ConverterRow {
    std::string number, unit;
    bool operator==(const ConverterRow &) const = default;
};

// A form has at least two rows and at most this many.
inline constexpr size_t kMinConverterRows = 2;
inline constexpr size_t kMaxConverterRows = 100;

// What btnConvert found.
struct ConvertOutcome {
    enum class State {
        Converted,     // every other row holds its number
        MissingValue,  // "Missing unit or value"
        BadUnit,       // row `row`: "<unit> is not defined" or "unit is missing"
        Unreachable,   // row `row` cannot be reached from the source unit
        FormulaFailed  // the engine reported a formula's error (its handler showed it)
    };
    State state = State::Converted;
    size_t row = 0;
    std::string message;  // the text to show, empty for FormulaFailed and Converted
};

class ConverterForm {
public:
    ConverterForm() : rows_(kMinConverterRows) {}

    // LoadConversions' result: the table, then the category (the "Unit Category"
    // setting; the first category when there is no such one).
    void setTable(ConversionTable table, const std::string &category);
    const ConversionTable &table() const { return table_; }

    // The category change: the units of the category, every row's number and unit emptied.
    // False (and nothing changes) when there is no such category.
    bool selectCategory(const std::string &name);
    const std::string &category() const { return categoryName_; }
    const std::vector<std::string> &units() const { return units_; }

    const std::vector<ConverterRow> &rows() const { return rows_; }
    size_t activeRow() const { return active_; }

    // More: a row at the end (up to kMaxConverterRows). Less: the last row
    // goes (down to kMinConverterRows) and row 0 becomes the active row.
    bool addRow();
    bool removeRow();

    // A number typed into a row: that row becomes the source, every other number is emptied.
    void typeNumber(size_t row, std::string text);
    // A number put there by the form itself (a result, a restored session).
    void setNumber(size_t row, std::string text);
    void setUnit(size_t row, std::string unit);
    void setActiveRow(size_t row) { active_ = row < rows_.size() ? row : 0; }

    // Enter in a number field converts only when the source number and every unit are there.
    bool readyToConvert() const;

    // btnConvert: the source's value through the engine, every other row
    // converted by the table walk and formatted with `numericFormat`.
    ConvertOutcome convert(Binding &b, const std::string &numericFormat);

    // The ".con" file and the session: the category, then each row's number and unit.
    std::vector<std::string> sessionLines() const;
    // Takes lines back: the category is selected, then the rows are filled
    // (at least two); the first row with a number becomes the source.
    void restoreLines(const std::vector<std::string> &lines);

private:
    ConversionTable table_;
    int category_ = -1;
    std::string categoryName_;
    std::vector<std::string> units_;
    std::vector<ConverterRow> rows_;
    size_t active_ = 0;
};

// The ".con" file: reading any bytes into lines, and writing atomically.
std::vector<std::string> readConverterText(std::string_view text, ReadReport &report);
ReadReport loadConverterFile(const std::filesystem::path &file, std::vector<std::string> &lines);
SaveOutcome saveConverterFile(const std::filesystem::path &file, const std::vector<std::string> &lines);

} // namespace nomix
