// Fuzz target: a script file run by the script loader ("LOAD" and the start-up
// script) in the calculator with both language phases, as the calculator runs
// a file the user loads. No crash, no hang past the stop flag.
//
// The loader works in the engine's default context, so what one input defines
// stays for the next (as in the calculator); the engine-heap balance is not
// checked here, and what a script defines is left out of leak reports.
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <unistd.h>

#include "fuzz_support.h"
#include "shell/binding.h"
#include "shell/bootstrap.h"
#include "shell/script.h"

namespace fs = std::filesystem;

namespace {

// A scratch directory made current, holding one harmless script with labels
// that inputs may LOAD.
const fs::path &scratchDirectory() {
    static const fs::path dir = [] {
        fs::path d = fs::temp_directory_path() / ("nomix-fuzz-script-" + std::to_string(::getpid()));
        fs::create_directories(d);
        std::ofstream(d / "other.nx", std::ios::binary) << "o = 1\r\n[start]\r\no = o + 1\r\n[end]\r\no = 0\r\n";
        fs::current_path(d);
        return d;
    }();
    return dir;
}

// Phase 1 and phase 2 through the binding, once per process.
void bootCalculator() {
    static const bool booted = [] {
        fuzz::LeakCheckPause pause;
        nxSetMessageCallback([](const char *, const char *) {});
        nomix::DefineApplicationLanguage(nomix::binding());
        if (nomix::binding().EvalStr("1+2") != " 3") fuzz::finding("the calculator language did not boot");
        nomix::binding().ClearError();
        return true;
    }();
    (void)booted;
}

bool isNameChar(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '.';
}

// "LOAD" followed only by quoted plain names: the file stays in the scratch
// directory (no path, no device, not the input itself, whose name has a "-").
bool isPlainLoad(std::string_view line) {
    size_t at = line.find_first_not_of(" \t");
    if (at == std::string_view::npos || !fuzz::containsWord(line.substr(at, 4), "load")) return false;
    line.remove_prefix(at + 4);
    while (!line.empty()) {
        char c = line.front();
        if (c == ' ' || c == '\t' || c == '\r') {
            line.remove_prefix(1);
            continue;
        }
        if (c != '\'' && c != '"') return false;
        size_t close = line.find(c, 1);
        if (close == std::string_view::npos) return false;
        for (char n : line.substr(1, close - 1))
            if (!isNameChar(n)) return false;
        line.remove_prefix(close + 1);
    }
    return true;
}

// Every line that mentions LOAD must be a plain one: a script may otherwise
// read any file of the machine, or load itself twice per level (10,000 files
// per LOAD: seconds per input).
bool loadsStayInside(std::string_view text) {
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (fuzz::containsWord(line, "load") && !isPlainLoad(line)) return false;
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return true;
}

// Delay waits real time: every input would last as long as the watchdog.
bool waitsOnTheClock(std::string_view text) { return fuzz::containsWord(text, "delay"); }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static fuzz::StopWatchdog watchdog(std::chrono::milliseconds(2000));
    const fs::path &dir = scratchDirectory();
    bootCalculator();
    std::string_view text(reinterpret_cast<const char *>(data), size);
    if (fuzz::skipInput(text) || !loadsStayInside(text) || waitsOnTheClock(text)) return -1;

    const fs::path file = dir / "input-script.nx";
    std::ofstream(file, std::ios::binary | std::ios::trunc).write(text.data(), static_cast<std::streamsize>(size));
    fuzz::LeakCheckPause pause;
    watchdog.start();
    try {
        nomix::runScriptFile(nomix::binding(), file);
    } catch (const nx::ProcessorFault &) {
        // A fault no handler recovered ends the script, as in the calculator.
    }
    watchdog.stop();
    nomix::appVariables().quit = 0;
    nomix::binding().ClearError();
    return 0;
}
