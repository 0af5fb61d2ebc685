// The settings file "nomix.def": every option of the main window, the
// calculator window, the options window and the graphing defaults, as lines of
// a key, "=" and a value in three sections. Reading is forgiving (keys ignore
// case and blanks, unknown keys and lines without "=" are skipped); writing is
// atomic and never destroys a file it could not fully understand: such a file is
// kept as "nomix.def.bak" before the new one takes its place.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace nomix {

// The settings with their built-in defaults ("&Reset to Default Settings").
// Texts marked expr are expressions, evaluated by the engine each time they are used.
struct Settings {
    // [Graphing]
    std::string title;                 // graph title
    std::string xLabel;                // x-axis label
    std::string yLabel;                // y-axis label
    std::string xMin = "-10";          // expr: plot range
    std::string xMax = "10";           // expr
    std::string yMin = "-7.5";         // expr
    std::string yMax = "7.5";          // expr
    std::string tMin = "0";            // expr: parameter range
    std::string tMax = "2*pi";         // expr
    std::string theta = "t";           // parameter variable
    bool grid = false;                 // draw grid
    bool connect = true;               // connect plotted points
    bool axisNumbers = true;           // label the axes
    std::string defaultGraph = "Cartesian";
    double graphStep = 0.1;            // written as "Graph Precision=" 1/step points per unit

    // [Numeric Output]
    bool bin = false;
    bool dec = true;
    bool hex = false;
    bool oct = false;
    std::string numericFormat;         // answer format of the calculator window
    std::string adderFormat = "Currency";

    // [Other]
    std::string inputRecall = "200";   // expr: recall-list limit
    std::string outputRecall = "200";  // expr: answer-list limit
    bool showToolbar = true;
    bool showNumericOptions = true;
    std::string lastVariable = "last";         // name of the answer variable
    std::string independentVariable = "x";     // default variable of solver, integrator, plots
    std::string eqFrom = "-100000000";         // expr: solver lower bound
    std::string eqTo = "100000000";            // expr: solver upper bound
    std::string unitCategory = "Length";
    std::string angle = "RAD";                 // "RAD", "DEG" or "GRA"

    // after an empty line
    bool skipSplashScreen = false;
    bool sessionRecall = false;

    bool operator==(const Settings &) const = default;
};

// What reading the settings needs from the engine. Without evalDbl, "Graph
// Precision" is read as a plain number; without setAngleMode the angle is only
// stored. setAngleMode receives 2 for "DEG" and 3 for "GRA" (nothing for "RAD",
// the engine's start unit).
struct SettingsEngine {
    std::function<double(std::string_view)> evalDbl;
    std::function<void(int)> setAngleMode;
};

// What a load found. Problems name their line; a file with problems is one
// that saving would not reproduce, so saving keeps a backup of it.
struct SettingsLoad {
    enum class State { Missing, Loaded, Unreadable };
    State state = State::Missing;
    std::vector<std::string> problems;

    bool malformed() const { return state == State::Loaded && !problems.empty(); }
};

// Applies settings text (CR LF or LF lines) to `settings`: only the keys found
// change. Unknown keys, lines that are neither a section header nor
// "key=value", bad True/False values and bad numbers become problems.
SettingsLoad readSettings(std::string_view text, Settings &settings,
                          const SettingsEngine &engine = {});

// Loads a settings file into `settings`; a missing or unreadable file changes nothing.
SettingsLoad loadSettings(const std::filesystem::path &file, Settings &settings,
                          const SettingsEngine &engine = {});

// The whole file text, keys in their fixed order, lines ended by CR LF.
std::string settingsText(const Settings &settings);

struct SaveOutcome {
    bool ok = false;
    std::string error;                // why the file was not written
    std::filesystem::path backup;     // the kept original, when one was kept
};

// Replaces `file` with `content` atomically. When the file exists but
// `readsFully` says it was not completely understood, it is kept as
// file + ".bak" first. What is not a plain file is never replaced.
SaveOutcome replaceFile(const std::filesystem::path &file, std::string_view content,
                        const std::function<bool(const std::filesystem::path &)> &readsFully);

// Writes the settings file atomically. When the existing file cannot be read or
// holds anything saving would lose (see SettingsLoad), it is kept as
// file + ".bak" first.
SaveOutcome saveSettings(const std::filesystem::path &file, const Settings &settings);

// Every setting back to its default, then saved. Applying them to the windows
// and the engine is the caller's part.
SaveOutcome resetSettings(const std::filesystem::path &file, Settings &settings);

// Replaces a file with new content: a temporary file in the same directory is
// written, flushed to disk and renamed over the target, so a crash or a full
// disk never leaves a half-written file. The target keeps its permissions.
// Returns false with a reason when nothing was replaced.
bool writeFileAtomically(const std::filesystem::path &file, std::string_view content,
                         std::string *error = nullptr);

} // namespace nomix
