// The Nomix side of the benchmarks: the engine as the calculator sets it up
// (both language phases through the binding layer), plus the benchmark's own
// definitions: the constants pi and e, and the variables a, b, c and x bound by
// address.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "shell/binding.h"

namespace bench {

// Variables the engine reads in place; they live in the engine heap.
struct BoundVariables {
    double a, b, c, x;
};

// Runs the language bootstrap (phase 1) unless it already ran.
void defineLanguage();
// Runs the application set-up (phase 2); the first phase runs first if needed.
void defineApplication();

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
    intptr_t doubleType() const;
    intptr_t routineAddress(int slot) const;
    // Whatever went wrong while the language was built (empty when all is well).
    const std::vector<std::string> &setupProblems() const { return problems_; }

private:
    NomixEngine();
    void defineConstant(std::string_view name, double value);
    void bindVariable(std::string_view name, double *cell);

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

} // namespace bench
