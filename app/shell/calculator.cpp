#include "shell/calculator.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "shell/binding.h"
#include "shell/bootstrap.h"
#include "shell/format.h"
#include "shell/script.h"

#include "shell/natives.h"

namespace nomix {

namespace {


// True when the text's first character has distinct upper and lower case: an
// ASCII letter or a Latin-1 letter (À to ÿ, without × and ÷).
bool startsWithLetter(std::string_view text) {
    if (text.empty()) return false;
    std::string first = toLatin1(text.substr(0, std::min<size_t>(4, text.size())));
    unsigned char c = static_cast<unsigned char>(first[0]);
    if (std::isalpha(c)) return true;
    return c >= 0xC0 && c != 0xD7 && c != 0xF7 && c != 0xDF && c != 0xFF;
}

// "-Inf" (and a signed "NaN") is a number's text that holds no digits: read as
// a number it would show as 0, so it is answered as the text it is, like "Inf".
bool isSignedSpecialNumber(std::string_view text) {
    size_t start = text.find_first_not_of(' ');
    if (start == std::string_view::npos || (text[start] != '-' && text[start] != '+')) return false;
    std::string_view rest = text.substr(start + 1);
    return rest == "Inf" || rest == "NaN";
}

// Whole evaluation of a limit text; a limit that is not a number limits nothing.
// A plain number is read directly: an evaluation can fail while a stop is
// pending (the program closing), and a failed limit must not empty the lists.
double limitValue(Binding &b, const std::string &text) {
    char *end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size()) {
        v = b.EvalDbl(text);
        if (b.ErrorCode(0) != 0) return INFINITY;
    }
    return std::isnan(v) ? INFINITY : v;
}

} // namespace

Calculator::Calculator(Binding &b) : b_(b) {}

// Appends a line and tells the listener.
void Calculator::append(std::string line) {
    answers_.push_back(std::move(line));
    if (lineAppended_) lineAppended_(answers_.back());
}

// btnClearAll: the recall list and the answer list are emptied.
void Calculator::clearAll() {
    recall_.clear();
    answers_.clear();
}

// From the position of the first ":" plus 2; a line without ":" from its second character.
void Calculator::answerClicked(size_t i) {
    if (i >= answers_.size()) return;
    const std::string &line = answers_[i];
    size_t colon = line.find(':');
    size_t from = colon == std::string::npos ? 1 : colon + 2;
    input_ = from < line.size() ? line.substr(from) : std::string();
}

// The solver mode: three parameter boxes with the bounds and the variable.
void Calculator::Solve() {
    layout_.caption = "Equation Solver";
    layout_.helpContext = 160;
    layout_.parameterBoxes = 3;
    layout_.answerListVisible = false;
    layout_.firstLabelTop = 480;
    layout_.labels[0] = "Find answers between:";
    layout_.labels[1] = "and";
    layout_.buttonCaption = "&Solve";
    parameters_[0] = settings_.lowerBound;
    parameters_[1] = settings_.upperBound;
    parameters_[2] = settings_.variable;
    mode_ = CalcMode::Solve;
}

// The integrator mode: four parameter boxes; the bounds start empty.
void Calculator::Integrate() {
    layout_.caption = "Numeric Integration";
    layout_.helpContext = 130;
    layout_.parameterBoxes = 4;
    layout_.answerListVisible = false;
    layout_.firstLabelTop = 600;
    layout_.labels[0] = "From:";
    layout_.labels[1] = "To:";
    layout_.buttonCaption = "&Integrate";
    parameters_[0].clear();
    parameters_[1].clear();
    parameters_[2] = settings_.variable;
    mode_ = CalcMode::Integrate;
}

// Step 2: the solver and integrator modes rewrite the input into a call.
void Calculator::rewriteForMode() {
    if (mode_ == CalcMode::None) return;
    layout_.caption = "Expression Evaluator";
    const auto &p = parameters_;
    if (mode_ == CalcMode::Solve)
        input_ = "Solve " + input_ + "," + p[0] + "," + p[1] + "," + p[2];
    else
        input_ = "Integ(" + input_ + "," + p[0] + "," + p[1] + "," + p[2] + "," + p[3] + ")";
    mode_ = CalcMode::None;
    layout_.helpContext = 80;
}

// Step 3: back to the plain layout with the settings in the parameter boxes.
void Calculator::plainLayout() {
    layout_.parameterBoxes = 0;
    layout_.answerListVisible = true;
    layout_.buttonCaption = "&Calculate";
    parameters_ = {settings_.lowerBound, settings_.upperBound, settings_.variable, "100"};
}

// Step 6: "LOAD name" answers whether the file exists; the script runs later.
std::string Calculator::loadAnswer(const std::string &input) {
    int32_t pos = 1;
    b_.NextToken(input, pos);
    std::string name = b_.EvalStr(b_.NextToken(input, pos));
    std::error_code ec;
    bool found = !name.empty() && std::filesystem::is_regular_file(name, ec);
    return found ? "Ok" : "File not found";
}

// Dec with "Answer: " or "Dec: "; Bin, Hex, Oct only for 0 <= value < 65536.
std::vector<std::string> Calculator::numberLines(double value, const std::string &formatted) const {
    std::vector<std::string> lines;
    const CalculatorSettings &s = settings_;
    if (s.dec) lines.push_back((s.bin || s.hex || s.oct ? "Dec: " : "Answer: ") + formatted);
    if (!(value >= 0 && value < 65536)) return lines;
    if (s.bin) lines.push_back("Bin: " + ToBinary(value));
    if (s.hex) lines.push_back("Hex: " + toHex(value));
    if (s.oct) lines.push_back("Oct: " + toOct(value));
    return lines;
}

// The solver's roots after a "Solve " line with two or more of them, repeats
// of the previous root left out; the list is emptied afterwards.
bool Calculator::listSolutions(const std::string &input) {
    SolveSolutions &s = solveSolutions();
    if (asciiUpper(input).rfind("SOLVE ", 0) != 0 || s.count < 2) return false;
    int count = std::min(s.count, SolveSolutions::kMaxRoots);
    for (int i = 1; i <= count; ++i)
        if (i == 1 || s.values[static_cast<size_t>(i)] != s.values[static_cast<size_t>(i - 1)])
            append(decimalText(s.values[static_cast<size_t>(i)]));
    s.clear();
    return true;
}

// Step 7: parse, define on assignment, evaluate, and show the answer as text or
// as a number. A fault no error handler recovered skips the rest of the step.
void Calculator::evaluate(const std::string &input) {
    intptr_t h = 0;
    try {
        h = b_.Parse(input);
        b_.DefineOnAssignment(h, input);
        // A line that did not even parse has no result: its answer is the parse's
        // message, taken before the later commands replace the error.
        std::string parseMessage = h == 0 && b_.ErrorCode(0) != 0 ? b_.ErrorText(0) : std::string();
        intptr_t type = b_.ItemDataType(h);
        std::string text = b_.ResultText(h);
        int32_t error = h == 0 ? -1 : b_.ErrorCode(0);
        if (h == 0) text = parseMessage;
        setLastAnswerText(text);
        bool textual = error != 0 || startsWithLetter(text) || isSignedSpecialNumber(text) ||
                       type == b_.keptType(KeptType::String) || type == b_.keptType(KeptType::WideString) ||
                       type == b_.keptType(KeptType::Table) || type == b_.keptType(KeptType::Stack);
        if (textual) {
            append("Answer: " + text);
        } else {
            double value = leadingNumber(text);
            appVariables().last = value;
            std::string formatted = FormatAnswer(b_, value, settings_.format);
            setLastAnswerText(formatted);
            if (!listSolutions(input))
                for (std::string &line : numberLines(value, formatted)) append(std::move(line));
        }
    } catch (const std::exception &) {
        // skipped, as every failing statement of the calculation
    }
    if (h) b_.Release(h);
}

// Step 10: the answer list and the recall list within their limits. Returns the
// index of the input line after lines were removed from the top.
size_t Calculator::applyLimits(size_t inputIndex) {
    double answerLimit = limitValue(b_, settings_.answerLimit);
    size_t removed = 0;
    while (!answers_.empty() && static_cast<double>(answers_.size()) > answerLimit) {
        answers_.erase(answers_.begin());
        ++removed;
    }
    if (static_cast<double>(recall_.size()) > limitValue(b_, settings_.recallLimit)) recall_.pop_back();
    return inputIndex > removed ? inputIndex - removed : 0;
}

// The whole calculation, steps 1 to 11; the script of a LOAD runs last.
size_t Calculator::calculate() {
    rewriteForMode();
    plainLayout();
    std::string input = input_;
    if (input.empty()) return answers_.empty() ? 0 : answers_.size() - 1;
    if (!answers_.empty()) answers_.pop_back();
    size_t inputIndex = answers_.size();
    append("Input: " + input);
    std::string loadResult;
    try {
        int32_t pos = 1;
        if (asciiUpper(b_.NextToken(input, pos)) == "LOAD") {
            loadResult = loadAnswer(input);
            append("Answer: " + loadResult);
        } else {
            evaluate(input);
        }
    } catch (const std::exception &) {
    }
    recall_.push_front(input_);
    input_.clear();
    append("");
    append("");
    size_t top = applyLimits(inputIndex);
    if (loadResult == "Ok") {
        try {
            RunScript(b_, input);
        } catch (const std::exception &) {
        }
    }
    return top;
}

} // namespace nomix
