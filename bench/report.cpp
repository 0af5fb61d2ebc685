// Keeps the aggregates that Google Benchmark computes for each figure.
#include "report.h"

namespace bench {

// The times of a figure; unknown (NaN) when it did not run.
Figure Figures::time(const std::string &name) const {
    auto found = times.find(name);
    return found == times.end() ? Figure{} : found->second;
}

// A counter of a figure; unknown (NaN) when it did not run.
Figure Figures::counter(const std::string &name, const std::string &counter) const {
    auto found = counters.find(name + ":" + counter);
    return found == counters.end() ? Figure{} : found->second;
}

// Prints as the console reporter does, and keeps the figures for the tables.
void SummaryReporter::ReportRuns(const std::vector<Run> &runs) {
    ConsoleReporter::ReportRuns(runs);
    for (const Run &run : runs) keep(run);
}

// Processor time rather than wall-clock time: the machines we measure on are
// shared, and time spent descheduled is not the engine's. The start-up figure
// runs in child processes and reports its processor time through counters.
void SummaryReporter::keep(const Run &run) {
    const std::string name = run.run_name.function_name;
    if (run.error_occurred) {
        figures_.skipped[name] = run.error_message;
        return;
    }
    if (run.run_type != Run::RT_Aggregate) return;
    const bool isMin = run.aggregate_name == "min";
    if (!isMin && run.aggregate_name != "median") return;
    double nanoseconds = run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) * 1e9;
    Figure &time = figures_.times[name];
    (isMin ? time.min : time.median) = nanoseconds;
    for (const auto &[counter, value] : run.counters) {
        Figure &figure = figures_.counters[name + ":" + counter];
        (isMin ? figure.min : figure.median) = value.value;
    }
}

} // namespace bench
