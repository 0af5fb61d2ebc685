// Scripts in the calculator's own language: the script loader ("LOAD" lines and
// the start-up script) and the state of the script natives (programmable
// buttons, favourites, the reminder, the user timer, waiting for input).
#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "shell/host.h"

namespace nomix {

class Binding;

// What the script natives keep between calls.
struct ScriptState {
    static constexpr int kFavorites = 21;  // favourite entries 0 .. 20
    std::array<std::string, kFavorites> favoriteCodes;
    std::string reminder;     // the reminder text as set
    int reminderStep = 0;     // k of the scrolling: 0 .. 19
    int timerIntervalMs = 0;  // the main window's user timer, 0 when off
    bool waiting = false;     // WaitForInput is running
};

// The reminder as shown right after SetReminder: 20 blanks, then the text.
void setReminder(ScriptState &state, Host &host, std::string_view text);
// One tick of the reminder timer: k = (k + 1) mod 20, shows 20 - k blanks and the text.
std::string reminderTick(ScriptState &state, Host &host);

// A script control name: "EXPRESSION", "number+2" (any case, "+" and an index for
// control arrays). nullopt for names that are not in the control-name list.
std::optional<ControlRef> parseControlName(std::string_view name);

// Runs a "LOAD" command line: the file name, start label and end label are the
// next three tokens after LOAD, each evaluated as text.
void RunScript(Binding &b, std::string_view command);

// Runs a script file from the line after the start label (from the first line
// when empty) to the end label (to the end when empty). False when the file
// cannot be opened.
bool runScriptFile(Binding &b, const std::filesystem::path &file, std::string_view startLabel = {},
                   std::string_view endLabel = {});

// Runs one statement as the script loader does: parse, automatic definition,
// evaluation, release. The result text is returned (scripts ignore it).
std::string runStatement(Binding &b, std::string_view statement);

// Phase 2, step 5: the script natives, each bound to its callback.
void defineScriptNatives(Binding &b);

} // namespace nomix
