// Collects the figures of a benchmark run and prints them side by side.
#pragma once
#include <benchmark/benchmark.h>

#include <cmath>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "heap_probe.h"

namespace bench {

// Min and median over the repetitions, times in nanoseconds.
struct Figure {
    double min = NAN;
    double median = NAN;
    bool known() const { return !std::isnan(median); }
};

struct Figures {
    std::map<std::string, Figure> times;               // by figure name
    std::map<std::string, Figure> counters;            // "name:counter"
    std::map<std::string, std::string> skipped;        // figure name -> why
    Figure time(const std::string &name) const;
    Figure counter(const std::string &name, const std::string &counter) const;
};

// The console output of Google Benchmark, keeping every min and median aside.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override;
    const Figures &figures() const { return figures_; }

private:
    void keep(const Run &run);
    Figures figures_;
};

// The side-by-side tables: machine, evaluation, compilation, start-up, plot
// loop, heap and the performance targets.
void printSummary(std::ostream &out, const Figures &figures, const std::vector<HeapFigure> &heap);

} // namespace bench
