// What the tool windows' own files (".add", ".sum", ".con") share: they are
// plain line files, read back in the order they were written. Reading takes
// any bytes; writing goes through the atomic replaceFile.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/textfile.h"

namespace nomix {

class Binding;

// The lines of a tool file's text (any line ends, Latin-1 or UTF-8), at most
// `limit` of them; the rest is reported as not read.
std::vector<std::string> toolFileLines(std::string_view text, size_t limit, ReadReport &report);

// Reads a tool file into lines; the report says whether it was there and readable.
ReadReport loadToolFileLines(const std::filesystem::path &file, size_t limit,
                             std::vector<std::string> &lines);

// The lines joined with CR LF, each line ended.
std::string joinToolLines(const std::vector<std::string> &lines);

// Writes the lines atomically. A value holding a line break cannot be written
// back as one line: its breaks become blanks rather than shifting every later line.
SaveOutcome saveToolFileLines(const std::filesystem::path &file, std::vector<std::string> lines);

// A double cell in the engine heap, where the engine may bind a variable by
// address (the engine's addresses must fit in 31 bits).
class EngineCell {
public:
    EngineCell();
    ~EngineCell();
    EngineCell(const EngineCell &) = delete;
    EngineCell &operator=(const EngineCell &) = delete;
    double &value() { return *cell_; }
    intptr_t address() const { return reinterpret_cast<intptr_t>(cell_); }

private:
    double *cell_;
};

// Releases an engine item (a variable, a parse) when the scope ends, however it ends.
class ItemGuard {
public:
    ItemGuard(Binding &b, intptr_t h) : b_(b), h_(h) {}
    ~ItemGuard();
    ItemGuard(const ItemGuard &) = delete;
    ItemGuard &operator=(const ItemGuard &) = delete;

private:
    Binding &b_;
    intptr_t h_;
};

// A name a tool may define as a variable: a letter or "_" first, then letters,
// digits and "_". Anything more ("x At 4096") would reach the definition
// language itself, so it is never sent.
bool isVariableName(std::string_view name);

// The value of an expression through the engine's default context, or nullopt
// when the engine reported an error (its handler has shown it already).
std::optional<double> evaluateNumber(Binding &b, const std::string &expression);

} // namespace nomix
