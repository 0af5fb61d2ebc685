// Fuzz target: the settings reader ("nomix.def"). Whatever a file holds, the
// settings read from it must survive being written and read back unchanged:
// otherwise saving would silently change the user's options.
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "shell/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string_view text(reinterpret_cast<const char *>(data), size);
    nomix::Settings read;
    nomix::readSettings(text, read);

    const std::string written = nomix::settingsText(read);
    nomix::Settings again;
    nomix::SettingsLoad reload = nomix::readSettings(written, again);
    if (!reload.problems.empty()) {
        std::fprintf(stderr, "first problem: %s\n", reload.problems.front().c_str());
        fuzz::finding("the settings as written do not read back without problems");
    }
    if (!(again == read)) fuzz::finding("the settings changed on writing and reading back");
    return 0;
}
