// The value check that guards every timing: a figure of an expression the two
// engines disagree on would compare different work.
#include "check.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include "nomix_engine.h"
#include "nxeng296.h"
#include "peer.h"

namespace bench {
namespace {

// A double with every digit, for messages about values that differ.
std::string numberText(double v) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
}

// The verdict on two values that both engines produced.
void compare(ValueCheck &check) {
    if (!sameValue(check.nomix, check.peer))
        check.problem = "values differ: Nomix " + numberText(check.nomix) + ", muparser " + numberText(check.peer);
}

} // namespace

// Relative, since the values range over several orders of magnitude.
bool sameValue(double x, double y) {
    if (x == y) return true;
    if (!std::isfinite(x) || !std::isfinite(y)) return false;
    return std::fabs(x - y) <= 1e-12 * std::max(std::fabs(x), std::fabs(y));
}

// Compiles the expression in both engines and compares one evaluation.
ValueCheck checkExpression(const Expression &e) {
    ValueCheck check;
    CompiledExpression expr(e.nomix);
    if (!expr) {
        check.problem = "Nomix does not compile it (" + NomixEngine::instance().lastError() + ")";
        return check;
    }
    PeerExpression peer(e.muparser);
    if (!peer.ok()) {
        check.problem = "muparser does not compile it (" + peer.error() + ")";
        return check;
    }
    check.nomix = nxEvaluateDbl(expr.handle());
    check.peer = peer.eval();
    compare(check);
    return check;
}

// Every point of the plot pass, in both engines, with x written in place.
ValueCheck checkPlotLoop() {
    ValueCheck check = checkExpression(kPlotExpression);
    if (!check.agree()) return check;
    CompiledExpression expr(kPlotExpression.nomix);
    PeerExpression peer(kPlotExpression.muparser);
    double &nomixX = NomixEngine::instance().variables().x;
    double &peerX = peerVariables().x;
    for (int i = 0; i < kPlotPoints && check.agree(); ++i) {
        nomixX = peerX = plotX(i);
        check.nomix = nxEvaluateDbl(expr.handle());
        check.peer = peer.eval();
        compare(check);
        if (!check.agree()) check.problem += " at x = " + numberText(plotX(i));
    }
    nomixX = peerX = kValues.x;
    return check;
}

// Benchmarks run their function several times; the check is done only once.
const ValueCheck &checkedExpression(const Expression &e) {
    static std::map<std::string_view, ValueCheck> done;
    auto found = done.find(e.nomix);
    if (found == done.end()) found = done.emplace(e.nomix, checkExpression(e)).first;
    return found->second;
}

// The plot check, once per process: it evaluates 200,000 times.
const ValueCheck &checkedPlotLoop() {
    static const ValueCheck done = checkPlotLoop();
    return done;
}

} // namespace bench
