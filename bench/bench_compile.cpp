// Compile time: nx_Parse of an expression and the release of the result, the
// round trip of every line the calculator evaluates. muparser's figure is
// SetExpr plus the first Eval, which is where it checks the text and builds its
// bytecode.
#include <benchmark/benchmark.h>

#include <string>

#include "benchmarks.h"
#include "check.h"
#include "nomix_engine.h"
#include "nxeng296.h"
#include "peer.h"

namespace bench {
namespace {

// Parses and releases the expression over and over; skipped when the engines disagree.
void compileNomix(benchmark::State &state, const Expression &e) {
    const ValueCheck &check = checkedExpression(e);
    if (!check.agree()) {
        state.SkipWithError(check.problem.c_str());
        return;
    }
    // Straight to the command entry: the text is plain ASCII, so the binding
    // layer's conversion would add nothing but its own cost.
    const std::string text(e.nomix);
    const intptr_t type = NomixEngine::instance().doubleType();
    for (auto _ : state) {
        intptr_t expr = Nomix(nx_Parse, text.c_str(), type, 0, 0, 0);
        Nomix(nx_ReleaseItem, nullptr, expr, 0, 0, 0);
    }
}

// muparser's counterpart: a new text and the first evaluation, which builds the bytecode.
void compilePeer(benchmark::State &state, const Expression &e) {
    const ValueCheck &check = checkedExpression(e);
    if (!check.agree()) {
        state.SkipWithError(check.problem.c_str());
        return;
    }
    PeerExpression expr(e.muparser);
    for (auto _ : state) benchmark::DoNotOptimize(expr.recompile(e.muparser));
}

} // namespace

// One Nomix and one muparser compile benchmark per expression, in microseconds.
void registerCompileBenchmarks(const RunSettings &settings) {
    auto list = expressions();
    for (size_t i = 0; i < list.size(); ++i) {
        const Expression &e = list[i];
        auto *nomix = benchmark::RegisterBenchmark(figureName("compile", Engine::Nomix, i).c_str(),
                                                   [&e](benchmark::State &s) { compileNomix(s, e); });
        auto *peer = benchmark::RegisterBenchmark(figureName("compile", Engine::Peer, i).c_str(),
                                                  [&e](benchmark::State &s) { compilePeer(s, e); });
        for (auto *b : {nomix, peer}) {
            b->Unit(benchmark::kMicrosecond)->MinTime(settings.minTime);
            withStatistics(b, settings);
        }
    }
}

} // namespace bench
