#include "cli/clihost.h"

#include <chrono>
#include <ostream>
#include <thread>

#include "shell/calculator.h"

namespace nomix {

// CR and CR LF become newlines; error boxes say so on their first line.
std::string boxText(const std::string &prompt, const std::string &title) {
    std::string text = title == "Error" ? "Error: " + prompt : prompt;
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

// Every box is shown as text and answered as if OK was pressed.
int CliHost::messageBox(const std::string &prompt, int, const std::string &title) {
    err_ << boxText(prompt, title) << std::endl;
    return 1;
}

// No one to ask: the default text is the answer.
std::string CliHost::inputBox(const std::string &, const std::string &, const std::string &defaultText) {
    return defaultText;
}

// Waits really sleep, so Delay takes its time.
void CliHost::sleepMs(int milliseconds) {
    if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

// The calculator's input line and its parameter boxes are the controls here.
bool CliHost::resolveControl(const ControlRef &control) {
    return calculator_ && (control.name == "EXPRESSION" || control.name == "FROM" || control.name == "TO");
}

// The text of the input line or a parameter box.
std::string CliHost::controlText(const ControlRef &control) const {
    if (!calculator_) return {};
    if (control.name == "EXPRESSION") return calculator_->input();
    if (control.name == "FROM") return calculator_->parameters()[0];
    if (control.name == "TO") return calculator_->parameters()[1];
    return {};
}

// Sets the input line or a parameter box.
void CliHost::setControlText(const ControlRef &control, const std::string &text, size_t) {
    if (!calculator_) return;
    if (control.name == "EXPRESSION") calculator_->setInput(text);
    if (control.name == "FROM") calculator_->parameters()[0] = text;
    if (control.name == "TO") calculator_->parameters()[1] = text;
}

} // namespace nomix
