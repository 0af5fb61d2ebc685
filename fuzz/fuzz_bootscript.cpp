// Fuzz target: the boot-script reader (data/language/*.nxl), the application's
// first file reader. Each further reader gets a target of its own.
#include <string_view>

#include "fuzz_support.h"

namespace {

// Every command read must come from a line of the text, and every problem too.
void readBootScript(std::string_view text) {
    nomix::BootScript script = nomix::parseBootScript(text);
    int lines = 1;
    for (char c : text) lines += c == '\n';
    for (const auto &command : script.commands) {
        if (command.line < 1 || command.line > lines) fuzz::finding("a command from no line");
        if (command.args.size() > 3) fuzz::finding("more than three arguments");
    }
    for (const auto &problem : script.problems)
        if (problem.line < 1 || problem.line > lines) fuzz::finding("a problem on no line");
    for (const auto &command : script.commands)
        if (command.kind == nomix::BootCommandKind::Define) (void)nomix::definedTypeName(command.text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    readBootScript(std::string_view(reinterpret_cast<const char *>(data), size));
    return 0;
}
