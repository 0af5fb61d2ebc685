#include "tools/summation.h"

#include <cmath>
#include <optional>

#include "nxeng296.h"
#include "shell/binding.h"
#include "shell/format.h"
#include "tools/toolfiles.h"

namespace nomix {

namespace {

double sign(double v) { return v > 0 ? 1 : (v < 0 ? -1 : 0); }

SumRun refused(std::string message) {
    SumRun run;
    run.state = SumRun::State::Refused;
    run.message = std::move(message);
    return run;
}

} // namespace

std::optional<double> sumRowCount(double from, double end, double step) {
    if (step > 0 ? from > end : (step < 0 ? from < end : false)) return 0.0;
    if (step == 0) return std::nullopt;
    return std::floor((end - from) / step) + 1;
}

std::string sumValueText(double v) {
    std::string text = decimalText(v);
    if (!text.empty() && text.front() == ' ') text.erase(0, 1);
    return text;
}

SumRun runSummation(Binding &b, const SumInputs &inputs, const std::string &numericFormat) {
    if (!isVariableName(inputs.variable)) return refused(inputs.variable + " cannot be the variable");
    EngineCell loopVariable;
    const intptr_t variable = b.DefineVar(inputs.variable, loopVariable.address());
    ItemGuard releaseVariable(b, variable);
    if (variable == 0 || b.ErrorCode() != 0) return refused(inputs.variable + " cannot be the variable");

    // A bound that does not evaluate has been reported; going on with 0 would
    // show a table nobody asked for.
    double bounds[3] = {};
    const std::string *texts[3] = {&inputs.from, &inputs.to, &inputs.step};
    for (int i = 0; i < 3; ++i) {
        std::optional<double> v = evaluateNumber(b, *texts[i]);
        if (!v) {
            SumRun run;
            run.state = SumRun::State::EngineError;
            return run;
        }
        bounds[i] = *v;
    }
    const double from = bounds[0], to = bounds[1], step = bounds[2];
    if (!std::isfinite(from) || !std::isfinite(to) || !std::isfinite(step))
        return refused("From, To and Step must be finite numbers.");
    const double end = to + sign(to - from) * 1e-14;
    std::optional<double> count = sumRowCount(from, end, step);
    if (!count) return refused("The step must not be 0.");
    if (*count > double(kMaxSumRows))
        return refused("The table would have more than " + std::to_string(kMaxSumRows) +
                       " rows; choose a larger step.");

    SumRun run;
    const intptr_t expression = b.Parse(inputs.expression);
    ItemGuard releaseExpression(b, expression);
    if (expression == 0 || b.ErrorCode() != 0) {
        run.state = SumRun::State::EngineError;
        return run;
    }
    double sum = 0, last = 0;
    for (double v = from; step > 0 ? v <= end : v >= end; v += step) {
        loopVariable.value() = v;
        const double term = nxEvaluateDbl(expression);
        if (b.ErrorCode() != 0) {
            run.state = SumRun::State::EngineError;
            return run;
        }
        last = term;
        sum += term;
        if (!std::isfinite(sum)) {
            run.state = SumRun::State::RuntimeError;
            run.message = "Overflow";
            return run;
        }
        run.rows.push_back({sumValueText(v), FormatAnswer(b, term, numericFormat),
                            FormatAnswer(b, sum, numericFormat)});
        if (run.rows.size() >= kMaxSumRows) break;
    }
    run.total = FormatAnswer(b, sum, numericFormat);
    run.last = FormatAnswer(b, last, numericFormat);
    return run;
}

std::vector<std::string> sumLines(const SumInputs &inputs) {
    return {inputs.expression, inputs.variable, inputs.from, inputs.to, inputs.step};
}

SumInputs sumInputsFromLines(const std::vector<std::string> &lines) {
    auto at = [&](size_t i) { return i < lines.size() ? lines[i] : std::string(); };
    return {at(0), at(1), at(2), at(3), at(4)};
}

SumInputs readSumText(std::string_view text, ReadReport &report) {
    report.state = ReadReport::State::Loaded;
    return sumInputsFromLines(toolFileLines(text, 5, report));
}

ReadReport loadSumFile(const std::filesystem::path &file, SumInputs &inputs) {
    std::vector<std::string> lines;
    ReadReport report = loadToolFileLines(file, 5, lines);
    if (report.state == ReadReport::State::Loaded) inputs = sumInputsFromLines(lines);
    return report;
}

SaveOutcome saveSumFile(const std::filesystem::path &file, const SumInputs &inputs) {
    return saveToolFileLines(file, sumLines(inputs));
}

} // namespace nomix
