// The side-by-side tables that scripts/bench prints and docs/performance.md
// keeps: Markdown, so the latest run can be pasted as it stands.
#include <algorithm>
#include <cmath>
#include <ctime>
#include <fstream>
#include <sys/utsname.h>
#include <thread>

#include "benchmarks.h"
#include "expressions.h"
#include "report.h"

#ifndef NOMIX_BENCH_BUILD
#define NOMIX_BENCH_BUILD "unknown build"
#endif

namespace bench {
namespace {

constexpr double kRatioGoal = 0.40;
constexpr double kPlotGoal = 0.60;
constexpr double kCompileGoalNs = 20e3;
constexpr double kStartupGoalMs = 10;
constexpr int64_t kHeapGoalBytes = 2048;

enum class Align { Left, Right };

// A Markdown table whose columns are padded to their widest cell.
class Table {
public:
    explicit Table(std::vector<std::pair<std::string, Align>> columns) : columns_(std::move(columns)) {}
    void add(std::vector<std::string> row) { rows_.push_back(std::move(row)); }
    void print(std::ostream &out) const;

private:
    std::vector<std::pair<std::string, Align>> columns_;
    std::vector<std::vector<std::string>> rows_;
};

// Header, alignment row and rows, each cell padded to its column.
void Table::print(std::ostream &out) const {
    std::vector<size_t> width(columns_.size(), 3);
    for (size_t c = 0; c < columns_.size(); ++c) width[c] = std::max(width[c], columns_[c].first.size());
    for (const auto &row : rows_)
        for (size_t c = 0; c < row.size() && c < width.size(); ++c) width[c] = std::max(width[c], row[c].size());
    auto cell = [&](const std::string &text, size_t c) {
        std::string pad(width[c] - std::min(width[c], text.size()), ' ');
        return columns_[c].second == Align::Left ? text + pad : pad + text;
    };
    auto line = [&](const std::vector<std::string> &row) {
        out << '|';
        for (size_t c = 0; c < columns_.size(); ++c) out << ' ' << cell(c < row.size() ? row[c] : "", c) << " |";
        out << '\n';
    };
    std::vector<std::string> header;
    for (const auto &column : columns_) header.push_back(column.first);
    line(header);
    out << '|';
    for (size_t c = 0; c < columns_.size(); ++c) {
        bool right = columns_[c].second == Align::Right;
        out << (right ? "" : ":") << std::string(width[c] + 1, '-') << (right ? ":|" : "|");
    }
    out << '\n';
    for (const auto &row : rows_) line(row);
    out << '\n';
}

// A number with a fixed count of decimals, or a dash when it is not known.
std::string fixed(double value, int decimals) {
    if (std::isnan(value)) return "-";
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// The 1-based number an expression has in the tables.
std::string indexText(size_t i) { return std::to_string(i + 1); }

// The first "model name" line of /proc/cpuinfo.
std::string processorName() {
    std::ifstream info("/proc/cpuinfo");
    for (std::string line; std::getline(info, line);)
        if (line.starts_with("model name")) {
            size_t colon = line.find(':');
            return colon == std::string::npos ? line : line.substr(colon + 2);
        }
    return "unknown processor";
}

// The compiler this program was built with, as its version macro gives it.
std::string compilerName() {
#if defined(__clang__)
    return std::string("clang ") + __clang_version__;
#elif defined(__GNUC__)
    return std::string("g++ ") + __VERSION__;
#else
    return "unknown compiler";
#endif
}

// Date, processor, system, load and compiler: a figure means little without them.
void printMachine(std::ostream &out) {
    char date[32] = "unknown date";
    std::time_t now = std::time(nullptr);
    std::strftime(date, sizeof date, "%Y-%m-%d %H:%M", std::localtime(&now));
    utsname system{};
    uname(&system);
    const std::vector<double> &load = benchmark::CPUInfo::Get().load_avg;
    out << "- date: " << date << "\n"
        << "- machine: " << processorName() << ", " << std::thread::hardware_concurrency() << " CPUs, "
        << system.sysname << ' ' << system.release << ", load average " << fixed(load.empty() ? NAN : load[0], 2)
        << " when the run started\n"
        << "- compiler: " << compilerName() << ", " << NOMIX_BENCH_BUILD << "\n\n";
}

// Ratio Nomix/muparser of the evaluation figures; NaN when either is missing.
Figure evalRatio(const Figures &f, size_t i) {
    Figure n = f.time(figureName("eval", Engine::Nomix, i)), p = f.time(figureName("eval", Engine::Peer, i));
    return {n.min / p.min, n.median / p.median};
}

// Why an expression has no figures, or empty.
std::string skipReason(const Figures &f, const std::string &kind, size_t i) {
    for (Engine e : {Engine::Nomix, Engine::Peer}) {
        auto found = f.skipped.find(figureName(kind, e, i));
        if (found != f.skipped.end()) return "skipped: " + found->second;
    }
    return "";
}

// The mean of ratios: a geometric mean, so that 2x slower and 2x faster cancel.
struct GeometricMean {
    double logMin = 0, logMedian = 0;
    int count = 0;
    void add(const Figure &r) {
        if (!(r.min > 0) || !(r.median > 0)) return;
        logMin += std::log(r.min);
        logMedian += std::log(r.median);
        ++count;
    }
    Figure value() const {
        return count ? Figure{std::exp(logMin / count), std::exp(logMedian / count)} : Figure{};
    }
};

// Time per evaluation in both engines, with the ratios and their geometric mean.
void printEvaluation(std::ostream &out, const Figures &f) {
    out << "### Evaluation, ns per evaluation\n\n";
    Table t({{"#", Align::Right}, {"expression (Nomix)", Align::Left}, {"Nomix min", Align::Right},
             {"Nomix median", Align::Right}, {"muparser min", Align::Right}, {"muparser median", Align::Right},
             {"ratio min", Align::Right}, {"ratio median", Align::Right}});
    GeometricMean mean;
    auto list = expressions();
    for (size_t i = 0; i < list.size(); ++i) {
        Figure n = f.time(figureName("eval", Engine::Nomix, i)), p = f.time(figureName("eval", Engine::Peer, i));
        Figure r = evalRatio(f, i);
        mean.add(r);
        std::string skipped = skipReason(f, "eval", i);
        t.add({indexText(i), std::string(list[i].nomix), fixed(n.min, 1), fixed(n.median, 1), fixed(p.min, 1),
               fixed(p.median, 1), skipped.empty() ? fixed(r.min, 2) : skipped, fixed(r.median, 2)});
    }
    Figure g = mean.value();
    t.add({"", "geometric mean", "", "", "", "", fixed(g.min, 2), fixed(g.median, 2)});
    t.print(out);
}

// Compile time per expression, with its length in characters.
void printCompilation(std::ostream &out, const Figures &f) {
    out << "### Compilation, µs from nx_Parse to release (muparser: SetExpr and the first Eval)\n\n";
    Table t({{"#", Align::Right}, {"chars", Align::Right}, {"Nomix min", Align::Right},
             {"Nomix median", Align::Right}, {"muparser min", Align::Right}, {"muparser median", Align::Right},
             {"note", Align::Left}});
    auto list = expressions();
    for (size_t i = 0; i < list.size(); ++i) {
        Figure n = f.time(figureName("compile", Engine::Nomix, i));
        Figure p = f.time(figureName("compile", Engine::Peer, i));
        t.add({indexText(i), std::to_string(list[i].nomix.size()), fixed(n.min / 1e3, 2), fixed(n.median / 1e3, 2),
               fixed(p.min / 1e3, 2), fixed(p.median / 1e3, 2), skipReason(f, "compile", i)});
    }
    t.print(out);
}

// The two start-up phases, their sum and the wall-clock time of both.
void printStartup(std::ostream &out, const Figures &f) {
    out << "### Start-up, ms of processor time (a fresh process each time)\n\n";
    const std::string name(kStartupFigure);
    Table t({{"phase", Align::Left}, {"min", Align::Right}, {"median", Align::Right}});
    auto row = [&](const char *title, const char *counter) {
        Figure c = f.counter(name, counter);
        t.add({title, fixed(c.min, 2), fixed(c.median, 2)});
    };
    row("1: language file (nx_Initialize and the definitions)", "phase1_ms");
    row("2: application set-up", "phase2_ms");
    row("both", "both_ms");
    row("both, wall-clock time", "wall_ms");
    t.print(out);
}

// The plot pass in both engines, in total and per point.
void printPlot(std::ostream &out, const Figures &f) {
    out << "### Plot loop, " << kPlotPoints << " evaluations of y = " << kPlotExpression.nomix
        << " with x written in place\n\n";
    Table t({{"engine", Align::Left}, {"ms min", Align::Right}, {"ms median", Align::Right},
             {"ns per point (median)", Align::Right}});
    for (Engine e : {Engine::Nomix, Engine::Peer}) {
        Figure p = f.time(figureName("plot", e));
        t.add({e == Engine::Nomix ? "Nomix" : "muparser", fixed(p.min / 1e6, 2), fixed(p.median / 1e6, 2),
               fixed(p.median / kPlotPoints, 1)});
    }
    t.print(out);
}

// The hostile lines, each answered in full.
void printHostile(std::ostream &out, const Figures &f) {
    out << "### Hostile lines of 200,000 characters, computed to their answer\n\n";
    Table t({{"line", Align::Left}, {"ms min", Align::Right}, {"ms median", Align::Right}});
    for (size_t i = 0; i < hostileKindCount(); ++i) {
        Figure h = f.time(hostileFigureName(i));
        t.add({hostileLineText(i), fixed(h.min / 1e6, 2), fixed(h.median / 1e6, 2)});
    }
    t.print(out);
}

// The engine heap each compiled expression keeps, and what release leaves.
void printHeap(std::ostream &out, const std::vector<HeapFigure> &heap) {
    out << "### Engine heap per compiled expression\n\n";
    Table t({{"#", Align::Right}, {"records", Align::Right}, {"blocks", Align::Right}, {"bytes", Align::Right},
             {"bytes per record", Align::Right}, {"left after release", Align::Left}});
    for (size_t i = 0; i < heap.size(); ++i) {
        const HeapFigure &h = heap[i];
        std::string left = h.leftBlocks || h.leftBytes
                               ? std::to_string(h.leftBlocks) + " blocks, " + std::to_string(h.leftBytes) + " bytes"
                               : "nothing";
        t.add({indexText(i), std::to_string(h.records), std::to_string(h.blocks),
               h.bytes < 0 ? "-" : std::to_string(h.bytes),
               h.records && h.bytes >= 0 ? fixed(double(h.bytes) / h.records, 0) : "-",
               h.compiled ? left : "does not compile"});
    }
    t.print(out);
}

// The index of the first expression carrying the marker, or the count.
size_t markedExpression(Marker marker) {
    auto list = expressions();
    size_t i = 0;
    while (i < list.size() && list[i].marker != marker) ++i;
    return i;
}

// The "met" column.
std::string verdict(bool met) { return met ? "yes" : "no"; }

// The goals set for the optimisation, against the medians of this run.
void printTargets(std::ostream &out, const Figures &f, const std::vector<HeapFigure> &heap) {
    out << "### Targets (medians)\n\n";
    Table t({{"target", Align::Left}, {"goal", Align::Right}, {"measured", Align::Right}, {"met", Align::Left}});
    GeometricMean mean;
    double worst = NAN;
    size_t worstAt = 0;
    for (size_t i = 0; i < expressions().size(); ++i) {
        Figure r = evalRatio(f, i);
        mean.add(r);
        if (!std::isnan(r.median) && !(r.median <= worst)) worst = r.median, worstAt = i;
    }
    double g = mean.value().median;
    t.add({"evaluation time, geometric mean of Nomix/muparser", "<= " + fixed(kRatioGoal, 2), fixed(g, 2),
           verdict(g <= kRatioGoal)});
    t.add({"slowest expression, Nomix/muparser (#" + indexText(worstAt) + ")", "<= 1.00", fixed(worst, 2),
           verdict(worst <= 1.0)});
    double plot = f.time(figureName("plot", Engine::Nomix)).median / f.time(figureName("plot", Engine::Peer)).median;
    t.add({"plot loop, Nomix/muparser", "<= " + fixed(kPlotGoal, 2), fixed(plot, 2), verdict(plot <= kPlotGoal)});
    size_t forty = markedExpression(Marker::FortyChars);
    double compile = f.time(figureName("compile", Engine::Nomix, forty)).median;
    t.add({"compiling the 40-character expression (#" + indexText(forty) + ")", "< 20 µs",
           fixed(compile / 1e3, 2) + " µs", verdict(compile < kCompileGoalNs)});
    double startup = f.counter(std::string(kStartupFigure), "both_ms").median;
    t.add({"both start-up phases", "< 10 ms", fixed(startup, 2) + " ms", verdict(startup < kStartupGoalMs)});
    size_t ten = markedExpression(Marker::TenOperations);
    int64_t bytes = ten < heap.size() ? heap[ten].bytes : -1;
    t.add({"engine heap of the 10-operation expression (#" + indexText(ten) + ")", "<= 2048 bytes",
           bytes < 0 ? "-" : std::to_string(bytes) + " bytes", verdict(bytes >= 0 && bytes <= kHeapGoalBytes)});
    t.print(out);
}

} // namespace

// Targets first: they are what a reader looks for.
void printSummary(std::ostream &out, const Figures &figures, const std::vector<HeapFigure> &heap) {
    out << "\n## Nomix against muparser\n\n"
        << "Processor time; min and median over the repetitions.\n\n";
    printMachine(out);
    printTargets(out, figures, heap);
    printEvaluation(out, figures);
    printCompilation(out, figures);
    printStartup(out, figures);
    printPlot(out, figures);
    printHostile(out, figures);
    printHeap(out, heap);
}

} // namespace bench
