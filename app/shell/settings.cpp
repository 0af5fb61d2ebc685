// Reading and writing "nomix.def". One table lists every key with its section
// and its field, so that reading, writing and the key order cannot drift apart.
#include "shell/settings.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <limits>
#include <optional>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <variant>

namespace nomix {

namespace {

// A settings field: a text, a True/False flag, or the graph step (written as
// its reciprocal, the points per unit).
struct GraphStep {};
using Field = std::variant<std::string Settings::*, bool Settings::*, GraphStep>;

struct Key {
    const char *section;  // the header the key is written under; "" after the last empty line
    const char *name;     // as written; read in lower case without surrounding blanks
    Field field;
};

const Key kKeys[] = {
    {"Graphing", "Title", &Settings::title},
    {"Graphing", "xLabel", &Settings::xLabel},
    {"Graphing", "yLabel", &Settings::yLabel},
    {"Graphing", "xMin", &Settings::xMin},
    {"Graphing", "xMax", &Settings::xMax},
    {"Graphing", "yMin", &Settings::yMin},
    {"Graphing", "yMax", &Settings::yMax},
    {"Graphing", "tMin", &Settings::tMin},
    {"Graphing", "tMax", &Settings::tMax},
    {"Graphing", "Theta", &Settings::theta},
    {"Graphing", "Grid", &Settings::grid},
    {"Graphing", "Connect", &Settings::connect},
    {"Graphing", "Axis Numbers", &Settings::axisNumbers},
    {"Graphing", "Default Graph", &Settings::defaultGraph},
    {"Graphing", "Graph Precision", GraphStep{}},
    {"Numeric Output", "Bin", &Settings::bin},
    {"Numeric Output", "Dec", &Settings::dec},
    {"Numeric Output", "Hex", &Settings::hex},
    {"Numeric Output", "Oct", &Settings::oct},
    {"Numeric Output", "Numeric Format", &Settings::numericFormat},
    {"Numeric Output", "Adder Format", &Settings::adderFormat},
    {"Other", "Input Recall", &Settings::inputRecall},
    {"Other", "Output Recall", &Settings::outputRecall},
    {"Other", "Show Toolbar", &Settings::showToolbar},
    {"Other", "Show Numeric Options", &Settings::showNumericOptions},
    {"Other", "Last Variable", &Settings::lastVariable},
    {"Other", "Independent Variable", &Settings::independentVariable},
    {"Other", "EqFrom", &Settings::eqFrom},
    {"Other", "EqTo", &Settings::eqTo},
    {"Other", "Unit Category", &Settings::unitCategory},
    {"Other", "Angle", &Settings::angle},
    {"", "SkipSplashScreen", &Settings::skipSplashScreen},
    {"", "Session Recall", &Settings::sessionRecall},
};

// ASCII case changes: keys are read in lower case, True/False and angles in upper.
std::string lowerCase(std::string_view s) {
    std::string out(s);
    for (char &c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return out;
}

std::string upperCase(std::string_view s) {
    std::string out(s);
    for (char &c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return out;
}

// The text without blanks and tabs around it.
std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// The key of that lower-case name, nullptr for an unknown key.
const Key *keyByName(std::string_view lowerName) {
    for (const Key &k : kKeys)
        if (lowerCase(k.name) == lowerName) return &k;
    return nullptr;
}

// The shortest decimal text that reads back as the same single-precision number.
std::string singleText(double v) {
    char text[64];
    auto result = std::to_chars(text, text + sizeof text, static_cast<float>(v));
    return std::string(text, result.ptr);
}

// A plain number, for "Graph Precision" when no engine is at hand.
double plainNumber(std::string_view text) {
    double v = std::nan("");
    std::from_chars(text.data(), text.data() + text.size(), v);
    return v;
}

class Reader {
public:
    Reader(Settings &settings, const SettingsEngine &engine, SettingsLoad &load)
        : settings_(settings), engine_(engine), load_(load) {}

    // One line: a header or blank line is skipped, key=value applied, anything
    // else noted.
    void line(int number, std::string_view text) {
        if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
        size_t equals = text.find('=');
        if (equals == std::string_view::npos) {
            std::string_view t = trimBlanks(text);
            if (!t.empty() && !(t.front() == '[' && t.back() == ']'))
                problem(number, "neither a section header nor key=value");
            return;
        }
        std::string name = lowerCase(trimBlanks(text.substr(0, equals)));
        std::string_view value = trimBlanks(text.substr(equals + 1));
        const Key *key = keyByName(name);
        if (!key)
            problem(number, "unknown key \"" + name + "\"");
        else
            apply(number, *key, value);
    }

private:
    // Stores a value in its field; True/False is true only for TRUE in any case.
    void apply(int number, const Key &key, std::string_view value) {
        if (auto text = std::get_if<std::string Settings::*>(&key.field)) {
            if (*text == &Settings::angle) return angle(number, value);
            settings_.*(*text) = std::string(value);
        } else if (auto flag = std::get_if<bool Settings::*>(&key.field)) {
            std::string upper = upperCase(value);
            if (upper != "TRUE" && upper != "FALSE") problem(number, "not True or False");
            settings_.*(*flag) = upper == "TRUE";
        } else {
            graphPrecision(number, value);
        }
    }

    // Kept in upper case and applied to the engine at once; the engine starts in radians.
    void angle(int number, std::string_view value) {
        std::string upper = upperCase(value);
        if (upper != "RAD" && upper != "DEG" && upper != "GRA") return problem(number, "not RAD, DEG or GRA");
        settings_.angle = upper;
        if (engine_.setAngleMode && upper != "RAD") engine_.setAngleMode(upper == "DEG" ? 2 : 3);
    }

    // Points per unit; the step is its reciprocal. A precision that is not a
    // positive number would make the plot step infinite or backwards, so it
    // keeps the step as it was.
    void graphPrecision(int number, std::string_view value) {
        double exact = engine_.evalDbl ? engine_.evalDbl(value) : plainNumber(value);
        // The file holds the precision in single precision: it is taken as it
        // will be written, so that saving gives back the same step, and one
        // beyond that range (written as "inf") is refused.
        const double largest = std::numeric_limits<float>::max();
        if (!(exact > 0) || exact > largest) return problem(number, "Graph Precision must be a positive number");
        double points = static_cast<float>(exact);
        double step = 1 / points;
        if (!(points > 0) || !std::isfinite(step) || step > largest)
            return problem(number, "Graph Precision must be a positive number");
        settings_.graphStep = step;
    }

    // Notes what saving would not reproduce.
    void problem(int number, const std::string &what) {
        load_.problems.push_back("line " + std::to_string(number) + ": " + what);
    }

    Settings &settings_;
    const SettingsEngine &engine_;
    SettingsLoad &load_;
};

// The whole file as bytes; nullopt when it cannot be opened or read.
std::optional<std::string> readWholeFile(const std::filesystem::path &file) {
    // The settings are a few hundred bytes: a file of more than a mebibyte is
    // not one (and is kept, as an unreadable file is, when saving).
    constexpr std::uintmax_t kLargestSettingsFile = std::uintmax_t(1) << 20;
    std::error_code ec;
    if (std::filesystem::file_size(file, ec) > kLargestSettingsFile || ec) return std::nullopt;
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return content;
}

// The written value of a key.
std::string valueText(const Settings &s, const Key &key) {
    if (auto text = std::get_if<std::string Settings::*>(&key.field)) return s.*(*text);
    if (auto flag = std::get_if<bool Settings::*>(&key.field)) return s.*(*flag) ? "True" : "False";
    return singleText(1 / s.graphStep);
}

// Writes all of it, retrying after interruptions.
bool writeAll(int fd, std::string_view content) {
    while (!content.empty()) {
        ssize_t n = ::write(fd, content.data(), content.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        content.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// Reports a failed system call with its reason; always false.
bool fail(std::string *error, const std::string &what) {
    if (error) *error = what + ": " + std::strerror(errno);
    return false;
}

// Makes a rename in that directory durable.
void syncDirectory(const std::filesystem::path &directory) {
    int fd = ::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// True when the file at that path should be kept before it is replaced: it
// cannot be read, or reading it reports anything saving would not reproduce.
bool needsBackup(const std::filesystem::path &file) {
    Settings scratch;
    SettingsLoad load = loadSettings(file, scratch);
    return load.state == SettingsLoad::State::Unreadable || load.malformed();
}

// Keeps the file as `backup`: a copy, or, when it cannot be read, the file itself
// moved aside. Returns the reason when neither worked.
std::optional<std::string> keepOriginal(const std::filesystem::path &file, const std::filesystem::path &backup) {
    std::error_code ec;
    std::filesystem::copy_file(file, backup, std::filesystem::copy_options::overwrite_existing, ec);
    if (!ec) return std::nullopt;
    std::filesystem::rename(file, backup, ec);
    if (!ec) return std::nullopt;
    return "the old " + file.filename().string() + " could not be kept as " + backup.string() + ": " +
           ec.message();
}

} // namespace

// A file with NUL bytes is not a text file: nothing of it is applied.
SettingsLoad readSettings(std::string_view text, Settings &settings, const SettingsEngine &engine) {
    SettingsLoad load;
    load.state = SettingsLoad::State::Loaded;
    if (text.find('\0') != std::string_view::npos) {
        load.problems.push_back("the file holds NUL bytes: not a settings file");
        return load;
    }
    Reader reader(settings, engine, load);
    int number = 0;
    while (!text.empty()) {
        size_t end = text.find('\n');
        reader.line(++number, text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return load;
}

// Missing: nothing to do; not a regular file or not readable: Unreadable.
SettingsLoad loadSettings(const std::filesystem::path &file, Settings &settings, const SettingsEngine &engine) {
    std::error_code ec;
    if (!std::filesystem::exists(file, ec) && !ec) return {};
    auto content = std::filesystem::is_regular_file(file, ec) ? readWholeFile(file) : std::nullopt;
    if (!content) return {SettingsLoad::State::Unreadable, {"the file cannot be read"}};
    return readSettings(*content, settings, engine);
}

// Sections in key order, an empty line between them; the last keys have no header.
std::string settingsText(const Settings &s) {
    std::ostringstream out;
    std::string section = "-";
    for (const Key &key : kKeys) {
        if (key.section != section) {
            if (section != "-") out << "\r\n";
            if (*key.section) out << '[' << key.section << "]\r\n";
            section = key.section;
        }
        out << key.name << '=' << valueText(s, key) << "\r\n";
    }
    return out.str();
}

// Never replaces what is not a plain file, and keeps a file it could not fully read.
SaveOutcome replaceFile(const std::filesystem::path &file, std::string_view content,
                        const std::function<bool(const std::filesystem::path &)> &readsFully) {
    SaveOutcome outcome;
    std::error_code ec;
    auto status = std::filesystem::status(file, ec);
    bool exists = std::filesystem::exists(status);
    if (exists && !std::filesystem::is_regular_file(status)) {
        outcome.error = file.string() + " is not a file";
        return outcome;
    }
    if (exists && !readsFully(file)) {
        std::filesystem::path backup = file;
        backup += ".bak";
        if (auto problem = keepOriginal(file, backup)) {
            outcome.error = *problem;
            return outcome;
        }
        outcome.backup = backup;
    }
    outcome.ok = writeFileAtomically(file, content, &outcome.error);
    return outcome;
}

SaveOutcome saveSettings(const std::filesystem::path &file, const Settings &settings) {
    return replaceFile(file, settingsText(settings), [](const std::filesystem::path &existing) {
        return !needsBackup(existing);
    });
}

// Defaults, saved.
SaveOutcome resetSettings(const std::filesystem::path &file, Settings &settings) {
    settings = Settings{};
    return saveSettings(file, settings);
}

// mkstemp beside the target, write, fsync, rename, then fsync the directory.
bool writeFileAtomically(const std::filesystem::path &file, std::string_view content, std::string *error) {
    std::filesystem::path directory = file.parent_path();
    std::string temp = (directory / ("." + file.filename().string() + ".XXXXXX")).string();
    int fd = ::mkstemp(temp.data());
    if (fd < 0) return fail(error, "cannot create a temporary file beside " + file.string());
    struct stat existing{};
    ::fchmod(fd, ::stat(file.c_str(), &existing) == 0 ? existing.st_mode & 07777 : 0644);
    bool written = writeAll(fd, content) && ::fsync(fd) == 0;
    int savedErrno = errno;
    written = (::close(fd) == 0) && written;
    if (!written || ::rename(temp.c_str(), file.c_str()) != 0) {
        if (written) savedErrno = errno;
        ::unlink(temp.c_str());
        errno = savedErrno;
        return fail(error, "cannot write " + file.string());
    }
    syncDirectory(directory);
    return true;
}

} // namespace nomix
