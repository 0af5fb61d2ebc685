// A host for core tests: message boxes are recorded and answered OK, input
// boxes answer their default, waits return at once.
#pragma once
#include <string>
#include <vector>

#include "shell/host.h"

namespace nomix::testing {

class BoxHost : public Host {
public:
    std::vector<std::string> boxes;
    int messageBox(const std::string &prompt, int, const std::string &) override {
        boxes.push_back(prompt);
        return 1;
    }
    std::string inputBox(const std::string &, const std::string &, const std::string &defaultText) override {
        return defaultText;
    }
    void doEvents() override {}
    void sleepMs(int) override {}
    bool closing() const override { return false; }
};

} // namespace nomix::testing
