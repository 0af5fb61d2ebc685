// The solver modules' file ("nomix.usm"): each module a block of keyword lines
// with one parameter block per field. Reading keeps going past anything it does
// not know and reports it; writing produces the exact block form.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "tools/textfile.h"

namespace nomix {

// One field of a module's form: the variable it sets, and how it is shown.
struct ModuleField {
    std::string variable, caption, format, constraints, details;
    bool operator==(const ModuleField &) const = default;
};

// A module: the formula ("left = right") and the fields, at most kMaxModuleFields.
struct Module {
    std::string name, formula, description;
    std::vector<ModuleField> fields;
    bool operator==(const Module &) const = default;
};

inline constexpr size_t kMaxModuleFields = 17;
// A file with more modules is read up to this many; the rest is reported.
inline constexpr size_t kMaxModules = 10000;

// The module file the modules window loads at start.
inline constexpr std::string_view kModuleFile = "nomix.usm";

// Appends the modules of the text (any line ends, any bytes). Keywords compare
// without case; blank lines are ignored anywhere. Unknown keyword lines, lines
// outside a block, a repeated keyword, fields beyond the 17th and blocks left
// open are reported, and reading goes on; a block cut off by the end of the
// file keeps what it had.
ReadReport readModules(std::string_view text, std::vector<Module> &modules);

// Appends the modules of a file. A missing file leaves the report Missing; an
// unreadable one Unreadable with its reason as the message.
ReadReport loadModules(const std::filesystem::path &file, std::vector<Module> &modules);

// "N module(s) imported", what an import reports.
std::string importedMessage(size_t count);

// The file text: the blocks in list order, one empty line between blocks,
// CR LF line ends.
std::string modulesText(const std::vector<Module> &modules);

// Why the modules cannot be written so that they read back the same (one
// reason a line), empty when they can.
std::vector<std::string> moduleWriteProblems(const std::vector<Module> &modules);

// Writes the modules atomically. Modules that would not read back the same are
// not written; an existing file that was not fully read is kept as file + ".bak".
SaveOutcome saveModules(const std::filesystem::path &file, const std::vector<Module> &modules);

} // namespace nomix
