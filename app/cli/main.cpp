// nomixcli: the calculator without windows. It starts as the desktop program
// does, then runs each line (from -e, a file or standard input) as one
// calculation of the calculator window and prints the answer lines.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <csignal>
#include <unistd.h>
#include <vector>

#include "cli/clihost.h"
#include "nxeng296.h"
#include "shell/binding.h"
#include "shell/bootstrap.h"
#include "shell/calculator.h"

#ifdef NOMIX_HAVE_READLINE
#include <cstdio>
#include <readline/history.h>
#include <readline/readline.h>
#endif

namespace {

constexpr const char *kUsage =
    "usage: nomixcli [--home DIR] [--bin] [--oct] [--hex] [--no-dec] [--format TEXT]\n"
    "                [--angle RAD|DEG|GRA] [-e LINE]... [FILE]\n";

struct Options {
    std::optional<std::string> home, format, angle, file;
    bool bin = false, oct = false, hex = false, noDec = false;
    std::vector<std::string> lines;
};

// Reads the command line; nullopt (after a message) when it is not usable.
std::optional<Options> parseOptions(int argc, char **argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](std::optional<std::string> &slot) {
            if (i + 1 >= argc) return false;
            slot = argv[++i];
            return true;
        };
        bool ok = true;
        if (a == "--home") ok = value(o.home);
        else if (a == "--format") ok = value(o.format);
        else if (a == "--angle") ok = value(o.angle);
        else if (a == "-e") {
            std::optional<std::string> line;
            ok = value(line);
            if (ok) o.lines.push_back(*line);
        } else if (a == "--bin") o.bin = true;
        else if (a == "--oct") o.oct = true;
        else if (a == "--hex") o.hex = true;
        else if (a == "--no-dec") o.noDec = true;
        else if (a == "-h" || a == "--help") {
            std::cout << kUsage;
            std::exit(0);
        } else if (!a.empty() && a[0] == '-' && a != "-") ok = false;
        else if (!o.file) o.file = a;
        else ok = false;
        if (!ok) {
            std::cerr << "nomixcli: bad argument \"" << a << "\"\n" << kUsage;
            return std::nullopt;
        }
    }
    if (o.angle && *o.angle != "RAD" && *o.angle != "DEG" && *o.angle != "GRA") {
        std::cerr << "nomixcli: --angle takes RAD, DEG or GRA\n";
        return std::nullopt;
    }
    return o;
}

// The flags override the settings read at start-up.
void applyOptions(const Options &o, nomix::Application &app) {
    nomix::CalculatorSettings &s = app.calculator().settings();
    if (o.bin) s.bin = true;
    if (o.oct) s.oct = true;
    if (o.hex) s.hex = true;
    if (o.noDec) s.dec = false;
    if (o.format) s.format = *o.format;
    if (o.angle) {
        auto unit = *o.angle == "DEG" ? nomix::AngleUnit::Degrees
                    : *o.angle == "GRA" ? nomix::AngleUnit::Grads
                                        : nomix::AngleUnit::Radians;
        app.binding().SetAngleMode(unit);
    }
}

// One line as one calculation (a CR of a CR LF file is dropped).
// Ctrl+C asks the running calculation to stop (endless loops, deep recursion,
// runaway rules end with an error); the next line starts afresh.
extern "C" void stopCalculation(int) { nxRequestStop(1); }

void catchInterrupt() {
    struct sigaction action = {};
    action.sa_handler = &stopCalculation;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
}

void calculate(nomix::Calculator &calc, std::string line) {
    nxRequestStop(0);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    calc.setInput(line);
    calc.calculate();
}

// Lines from a terminal, with a prompt, line editing and history.
void runInteractive(nomix::Calculator &calc) {
#ifdef NOMIX_HAVE_READLINE
    while (char *raw = readline("nomix> ")) {
        std::string line(raw);
        std::free(raw);
        if (!line.empty()) add_history(line.c_str());
        calculate(calc, line);
    }
    std::cout << '\n';
#else
    std::string line;
    while ((std::cout << "nomix> " << std::flush) && std::getline(std::cin, line)) calculate(calc, line);
#endif
}

// Every line of a file or a pipe.
void runStream(nomix::Calculator &calc, std::istream &in) {
    std::string line;
    while (std::getline(in, line)) calculate(calc, line);
}

} // namespace

// Start-up, the options, then the lines; the exit status tells only whether start-up failed.
int main(int argc, char **argv) {
    auto options = parseOptions(argc, argv);
    if (!options) return 2;
    // Start-up enters the program's directory: relative paths are the user's, so fix them now.
    if (options->file && *options->file != "-") options->file = std::filesystem::absolute(*options->file).string();
    if (options->home) options->home = std::filesystem::absolute(*options->home).string();
    nomix::CliHost host(std::cerr);
    nomix::Application app(host);
    host.setCalculator(&app.calculator());
    nomix::StartReport report = nomix::startApplication(app, options->home);
    for (const std::string &problem : report.problems) std::cerr << "nomixcli: " << problem << '\n';
    if (!nomix::languageProblems().empty()) return 1;
    applyOptions(*options, app);
    catchInterrupt();
    app.calculator().onLineAppended([](const std::string &line) {
        if (!line.empty()) std::cout << line << '\n' << std::flush;
    });
    if (!options->lines.empty()) {
        for (const std::string &line : options->lines) calculate(app.calculator(), line);
    } else if (options->file && *options->file != "-") {
        std::ifstream in(*options->file, std::ios::binary);
        if (!in) {
            std::cerr << "nomixcli: cannot read " << *options->file << '\n';
            return 1;
        }
        runStream(app.calculator(), in);
    } else if (isatty(STDIN_FILENO)) {
        runInteractive(app.calculator());
    } else {
        runStream(app.calculator(), std::cin);
    }
    return 0;
}
