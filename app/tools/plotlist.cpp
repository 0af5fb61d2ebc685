#include "tools/plotlist.h"

#include <cctype>
#include <charconv>
#include <cstdlib>
#include <string>

#include "shell/format.h"
#include "tools/textfile.h"

namespace nomix {

namespace {

// The 16-colour text-mode palette as &HBBGGRR.
constexpr std::array<BgrColor, 16> kPalette{0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                                            0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
                                            0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
constexpr BgrColor kPurple = 0xC000C0;
constexpr BgrColor kFirstRow = 0xC00000;

// ASCII comparison without regard to case.
bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// The shortest text that reads back as the same single-precision number.
std::string singlePrecisionText(double v) {
    char text[64];
    auto result = std::to_chars(text, text + sizeof text, static_cast<float>(v));
    return std::string(text, result.ptr);
}

std::string flag(bool on) { return on ? "1" : "0"; }
// A check box record: "1" (or the classic -1, or True) is checked.
bool isSet(const std::string &text) {
    const std::string_view t = trimBlanks(text);
    return t == "1" || t == "-1" || equalsIgnoringCase(t, "true");
}

// A count line between 0 and `limit`, else 0.
int countLine(const std::string &text, int limit) {
    const std::string_view t = trimBlanks(text);
    if (t.empty() || t.size() > 3) return 0;
    int n = 0;
    for (char c : t) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return 0;
        n = n * 10 + (c - '0');
    }
    return n <= limit ? n : 0;
}

} // namespace

std::string_view graphTypeName(GraphType type) { return kGraphTypeNames[size_t(type)]; }

// The type whose list name matches, ignoring case and blanks.
std::optional<GraphType> graphTypeNamed(std::string_view name) {
    name = trimBlanks(name);
    for (size_t i = 0; i < kGraphTypeNames.size(); ++i)
        if (equalsIgnoringCase(name, kGraphTypeNames[i])) return GraphType(i);
    return std::nullopt;
}

// Row 0 blue; 1, 4, 5, 8 purple; the others palette colour 15 - index.
BgrColor equationColor(int index) {
    if (index <= 0) return kFirstRow;
    if (index == 1 || index == 4 || index == 5 || index == 8) return kPurple;
    return kPalette[size_t(15 - std::min(index, 15))];
}

// The texts a type puts in its row, from the settings' defaults.
RowTemplate typeTemplate(GraphType type, const Settings &settings, const std::string &dataFile) {
    switch (type) {
    case GraphType::Cartesian: return {"y=", settings.independentVariable, "", "", 2};
    case GraphType::Polar: return {"r=", settings.theta, settings.tMin, settings.tMax, 2};
    case GraphType::Parametric: return {"x=   , y=", settings.theta, settings.tMin, settings.tMax, 2};
    case GraphType::Surface: return {"f(x,z)=", settings.independentVariable, "", "", 7};
    case GraphType::DataFile: {
        std::string equation = "File=" + dataFile;
        const int caret = static_cast<int>(equation.size());
        return {std::move(equation), "", "", "", caret};
    }
    }
    return {};
}

// The type's name and template into the row.
void applyType(EquationRow &row, GraphType type, const Settings &settings, const std::string &dataFile) {
    RowTemplate t = typeTemplate(type, settings, dataFile);
    row.type = std::string(graphTypeName(type));
    row.equation = std::move(t.equation);
    row.variable = std::move(t.variable);
    row.from = std::move(t.from);
    row.to = std::move(t.to);
}

// Appends a row unless the list has its 16.
bool EquationList::add(EquationRow row) {
    if (lastIndex() >= kMaxEquationIndex) return false;
    rows_.push_back(std::move(row));
    return true;
}

// Row 0 alone, checked, with the default type's template.
void EquationList::clear(const Settings &settings) {
    rows_.resize(1);
    EquationRow &first = rows_.front();
    first.show = true;
    applyType(first, graphTypeNamed(settings.defaultGraph).value_or(GraphType::Cartesian), settings);
}

// The rows for the pass, each in its colour.
std::vector<PlotRow> EquationList::plotRows() const {
    std::vector<PlotRow> out;
    for (size_t i = 0; i < rows_.size(); ++i) {
        const EquationRow &r = rows_[i];
        out.push_back({r.equation, r.variable, r.from, r.to, r.show, equationColor(int(i))});
    }
    return out;
}

// The last index, then six records a row.
std::vector<std::string> EquationList::records() const {
    std::vector<std::string> out{std::to_string(lastIndex())};
    for (const EquationRow &r : rows_)
        out.insert(out.end(), {flag(r.show), r.type, r.equation, r.variable, r.from, r.to});
    return out;
}

// Reads back what records() wrote; a short list keeps what it has.
void EquationList::restore(LineCursor &records) {
    const int last = countLine(records.take(), kMaxEquationIndex);
    rows_.assign(size_t(last) + 1, EquationRow{});
    for (EquationRow &r : rows_) {
        if (records.atEnd()) break;
        r.show = isSet(records.take());
        r.type = records.take();
        r.equation = records.take();
        r.variable = records.take();
        r.from = records.take();
        r.to = records.take();
    }
}

// The fields as the options window shows them on loading.
GraphOptionsFields GraphOptionsFields::from(const Settings &s) {
    GraphOptionsFields f;
    f.title = s.title, f.xLabel = s.xLabel, f.yLabel = s.yLabel;
    f.xMin = s.xMin, f.xMax = s.xMax, f.yMin = s.yMin, f.yMax = s.yMax;
    f.tMin = s.tMin, f.tMax = s.tMax, f.theta = s.theta;
    f.precision = singlePrecisionText(1 / s.graphStep);
    f.graphType = s.defaultGraph;
    f.grid = s.grid, f.numbered = s.axisNumbers, f.connect = s.connect;
    return f;
}

// Ok: the precision checked, everything stored as typed.
void GraphOptionsFields::applyTo(Settings &s) {
    if (!(leadingNumber(precision) > 0)) precision.assign(1, '1');
    s.title = title, s.xLabel = xLabel, s.yLabel = yLabel;
    s.xMin = xMin, s.yMin = yMin, s.tMin = tMin;
    s.xMax = xMax, s.yMax = yMax, s.tMax = tMax;
    s.theta = theta;
    s.defaultGraph = graphType;
    s.graphStep = 1 / leadingNumber(precision);
    s.grid = grid, s.axisNumbers = numbered, s.connect = connect;
}

// The fields in control order, check boxes as 1 or 0.
std::vector<std::string> GraphOptionsFields::records() const {
    return {title, xLabel, yLabel, xMin, xMax,      yMin,          yMax,         tMin,
            tMax,  theta,  precision, graphType, flag(grid), flag(numbered), flag(connect)};
}

// Reads back what records() wrote.
void GraphOptionsFields::restore(LineCursor &r) {
    if (r.atEnd()) return;  // a list saved without options keeps the current ones
    for (std::string *text : {&title, &xLabel, &yLabel, &xMin, &xMax, &yMin, &yMax, &tMin, &tMax,
                              &theta, &precision, &graphType})
        *text = r.take();
    for (bool *on : {&grid, &numbered, &connect})
        if (!r.atEnd()) *on = isSet(r.take());
}

// The list, then the options, one record a line (CR LF).
std::string graFileText(const EquationList &list, const GraphOptionsFields &options) {
    std::string text;
    for (const std::vector<std::string> &part : {list.records(), options.records()})
        for (const std::string &line : part) text += line + "\r\n";
    return text;
}

// Reads a ".gra" text back into the list and the options.
void readGraFile(std::string_view text, EquationList &list, GraphOptionsFields &options) {
    std::vector<std::string> lines;
    forEachLine(text, [&](int, std::string_view line) { lines.emplace_back(line); });
    LineCursor cursor(std::move(lines));
    list.restore(cursor);
    options.restore(cursor);
}

} // namespace nomix
