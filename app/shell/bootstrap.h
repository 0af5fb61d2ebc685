// Building the calculator language in the engine, and starting the application.
// Phase 1 (the language bootstrap) sends the shipped language file; phase 2 (the
// application set-up) defines what lives in the application: natives with
// callback addresses, the answer variables and the flags shared with scripts,
// and the error handler. Both run once per process, since the engine is
// process-wide and never forgets a definition.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "shell/binding.h"
#include "shell/host.h"
#include "shell/settings.h"

namespace nomix {

// Variables the engine reads and writes in place. Their addresses reach the
// language (as "At" addresses of 32-bit cells), so the block lives in the engine
// heap, below 2 GiB. The layout is fixed: the engine sees each cell by its type.
struct AppVariables {
    double last;           // Double: the last numeric answer
    uint32_t lastStr;      // WideString: handle of the last answer as UTF-16LE text
    int32_t quit;          // Long _Quit: a script ends the running script file
    int32_t stopTyping;    // Long StopTyping
    int32_t stopDelay;     // Long StopDelay
    int32_t stopWait;      // Long StopWait
    int32_t tutorialMode;  // Long TutorialMode
    int32_t speechSpeed;   // Long SpeechSpeed
};

// The block, allocated (zeroed) in the engine heap on first use.
AppVariables &appVariables();

// The WideString answer text as UTF-8, and its replacement (the old handle is freed).
std::string lastAnswerText();
void setLastAnswerText(std::string_view utf8);

// Phase 1: the language file through the boot sender; the kept data-type handles
// go to the binding. Returns the problems found (an unreadable or malformed file,
// failing lines), empty when everything was sent.
std::vector<std::string> DefineLanguage(Binding &b);
// The problems of the last phase 1, for the programs to report.
const std::vector<std::string> &languageProblems();

// Phase 2, in the designed order. Runs once per process; a later call does nothing.
// The first command it sends starts phase 1 through the binding.
void DefineApplicationLanguage(Binding &b);

// The handles kept for the answer variables, so that they can be renamed.
struct AnswerVariables {
    std::string name = "last";  // the text variable is name + "Str"
    intptr_t numberHandle = 0;
    intptr_t textHandle = 0;
};
const AnswerVariables &answerVariables();
// Renames both answer variables (name and name + "Str").
void renameAnswerVariable(Binding &b, const std::string &name);

class Calculator;
struct ScriptState;

// The running application: the host it shows itself through, the calculator,
// and the scripts' state. Constructing it makes it the current application (the
// one the natives reach through host() and currentApplication()); destroying it
// makes the previous one current again. The binding is process-wide (binding()).
class Application {
public:
    explicit Application(Host &host);
    ~Application();
    Application(const Application &) = delete;
    Application &operator=(const Application &) = delete;

    Host &host() { return host_; }
    Binding &binding() { return nomix::binding(); }
    Calculator &calculator() { return *calculator_; }
    ScriptState &scripts() { return *scripts_; }
    // The options of "nomix.def" as last read, applied or saved; the windows
    // show and change them here, so every window sees the same settings.
    Settings &settings() { return settings_; }

private:
    Host &host_;
    std::unique_ptr<Calculator> calculator_;
    std::unique_ptr<ScriptState> scripts_;
    Settings settings_;
    Application *previous_ = nullptr;
};

// The current application, or nullptr when none exists.
Application *currentApplication();

// What the start-up sequence did, for the programs to report.
struct StartReport {
    std::filesystem::path programDirectory;
    bool directoryChanged = false;
    bool startupScriptRun = false;
    std::vector<std::string> problems;  // phase 1 problems, directory failures
};

// The start-up of a program without windows: the program's directory becomes the
// current directory (a failure is noted and ignored), both phases run, the
// settings file "nomix.def" is read, and the start-up script "Nomix.nx" runs.
// home: the --home directory, if any.
StartReport startApplication(Application &app, const std::optional<std::filesystem::path> &home);

// The same start-up in the desktop program's order: prepareApplication does
// everything up to the settings; the main window, as it loads, applies them,
// recalls the session and then runs the start-up script.
StartReport prepareApplication(Application &app, const std::optional<std::filesystem::path> &home);
bool runStartupScript(Application &app);

// The application's settings given to the calculation and the engine: display
// flags, format, limits, solver defaults, the answer variable's name and the
// angle unit.
void applySettings(Application &app);

} // namespace nomix
