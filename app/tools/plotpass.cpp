#include "tools/plotpass.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "nxeng296.h"
#include "shell/binding.h"
#include "shell/host.h"

namespace nomix {

namespace {

// One sweep never samples more points than this: a range of 10^30 at a fine
// step would otherwise keep the window busy for ever.
constexpr long long kMaxSweepPoints = 10'000'000;
// The horizon of the surface kind has one column per pixel of a window up to
// 640 pixels wide; wider windows get one per pixel of their width.
constexpr int kHorizonColumns = 641;

// The text in upper case (ASCII).
std::string upper(std::string_view text) {
    std::string out(text);
    for (char &c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// True when the text ends with `tail`, ignoring case.
bool endsWith(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && upper(text.substr(text.size() - tail.size())) == tail;
}

// Runs body(v) for v = from, from + step, ... while v <= to, as a loop with a
// double counter does; a step that no longer moves v ends the sweep.
template <class Body> void sweep(double from, double to, double step, Body body) {
    long long n = 0;
    for (double v = from; v <= to; ++n) {
        body(v);
        const double next = v + step;
        if (next == v || n >= kMaxSweepPoints) break;
        v = next;
    }
}

// Two doubles in the engine heap that the engine reads by address: the sampled
// variable and the surface's z. They stay put until the pass ends.
class SampleCells {
public:
    SampleCells() : cells_(static_cast<double *>(nxAlloc(2 * sizeof(double)))) {
        if (!cells_) throw std::bad_alloc();
    }
    ~SampleCells() { nxFree(cells_); }
    SampleCells(const SampleCells &) = delete;
    SampleCells &operator=(const SampleCells &) = delete;
    double &v() { return cells_[0]; }
    double &z() { return cells_[1]; }
    intptr_t address(double &cell) const { return reinterpret_cast<intptr_t>(&cell); }

private:
    double *cells_;
};

// The engine items of one row, released when the row ends (zero is harmless).
struct RowHandles {
    intptr_t first = 0, second = 0, variable = 0, zVariable = 0;
    void release() {
        for (intptr_t *h : {&first, &second, &variable, &zVariable}) {
            if (*h) binding().Release(*h);
            *h = 0;
        }
    }
    ~RowHandles() { release(); }
};

// Floating-point faults become engine errors while the pass runs, on every way out.
class PlotMode {
public:
    PlotMode() { binding().SetFpTrapMode(true); }
    ~PlotMode() { binding().SetFpTrapMode(false); }
    PlotMode(const PlotMode &) = delete;
    PlotMode &operator=(const PlotMode &) = delete;
};

bool isFloatingPointFault(int32_t code) { return code >= 21 && code <= 29; }

// A name the pass may bind by address: letters, digits and "_", not starting
// with a digit. Anything else would be spliced into the definition text (a
// variable field reading "x At 4096" must not choose the address).
bool isVariableName(std::string_view name) {
    if (name.empty() || std::isdigit(static_cast<unsigned char>(name.front()))) return false;
    for (char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
    return true;
}

// Appends one coordinate line "x,y".
void writePair(std::string &out, double x, double y) {
    char line[64];
    int n = std::snprintf(line, sizeof line, "%.10g,%.9g\r\n", x, y);
    out.append(line, static_cast<size_t>(n));
}

// A new piece's start is kept within the view's span: sign(v)*Min(|v|, span).
float clipTo(float value, float span) {
    return std::copysign(std::min(std::fabs(value), span), value);
}

class Pass {
public:
    Pass(PlotCanvas &canvas, const PlotRequest &request, const Settings &settings)
        : c_(canvas), r_(request), s_(settings) {}

    PlotOutcome run();

private:
    // Steps of the pass.
    void prepare();
    void printHeading();
    PlotPoint insideView(PlotPoint at, PlotPoint size) const;
    void drawXAxis();
    void drawYAxis();
    bool drawRow(int index);
    bool drawKind(const std::string &kind, const std::string &expression);
    void drawTitles();

    // Kinds; each returns false for the error exit.
    bool drawCartesian(const std::string &expression);
    bool drawPolar(const std::string &expression);
    bool drawParametric(const std::string &expression);
    bool drawSurface(const std::string &expression);
    bool drawFile(const std::string &fileName);
    void surfaceSweep(bool zOuter);

    // Points and pieces.
    bool parse(const std::string &expression, intptr_t &handle);
    bool evaluate(intptr_t handle, float &value);
    bool recover();
    void drawPlanePoint(double v);
    void drawPoint(float x, float y, bool newPiece);

    // Text printed line by line in device units.
    void printLine(std::string_view text);

    PlotCanvas &c_;
    const PlotRequest &r_;
    const Settings &s_;
    PlotOutcome out_;
    SampleCells cells_;
    RowHandles handles_;

    float kx_ = 1, xRange_ = 0, yRange_ = 0, xSpan_ = 0, ySpan_ = 0, frac_ = 0.02f;
    float step_ = 0.1f;
    float from_ = 0, to_ = 0;
    bool skipNext_ = false;
    bool rowStopped_ = false;  // a non-numeric error at a point ends the row
    float x_ = 0, y_ = 0, prevX_ = 0, prevY_ = 0;
    PlotPoint textAt_;
    std::vector<double> horizon_;
};

// The whole pass in plot mode: axes, the rows (the error exit at a failing
// row), then the titles; file mode ends after the file.
PlotOutcome Pass::run() {
    PlotMode plotMode;
    prepare();
    if (!(std::isfinite(xRange_) && std::isfinite(yRange_)) || xRange_ == 0 || yRange_ == 0)
        return out_;  // no view to draw into
    printHeading();
    c_.setUserScale(r_.view);
    drawXAxis();
    drawYAxis();
    const int rows = r_.fileMode ? 1 : static_cast<int>(r_.rows.size());
    for (int i = 0; i < rows; ++i) {
        const bool ok = drawRow(i);
        handles_.release();
        if (!ok) {
            out_.failed = true;
            out_.failingRow = i;
            out_.coordinates.clear();
            return out_;
        }
        if (r_.fileMode) return out_;
    }
    drawTitles();
    return out_;
}

// Scale factors, ranges and spans of the view; a clear surface in the default colour.
void Pass::prepare() {
    const PlotView &v = r_.view;
    c_.setDeviceScale();
    c_.clear();
    c_.setDefaultColor();
    xRange_ = v.xMax - v.xMin;
    yRange_ = v.yMax - v.yMin;
    kx_ = static_cast<float>(r_.widthPx) / xRange_;
    xSpan_ = std::fabs(v.xMin) + std::fabs(v.xMax);
    ySpan_ = std::fabs(v.yMin) + std::fabs(v.yMax);
    frac_ = s_.grid ? 1.0f : 0.02f;
    step_ = static_cast<float>(s_.graphStep);
    if (!(step_ > 0) || !std::isfinite(step_)) step_ = 0.1f;
    horizon_.assign(std::max(kHorizonColumns, r_.widthPx + 1), -1000.0);
}

// On paper the equations head the page; the y label runs down the left edge.
void Pass::printHeading() {
    textAt_ = {0, 0};
    if (c_.isPrinter()) {
        for (const PlotRow &row : r_.rows) {
            std::string line = row.equation;
            if (!row.from.empty()) line += ", " + row.from + ", " + row.to;
            printLine(line);
        }
    }
    for (int i = 0; i < 3; ++i) printLine("");
    for (char ch : s_.yLabel) printLine(std::string(1, ch));
}

// Prints a line at the text position and moves to the start of the next line.
void Pass::printLine(std::string_view text) {
    if (!text.empty()) c_.text(textAt_, text);
    textAt_ = {0, textAt_.y + c_.textSize("X").y};
}

// A label's top-left corner moved just enough that the whole label stays in
// the view: the end labels ("-10", "10") would otherwise be cut at the edges.
// The label before an end label moved that far gives way to it.
PlotPoint Pass::insideView(PlotPoint at, PlotPoint size) const {
    const PlotView &v = r_.view;
    const double w = std::fabs(size.x), h = std::fabs(size.y);
    if (double(v.xMax) - v.xMin > w) at.x = std::clamp(at.x, double(v.xMin), double(v.xMax) - w);
    if (double(v.yMax) - v.yMin > h) at.y = std::clamp(at.y, double(v.yMin) + h, double(v.yMax));
    return at;
}

// Ticks, grid lines and labels along the x axis, then the axis itself. Only the
// ticks inside the view are visited: the others would draw nothing.
void Pass::drawXAxis() {
    const PlotView &v = r_.view;
    if (!(v.yMin <= 0 && 0 <= v.yMax)) return;
    const float step = std::max(1.0f, std::floor(xRange_ / 20));
    const float last = std::max(std::fabs(v.xMin), std::fabs(v.xMax));
    for (int s : {-1, 1}) {
        const double lo = std::max(0.0, (s < 0 ? -double(v.xMax) : double(v.xMin)) / step);
        const double hi = std::min(double(last), s < 0 ? -double(v.xMin) : double(v.xMax)) / step;
        for (double k = std::ceil(lo); k <= hi; ++k) {
            const float t = static_cast<float>(k * step);
            if (t == 0 && s > 0) continue;  // the tick at 0 once
            const float u = t * s;
            if (s_.grid) c_.setColor(kGridGrey);
            c_.line({u, v.yMin * frac_}, {u, v.yMax * frac_});
            const std::string label = tickLabel(u);
            const PlotPoint size = c_.textSize(label);
            const double tickEnd = s_.grid ? 0.0 : v.yMin * frac_;
            const PlotPoint at = insideView({u - size.x / 2, tickEnd - 0.15 * size.y}, size);  // centred under the tick
            const bool offPage = c_.isPrinter() &&
                std::fabs(at.y - v.yMax) > std::fabs(c_.scaleHeight() - size.y);
            // The label next to an end label that was moved inside makes room for it.
            const bool crowded = k + 1 <= hi && [&] {
                const float next = static_cast<float>((k + 1) * step) * s;
                const PlotPoint nextSize = c_.textSize(tickLabel(next));
                const double from = next - nextSize.x / 2;
                const double shift = std::fabs(insideView({from, at.y}, nextSize).x - from);
                return shift > 0 && shift > step - 1.5 * std::fabs(size.x);
            }();
            if (s_.axisNumbers && label.size() < 4 && !offPage && !crowded) c_.text(at, label);
        }
    }
    c_.setDefaultColor();
    c_.line({v.xMin, 0}, {v.xMax, 0});
}

// The same for the y axis; its 0 has no tick and no label.
void Pass::drawYAxis() {
    const PlotView &v = r_.view;
    if (!(v.xMin <= 0 && 0 <= v.xMax)) return;
    const float step = std::max(1.0f, std::floor(yRange_ / 15));
    const float last = std::max(std::fabs(v.yMin), std::fabs(v.yMax));
    for (int s : {-1, 1}) {
        const double lo = std::max(1.0, (s < 0 ? -double(v.yMax) : double(v.yMin)) / step);
        const double hi = std::min(double(last), s < 0 ? -double(v.yMin) : double(v.yMax)) / step;
        for (double k = std::ceil(lo); k <= hi; ++k) {
            const float u = static_cast<float>(k * step) * s;
            if (s_.grid) c_.setColor(kGridGrey);
            c_.line({v.xMin * frac_, u}, {v.xMax * frac_, u});
            const std::string label = tickLabel(u);
            const PlotPoint size = c_.textSize(label);
            const double tickEnd = s_.grid ? 0.0 : v.xMax * frac_;
            const PlotPoint at = insideView({tickEnd + 0.3 * c_.textSize("X").x, u + size.y / 2}, size);  // beside the tick
            const bool offPage = c_.isPrinter() &&
                std::fabs(at.y - v.yMax) > std::fabs(c_.scaleHeight() - size.y);
            const bool crowded = k + 1 <= hi && [&] {
                const float next = static_cast<float>((k + 1) * step) * s;
                const double from = next + size.y / 2;
                const double shift = std::fabs(insideView({at.x, from}, size).y - from);
                return shift > 0 && shift > step - 1.1 * std::fabs(size.y);
            }();
            if (s_.axisNumbers && label.size() < 4 && !offPage && !crowded) c_.text(at, label);
        }
    }
    c_.setDefaultColor();
    c_.line({0, v.yMin}, {0, v.yMax});
}

// Reads row `index` (errors while reading are passed over) and draws it.
bool Pass::drawRow(int index) {
    const PlotRow empty;
    const PlotRow &row = index < static_cast<int>(r_.rows.size()) ? r_.rows[size_t(index)] : empty;
    EquationParts parts =
        r_.fileMode ? EquationParts{"FILE", r_.fileName} : splitEquation(row.equation);
    if (!r_.fileMode && isVariableName(row.variable))
        handles_.variable =
            binding().DefineVar(row.variable + " As Double", cells_.address(cells_.v()));
    binding().ClearError();
    from_ = r_.view.xMin;
    to_ = r_.view.xMax;
    if (!row.from.empty()) from_ = static_cast<float>(binding().EvalDbl(row.from));
    if (!row.to.empty()) to_ = static_cast<float>(binding().EvalDbl(row.to));
    binding().ClearError();
    if (!std::isfinite(from_)) from_ = r_.view.xMin;
    if (!std::isfinite(to_)) to_ = r_.view.xMax;
    c_.setColor(row.color);
    if (!row.show && !r_.fileMode) return true;
    skipNext_ = false;
    rowStopped_ = false;
    x_ = y_ = prevX_ = prevY_ = 0;
    return drawKind(parts.kind, parts.expression);
}

// Draws one row by its kind; false for the error exit.
bool Pass::drawKind(const std::string &kind, const std::string &expression) {
    // A row left as its template ("y=", "x=   , y=") has nothing to draw yet.
    if (kind != "FILE" && expression.find_first_not_of(" \t,yY=") == std::string::npos) return true;
    if (kind == "Y") return drawCartesian(expression);
    if (kind == "R") return drawPolar(expression);
    if (kind == "X") return drawParametric(expression);
    if (kind == "F(X,Z)") return drawSurface(expression);
    if (kind == "FILE") return drawFile(expression);
    return true;
}

// The title centred at the top, bold, and the x label centred on the bottom line.
void Pass::drawTitles() {
    c_.setDefaultColor();
    c_.setDeviceScale();
    const double size = c_.fontSize();
    const PlotPoint area = c_.deviceSize();
    if (!s_.title.empty()) {
        c_.setFont(10, true);
        c_.text({(area.x - c_.textSize(s_.title).x) / 2, 0}, s_.title);
        c_.setFont(size, false);
    }
    if (!s_.xLabel.empty()) {
        const PlotPoint sz = c_.textSize(s_.xLabel);
        c_.text({(area.x - sz.x) / 2, area.y - sz.y}, s_.xLabel);
    }
    c_.setUserScale(r_.view);
}

// ---------------------------------------------------------------------------
// Points.

bool Pass::parse(const std::string &expression, intptr_t &handle) {
    binding().ClearError();
    handle = binding().Parse(expression);
    return binding().ErrorCode(0) == 0 && handle != 0;
}

// The value at the current sample, or the recovery at a failing point: a fault,
// an engine error or a value beyond single precision drops the point and starts
// a new piece at the next one.
bool Pass::evaluate(intptr_t handle, float &value) {
    if (rowStopped_) return recover();
    double y = 0;
    try {
        y = nxEvaluateDbl(handle);
    } catch (const nx::ProcessorFault &) {
        binding().ClearError();
        return recover();
    }
    if (const int32_t code = binding().ErrorCode(0); code != 0) {
        // Any other error has been shown by the error handler: once is enough.
        if (!isFloatingPointFault(code)) rowStopped_ = true;
        binding().ClearError();
        return recover();
    }
    if (!std::isfinite(y) || std::fabs(y) > FLT_MAX) return recover();
    value = static_cast<float>(y);
    return true;
}

// The recovery at a failing point: the point is dropped and, with y two view
// heights away, the next good point starts a new piece.
bool Pass::recover() {
    skipNext_ = true;
    y_ = 2 * yRange_;
    return false;
}

// A point of a plane curve (polar or parametric) at x_, y_: the point decision.
void Pass::drawPlanePoint(double v) {
    if (skipNext_) {
        skipNext_ = false;
        return;
    }
    const bool newPiece = std::fabs(x_ - prevX_) >= xRange_ || static_cast<float>(v) == from_ ||
                          std::fabs(y_ - prevY_) >= yRange_ || !s_.connect;
    if (newPiece) {
        x_ = clipTo(x_, xSpan_);
        y_ = clipTo(y_, ySpan_);
    }
    drawPoint(x_, y_, newPiece);
}

// Starts a piece or continues it, and keeps the point when saving coordinates.
void Pass::drawPoint(float x, float y, bool newPiece) {
    if (newPiece)
        c_.point({x, y});
    else
        c_.lineTo({x, y});
    if (r_.saveCoordinates) writePair(out_.coordinates, x, y);
}

// ---------------------------------------------------------------------------
// Kinds.

bool Pass::drawCartesian(const std::string &expression) {
    if (!parse(expression, handles_.first)) return false;
    sweep(from_, to_, step_, [&](double v) {
        cells_.v() = v;
        prevY_ = y_;
        evaluate(handles_.first, y_);
        if (skipNext_) {
            skipNext_ = false;
            return;
        }
        const bool newPiece =
            std::fabs(y_ - prevY_) >= yRange_ || static_cast<float>(v) == from_ || !s_.connect;
        if (newPiece) y_ = clipTo(y_, ySpan_);
        if (newPiece)
            c_.point({v, y_});
        else
            c_.lineTo({v, y_});
        if (r_.saveCoordinates) writePair(out_.coordinates, v, y_);
    });
    return true;
}

// r = f(v), drawn at (r cos v, r sin v).
bool Pass::drawPolar(const std::string &expression) {
    if (!parse(expression, handles_.first)) return false;
    sweep(from_, to_, step_, [&](double v) {
        cells_.v() = v;
        float r = 0;
        if (!evaluate(handles_.first, r)) {
            drawPlanePoint(v);  // only clears the skip
            return;
        }
        prevX_ = x_;
        prevY_ = y_;
        x_ = static_cast<float>(r * std::cos(v));
        y_ = static_cast<float>(r * std::sin(v));
        drawPlanePoint(v);
    });
    return true;
}

// "x=f(v), y=g(v)": the first comma outside brackets and strings ends f; g
// follows the "=" after it.
bool Pass::drawParametric(const std::string &expression) {
    const intptr_t comma = binding().InStr(1, expression, ",", 1);
    const size_t equals = comma > 0 ? expression.find('=', size_t(comma)) : std::string::npos;
    if (comma <= 0 || equals == std::string::npos) {
        host().messageBox("A parametric equation names both coordinates: x=f(t), y=g(t)", 48,
                          "Error");
        return false;
    }
    if (!parse(expression.substr(0, size_t(comma) - 1), handles_.first)) return false;
    if (!parse(expression.substr(equals + 1), handles_.second)) return false;
    sweep(from_, to_, step_, [&](double v) {
        cells_.v() = v;
        prevX_ = x_;
        prevY_ = y_;
        const bool xOk = evaluate(handles_.first, x_);
        const bool yOk = evaluate(handles_.second, y_);
        if (!xOk || !yOk) recover();  // also when g(v) succeeded after f(v) failed
        drawPlanePoint(v);
    });
    return true;
}

// y = f(v, z) in the oblique projection: both families of lines, then the axis figure.
bool Pass::drawSurface(const std::string &expression) {
    handles_.zVariable = binding().DefineVar("z As Double", cells_.address(cells_.z()));
    if (!parse(expression, handles_.first)) return false;
    surfaceSweep(true);
    surfaceSweep(false);
    // The axis figure with its letters X, Y and Z.
    const std::array<std::array<float, 4>, 10> figure{{{0, 0, 1, 1},
                                                       {0, 0, 2, 0},
                                                       {0, 0, 0, 2},
                                                       {1.75f, -0.3f, 2, -0.5f},
                                                       {2, -0.3f, 1.75f, -0.5f},
                                                       {-0.5f, 2, -0.4f, 1.9f},
                                                       {-0.5f, 1.75f, -0.3f, 2},
                                                       {1, 0.8f, 1.2f, 0.8f},
                                                       {1, 0.6f, 1.2f, 0.6f},
                                                       {1.2f, 0.8f, 1, 0.6f}}};
    for (const auto &l : figure) c_.line({l[0], l[1]}, {l[2], l[3]});
    return true;
}

// One family of surface lines in the oblique projection, hidden lines removed
// against the horizon: z outside and v inside, or the other way round.
void Pass::surfaceSweep(bool zOuter) {
    const float angle = 0.7f;
    const float cs = std::cos(angle), sn = std::sin(angle);
    std::fill(horizon_.begin(), horizon_.end(), -1000.0);
    const int lastColumn = static_cast<int>(horizon_.size()) - 1;
    double &outer = zOuter ? cells_.z() : cells_.v();
    double &inner = zOuter ? cells_.v() : cells_.z();
    sweep(from_, to_, 2 * step_, [&](double o) {
        outer = o;
        bool visible = false;
        sweep(from_, to_, step_ / 2, [&](double i) {
            inner = i;
            if (!evaluate(handles_.first, y_) || skipNext_) {
                skipNext_ = false;
                return;
            }
            const double v = cells_.v(), z = cells_.z();
            const float px = static_cast<float>(-v * cs + sn * z);
            const float py = y_ * cs + sn * static_cast<float>(z);
            if (!std::isfinite(px) || !std::isfinite(py)) {
                recover();
                skipNext_ = false;
                return;
            }
            double col = std::nearbyint((r_.view.xMax - px) * kx_);
            if (!(col >= 0 && col <= lastColumn)) col = 0;
            double &h = horizon_[size_t(col)];
            if (h >= py) {
                visible = false;
                return;
            }
            drawPoint(px, py, !(visible && s_.connect));
            h = py;
            visible = true;
        });
    });
}

// A coordinate data file, or a picture shown as the background.
bool Pass::drawFile(const std::string &fileName) {
    std::error_code ec;
    if (fileName.empty()) return true;  // the file dialog was cancelled
    if (!std::filesystem::is_regular_file(fileName, ec)) {
        host().messageBox("File not found", 48, "Error");
        return false;
    }
    static constexpr std::array<std::string_view, 9> pictures{
        ".BMP", ".WMF", ".RLE", ".PNG", ".JPG", ".JPEG", ".GIF", ".SVG", ".EMF"};
    for (std::string_view ext : pictures) {
        if (!endsWith(fileName, ext)) continue;
        std::string reason;
        if (!c_.backgroundPicture(fileName, reason)) {
            host().messageBox(reason, 48, "Error");
            return false;
        }
        return true;
    }
    std::ifstream in(fileName, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::vector<PlotPoint> pairs = readCoordinatePairs(text);
    for (size_t i = 0; i < pairs.size(); ++i) {
        const float x = static_cast<float>(pairs[i].x), y = static_cast<float>(pairs[i].y);
        bool newPiece = i == 0;
        if (i > 0) {
            const float px = static_cast<float>(pairs[i - 1].x), py = static_cast<float>(pairs[i - 1].y);
            newPiece = std::fabs(px - x) >= xRange_ / 2 || !s_.connect ||
                       std::fabs(py - y) >= yRange_ / 2;
        }
        drawPoint(x, y, newPiece);
    }
    return true;
}

} // namespace

// One pass of a fresh Pass object (its cells live as long as the pass).
PlotOutcome runPlotPass(PlotCanvas &canvas, const PlotRequest &request, const Settings &settings) {
    Pass pass(canvas, request, settings);
    return pass.run();
}

// Splits at the first "=": the blank-free upper-case kind and the expression.
EquationParts splitEquation(std::string_view equation) {
    const size_t eq = equation.find('=');
    if (eq == std::string_view::npos) return {};
    std::string kind;
    for (char ch : equation.substr(0, eq))
        if (ch != ' ' && ch != '\t') kind += static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    std::string_view rest = equation.substr(eq + 1);
    if (kind == "FILE") {  // a path keeps its case: Linux file names are case-sensitive
        while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
        while (!rest.empty() && rest.back() == ' ') rest.remove_suffix(1);
    }
    return {kind, std::string(rest)};
}

// Numbers between blanks, tabs, commas and line ends, taken two by two.
std::vector<PlotPoint> readCoordinatePairs(std::string_view text) {
    std::vector<PlotPoint> pairs;
    std::vector<double> numbers;
    size_t i = 0;
    auto separator = [](char c) { return c == ' ' || c == '\t' || c == ',' || c == '\r' || c == '\n'; };
    while (i < text.size()) {
        if (separator(text[i])) {
            ++i;
            continue;
        }
        size_t end = i;
        while (end < text.size() && !separator(text[end])) ++end;
        std::string_view token = text.substr(i, end - i);
        if (!token.empty() && token.front() == '+') token.remove_prefix(1);
        double value = 0;
        auto [ptr, ec] = std::from_chars(token.data(), token.data() + token.size(), value);
        if (ec != std::errc() || ptr != token.data() + token.size()) break;
        numbers.push_back(value);
        i = end;
    }
    for (size_t k = 0; k + 1 < numbers.size(); k += 2) pairs.push_back({numbers[k], numbers[k + 1]});
    return pairs;
}

// A leading blank or minus, then the digits without a leading zero (" .5").
std::string tickLabel(float value) {
    char digits[32];
    std::snprintf(digits, sizeof digits, "%.7g", std::fabs(double(value)));
    std::string text = digits;
    if (text.size() > 1 && text[0] == '0' && text[1] == '.') text.erase(0, 1);
    return (value < 0 ? "-" : " ") + text;
}

} // namespace nomix
