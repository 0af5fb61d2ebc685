// Setting up the engine the way the calculator does, then the definitions the
// benchmark expressions need.
#include "nomix_engine.h"

#include <cstdio>
#include <numbers>

#include "expressions.h"
#include "nxeng296.h"
#include "shell/bootstrap.h"

namespace bench {
namespace {

// A number as definition text with every digit a double needs, so the constant
// the engine reads is exactly the one muparser gets.
std::string exactText(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

// The application's process-wide binding, through which everything is sent.
nomix::Binding &engineBinding() { return nomix::binding(); }

} // namespace

// Phase 1 as the binding runs it before the first command.
void defineLanguage() { engineBinding().EnsureLanguage(); }

// Phase 2, the application's own definitions.
void defineApplication() { nomix::DefineApplicationLanguage(engineBinding()); }

// One engine per process: the language can only be built once.
NomixEngine &NomixEngine::instance() {
    static NomixEngine engine;
    return engine;
}

// Both phases, then the constants and the variables bound by address.
NomixEngine::NomixEngine() {
    defineLanguage();
    problems_ = nomix::languageProblems();
    defineApplication();
    if (int32_t error = engineBinding().ErrorCode())
        problems_.push_back("application set-up left error " + std::to_string(error));
    defineConstant("pi", std::numbers::pi);
    defineConstant("e", std::numbers::e);
    variables_ = static_cast<BoundVariables *>(nxAlloc(sizeof(BoundVariables)));
    if (!variables_) {
        problems_.push_back("no engine heap for the variables");
        static BoundVariables unbound;  // keeps the program alive to report it
        variables_ = &unbound;
        return;
    }
    *variables_ = {kValues.a, kValues.b, kValues.c, kValues.x};
    bindVariable("a", &variables_->a);
    bindVariable("b", &variables_->b);
    bindVariable("c", &variables_->c);
    bindVariable("x", &variables_->x);
}

// A Double constant with the exact value muparser gets.
void NomixEngine::defineConstant(std::string_view name, double value) {
    engineBinding().Define("Const: " + std::string(name) + " = " + exactText(value));
    if (int32_t error = engineBinding().ErrorCode())
        problems_.push_back("constant " + std::string(name) + ": error " + std::to_string(error));
}

// A Double variable the engine reads in place at that address.
void NomixEngine::bindVariable(std::string_view name, double *cell) {
    engineBinding().DefineVar(std::string(name) + " As Double", reinterpret_cast<intptr_t>(cell));
    if (int32_t error = engineBinding().ErrorCode())
        problems_.push_back("variable " + std::string(name) + ": error " + std::to_string(error));
}

// Compiles with the Double result type, which nxEvaluateDbl reads.
intptr_t NomixEngine::parse(std::string_view text) const { return engineBinding().Parse(text, doubleType()); }

// Releases a compiled expression; 0 (a failed parse) is ignored.
void NomixEngine::release(intptr_t expr) const {
    if (expr) engineBinding().Release(expr);
}

// The error code and its message, for the check's report.
std::string NomixEngine::lastError() const {
    int32_t code = engineBinding().ErrorCode();
    return "error " + std::to_string(code) + ": " + engineBinding().ErrorText(code);
}

// The handle kept from the Double type's definition.
intptr_t NomixEngine::doubleType() const { return engineBinding().keptType(nomix::KeptType::Double); }

// The address in a routine-table slot, 0 when empty.
intptr_t NomixEngine::routineAddress(int slot) const { return engineBinding().RoutineAddress(slot); }

} // namespace bench
