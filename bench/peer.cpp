// muparser set up with the same constants and variables as the engine.
#include "peer.h"

#include <muParser.h>
#include <numbers>

#include "expressions.h"

namespace bench {

// muparser's variables, set to the same values as the engine's.
PeerVariables &peerVariables() {
    static PeerVariables variables{kValues.a, kValues.b, kValues.c, kValues.x};
    return variables;
}

// A parser with pi, e and the four variables; muparser reports errors by exception.
PeerExpression::PeerExpression(std::string_view text) : parser_(std::make_unique<mu::Parser>()) {
    PeerVariables &v = peerVariables();
    try {
        parser_->DefineConst("pi", std::numbers::pi);
        parser_->DefineConst("e", std::numbers::e);
        parser_->DefineVar("a", &v.a);
        parser_->DefineVar("b", &v.b);
        parser_->DefineVar("c", &v.c);
        parser_->DefineVar("x", &v.x);
        recompile(text);
    } catch (const mu::Parser::exception_type &e) {
        error_ = e.GetMsg();
    }
}

// Out of line, where mu::Parser is complete.
PeerExpression::~PeerExpression() = default;

// muparser checks the expression and builds its bytecode on the first Eval
// after SetExpr; later calls run the bytecode.
double PeerExpression::recompile(std::string_view text) {
    parser_->SetExpr(std::string(text));
    return parser_->Eval();
}

// One evaluation; an error is kept and gives 0.
double PeerExpression::eval() {
    if (!ok()) return 0;
    try {
        return parser_->Eval();
    } catch (const mu::Parser::exception_type &e) {
        error_ = e.GetMsg();
        return 0;
    }
}

} // namespace bench
