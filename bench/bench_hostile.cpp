// Hostile lines: 200,000 characters of deep brackets, prefix and postfix
// operators and long operator chains, each computed to its answer (a value or
// an error) as the calculator does. The engine refuses deep nesting early and
// splits operator runs in linear time, so each line costs milliseconds.
#include <benchmark/benchmark.h>

#include <string>

#include "benchmarks.h"
#include "nomix_engine.h"
#include "nxeng296.h"

namespace bench {

namespace {

// The piece repeated to 200,000 characters, and what ends the line.
struct HostileKind {
    const char *piece;
    const char *head;
    const char *tail;
};
constexpr HostileKind kKinds[] = {
    {"(", "", ""}, {"-", "", "1"}, {"Not ", "", "1"}, {"+1", "1", ""}, {"!", "3", ""},
};
constexpr size_t kLineLength = 200000;

std::string lineOf(const HostileKind &k) {
    std::string line = k.head;
    while (line.size() + std::char_traits<char>::length(k.piece) <= kLineLength) line += k.piece;
    return line + k.tail;
}

// Evaluates the line to text (command 6) and clears the error it leaves.
void hostileNomix(benchmark::State &state, const HostileKind &k) {
    NomixEngine::instance();
    const std::string line = lineOf(k);
    for (auto _ : state) {
        benchmark::DoNotOptimize(Nomix(nx_EvalStr, line.c_str(), 0, 0, 0, 0));
        Nomix(nx_ClearError, nullptr, 0, 0, 0, 0);
    }
}

} // namespace

std::string hostileFigureName(size_t index) { return "hostile/" + std::string(kKinds[index].piece); }
size_t hostileKindCount() { return std::size(kKinds); }
std::string hostileLineText(size_t index) {
    const HostileKind &k = kKinds[index];
    std::string text = std::string(*k.head ? std::string(k.head) + " then " : "") + "\"" + k.piece + "\" x " +
                       std::to_string(kLineLength / std::char_traits<char>::length(k.piece));
    return *k.tail ? text + " then " + k.tail : text;
}

// One figure per kind of line, in milliseconds.
void registerHostileBenchmarks(const RunSettings &settings) {
    for (size_t i = 0; i < std::size(kKinds); ++i) {
        const HostileKind &k = kKinds[i];
        auto *b = benchmark::RegisterBenchmark(hostileFigureName(i).c_str(),
                                               [&k](benchmark::State &s) { hostileNomix(s, k); });
        b->Unit(benchmark::kMillisecond)->MinTime(settings.minTime);
        withStatistics(b, settings);
    }
}

} // namespace bench
