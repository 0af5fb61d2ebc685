// The unit converter's conversion table ("nomix.cnv"): categories of units,
// each entry a pair of units with one formula for each direction. Reading it,
// writing it back, and the walk that converts a value from one unit to another
// through the pairs. The windows (converter, table editor) build on this.
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

// One pair of units: x in unit A gives formulaAB in unit B, x in unit B gives
// formulaBA in unit A. `category` indexes ConversionTable::categories; -1 for an
// entry that came before any category line.
struct ConversionEntry {
    std::string unitA, unitB, formulaAB, formulaBA;
    int category = -1;
    bool operator==(const ConversionEntry &) const = default;
};

// The whole table, in file order; the entries of one category lie together.
struct ConversionTable {
    std::vector<std::string> categories;
    std::vector<ConversionEntry> entries;
    bool operator==(const ConversionTable &) const = default;

    // The index of the first category of that name, -1 when there is none.
    int findCategory(std::string_view name) const;
    // The first and last entry of a category (CatStart, CatEnd), nullopt when it has none.
    std::optional<std::pair<size_t, size_t>> categoryRange(int category) const;
    // The distinct unit names of a category: unit A, then unit B of each entry, in order.
    std::vector<std::string> categoryUnits(int category) const;
};

// A table holds at most this many categories and entries; a file with more is
// read up to the limit and the rest reported.
inline constexpr size_t kMaxConversionCategories = 10000;
inline constexpr size_t kMaxConversionEntries = 100000;

// The table file the converter loads at start; loading it replaces the table.
inline constexpr std::string_view kConversionFile = "nomix.cnv";

// Appends the conversion text (any line ends, any bytes) to the table. Lines it
// skips or reads only in part are reported.
ReadReport readConversions(std::string_view text, ConversionTable &table);

// LoadConversions: "nomix.cnv" (exactly that name) replaces the table, any other
// file is appended. A missing "nomix.cnv" leaves the message
// "NOMIX.CNV is missing" in the report for the caller to show (exclamation
// icon, title "Error"); any other missing file is silently nothing.
ReadReport LoadConversions(const std::filesystem::path &file, ConversionTable &table);

// The file text: entries without a category first, then for every category an
// empty line, "[" + name + "]" and its entries as "A: B: AtoB: BtoA", CR LF line ends.
std::string conversionsText(const ConversionTable &table);

// Why the table cannot be written so that it reads back the same (one reason a
// line), empty when it can: unit names and the A-to-B formula must not hold ":",
// unit A must not start with "[", and no text may hold a line break.
std::vector<std::string> conversionWriteProblems(const ConversionTable &table);

// SaveFile: writes the table atomically. A table that would not read back the
// same is not written; an existing file that was not fully read is kept as
// file + ".bak" first.
SaveOutcome SaveFile(const std::filesystem::path &file, const ConversionTable &table);

// The result of one conversion walk.
struct ConversionResult {
    enum class Status {
        Converted,     // value holds the result
        UnknownUnit,   // the source or the target is not a unit of the category
        Unreachable,   // no chain of entries leads from the source to the target
        FormulaFailed  // a formula could not be evaluated; the walk stopped there
    };
    Status status = Status::Unreachable;
    double value = 0;
    std::vector<size_t> path;  // the entries used, in order
};

// Evaluates a formula with x set to the value in the unit converted from;
// nullopt when the engine reports an error.
using FormulaEvaluator = std::function<std::optional<double>(const std::string &formula, double x)>;

// Converts `value` from `source` to `target` within one category by the walk of
// the converter: at every unit the first usable entry in table order, never
// straight back; an entry that leads nowhere new is set aside and the walk
// restarts from the source. Unit names compare exactly.
ConversionResult convertUnits(const ConversionTable &table, int category, const std::string &source,
                              const std::string &target, double value, const FormulaEvaluator &evaluate);

} // namespace nomix
