// Fuzz target: the module file reader ("nomix.usm"). Whatever a file holds, the
// modules read from it must be writable and must read back unchanged from what
// is written, within the limits of modules and fields.
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "tools/modulefile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string_view text(reinterpret_cast<const char *>(data), size);
    std::vector<nomix::Module> read;
    nomix::readModules(text, read);
    if (read.size() > nomix::kMaxModules) fuzz::finding("more modules than the limit");
    for (const nomix::Module &m : read)
        if (m.fields.size() > nomix::kMaxModuleFields) fuzz::finding("more fields than the limit");
    if (!nomix::moduleWriteProblems(read).empty()) fuzz::finding("modules as read cannot be written");

    const std::string written = nomix::modulesText(read);
    std::vector<nomix::Module> again;
    nomix::ReadReport reload = nomix::readModules(written, again);
    if (!reload.problems.empty()) {
        std::fprintf(stderr, "first problem: %s\n", reload.problemText().c_str());
        fuzz::finding("the modules as written do not read back without problems");
    }
    if (!(again == read)) fuzz::finding("the modules changed on writing and reading back");
    return 0;
}
