// The benchmark families of nomix_bench and the names their figures go by.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace benchmark::internal {
class Benchmark;
}

namespace bench {

enum class Engine { Nomix, Peer };

// How long and how often each figure is measured.
struct RunSettings {
    int repetitions = 7;
    double minTime = 0.04;       // seconds per repetition of a fast benchmark
    int startupRepetitions = 15; // fresh processes for the start-up figure
};

// "kind/engine/NN" for a figure of expression NN, "kind/engine" without one.
std::string figureName(std::string_view kind, Engine engine, size_t index);
std::string figureName(std::string_view kind, Engine engine);
inline constexpr std::string_view kStartupFigure = "startup";

// Adds min and median over the repetitions and reports only the aggregates.
void withStatistics(benchmark::internal::Benchmark *b, const RunSettings &settings);

void registerEvalBenchmarks(const RunSettings &settings);
void registerCompileBenchmarks(const RunSettings &settings);
void registerPlotBenchmarks(const RunSettings &settings);
void registerStartupBenchmarks(const RunSettings &settings);
void registerHostileBenchmarks(const RunSettings &settings);

// The hostile lines: their figures' names and how the summary names the lines.
size_t hostileKindCount();
std::string hostileFigureName(size_t index);
std::string hostileLineText(size_t index);

// The start-up measurement inside a fresh process: runs both phases and prints
// their times in nanoseconds on one line. Returns the exit status.
int runStartupChild();
inline constexpr std::string_view kStartupChildFlag = "--startup-child";

} // namespace bench
