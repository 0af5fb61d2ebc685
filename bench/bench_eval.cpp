// Time per evaluation: Nomix's nxEvaluateDbl on a compiled handle against
// muparser's Eval on its bytecode, for every expression of the set.
#include <benchmark/benchmark.h>

#include "benchmarks.h"
#include "check.h"
#include "nomix_engine.h"
#include "nxeng296.h"
#include "peer.h"

namespace bench {
namespace {

// Evaluates one compiled handle over and over; skipped when the engines disagree.
void evalNomix(benchmark::State &state, const Expression &e) {
    const ValueCheck &check = checkedExpression(e);
    if (!check.agree()) {
        state.SkipWithError(check.problem.c_str());
        return;
    }
    CompiledExpression expr(e.nomix);
    const intptr_t handle = expr.handle();
    for (auto _ : state) benchmark::DoNotOptimize(nxEvaluateDbl(handle));
}

// muparser's counterpart: Eval on bytecode built once.
void evalPeer(benchmark::State &state, const Expression &e) {
    const ValueCheck &check = checkedExpression(e);
    if (!check.agree()) {
        state.SkipWithError(check.problem.c_str());
        return;
    }
    PeerExpression expr(e.muparser);
    for (auto _ : state) benchmark::DoNotOptimize(expr.eval());
}

} // namespace

// One Nomix and one muparser evaluation benchmark per expression, in nanoseconds.
void registerEvalBenchmarks(const RunSettings &settings) {
    auto list = expressions();
    for (size_t i = 0; i < list.size(); ++i) {
        const Expression &e = list[i];
        auto *nomix = benchmark::RegisterBenchmark(figureName("eval", Engine::Nomix, i).c_str(),
                                                   [&e](benchmark::State &s) { evalNomix(s, e); });
        auto *peer = benchmark::RegisterBenchmark(figureName("eval", Engine::Peer, i).c_str(),
                                                  [&e](benchmark::State &s) { evalPeer(s, e); });
        for (auto *b : {nomix, peer}) {
            b->Unit(benchmark::kNanosecond)->MinTime(settings.minTime);
            withStatistics(b, settings);
        }
    }
}

} // namespace bench
