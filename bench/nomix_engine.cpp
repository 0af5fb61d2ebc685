// Setting up the engine the way the calculator does, then the definitions the
// benchmark expressions need.
#include "nomix_engine.h"

#include <cmath>
#include <cstdio>
#include <numbers>

#include "expressions.h"
#include "nxeng296.h"

namespace bench {
namespace {

// A number as definition text with every digit a double needs, so the constant
// the engine reads is exactly the one muparser gets.
std::string exactText(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

// The engine's text result behind a token, copied at once.
std::string textResult(intptr_t token) {
    const char *text = token ? nxStrReturnB(token) : nullptr;
    return text ? std::string(text, nxStrLen(text)) : std::string();
}

// Defines a variable of type Double at an address of the engine heap.
void bindVariable(const nomix::BootSender &sender, std::string_view name, double *cell,
                  std::vector<std::string> &problems) {
    sender.call(nx_Define, "Var: " + std::string(name) + " As Double At " +
                               std::to_string(reinterpret_cast<intptr_t>(cell)));
    if (int32_t error = sender.errorCode())
        problems.push_back("variable " + std::string(name) + ": error " + std::to_string(error));
}

} // namespace

void defineLanguage(nomix::BootSender &sender, std::vector<std::string> &problems) {
    auto file = nomix::findLanguageFile();
    if (!file) {
        problems.push_back("the language file data/language/phase1.nxl was not found");
        return;
    }
    nomix::BootScript script = nomix::readBootScriptFile(*file);
    for (const nomix::BootProblem &p : script.problems)
        problems.push_back("language file line " + std::to_string(p.line) + ": " + p.message);
    for (const nomix::SendResult &r : sender.sendAll(script.commands))
        if (r.status != nomix::SendStatus::Sent || r.error != 0)
            problems.push_back("language file line " + std::to_string(r.line) + ": error " +
                               std::to_string(r.error));
}

void describeSetupProblems(const std::vector<SetupProblem> &found, std::vector<std::string> &problems) {
    for (const SetupProblem &p : found)
        problems.push_back("application set-up step " + std::to_string(p.step) + ": error " +
                           std::to_string(p.error));
}

NomixEngine &NomixEngine::instance() {
    static NomixEngine engine;
    return engine;
}

NomixEngine::NomixEngine() : sender_(std::make_unique<nomix::BootSender>(&Nomix)) {
    defineLanguage(*sender_, problems_);
    describeSetupProblems(defineApplicationLanguage(*sender_), problems_);

    for (const auto &[name, value] : {std::pair{"pi", std::numbers::pi}, std::pair{"e", std::numbers::e}}) {
        sender_->call(nx_Define, "Const: " + std::string(name) + " = " + exactText(value));
        if (int32_t error = sender_->errorCode())
            problems_.push_back("constant " + std::string(name) + ": error " + std::to_string(error));
    }
    variables_ = static_cast<BoundVariables *>(nxAlloc(sizeof(BoundVariables)));
    if (!variables_) {
        problems_.push_back("no engine heap for the variables");
        static BoundVariables fallback;  // keeps the benchmark alive to report it
        variables_ = &fallback;
        return;
    }
    *variables_ = {kValues.a, kValues.b, kValues.c, kValues.x};
    bindVariable(*sender_, "a", &variables_->a, problems_);
    bindVariable(*sender_, "b", &variables_->b, problems_);
    bindVariable(*sender_, "c", &variables_->c, problems_);
    bindVariable(*sender_, "x", &variables_->x, problems_);
}

intptr_t NomixEngine::parse(std::string_view text) const {
    return sender_->call(nx_Parse, text, doubleType());
}

void NomixEngine::release(intptr_t expr) const {
    if (expr) sender_->callNoText(nx_ReleaseItem, expr);
}

std::string NomixEngine::lastError() const {
    int32_t code = sender_->errorCode();
    return "error " + std::to_string(code) + ": " + textResult(sender_->callNoText(nx_GetErrorMessage, code));
}

} // namespace bench
