// nomix_bench: Nomix's expression engine against muparser on the same
// expressions, plus compile time, start-up, a plot loop and heap use.
//
//   nomix_bench [--quick] [Google Benchmark flags]   run and print the tables
//   nomix_bench --check                              values, chains, set-up problems
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <iostream>

#include "benchmarks.h"
#include "check.h"
#include "heap_probe.h"
#include "nomix_engine.h"
#include "report.h"

namespace {

using namespace bench;

// Removes a flag of ours from the argument list; true when it was there.
bool takeFlag(int &argc, char **argv, std::string_view flag) {
    for (int i = 1; i < argc; ++i)
        if (argv[i] == flag) {
            for (int j = i; j < argc; ++j) argv[j] = argv[j + 1];
            --argc;
            return true;
        }
    return false;
}

// Prints what each engine makes of every expression; 1 when anything is wrong.
int checkAll() {
    NomixEngine &engine = NomixEngine::instance();
    int status = 0;
    for (const std::string &problem : engine.setupProblems()) {
        std::printf("set-up: %s\n", problem.c_str());
        status = 1;
    }
    auto list = expressions();
    for (size_t i = 0; i < list.size(); ++i) {
        ValueCheck check = checkExpression(list[i]);
        CompiledExpression expr(list[i].nomix);
        std::printf("%2zu %-45.*s %-24.17g %s [%s]\n", i + 1, int(list[i].nomix.size()), list[i].nomix.data(),
                    check.nomix, check.agree() ? "ok" : check.problem.c_str(), chainRoutines(expr.handle()).c_str());
        if (!check.agree()) status = 1;
    }
    ValueCheck plot = checkPlotLoop();
    std::printf("plot loop: %s\n", plot.agree() ? "ok" : plot.problem.c_str());
    return plot.agree() ? status : 1;
}

// The heap figure of every expression, in table order.
std::vector<HeapFigure> heapFigures() {
    std::vector<HeapFigure> heap;
    for (const Expression &e : expressions()) heap.push_back(measureHeap(e.nomix));
    return heap;
}

} // namespace

// The child mode and --check come before Google Benchmark reads the flags.
int main(int argc, char **argv) {
    if (argc > 1 && argv[1] == kStartupChildFlag) return runStartupChild();
    if (takeFlag(argc, argv, "--check")) return checkAll();
    RunSettings settings;
    if (takeFlag(argc, argv, "--quick")) settings = {3, 0.01, 5};

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    for (const std::string &problem : NomixEngine::instance().setupProblems())
        std::fprintf(stderr, "set-up: %s\n", problem.c_str());
    registerEvalBenchmarks(settings);
    registerCompileBenchmarks(settings);
    registerPlotBenchmarks(settings);
    registerStartupBenchmarks(settings);
    registerHostileBenchmarks(settings);

    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    printSummary(std::cout, reporter.figures(), heapFigures());
    return 0;
}
