// Both engines must agree on a value before it is timed.
#pragma once
#include <string>

#include "expressions.h"

namespace bench {

// Equal within 1e-12 relative (exactly equal for zero); NaNs never agree.
bool sameValue(double x, double y);

struct ValueCheck {
    double nomix = 0;
    double peer = 0;
    std::string problem;  // empty when both compiled and agree
    bool agree() const { return problem.empty(); }
};

// Compiles and evaluates the expression in both engines and compares.
ValueCheck checkExpression(const Expression &e);
// Compares every point of the plot loop; reports the first that differs.
ValueCheck checkPlotLoop();

// The same, done once per process: benchmarks ask before every run.
const ValueCheck &checkedExpression(const Expression &e);
const ValueCheck &checkedPlotLoop();

} // namespace bench
