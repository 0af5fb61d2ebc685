#include "shell/programdir.h"

#include <cstdlib>
#include <system_error>
#include <unistd.h>

#include "shell/bootscript.h"

namespace fs = std::filesystem;

namespace nomix {

namespace {

// An environment variable, or nullopt when unset or empty.
std::optional<std::string> env(const char *name) {
    const char *v = std::getenv(name);
    if (!v || !*v) return std::nullopt;
    return std::string(v);
}

// The directory of the running executable, if it can be found.
std::optional<fs::path> executableDirectory() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return std::nullopt;
    return exe.parent_path();
}

// A build tree or portable copy: Nomix.nx beside the program, and writable.
bool usableAsHome(const fs::path &dir) {
    std::error_code ec;
    return fs::is_regular_file(dir / "Nomix.nx", ec) && ::access(dir.c_str(), W_OK) == 0;
}

// Copies one shipped file or directory unless the target exists.
void seedOne(const fs::path &relative, const fs::path &dir, std::vector<std::string> &problems) {
    std::error_code ec;
    fs::path target = dir / relative;
    if (fs::exists(target, ec)) return;
    for (const fs::path &data : dataDirectories()) {
        fs::path source = data / relative;
        if (!fs::exists(source, ec)) continue;
        fs::copy(source, target, fs::copy_options::recursive, ec);
        if (ec) problems.push_back("cannot copy " + source.string() + ": " + ec.message());
        return;
    }
}

} // namespace

// What a new program's directory receives.
const std::vector<fs::path> &shippedFiles() {
    static const std::vector<fs::path> files = {"Nomix.nx", "UserDefs.nx", "nomix.cnv", "nomix.usm", "help"};
    return files;
}

// The first of the places in order of precedence.
fs::path programDirectory(const std::optional<fs::path> &home) {
    if (auto dir = env("NOMIX_HOME")) return *dir;
    if (home) return *home;
    if (auto exe = executableDirectory(); exe && usableAsHome(*exe)) return *exe;
    if (auto data = env("XDG_DATA_HOME")) return fs::path(*data) / "nomix";
    fs::path base = env("HOME").value_or(".");
    return base / ".local" / "share" / "nomix";
}

// Creates and, when new, seeds the directory.
std::vector<std::string> prepareProgramDirectory(const fs::path &dir) {
    std::vector<std::string> problems;
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) {
        problems.push_back("cannot create " + dir.string() + ": " + ec.message());
        return problems;
    }
    if (fs::exists(dir / "Nomix.nx", ec)) return problems;
    for (const fs::path &file : shippedFiles()) seedOne(file, dir, problems);
    return problems;
}

} // namespace nomix
