// Names and statistics shared by every benchmark family.
#include "benchmarks.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <vector>

namespace bench {
namespace {

// The statistic Google Benchmark lacks: the minimum, the least disturbed run.
double smallest(const std::vector<double> &values) {
    return values.empty() ? 0.0 : *std::min_element(values.begin(), values.end());
}

// The engine's part of a figure name.
std::string_view engineName(Engine engine) { return engine == Engine::Nomix ? "nomix" : "muparser"; }

} // namespace

// Two digits, so that the names sort in the order of the expression table.
std::string figureName(std::string_view kind, Engine engine, size_t index) {
    char number[16];
    std::snprintf(number, sizeof number, "%02zu", index + 1);
    return figureName(kind, engine) + "/" + number;
}

// "kind/engine", the figure name without an expression number.
std::string figureName(std::string_view kind, Engine engine) {
    return std::string(kind) + "/" + std::string(engineName(engine));
}

// Min and median are what the tables show; the single runs would only add noise.
void withStatistics(benchmark::internal::Benchmark *b, const RunSettings &settings) {
    b->Repetitions(settings.repetitions)->ComputeStatistics("min", &smallest)->ReportAggregatesOnly(true);
}

} // namespace bench
