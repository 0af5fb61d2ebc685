// The calculation of the calculator window (frmNOMIX) without its widgets: the
// input line with its recall list, the answer list, the solver and integrator
// modes, and the answer formatting. The desktop window mirrors this state in its
// controls; nomixcli prints the answer lines as they are appended.
#pragma once

#include <array>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace nomix {

class Binding;

enum class CalcMode { None, Solve, Integrate };

// The application-wide settings the calculation reads. Limits and bounds are
// expression texts, evaluated each time they are used.
struct CalculatorSettings {
    bool bin = false, dec = true, hex = false, oct = false;
    std::string format;  // the numeric format, empty for plain numbers
    std::string recallLimit = "200";
    std::string answerLimit = "200";
    std::string lowerBound = "-100000000";
    std::string upperBound = "100000000";
    std::string variable = "x";
};

// What the window shows around the input line in each mode.
struct CalculatorLayout {
    std::string caption = "Expression Evaluator";
    std::string buttonCaption = "&Calculate";
    int helpContext = 80;
    int parameterBoxes = 0;  // txtSolve(0 .. n-1) and their labels shown
    bool answerListVisible = true;
    std::array<std::string, 4> labels = {"", "", "Var:", "Precision:"};
    int firstLabelTop = 0;  // twips; 0 when unchanged
};

class Calculator {
public:
    explicit Calculator(Binding &b);

    CalculatorSettings &settings() { return settings_; }
    const CalculatorLayout &layout() const { return layout_; }
    CalcMode mode() const { return mode_; }

    const std::string &input() const { return input_; }
    void setInput(std::string text) { input_ = std::move(text); }
    const std::deque<std::string> &recallList() const { return recall_; }
    const std::vector<std::string> &answerList() const { return answers_; }
    // The parameter boxes txtSolve(0 .. 3).
    std::array<std::string, 4> &parameters() { return parameters_; }

    // Called with each line appended to the answer list (blank lines included).
    void onLineAppended(std::function<void(const std::string &)> f) { lineAppended_ = std::move(f); }

    // btnCalc click: the calculation of the input line. Returns the index of the
    // answer list's first visible line afterwards (this calculation's "Input: ").
    size_t calculate();
    // btnClear and btnClearAll.
    void clearLine() { input_.clear(); }
    void clearAll();
    // Both lists at once, as a session file or "nomix.tmp" gives them back.
    void setLists(std::deque<std::string> recall, std::vector<std::string> answers) {
        recall_ = std::move(recall);
        answers_ = std::move(answers);
    }
    // A click on answer line i copies the text after its ": " into the input line.
    void answerClicked(size_t i);
    // The Solve and Integrate menu commands, and unloading the window.
    void Solve();
    void Integrate();
    void unload() { mode_ = CalcMode::None; }

    // The answer lines for a numeric answer (Dec, Bin, Hex, Oct by the settings).
    std::vector<std::string> numberLines(double value, const std::string &formatted) const;

private:
    void rewriteForMode();
    void plainLayout();
    void append(std::string line);
    std::string loadAnswer(const std::string &input);
    void evaluate(const std::string &input);
    bool listSolutions(const std::string &input);
    size_t applyLimits(size_t inputIndex);

    Binding &b_;
    CalculatorSettings settings_;
    CalculatorLayout layout_;
    CalcMode mode_ = CalcMode::None;
    std::string input_;
    std::deque<std::string> recall_;
    std::vector<std::string> answers_;
    std::array<std::string, 4> parameters_{"", "", "", "100"};
    std::function<void(const std::string &)> lineAppended_;
};

} // namespace nomix
