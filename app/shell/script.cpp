#include "shell/script.h"

#include <cctype>
#include <fstream>

#include "nxeng296.h"
#include "shell/binding.h"
#include "shell/bootstrap.h"

namespace nomix {

namespace {

constexpr int kReminderWidth = 20;
// Scripts that load each other in a circle would recurse until the stack runs
// out; deeper nesting than this is refused with an error box.
constexpr int kMaxScriptDepth = 32;
// Scripts that load each other twice or more multiply within that depth
// (2^32 runs for a script that loads itself twice): one LOAD typed by the user
// opens at most this many files.
constexpr int kMaxScriptsPerLoad = 10000;
int scriptDepth = 0;
int scriptsOpened = 0;

// ASCII upper case, for the case-blind keywords and control names.
std::string upper(std::string_view s) {
    std::string out(s);
    for (char &c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// The text without blanks and tabs at either end.
std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// A script line as application text: files are 8-bit Latin-1 by design, but a
// file written as UTF-8 on Linux is read as UTF-8.
std::string lineText(std::string line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return isValidUtf8(line) ? line : fromLatin1(line);
}

const std::array<std::string_view, 37> kControlNames = {
    "ADDER", "ANSWER", "BUTTON", "CAPTION", "CATEGORY", "CLEARPLOTEQS", "COMMENT", "CONSTRAINTS",
    "CONTINUE", "CONVERT", "CONVERTMORE", "CONVERTLESS", "DETAILS", "EXPRESSION", "FORMAT",
    "FORMULA", "FROM", "GRAPHTYPE", "MODULE", "NEXT", "NUMBER", "P_BUTTON", "PLOT", "PLOTEQ",
    "PLOTFROM", "PLOTTO", "SUMEQ", "SUMFROM", "SUMTO", "TO", "NOMIX", "UNIT", "UNKNOWN", "USMOK",
    "USMSOLVE", "USMVALUE", "VALUE"};

// The first token of a line, upper case.
std::string firstTokenUpper(Binding &b, std::string_view line) {
    int32_t pos = 1;
    return upper(b.NextToken(line, pos));
}

// A failing statement is skipped: the engine has shown its box already, and a
// fault no handler recovered ends only this statement.
std::string evaluateSafely(Binding &b, std::string_view statement) {
    intptr_t h = 0;
    std::string text;
    try {
        h = b.Parse(statement);
        b.DefineOnAssignment(h, statement);
        text = b.ResultText(h);
    } catch (const std::exception &) {
        text.clear();
    }
    if (h) b.Release(h);
    return text;
}

// Step 4 of the loader: _Quit ends the script and empties the reminder.
bool quitRequested() {
    AppVariables &v = appVariables();
    if (v.quit != 1) return false;
    v.quit = 0;
    Host &h = host();
    if (h.mainWindowLoaded() && !h.closing()) {
        if (Application *app = currentApplication()) app->scripts().reminder.clear();
        h.showReminder("");
    }
    return true;
}

// The user's stop (Ctrl+C) ends every script that is running; the outermost
// one says so.
bool stopRequested() {
    if (!nxStopRequested()) return false;
    if (scriptDepth == 1) host().messageBox("Stopped", 48, "Error");
    return true;
}

// One line of a script without its line feed; false at the end of the file,
// and (with a message) at a line longer than any statement can be, so that a
// file without line feeds is not read into memory whole.
bool readLine(std::istream &in, std::string &line) {
    constexpr size_t kLongestLine = size_t(16) << 20;
    line.clear();
    char buffer[4096];
    while (in.getline(buffer, sizeof buffer) || in.fail()) {
        line.append(buffer, static_cast<size_t>(in.gcount()) - (in.fail() || in.eof() ? 0 : 1));
        if (!in.fail()) return true;             // the line feed was read
        if (in.eof()) return !line.empty();      // the last line has none
        in.clear();                              // the buffer filled: the line goes on
        if (line.size() > kLongestLine) {
            host().messageBox("A script line is longer than 16 MiB", 48, "Error");
            return false;
        }
    }
    return !line.empty();
}

// Reads statements from the open file until the end label, _Quit or a stop.
void runLines(Binding &b, std::ifstream &in, std::string_view endLabel) {
    std::string raw, kept;
    while (!stopRequested() && readLine(in, raw)) {
        std::string line = lineText(raw);
        if (!endLabel.empty() && line == endLabel) break;
        if (firstTokenUpper(b, line) == "LOAD") {
            RunScript(b, line);
        } else if (line.size() >= 2 && line.ends_with(" _")) {
            kept += line.substr(0, line.size() - 2);
        } else {
            evaluateSafely(b, kept + line);
            kept.clear();
        }
        if (quitRequested()) return;
    }
}

} // namespace

// A new reminder text starts scrolling from the right.
void setReminder(ScriptState &state, Host &host, std::string_view text) {
    state.reminder = std::string(text);
    state.reminderStep = 0;
    host.showReminder(std::string(kReminderWidth, ' ') + state.reminder);
}

// The reminder moves one step to the left.
std::string reminderTick(ScriptState &state, Host &host) {
    state.reminderStep = (state.reminderStep + 1) % kReminderWidth;
    std::string shown = std::string(kReminderWidth - state.reminderStep, ' ') + state.reminder;
    host.showReminder(shown);
    return shown;
}

// Upper case, "+" and a decimal index; only listed names resolve.
std::optional<ControlRef> parseControlName(std::string_view name) {
    std::string text = upper(trimmed(name));
    ControlRef ref;
    size_t plus = text.find('+');
    ref.name = std::string(trimmed(text.substr(0, plus)));
    if (plus != std::string::npos) {
        std::string index(trimmed(text.substr(plus + 1)));
        if (index.empty() || index.find_first_not_of("0123456789") != std::string::npos || index.size() > 6)
            return std::nullopt;
        ref.index = std::stoi(index);
    }
    for (std::string_view known : kControlNames)
        if (known == ref.name) return ref;
    return std::nullopt;
}

std::string runStatement(Binding &b, std::string_view statement) { return evaluateSafely(b, statement); }

// The three tokens after LOAD, each evaluated as text, name the file and its labels.
void RunScript(Binding &b, std::string_view command) {
    int32_t pos = 1;
    b.NextToken(command, pos);  // the word LOAD
    std::string names[3];
    for (std::string &name : names) {
        std::string token = b.NextToken(command, pos);
        name = token.empty() ? std::string() : b.EvalStr(token);
    }
    runScriptFile(b, names[0], names[1], names[2]);
}

bool runScriptFile(Binding &b, const std::filesystem::path &file, std::string_view startLabel,
                   std::string_view endLabel) {
    if (scriptDepth >= kMaxScriptDepth) {
        host().messageBox("Scripts are nested too deeply\r\rFile: " + file.string(), 48, "Error");
        return false;
    }
    if (scriptDepth == 0) scriptsOpened = 0;
    if (++scriptsOpened > kMaxScriptsPerLoad) {
        if (scriptsOpened == kMaxScriptsPerLoad + 1)
            host().messageBox("Too many scripts loaded\r\rFile: " + file.string(), 48, "Error");
        return false;
    }
    // A FIFO or a device would block or never end: only plain files are scripts.
    std::error_code ec;
    if (std::filesystem::exists(file, ec) && !std::filesystem::is_regular_file(file, ec)) {
        host().messageBox("Not a script file\r\rFile: " + file.string(), 48, "Error");
        return false;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    if (!startLabel.empty()) {
        std::string raw;
        while (readLine(in, raw) && trimmed(lineText(raw)) != startLabel) {
        }
    }
    ++scriptDepth;
    try {
        runLines(b, in, endLabel);
    } catch (...) {
        --scriptDepth;
        throw;
    }
    --scriptDepth;
    return true;
}

} // namespace nomix
