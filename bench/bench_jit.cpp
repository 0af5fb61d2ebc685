// nomix_bench_jit: what machine code for Double steps costs and gives. Compile
// time per step and code bytes per step for runs of several lengths, and a
// 20-step chain run as one block of code against the same steps run as one
// routine call per record (the engine's plain loop).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "jit.h"

namespace {

using nx::jit::Op;
using nx::jit::Step;

// A run of mixed steps over a few dozen cells, the way a long expression
// chains its temporaries: each step reads an earlier result and a variable.
struct Chain {
    std::vector<double> cells = std::vector<double>(64, 1.5);
    std::vector<Step> steps;
    std::vector<OperationRecord> records;

    explicit Chain(size_t length) {
        const Op ops[] = {Op::Add, Op::Mul, Op::Sub, Op::Div, Op::Sqrt, Op::Abs, Op::Mul, Op::Neg};
        steps.reserve(length);
        for (size_t i = 0; i < length; ++i) {
            Op op = ops[i % 8];
            double *x = &cells[32 + i % 32], *y = &cells[i % 16], *r = &cells[32 + (i + 1) % 32];
            bool binary = op <= Op::Div;
            steps.push_back(Step{op, x, binary ? y : nullptr, r});
            records.push_back(OperationRecord{reinterpret_cast<intptr_t>(x), reinterpret_cast<intptr_t>(y),
                                              reinterpret_cast<intptr_t>(r), 0, 0, 0});
        }
        for (size_t i = 0; i + 1 < records.size(); ++i) records[i].Next = reinterpret_cast<intptr_t>(&records[i + 1]);
    }
};

void BM_Compile(benchmark::State &state) {
    Chain chain(size_t(state.range(0)));
    size_t bytes = 0;
    for (auto _ : state) {
        auto code = nx::jit::compile(chain.steps);
        bytes = code->bytes();
        benchmark::DoNotOptimize(code.get());
    }
    double steps = double(chain.steps.size());
    state.counters["per_step"] = benchmark::Counter(steps, benchmark::Counter::kIsIterationInvariantRate |
                                                               benchmark::Counter::kInvert);
    state.counters["bytes_per_step"] = double(bytes) / steps;
}
BENCHMARK(BM_Compile)->Arg(1)->Arg(20)->Arg(200)->Arg(4096);

void BM_RunCode(benchmark::State &state) {
    Chain chain(20);
    auto code = nx::jit::compile(chain.steps);
    auto entry = code->entry();
    for (auto _ : state) {
        std::fill(chain.cells.begin(), chain.cells.end(), 1.5);
        benchmark::DoNotOptimize(entry());
    }
}
BENCHMARK(BM_RunCode);

// The engine's routines read and write their cells through the record.
template <class F> void routine(OperationRecord *r, F f) {
    double x, y;
    std::memcpy(&x, reinterpret_cast<void *>(r->Arg1), 8);
    std::memcpy(&y, reinterpret_cast<void *>(r->Arg2), 8);
    double v = f(x, y);
    std::memcpy(reinterpret_cast<void *>(r->Result), &v, 8);
}

void BM_RunRecords(benchmark::State &state) {
    Chain chain(20);
    NxRoutine table[] = {
        [](OperationRecord *r) { routine(r, [](double x, double y) { return x + y; }); },
        [](OperationRecord *r) { routine(r, [](double x, double y) { return x - y; }); },
        [](OperationRecord *r) { routine(r, [](double x, double y) { return x * y; }); },
        [](OperationRecord *r) { routine(r, [](double x, double y) { return x / y; }); },
        [](OperationRecord *r) { routine(r, [](double x, double) { return x * x; }); },
        [](OperationRecord *r) { routine(r, [](double x, double) { return std::fabs(x); }); },
        [](OperationRecord *r) { routine(r, [](double x, double) { return -x; }); },
        [](OperationRecord *r) { routine(r, [](double x, double) { return std::sqrt(x); }); },
    };
    for (size_t i = 0; i < chain.steps.size(); ++i)
        chain.records[i].Routine = reinterpret_cast<intptr_t>(table[int(chain.steps[i].op)]);
    for (auto _ : state) {
        std::fill(chain.cells.begin(), chain.cells.end(), 1.5);
        for (OperationRecord *r = chain.records.data(); r; r = reinterpret_cast<OperationRecord *>(r->Next))
            reinterpret_cast<NxRoutine>(r->Routine)(r);
        benchmark::DoNotOptimize(chain.cells.data());
    }
}
BENCHMARK(BM_RunRecords);

} // namespace

BENCHMARK_MAIN();
