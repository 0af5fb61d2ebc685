// The drawing pass of the graph window: axes, ticks and labels, then every
// shown equation row in its colour (Cartesian, polar, parametric, 3D surface,
// coordinate data or picture file), then the title and the x label. Every value
// is computed by the engine: each equation is parsed once and evaluated point by
// point while the pass writes the sampled variable into a double that the engine
// reads by address. The pass draws through a PlotCanvas, so the window, the
// printer, SVG files and tests share it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "shell/settings.h"
#include "tools/plotcanvas.h"

namespace nomix {

// One row of the equation list as the pass reads it.
struct PlotRow {
    std::string equation;  // kind key, "=", expression: "y=x^2", "File=/tmp/a.dat"
    std::string variable;  // the sampled variable
    std::string from, to;  // expressions; empty takes the view's x limits
    bool show = true;
    BgrColor color = 0;
};

struct PlotRequest {
    PlotView view;
    std::vector<PlotRow> rows;
    // The window's drawing width in pixels: the surface's horizon columns follow
    // from it (also when printing).
    int widthPx = 454;
    int heightPx = 303;
    // Collect every drawn point as coordinate data (PlotOutcome::coordinates).
    bool saveCoordinates = false;
    // Draw this file instead of the equation list (in row 0's colour).
    bool fileMode = false;
    std::string fileName;
};

struct PlotOutcome {
    // The error exit: a parse error (its message was shown by the engine's error
    // handler) or a data file that could not be read (shown by the pass).
    bool failed = false;
    int failingRow = -1;
    // "x,y" lines (CR LF) of every drawn point, when saving.
    std::string coordinates;
};

// Runs one pass. The graph settings (grid, connect, axis numbers, step, title,
// labels) come from `settings`; the engine is the process-wide binding, put in
// plot mode (floating-point faults trap) for the pass's duration.
PlotOutcome runPlotPass(PlotCanvas &canvas, const PlotRequest &request, const Settings &settings);

// The kind of an equation: the blank-free, upper-cased text before its first
// "=" ("Y", "R", "X", "F(X,Z)", "FILE"), and the expression after it. No "="
// gives an empty kind, which draws nothing.
struct EquationParts {
    std::string kind;
    std::string expression;
};
EquationParts splitEquation(std::string_view equation);

// Number pairs of a coordinate data file: numbers separated by blanks, tabs,
// commas or line ends. Reading stops at the first text that is not a number; a
// last number without its partner is dropped.
std::vector<PlotPoint> readCoordinatePairs(std::string_view text);

// A tick label as the classic print routine writes a number: a leading blank
// for values >= 0, a minus sign otherwise (" 5", "-10", " .5").
std::string tickLabel(float value);

} // namespace nomix
