// The expressions both engines are measured on, each written once in the Nomix
// language and once in muparser's, with the variable values they run with.
#pragma once
#include <span>
#include <string_view>

namespace bench {

// Expressions that stand for one of the performance targets.
enum class Marker {
    None,
    FortyChars,    // the 40-character expression of the compile-time target
    TenOperations  // the 10-operation expression of the heap target
};

struct Expression {
    std::string_view nomix;
    std::string_view muparser;
    Marker marker = Marker::None;
};

// The variables every expression may use, with the values both engines see.
struct VariableValues {
    double a = 1.1;
    double b = 2.2;
    double c = 3.3;
    double x = 0.5;
};
inline constexpr VariableValues kValues{};

std::span<const Expression> expressions();

// The plot-style loop: y = sin(x)*x^2 over [kPlotFrom, kPlotFrom + kPlotSpan).
inline constexpr Expression kPlotExpression{"Sin(x)*x^2", "sin(x)*x^2"};
inline constexpr int kPlotPoints = 100000;
inline constexpr double kPlotFrom = -10.0;
inline constexpr double kPlotSpan = 20.0;
// The x of plot point i.
inline double plotX(int i) { return kPlotFrom + kPlotSpan * i / kPlotPoints; }

} // namespace bench
