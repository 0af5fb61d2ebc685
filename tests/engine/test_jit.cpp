// The machine code for Double steps against the same computation done in C++.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <random>
#include <thread>
#include <vector>

#include "jit.h"

namespace nx::jit {
namespace {

using Lim = std::numeric_limits<double>;

const double specials[] = {0.0,  -0.0,        1.0,         -1.0,          Lim::denorm_min(), -Lim::denorm_min(),
                           Lim::max(), Lim::lowest(), Lim::min(), Lim::infinity(), -Lim::infinity(),
                           Lim::quiet_NaN(), 1e308, 10.0, 0.1, 3.0};

uint64_t bitsOf(double v) {
    uint64_t b;
    std::memcpy(&b, &v, 8);
    return b;
}
double read(const void *cell) {
    double v;
    std::memcpy(&v, cell, 8);
    return v;
}
void write(void *cell, double v) { std::memcpy(cell, &v, 8); }

// Two results agree when their bits do, or when both are NaN: with two NaN
// operands, which payload survives depends on the order the C++ compiler chose.
bool agree(double a, double b) { return bitsOf(a) == bitsOf(b) || (std::isnan(a) && std::isnan(b)); }

// A record routine for the tests: Result = Arg1 - 2 * Arg2.
void recordRoutine(OperationRecord *r) {
    write(reinterpret_cast<void *>(r->Result),
          read(reinterpret_cast<void *>(r->Arg1)) - 2 * read(reinterpret_cast<void *>(r->Arg2)));
}
// A record routine that writes a 10-byte Extended result.
void extendedRoutine(OperationRecord *r) {
    long double v = static_cast<long double>(read(reinterpret_cast<void *>(r->Arg1))) / 3;
    std::memcpy(reinterpret_cast<void *>(r->Result), &v, 10);
}

// The plain interpreter of steps the code must match; returns the last result.
double interpret(std::span<const Step> steps) {
    double last = 0;
    for (const Step &s : steps) {
        double x = s.x ? read(s.x) : 0, y = s.y ? read(s.y) : 0;
        switch (s.op) {
        case Op::Add: last = x + y; break;
        case Op::Sub: last = x - y; break;
        case Op::Mul: last = x * y; break;
        case Op::Div: last = x / y; break;
        case Op::Square: last = x * x; break;
        case Op::Abs: last = std::fabs(x); break;
        case Op::Neg: last = -x; break;
        case Op::Sqrt: last = std::sqrt(x); break;
        case Op::Call1: last = reinterpret_cast<double (*)(double)>(s.fn)(x); break;
        case Op::Call2: last = reinterpret_cast<double (*)(double, double)>(s.fn)(x, y); break;
        case Op::CallRecord: reinterpret_cast<NxRoutine>(s.fn)(s.record); continue;
        }
        write(s.result, last);
    }
    return last;
}

// Cells at unaligned places of one buffer (cell i at 1 + 9 * i, so cells 10 bytes
// wide fit), plus an optional cell far away from the others.
struct Cells {
    std::vector<unsigned char> bytes = std::vector<unsigned char>(1 + 9 * 64 + 16);
    unsigned char *far = nullptr;
    void *at(size_t i) { return i == farIndex && far ? far + 3 : bytes.data() + 1 + 9 * i; }
    static constexpr size_t farIndex = 63;
};

// Runs the steps with the interpreter and with the code from the same starting
// memory and expects the same memory and the same returned value.
void expectSameAsInterpreter(std::span<const Step> steps, Cells &cells, const std::string &what) {
    unsigned char farBefore[16] = {}, farInterp[16] = {};
    if (cells.far) std::memcpy(farBefore, cells.far, 16);
    auto before = cells.bytes;
    double expected = interpret(steps);
    auto interpreted = cells.bytes;
    if (cells.far) std::memcpy(farInterp, cells.far, 16), std::memcpy(cells.far, farBefore, 16);
    cells.bytes = before;
    auto code = compile(steps);
    ASSERT_NE(code, nullptr) << what;
    double got = code->entry()();
    bool returnsValue = steps.back().op != Op::CallRecord;
    EXPECT_TRUE(!returnsValue || agree(got, expected)) << what << ": returned " << got;
    for (size_t k = 0; k < Cells::farIndex; ++k) {
        size_t i = 1 + 9 * k;
        EXPECT_TRUE(agree(read(&cells.bytes[i]), read(&interpreted[i])))
            << what << ": cell " << k << " " << read(&cells.bytes[i]) << " vs " << read(&interpreted[i]);
    }
    EXPECT_TRUE(!cells.far || agree(read(cells.far + 3), read(farInterp + 3))) << what << ": far cell";
}

double powFn(double x, double y) { return std::pow(x, y); }
double sinFn(double x) { return std::sin(x); }

// Each operation on every pair of special operands, into another cell and in place.
TEST(Jit, OperationsGiveTheBitsOfCpp) {
    struct Case {
        Op op;
        const void *fn;
        double (*cpp)(double, double);
    };
    const Case cases[] = {
        {Op::Add, nullptr, [](double x, double y) { return x + y; }},
        {Op::Sub, nullptr, [](double x, double y) { return x - y; }},
        {Op::Mul, nullptr, [](double x, double y) { return x * y; }},
        {Op::Div, nullptr, [](double x, double y) { return x / y; }},
        {Op::Call2, reinterpret_cast<const void *>(&powFn), [](double x, double y) { return std::pow(x, y); }},
        {Op::Square, nullptr, [](double x, double) { return x * x; }},
        {Op::Abs, nullptr, [](double x, double) { return std::fabs(x); }},
        {Op::Neg, nullptr, [](double x, double) { return -x; }},
        {Op::Sqrt, nullptr, [](double x, double) { return std::sqrt(x); }},
        {Op::Call1, reinterpret_cast<const void *>(&sinFn), [](double x, double) { return std::sin(x); }},
    };
    Cells cells;
    for (const auto &c : cases)
        for (double x : specials)
            for (double y : specials)
                for (bool inPlace : {false, true}) {
                    write(cells.at(0), x), write(cells.at(1), y);
                    void *result = inPlace ? cells.at(0) : cells.at(2);
                    Step step{c.op, cells.at(0), cells.at(1), result, c.fn};
                    auto code = compile({&step, 1});
                    ASSERT_NE(code, nullptr);
                    double expected = c.cpp(x, y), got = code->entry()();
                    EXPECT_EQ(bitsOf(got), bitsOf(expected)) << int(c.op) << " " << x << " " << y;
                    EXPECT_EQ(bitsOf(read(result)), bitsOf(expected)) << int(c.op) << " " << x << " " << y;
                }
}

// Programs over cells 0..: {op, x, y, result} with -1 for no cell.
struct Prog {
    const char *name;
    std::vector<std::array<int, 4>> steps;
    std::vector<double> initial;
};

std::vector<Step> buildSteps(const Prog &p, Cells &cells, std::vector<OperationRecord> &records) {
    std::vector<Step> steps;
    records.reserve(p.steps.size());
    for (auto [op, x, y, r] : p.steps) {
        Step s{Op(op)};
        if (s.op == Op::CallRecord) {
            records.push_back(OperationRecord{reinterpret_cast<intptr_t>(cells.at(x)),
                                              y < 0 ? 0 : reinterpret_cast<intptr_t>(cells.at(y)),
                                              reinterpret_cast<intptr_t>(cells.at(r)), 0, 0, 0});
            s.record = &records.back();
            s.fn = reinterpret_cast<const void *>(y < 0 ? &extendedRoutine : &recordRoutine);
        } else {
            s.x = cells.at(x);
            s.y = y >= 0 ? cells.at(y) : nullptr;
            s.result = cells.at(r);
            s.fn = s.op == Op::Call1 ? reinterpret_cast<const void *>(&sinFn)
                                     : reinterpret_cast<const void *>(&powFn);
        }
        steps.push_back(s);
    }
    return steps;
}

constexpr int Add = 0, Sub = 1, Mul = 2, Div = 3, Sq = 4, Abs = 5, Neg = 6, Sqrt = 7, C1 = 8, C2 = 9, Rec = 10;

TEST(Jit, ChainsLeaveMemoryAsTheRecordsWould) {
    const Prog programs[] = {
        {"overflow then inf - inf", {{Mul, 0, 1, 2}, {Sub, 2, 2, 3}, {Neg, 3, -1, 4}}, {1e308, 10}},
        {"result is an operand", {{Add, 0, 1, 0}, {Mul, 0, 0, 0}, {Div, 1, 0, 1}, {Sub, 1, 0, 0}}, {3, 0.1}},
        {"x and y the same cell", {{Add, 0, 0, 1}, {Sq, 1, -1, 1}, {Abs, 1, -1, 2}}, {-1.5}},
        {"second operand is the result", {{Sub, 0, 1, 1}, {Div, 0, 1, 1}, {Sqrt, 1, -1, 1}}, {2, 7}},
        {"calls between", {{C1, 0, -1, 2}, {Add, 2, 0, 3}, {C2, 3, 1, 4}, {Mul, 4, 2, 5}, {C2, 5, 5, 5}}, {0.5, 2}},
        {"call with swapped registers", {{Add, 0, 1, 2}, {Sub, 0, 1, 3}, {C2, 3, 2, 4}, {C2, 4, 3, 5}}, {4, 1}},
        {"record rewrites a cached cell", {{Add, 0, 1, 2}, {Rec, 2, 0, 1}, {Mul, 1, 2, 3}, {Add, 1, 1, 1}}, {5, 2}},
        {"record writes ten bytes", {{Add, 0, 1, 2}, {Rec, 2, -1, 3}, {Neg, 2, -1, 5}}, {1, 1}},
        {"denormals", {{Mul, 0, 1, 2}, {Div, 2, 1, 3}, {Add, 0, 0, 4}}, {Lim::denorm_min(), 0.5}},
        {"nan and infinities", {{Add, 0, 1, 2}, {Mul, 1, 3, 4}, {Div, 1, 1, 5}, {Sqrt, 4, -1, 6}}, {Lim::quiet_NaN(), Lim::infinity(), 0, -0.0}},
    };
    for (const auto &p : programs) {
        Cells cells;
        for (size_t i = 0; i < p.initial.size(); ++i) write(cells.at(i), p.initial[i]);
        std::vector<OperationRecord> records;
        auto steps = buildSteps(p, cells, records);
        expectSameAsInterpreter(steps, cells, p.name);
    }
}

TEST(Jit, MoreLiveValuesThanRegisters) {
    Cells cells;
    std::vector<Step> steps;
    for (int i = 0; i < 24; ++i) {
        write(cells.at(i), 1.0 + i / 7.0);
        steps.push_back({Op::Square, cells.at(i), nullptr, cells.at(24 + i)});
    }
    for (int i = 23; i > 0; --i) steps.push_back({Op::Add, cells.at(24 + i), cells.at(24 + i - 1), cells.at(24 + i - 1)});
    for (int i = 0; i < 24; ++i) steps.push_back({Op::Sub, cells.at(24 + i), cells.at(i), cells.at(i)});
    expectSameAsInterpreter(steps, cells, "pressure");
}

// Cells that share bytes: a store to one changes the value of the other.
TEST(Jit, OverlappingCellsAreReadAfterEachStore) {
    Cells cells;
    void *a = cells.at(40), *b = static_cast<unsigned char *>(cells.at(40)) + 4;
    write(cells.at(0), 1.25), write(cells.at(1), -3e-300), write(a, 7), write(b, 9);
    const Step steps[] = {
        {Op::Add, b, cells.at(0), cells.at(2)},  // b is cached
        {Op::Mul, a, cells.at(1), cells.at(3)},  // a is cached
        {Op::Add, cells.at(0), cells.at(1), a},  // changes half of b
        {Op::Sub, b, a, cells.at(4)},
        {Op::Div, cells.at(0), cells.at(3), b},  // changes half of a
        {Op::Mul, a, b, cells.at(5)},
    };
    expectSameAsInterpreter(steps, cells, "overlap");
}

// Maps a page more than 4 GiB away from `near`; nullptr when the kernel refuses.
unsigned char *farPage(const void *near) {
    const uintptr_t offsets[] = {uintptr_t(1) << 36, uintptr_t(1) << 40, uintptr_t(1) << 44};
    for (uintptr_t off : offsets) {
        uintptr_t hint = (reinterpret_cast<uintptr_t>(near) + off) & ~uintptr_t(0xFFFF);
        void *p = mmap(reinterpret_cast<void *>(hint), 4096, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
        if (p == MAP_FAILED) continue;
        uintptr_t a = reinterpret_cast<uintptr_t>(p), b = reinterpret_cast<uintptr_t>(near);
        if ((a > b ? a - b : b - a) > (uintptr_t(1) << 33)) return static_cast<unsigned char *>(p);
        munmap(p, 4096);
    }
    return nullptr;
}

TEST(Jit, CellFarFromTheOthers) {
    Cells cells;
    cells.far = farPage(cells.bytes.data());
    if (!cells.far) GTEST_SKIP() << "the kernel gave no page far enough away";
    const Prog p{"far", {{Add, 0, 63, 1}, {Mul, 63, 1, 63}, {Sub, 63, 0, 2}, {C2, 63, 2, 63}, {Neg, 63, -1, 3}}, {2.5}};
    write(cells.at(0), 2.5), write(cells.at(63), -4);
    std::vector<OperationRecord> records;
    auto steps = buildSteps(p, cells, records);
    expectSameAsInterpreter(steps, cells, p.name);
    munmap(cells.far, 4096);
}

// A few thousand random programs, also reading and writing a far cell.
TEST(Jit, RandomProgramsMatchTheInterpreter) {
    Cells cells;
    cells.far = farPage(cells.bytes.data());
    if (!cells.far) std::cerr << "no far page: the far cell is left out\n";
    std::mt19937_64 rng(2966);
    const int cellCount = 20;
    for (int round = 0; round < 3000; ++round) {
        Prog p{"random", {}, {}};
        int length = 1 + int(rng() % 40);
        auto cell = [&] { return rng() % 9 == 0 ? int(Cells::farIndex) : int(rng() % cellCount); };
        for (int i = 0; i < length; ++i) {
            int op = int(rng() % 30);
            op = op < 24 ? op % 8 : C1 + op % 3;  // calls are rarer
            int x = cell(), y = cell(), r = cell();
            if (op == Sq || op == Abs || op == Neg || op == Sqrt || op == C1) y = -1;
            p.steps.push_back({op, x, y, r});
        }
        for (int i = 0; i < cellCount; ++i) p.initial.push_back(rng() % 2 ? specials[rng() % 16] : double(int64_t(rng() % 2001) - 1000) / 7);
        for (int i = 0; i < cellCount; ++i) write(cells.at(i), p.initial[i]);
        if (cells.far) write(cells.far + 3, specials[rng() % 16]);
        std::vector<OperationRecord> records;
        auto steps = buildSteps(p, cells, records);
        expectSameAsInterpreter(steps, cells, "round " + std::to_string(round));
        if (HasFailure()) break;
    }
    if (cells.far) munmap(cells.far, 4096);
}

TEST(Jit, RunsItCannotCompileGiveNothing) {
    Cells cells;
    Step add{Op::Add, cells.at(0), cells.at(1), cells.at(2)};
    std::vector<Step> tooMany(maxSteps + 1, add);
    EXPECT_EQ(compile({}), nullptr);
    EXPECT_EQ(compile(tooMany), nullptr);
    EXPECT_NE(compile({tooMany.data(), maxSteps}), nullptr);
    const Step broken[] = {
        {Op::Add, cells.at(0), nullptr, cells.at(2)},
        {Op::Neg, nullptr, nullptr, cells.at(2)},
        {Op::Sqrt, cells.at(0), nullptr, nullptr},
        {Op::Call1, cells.at(0), nullptr, cells.at(2)},
        {Op::CallRecord, nullptr, nullptr, nullptr, reinterpret_cast<const void *>(&recordRoutine)},
        {Op(200), cells.at(0), cells.at(1), cells.at(2)},
    };
    for (const Step &s : broken) EXPECT_EQ(compile({&s, 1}), nullptr) << int(s.op);
    detail::setExecutableMemoryAvailable(false);
    EXPECT_EQ(compile({&add, 1}), nullptr);
    detail::setExecutableMemoryAvailable(true);
    EXPECT_NE(compile({&add, 1}), nullptr);
}

// Mappings of this process that are writable and executable at once.
int writableExecutableMappings() {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    int count = 0;
    while (std::getline(maps, line))
        if (line.find(" rwx") != std::string::npos) ++count;
    return count;
}

// Without memory objects, the code goes to pages of its own made executable after writing.
TEST(Jit, RunsFromPrivatePagesWithoutSharedViews) {
    double cell[3] = {1.5, -2, 0};
    Step steps[] = {{Op::Mul, &cell[0], &cell[1], &cell[2]}, {Op::Neg, &cell[2], nullptr, &cell[2]}};
    auto before = compile(steps);
    detail::setSharedViewsAvailable(false);
    std::vector<std::unique_ptr<Code>> codes;
    for (int i = 0; i < 3; ++i) codes.push_back(compile(steps));
    detail::setSharedViewsAvailable(true);
    EXPECT_EQ(writableExecutableMappings(), 0);
    for (const auto &code : codes) {
        ASSERT_NE(code, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(code->entry()) % 4096, 32u);  // masks, then code
        cell[2] = 0;
        EXPECT_EQ(code->entry()(), 3.0);
        EXPECT_EQ(cell[2], 3.0);
    }
    EXPECT_EQ(before->entry()(), 3.0);
}

TEST(Jit, FreedCodeMemoryIsReused) {
    Cells cells;
    Step add{Op::Add, cells.at(0), cells.at(1), cells.at(2)};
    auto first = compile({&add, 1});
    ASSERT_NE(first, nullptr);
    auto address = reinterpret_cast<uintptr_t>(first->entry());
    first.reset();
    auto second = compile({&add, 1});
    EXPECT_EQ(reinterpret_cast<uintptr_t>(second->entry()), address);
    auto third = compile({&add, 1});
    EXPECT_NE(reinterpret_cast<uintptr_t>(third->entry()), address);
    EXPECT_LT(third->bytes(), 64u);
}

// The code pages are shared between the views, so also with a forked child:
// code the child makes must not land on code the parent made after the fork.
TEST(Jit, ForkedChildKeepsOffItsParentsCode) {
    double cell[4] = {3, 4, 0, 0};
    Step parentStep{Op::Mul, &cell[0], &cell[1], &cell[2]}, childStep{Op::Sub, &cell[0], &cell[1], &cell[3]};
    int go[2];
    ASSERT_EQ(pipe(go), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        char c;
        bool ok = ::read(go[0], &c, 1) == 1;
        auto code = compile({&childStep, 1});
        _exit(ok && code && code->entry()() == -1 ? 0 : 1);
    }
    auto code = compile({&parentStep, 1});
    ASSERT_EQ(::write(go[1], "x", 1), 1);
    int status = 0;
    waitpid(pid, &status, 0);
    close(go[0]), close(go[1]);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(code->entry()(), 12);
}

TEST(Jit, ThreadsCompileAndRunAtOnce) {
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&wrong, t] {
            double cell[3] = {double(t), 2, 0};
            for (int i = 0; i < 300; ++i) {
                Step steps[] = {{Op::Mul, &cell[0], &cell[1], &cell[2]}, {Op::Add, &cell[2], &cell[1], &cell[2]}};
                auto code = compile(steps);
                if (!code || code->entry()() != t * 2 + 2) ++wrong;
            }
        });
    for (auto &th : threads) th.join();
    EXPECT_EQ(wrong, 0);
}

} // namespace
} // namespace nx::jit
