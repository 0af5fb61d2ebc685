// Solve_, Integ_ and Sum_, the text natives Val and Str, and the dialog natives
// MsgBox and InputBox. The numeric natives evaluate their ByExpr argument with
// the ByHandle variable set to each point; the searches themselves are plain
// functions of a RealFunction, so they can be tested without the engine.
#include "shell/natives.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "shell/binding.h"
#include "shell/format.h"
#include "shell/host.h"

namespace nomix {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// Integ_ and Sum_ refuse counts that would keep the calculator busy for hours.
constexpr double kMaxEvaluations = 1e9;

// ---------------------------------------------------------------------------
// Solve_: the recursive scan.

constexpr double kSweepPoints = 1001;    // a sweep steps (b - a) / 1001
constexpr int kScanBudget = 10000;       // evaluations per Scan call
constexpr double kExactZero = 1e-13;     // |f| below this is a root on the spot
constexpr double kAcceptRoot = 1e-6;     // the best |f| must end below this
constexpr double kRootGap = 0.01;        // roots are searched for beside a root found
constexpr int kBisections = 100;

// -1, 0 or 1.
int signOf(double v) { return (v > 0) - (v < 0); }

// The value rounded to 4 decimals through its decimal text, as "#.####" shows it.
double snapToFourDecimals(double x) {
    char text[400];
    auto result = std::to_chars(text, text + sizeof text - 1, x, std::chars_format::fixed, 4);
    if (result.ec != std::errc()) return x;
    *result.ptr = '\0';
    return std::strtod(text, nullptr);
}

// One call of Scan: sweeps [a, b], zooming in on the smallest |f| until a root
// shows up, the interval vanishes or the evaluation budget is spent.
class Scan {
public:
    Scan(const RealFunction &f, double a, double b) : f_(f), a_(a), b_(b) {}

    // The best point found and its |f|, nullopt when no point could be evaluated.
    std::optional<std::pair<double, double>> run() {
        while (true) {
            int evaluatedBefore = evaluations_;
            if (sweep()) break;
            // A sweep that evaluated nothing would repeat forever (a > b, NaN bounds).
            if (evaluations_ == evaluatedBefore || !bestX_) break;
            zoom();
        }
        if (!bestX_) return std::nullopt;
        return std::make_pair(*bestX_, best_);
    }
    double a() const { return a_; }
    double b() const { return b_; }

private:
    // True when the search ends: a root, a vanished interval or the end of the
    // budget. Points where f fails are passed over.
    bool sweep() {
        double step = (b_ - a_) / kSweepPoints;
        std::optional<double> previous;
        for (double x = a_; x <= b_; x += step) {
            std::optional<double> y = f_(x);
            ++evaluations_;
            if (y && std::isnan(*y)) y.reset();
            if (y && isRoot(x, step, previous, *y)) return true;
            if (std::fabs(b_ - a_) < kExactZero || evaluations_ > kScanBudget) return true;
            if (!y) continue;
            if (std::fabs(*y) < best_) {
                best_ = std::fabs(*y);
                bestX_ = x;
            }
            previous = y;
        }
        return false;
    }

    // A root on the spot, or one that bisection finds across a sign change
    // since the previous point.
    bool isRoot(double x, double step, std::optional<double> previous, double y) {
        if (std::fabs(y) < kExactZero) return found(x);
        if (previous && signOf(*previous) + signOf(y) == 0 && a_ < x) {
            if (auto root = bisectRoot(f_, x - step, x)) return found(*root);
        }
        return false;
    }

    // A root at x ends the search.
    bool found(double x) {
        bestX_ = x;
        best_ = 0;
        return true;
    }

    // Narrows the interval to a hundredth of its width around the best point.
    void zoom() {
        double m = (b_ - a_) / 2 / 100;
        if (a_ < *bestX_ - m) a_ = *bestX_ - m;
        if (b_ > *bestX_ + m) b_ = *bestX_ + m;
    }

    const RealFunction &f_;
    double a_, b_;
    double best_ = 1e15;
    std::optional<double> bestX_;
    int evaluations_ = 0;
};

// Accepts the best point of [a, b] as a root when it is close enough to 0, then
// searches on both sides of it within the original bounds.
void scanInterval(const RealFunction &f, double a, double b, SolveSolutions &roots) {
    if (roots.full()) return;
    Scan scan(f, a, b);
    auto best = scan.run();
    if (!best || best->second >= kAcceptRoot) return;
    double root = best->first;
    double snapped = snapToFourDecimals(root);
    if (std::optional<double> y = f(snapped); y && *y == 0) root = snapped;
    roots.add(root);
    if (a < root - kRootGap) scanInterval(f, a, root - kRootGap, roots);
    if (root + kRootGap < b) scanInterval(f, root + kRootGap, b, roots);
}

// ---------------------------------------------------------------------------
// The engine side: the ByExpr argument as a function of the ByHandle variable.

// Error numbers of floating-point faults.
bool isFloatingPointFault(int32_t code) { return code >= 21 && code <= 29; }

// Evaluates the expression argument of a native at points of its variable.
// A failed evaluation gives nullopt. Floating-point faults are passed over when
// `skipFaults` (the solver); any other error, or any error at all without it,
// has been shown by the error handler already and stops the native, so that a
// failing expression is reported once rather than at every point.
class EngineFunction {
public:
    EngineFunction(OperationRecord *record, intptr_t exprIndex, intptr_t varIndex, bool skipFaults)
        : expr_(nxParamHandle(record, exprIndex)), var_(nxParamHandle(record, varIndex)),
          thread_(nxExprThread(record)), skipFaults_(skipFaults) {
        // An error left over from before this call has been reported; it must
        // not be taken for a failure of the first point.
        if (binding().ErrorCode(thread_) != 0) clearError();
    }

    // The expression's value with the variable set to x.
    std::optional<double> operator()(double x) {
        if (stopped_) return std::nullopt;
        nxSetVariableValueDbl(var_, x);
        double y = 0;
        try {
            y = nxEvaluateDbl(expr_);
        } catch (const nx::ProcessorFault &) {
            return failed();
        }
        if (binding().ErrorCode(thread_) != 0) return failed();
        return y;
    }

    bool stopped() const { return stopped_; }
    // This function as the searches take it.
    RealFunction asFunction() {
        return [this](double x) { return (*this)(x); };
    }

private:
    // A failed point: floating-point faults are cleared and passed over when
    // allowed; anything else stops all further evaluation.
    std::optional<double> failed() {
        int32_t code = binding().ErrorCode(thread_);
        if (skipFaults_ && (code == 0 || isFloatingPointFault(code)))
            clearError();
        else
            stopped_ = true;
        return std::nullopt;
    }
    void clearError() { binding().CallNoText(nx_ClearError, 0, 0, 0, thread_); }

    intptr_t expr_, var_, thread_;
    bool skipFaults_;
    bool stopped_ = false;
};

// Floating-point faults become engine errors for the lifetime of the scope,
// also when it is left by an exception.
class FpTrapScope {
public:
    FpTrapScope() { binding().SetFpTrapMode(true); }
    ~FpTrapScope() { binding().SetFpTrapMode(false); }
    FpTrapScope(const FpTrapScope &) = delete;
    FpTrapScope &operator=(const FpTrapScope &) = delete;
};

// Ends Integ_ or Sum_: the value, or the error raised in the evaluation.
void returnOutcome(OperationRecord *record, const NumericOutcome &outcome) {
    if (!outcome.error.empty()) binding().RaiseError(record, outcome.error);
    nxReturnDbl(record, outcome.value.value_or(kNaN));
}

// Counts and bounds become whole numbers to nearest, halves to even.
double roundHalfEven(double v) { return std::nearbyint(v); }

} // namespace

// ---------------------------------------------------------------------------

// One list for the process, as the calculator window reads it.
SolveSolutions &solveSolutions() {
    static SolveSolutions solutions;
    return solutions;
}

// Halves the interval up to 100 times, keeping f rising from lo to hi.
std::optional<double> bisectRoot(const RealFunction &f, double lo, double hi) {
    std::optional<double> flo = f(lo), fhi = f(hi);
    if (flo && fhi && *fhi < *flo) std::swap(lo, hi);
    double mid = lo;
    std::optional<double> g;
    for (int i = 0; i < kBisections; ++i) {
        mid = (lo + hi) / 2;
        g = f(mid);
        if (!g || std::isnan(*g)) return std::nullopt;
        if (*g >= 0)
            hi = mid;
        else
            lo = mid;
        if (std::fabs(*g) < 1e-15) break;
    }
    if (g && std::fabs(*g) < 1e-10) return mid;
    return std::nullopt;
}

// The search over the whole interval asked for.
void scanRoots(const RealFunction &f, double a, double b, SolveSolutions &roots) {
    scanInterval(f, a, b, roots);
}

// 0 means 100; odd counts get one more interval.
std::optional<int64_t> simpsonIntervals(double precision) {
    double n = roundHalfEven(precision);
    // Negative counts mean nothing; beyond the limit the call would not end in
    // any useful time.
    if (!std::isfinite(n) || n < 0 || n > kMaxEvaluations) return std::nullopt;
    auto count = static_cast<int64_t>(n);
    if (count == 0) count = 100;
    return count + count % 2;
}

// (b - a)/(3n) * (f(a) + 4 f(odd points) + 2 f(even points) + f(b)).
NumericOutcome simpsonIntegral(const RealFunction &f, double a, double b, double precision) {
    std::optional<int64_t> intervals = simpsonIntervals(precision);
    if (!intervals) return {std::nullopt, "Invalid precision: the number of intervals must be 0 to 1000000000"};
    int64_t n = *intervals;
    auto point = [&](int64_t i) { return f(a + (b - a) * static_cast<double>(i) / static_cast<double>(n)); };
    std::optional<double> fa = f(a), fb = f(b);
    if (!fa || !fb) return {};
    double s = *fa + *fb;
    for (int64_t i = 1; i < n; i += 2) {
        std::optional<double> y = point(i);
        if (!y) return {};
        s += 4 * *y;
    }
    for (int64_t i = 2; i < n - 1; i += 2) {
        std::optional<double> y = point(i);
        if (!y) return {};
        s += 2 * *y;
    }
    return {(b - a) * s / (3 * static_cast<double>(n)), {}};
}

// A step that rounds to 0 would never reach the end, so it is an error.
NumericOutcome sumRange(const RealFunction &f, double start, double finish, double step) {
    start = roundHalfEven(start);
    finish = roundHalfEven(finish);
    step = roundHalfEven(step);
    if (std::isnan(start) || std::isnan(finish) || std::isnan(step))
        return {std::nullopt, "Invalid range: start, finish and step must be numbers"};
    if (step == 0) return {std::nullopt, "Invalid step: the step rounds to 0"};
    // The number of terms, counted once, so that bounds too large for whole
    // steps still end.
    double terms = std::floor((finish - start) / step) + 1;
    if (!(terms <= kMaxEvaluations)) return {std::nullopt, "Invalid range: more than 1000000000 terms"};
    double sum = 0;
    for (double i = 0; i < terms; ++i) {
        std::optional<double> y = f(start + i * step);
        if (!y) return {};
        sum += *y;
    }
    return {sum, {}};
}

// ---------------------------------------------------------------------------
// The natives.

// Floating-point faults trap only while the scan runs. No root raises "Solution
// not found", unless the expression itself failed and was reported.
void nativeSolve(OperationRecord *record) {
    SolveSolutions &roots = solveSolutions();
    roots.restart();
    double a = nxParamDbl(record, 2), b = nxParamDbl(record, 3);
    EngineFunction f(record, 1, 4, true);
    {
        FpTrapScope trap;
        scanRoots(f.asFunction(), a, b, roots);
    }
    if (roots.found() > 0) {
        nxReturnDbl(record, roots.values[1]);
        return;
    }
    if (!f.stopped()) binding().RaiseError(record, "Solution not found");
    nxReturnDbl(record, kNaN);
}

// Integ_(Expr, a, b, Var, Precision).
void nativeInteg(OperationRecord *record) {
    EngineFunction f(record, 1, 4, false);
    returnOutcome(record, simpsonIntegral(f.asFunction(), nxParamDbl(record, 2), nxParamDbl(record, 3),
                                          nxParamDbl(record, 5)));
}

// Sum_(Expr, Start, Finish, Step, Var).
void nativeSum(OperationRecord *record) {
    EngineFunction f(record, 1, 5, false);
    returnOutcome(record, sumRange(f.asFunction(), nxParamDbl(record, 2), nxParamDbl(record, 3),
                                   nxParamDbl(record, 4)));
}

// Val(s As String).
void nativeVal(OperationRecord *record) { nxReturnDbl(record, leadingNumber(paramText(record, 1))); }

// Str(Number).
void nativeStr(OperationRecord *record) {
    nxReturnStr(record, decimalText(nxParamDbl(record, 1)).c_str());
}

// The button code is a whole number; anything else is shown with OK only.
void nativeMsgBox(OperationRecord *record) {
    std::string prompt = fromLatin1(paramText(record, 1));
    double buttons = nxParamCount(record) >= 2 ? roundHalfEven(nxParamDbl(record, 2)) : 0;
    std::string title = nxParamCount(record) >= 3 ? fromLatin1(paramText(record, 3)) : "Nomix";
    int code = (buttons >= 0 && buttons <= 0xFFFF) ? static_cast<int>(buttons) : 0;
    nxReturnDbl(record, host().messageBox(prompt, code, title));
}

// The host speaks UTF-8, the engine Latin-1. Cancel gives the empty text.
void nativeInputBox(OperationRecord *record) {
    intptr_t count = nxParamCount(record);
    std::string prompt = fromLatin1(paramText(record, 1));
    std::string title = count >= 2 ? fromLatin1(paramText(record, 2)) : "Nomix Input";
    std::string initial = count >= 3 ? fromLatin1(paramText(record, 3)) : "";
    std::string answer = toLatin1(host().inputBox(prompt, title, initial));
    nxReturnStr(record, answer.c_str());
}

} // namespace nomix
