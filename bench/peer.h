// muparser, the peer: one parser per expression, bound to variables of its own
// that hold the same values as the engine's, evaluated through its bytecode.
#pragma once
#include <memory>
#include <string>
#include <string_view>

namespace mu {
class Parser;
}

namespace bench {

struct PeerVariables {
    double a, b, c, x;
};
// The variables every peer parser reads.
PeerVariables &peerVariables();

class PeerExpression {
public:
    // Compiles the text; ok() tells whether muparser accepted it.
    explicit PeerExpression(std::string_view text);
    ~PeerExpression();
    PeerExpression(const PeerExpression &) = delete;
    PeerExpression &operator=(const PeerExpression &) = delete;

    bool ok() const { return error_.empty(); }
    const std::string &error() const { return error_; }
    // One evaluation; 0 when the text was not accepted.
    double eval();
    // Sets a new text and evaluates it once, which builds its bytecode.
    double recompile(std::string_view text);

private:
    std::unique_ptr<mu::Parser> parser_;
    std::string error_;
};

} // namespace bench
