// The plot pass: 100,000 evaluations of y = sin(x)*x^2, writing each x in place
// into the variable the expression reads, as the graph window does.
#include <benchmark/benchmark.h>

#include "benchmarks.h"
#include "check.h"
#include "nomix_engine.h"
#include "nxeng296.h"
#include "peer.h"

namespace bench {
namespace {

// The whole plot pass through nxEvaluateDbl, x written into the bound cell.
void plotNomix(benchmark::State &state) {
    const ValueCheck &check = checkedPlotLoop();
    if (!check.agree()) {
        state.SkipWithError(check.problem.c_str());
        return;
    }
    CompiledExpression expr(kPlotExpression.nomix);
    const intptr_t handle = expr.handle();
    double &x = NomixEngine::instance().variables().x;
    for (auto _ : state) {
        double sum = 0;
        for (int i = 0; i < kPlotPoints; ++i) {
            x = plotX(i);
            sum += nxEvaluateDbl(handle);
        }
        benchmark::DoNotOptimize(sum);
    }
    x = kValues.x;
}

// The same pass through muparser, x written into its bound variable.
void plotPeer(benchmark::State &state) {
    const ValueCheck &check = checkedPlotLoop();
    if (!check.agree()) {
        state.SkipWithError(check.problem.c_str());
        return;
    }
    PeerExpression expr(kPlotExpression.muparser);
    double &x = peerVariables().x;
    for (auto _ : state) {
        double sum = 0;
        for (int i = 0; i < kPlotPoints; ++i) {
            x = plotX(i);
            sum += expr.eval();
        }
        benchmark::DoNotOptimize(sum);
    }
    x = kValues.x;
}

} // namespace

// Both plot passes, in milliseconds; a pass is long, so each repetition runs longer.
void registerPlotBenchmarks(const RunSettings &settings) {
    auto *nomix = benchmark::RegisterBenchmark(figureName("plot", Engine::Nomix).c_str(), &plotNomix);
    auto *peer = benchmark::RegisterBenchmark(figureName("plot", Engine::Peer).c_str(), &plotPeer);
    for (auto *b : {nomix, peer}) {
        b->Unit(benchmark::kMillisecond)->MinTime(settings.minTime * 2);
        withStatistics(b, settings);
    }
}

} // namespace bench
