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

nomix::Binding &engineBinding() { return nomix::binding(); }

} // namespace

void defineLanguage() { engineBinding().EnsureLanguage(); }

void defineApplication() { nomix::DefineApplicationLanguage(engineBinding()); }

NomixEngine &NomixEngine::instance() {
    static NomixEngine engine;
    return engine;
}

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

void NomixEngine::defineConstant(std::string_view name, double value) {
    engineBinding().Define("Const: " + std::string(name) + " = " + exactText(value));
    if (int32_t error = engineBinding().ErrorCode())
        problems_.push_back("constant " + std::string(name) + ": error " + std::to_string(error));
}

void NomixEngine::bindVariable(std::string_view name, double *cell) {
    engineBinding().DefineVar(std::string(name) + " As Double", reinterpret_cast<intptr_t>(cell));
    if (int32_t error = engineBinding().ErrorCode())
        problems_.push_back("variable " + std::string(name) + ": error " + std::to_string(error));
}

intptr_t NomixEngine::parse(std::string_view text) const { return engineBinding().Parse(text, doubleType()); }

void NomixEngine::release(intptr_t expr) const {
    if (expr) engineBinding().Release(expr);
}

std::string NomixEngine::lastError() const {
    int32_t code = engineBinding().ErrorCode();
    return "error " + std::to_string(code) + ": " + engineBinding().ErrorText(code);
}

intptr_t NomixEngine::doubleType() const { return engineBinding().keptType(nomix::KeptType::Double); }

intptr_t NomixEngine::routineAddress(int slot) const { return engineBinding().RoutineAddress(slot); }

} // namespace bench
