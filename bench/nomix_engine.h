// The Nomix side of the benchmarks: one engine per process with the calculator
// language, the application's set-up and the benchmark's own definitions (the
// constants pi and e, and the variables a, b, c and x bound by address).
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app_setup.h"
#include "shell/bootscript.h"

namespace bench {

// Variables the engine reads in place; they live in the engine heap.
struct BoundVariables {
    double a, b, c, x;
};

class NomixEngine {
public:
    // The engine of this process, set up on first use.
    static NomixEngine &instance();

    // Compiles an expression with a Double result: a handle, or 0 on failure.
    intptr_t parse(std::string_view text) const;
    void release(intptr_t expr) const;
    // The current error of the default thread as "error N: message".
    std::string lastError() const;

    BoundVariables &variables() const { return *variables_; }
    const nomix::BootSender &sender() const { return *sender_; }
    intptr_t doubleType() const { return sender_->keptType(nomix::KeptType::Double); }
    // Whatever went wrong while the language was sent (empty when all is well).
    const std::vector<std::string> &setupProblems() const { return problems_; }

private:
    NomixEngine();

    std::unique_ptr<nomix::BootSender> sender_;
    BoundVariables *variables_ = nullptr;
    std::vector<std::string> problems_;
};

// A compiled expression, released when it goes out of scope.
class CompiledExpression {
public:
    explicit CompiledExpression(std::string_view text)
        : handle_(NomixEngine::instance().parse(text)) {}
    ~CompiledExpression() { NomixEngine::instance().release(handle_); }
    CompiledExpression(const CompiledExpression &) = delete;
    CompiledExpression &operator=(const CompiledExpression &) = delete;

    intptr_t handle() const { return handle_; }
    explicit operator bool() const { return handle_ != 0; }

private:
    intptr_t handle_;
};

// Sends the first phase (the language file) through a sender. Problems found
// on the way are appended as text.
void defineLanguage(nomix::BootSender &sender, std::vector<std::string> &problems);

// Describes the set-up problems of the application's definitions as text.
void describeSetupProblems(const std::vector<SetupProblem> &found, std::vector<std::string> &problems);

} // namespace bench
