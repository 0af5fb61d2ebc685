// The program's directory: where Nomix keeps the start-up script, settings,
// sessions and tables, and the current directory while it runs.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace nomix {

// The files shipped for a new program's directory (a directory: help/).
const std::vector<std::filesystem::path> &shippedFiles();

// The program's directory: $NOMIX_HOME, else the --home directory, else the
// executable's directory when it is writable and holds Nomix.nx (a build tree or
// a portable copy), else $XDG_DATA_HOME/nomix (~/.local/share/nomix).
std::filesystem::path programDirectory(const std::optional<std::filesystem::path> &home);

// Creates the directory when missing and, when it holds no Nomix.nx yet, copies
// the shipped files into it (existing files are never overwritten). Returns the
// problems met, empty when all went well.
std::vector<std::string> prepareProgramDirectory(const std::filesystem::path &dir);

} // namespace nomix
