// The equation list of the plot set-up window: up to 16 rows, each with its
// graph type, equation, variable, range, Show box and colour; the templates a
// type fills in; and the list's records in ".gra" files and the session file.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "shell/settings.h"
#include "tools/plotpass.h"

namespace nomix {

enum class GraphType { Cartesian, Polar, Parametric, Surface, DataFile };

// The names shown in the type lists, in list order.
inline constexpr std::array<std::string_view, 5> kGraphTypeNames{
    "Cartesian", "Polar", "Parametric", "3D Surface", "Data File"};
std::string_view graphTypeName(GraphType type);
// The type of a name, ignoring case and blanks around it.
std::optional<GraphType> graphTypeNamed(std::string_view name);

inline constexpr int kMaxEquationIndex = 15;

// The curve colour of row `index`: row 0 a strong blue, rows 1, 4, 5 and 8
// purple, the others colour 15 - index of the 16-colour text-mode palette.
BgrColor equationColor(int index);

struct EquationRow {
    bool show = true;
    std::string type = "Cartesian";
    std::string equation = "y=";
    std::string variable = "x";
    std::string from, to;
    bool operator==(const EquationRow &) const = default;
};

// What a graph type puts in its row, and where the caret goes in the equation.
struct RowTemplate {
    std::string equation, variable, from, to;
    int caret = 0;
};
// `dataFile` is the file chosen for a "Data File" row ("" when the dialog was cancelled).
RowTemplate typeTemplate(GraphType type, const Settings &settings, const std::string &dataFile = {});
// Applies the type and its template to the row.
void applyType(EquationRow &row, GraphType type, const Settings &settings,
               const std::string &dataFile = {});

// Reads successive lines of a record list; past the end it answers "".
class LineCursor {
public:
    explicit LineCursor(std::vector<std::string> lines) : lines_(std::move(lines)) {}
    bool atEnd() const { return next_ >= lines_.size(); }
    std::string take() { return atEnd() ? std::string() : lines_[next_++]; }

private:
    std::vector<std::string> lines_;
    size_t next_ = 0;
};

class EquationList {
public:
    EquationList() : rows_(1) {}

    const std::vector<EquationRow> &rows() const { return rows_; }
    EquationRow &row(int index) { return rows_.at(size_t(index)); }
    int lastIndex() const { return static_cast<int>(rows_.size()) - 1; }

    // A 17th row is refused (false).
    bool add(EquationRow row);
    // Back to row 0 alone, checked, with the default type's template.
    void clear(const Settings &settings);

    // The rows as the drawing pass reads them, in their colours.
    std::vector<PlotRow> plotRows() const;

    // The last index, then for every row: Show (1 or 0), type, equation,
    // variable, From, To. Restoring reads what is there: a short list keeps
    // row 0 and drops the missing rows.
    std::vector<std::string> records() const;
    void restore(LineCursor &records);

private:
    std::vector<EquationRow> rows_;
};

// The fields of the graph options window, in control order.
struct GraphOptionsFields {
    std::string title, xLabel, yLabel, xMin, xMax, yMin, yMax, tMin, tMax, theta, precision,
        graphType;
    bool grid = false, numbered = true, connect = true;
    bool operator==(const GraphOptionsFields &) const = default;

    static GraphOptionsFields from(const Settings &settings);
    // Ok: a precision whose leading number (shell/format.h) is not above 0 becomes "1"; then the
    // texts are stored as typed and the step becomes 1 / precision.
    void applyTo(Settings &settings);

    std::vector<std::string> records() const;
    void restore(LineCursor &records);
};

// ".gra" files: the equation list's records, then the graph options' records,
// one per line (CR LF).
std::string graFileText(const EquationList &list, const GraphOptionsFields &options);
void readGraFile(std::string_view text, EquationList &list, GraphOptionsFields &options);

} // namespace nomix
