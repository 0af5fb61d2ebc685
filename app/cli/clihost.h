// The host of nomixcli: message boxes and error boxes go to standard error,
// input boxes answer their default text, the calculator's input line is the
// only control, and window operations do nothing visible.
#pragma once

#include <iosfwd>

#include "shell/host.h"

namespace nomix {

class Calculator;

class CliHost : public Host {
public:
    CliHost(std::ostream &err, Calculator *calculator = nullptr) : err_(err), calculator_(calculator) {}
    void setCalculator(Calculator *calculator) { calculator_ = calculator; }

    int messageBox(const std::string &prompt, int buttons, const std::string &title) override;
    std::string inputBox(const std::string &prompt, const std::string &title,
                         const std::string &defaultText) override;
    void doEvents() override {}
    void sleepMs(int milliseconds) override;
    bool closing() const override { return false; }

    bool resolveControl(const ControlRef &control) override;
    std::string controlText(const ControlRef &control) const override;
    void setControlText(const ControlRef &control, const std::string &text, size_t caret) override;

private:
    std::ostream &err_;
    Calculator *calculator_;
};

// A box's text for a terminal: its CR line ends as newlines, the first line of
// an error box prefixed "Error: ".
std::string boxText(const std::string &prompt, const std::string &title);

} // namespace nomix
