// The fault grid: every operator and numeric function of the calculator
// language on hostile operands, under the masked control word 0x033F and the
// trapping word 0x0332, through the calculator's own calculation (the path
// nomixcli and the window take). A processor fault that escaped would end this
// program; each case must answer (a value or an error message), leave every
// fault masked for the host's own arithmetic, and keep the calculator working.
#include "box_host.h"
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

#include "shell/binding.h"
#include "shell/bootstrap.h"
#include "shell/calculator.h"

using namespace nomix;

namespace {

// Hostile operands, held in variables set under the masked word so that
// making them faults nowhere: the value and how the variable is made.
// The literal text is the same value written as constants only, which the
// compiler computes once: the folded path must raise the same faults.
struct Operand {
    const char *name;
    const char *definition;
    const char *literal;
};
const Operand kOperands[] = {
    {"gZero", "0", "0"},
    {"gNegZero", "-gZero", "(-0)"},
    {"gOne", "1", "1"},
    {"gMinusOne", "-1", "(-1)"},
    {"gMinLong", "-2147483648", "(-2147483648)"},
    {"gMaxLong", "2147483647", "2147483647"},
    {"gBig", "1e308", "1e308"},
    {"gNegBig", "-1e308", "(-1e308)"},
    {"gDenormal", "4.9e-324", "4.9e-324"},
    {"gInf", "1e308 * 10", "(1e308 * 10)"},
    {"gNegInf", "-1e308 * 10", "(-1e308 * 10)"},
    {"gNaN", "gInf - gInf", "(1e308 * 10 - 1e308 * 10)"},
    {"gHalf", "0.5", "0.5"},  // a fractional exponent and a positive fractional base
};

// Every operator of both language phases, and the functions and natives that
// compute on numbers; A and B stand for the operands.
const char *const kBinary[] = {
    "A + B",  "A - B",  "A * B",       "A / B",      "A \\ B",  "A ^ B",   "A Mod B", "A And B",
    "A Or B", "A Xor B", "A Eqv B",    "A Imp B",    "A AndAlso B", "A OrElse B", "A == B", "A <> B",
    "A < B",  "A > B",  "A <= B",      "A >= B",     "Rand(A, B)", "iif(A, B, 0)", "Asc('abc', A) + B",
    "Sum_(B / (x - A), 1, 3, 1, x)",   "Integ_(A \\ x + B, 0, 1, x, 4)",
};
const char *const kUnary[] = {
    "-A",      "A!",      "Not(A)",  "Sin(A)",  "Cos(A)",   "Tan(A)",   "Atan(A)",   "Abs(A)",
    "Exp(A)",  "Log(A)",  "Ceil(A)", "Sqr(A)",  "Int(A)",   "Frac(A)",  "Sgn(A)",    "Rand(A)",
    "Chr(A)",  "Str(A)",  "Val(Str(A))", "nxAddr(A)", "BaseConvert('101', A)", "Format(A, '0.00')",
    "Solve_(x * x - A, -2, 2, x)",
};

// The template with each A and B that stands alone (not inside a word such
// as Abs or AndAlso) replaced by the operands.
std::string substitute(const std::string &text, const std::string &a, const std::string &b) {
    auto letter = [&](size_t i) { return i < text.size() && std::isalpha(static_cast<unsigned char>(text[i])); };
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        bool alone = (i == 0 || !letter(i - 1)) && !letter(i + 1);
        if (alone && text[i] == 'A')
            out += a;
        else if (alone && text[i] == 'B')
            out += b;
        else
            out += text[i];
    }
    return out;
}

// True when both units mask every fault: the host's own arithmetic is safe.
bool hostWordMasked() {
    uint16_t x87;
    uint32_t mxcsr;
    __asm__ volatile("fnstcw %0\n\tstmxcsr %1" : "=m"(x87), "=m"(mxcsr));
    return (x87 & 0x3F) == 0x3F && ((mxcsr >> 7) & 0x3F) == 0x3F;
}

class FaultGrid : public ::testing::Test {
protected:
    void SetUp() override {
        DefineApplicationLanguage(binding());
        calc.onLineAppended([this](const std::string &line) {
            if (!line.empty()) lines.push_back(line);
        });
        for (const Operand &o : kOperands) run(std::string(o.name) + " = " + o.definition);
        run("x = 0");  // the variable of the natives' loops
    }
    // The lines one calculation appends after its "Input:" line.
    std::vector<std::string> run(const std::string &input) {
        lines.clear();
        calc.setInput(input);
        calc.calculate();
        if (!lines.empty() && lines.front().rfind("Input: ", 0) == 0) lines.erase(lines.begin());
        return lines;
    }
    // One case under a word: it must answer, with the host's word masked
    // afterwards. The word is set for each case, since Solve_ ends with the
    // masked word whatever was in force before.
    void expectAnswered(const std::string &input, const char *word) {
        setWord(word);
        std::vector<std::string> answer = run(input);
        bool answered = !answer.empty() && (answer.front().rfind("Answer: ", 0) == 0 ||
                                            answer.front().rfind("Dec: ", 0) == 0);
        EXPECT_TRUE(answered) << word << ": " << input;
        EXPECT_TRUE(hostWordMasked()) << word << ": " << input;
    }
    void setWord(const char *word) { run(std::string("Nomix(75, '', ") + word + ")"); }
    // Every operator on every operand, written as `form` gives it, under both words.
    void expectGridAnswered(const char *Operand::*form) {
        for (const char *word : {"831", "818"}) {
            for (const Operand &a : kOperands) {
                for (const char *op : kUnary) expectAnswered(substitute(op, a.*form, ""), word);
                for (const Operand &b : kOperands)
                    for (const char *op : kBinary) expectAnswered(substitute(op, a.*form, b.*form), word);
            }
            setWord("831");
            EXPECT_EQ(run("1 + 1"), std::vector<std::string>{"Answer: 2"}) << word;
        }
    }

    nomix::testing::BoxHost host_;
    Application app_{host_};
    Calculator &calc = app_.calculator();
    std::vector<std::string> lines;
};

TEST_F(FaultGrid, EveryOperatorOnHostileOperandsAnswersUnderBothWords) { expectGridAnswered(&Operand::name); }

TEST_F(FaultGrid, EveryOperatorOnFoldedConstantsAnswersUnderBothWords) { expectGridAnswered(&Operand::literal); }

// The numeric routines of the table bound by number, each with the operand and
// result types it reads and writes, so that routines the language does not
// name (Extended arithmetic, Long Mod, the conversions) are run too.
struct TableRoutine {
    int slot;
    const char *params;
    const char *result;
};
const TableRoutine kTableRoutines[] = {
    {43, "x As Extended", "Extended"}, {44, "x As Extended", "Extended"}, {45, "x As Extended", "Extended"},
    {48, "x As Extended, y As Extended", "Extended"},  {51, "x As Extended, y As Extended", "Extended"},
    {53, "x As Extended, y As Extended", "Extended"},  {56, "x As Extended, y As Extended", "Extended"},
    {58, "x As Extended, y As Extended", "Extended"},  {59, "x As Extended, y As Extended", "Extended"},
    {60, "x As Extended, y As Long", "Extended"},      {207, "x As Double, y As Long", "Double"},
    {47, "x As Long, y As Long", "Long"},  {50, "x As Long, y As Long", "Long"},  {52, "x As Long, y As Long", "Long"},
    {55, "x As Long, y As Long", "Long"},  {57, "x As Long, y As Long", "Long"},
    {49, "x As Complex, y As Complex", "Complex"},     {54, "x As Complex, y As Complex", "Complex"},
    {24, "x As Double", "Extended"}, {29, "x As Long", "Extended"}, {30, "x As Dword", "Extended"},
    {37, "x As Extended", "Double"}, {39, "x As Extended", "Long"}, {40, "x As Extended", "Long"},
    {218, "x As Double", "Long"},    {219, "x As Long", "Double"},
    {62, "x As Extended, y As Extended", "Long"}, {66, "x As Extended, y As Extended", "Long"},
    {74, "x As Long", "Long"}, {77, "x As Long, y As Long", "Long"},
    {82, "x As Long", "Extended"},   {85, "x As Extended", "Extended"}, {87, "x As Extended", "Extended"},
    {89, "x As Extended", "Long"},   {91, "x As Long", "Long"},         {92, "x As Extended", "Extended"},
    {93, "x As Extended", "Extended"}, {95, "x As Extended", "Extended"}, {115, "x As Extended", "Extended"},
    {116, "x As Extended", "Extended"}, {117, "x As Extended", "Extended"},
    {210, "x As Double", "Double"}, {212, "x As Double", "Long"}, {216, "x As Double", "Double"},
    {206, "x As Double, y As Double", "Double"}, {215, "x As Double", "Double"},
};

TEST_F(FaultGrid, EveryNumericRoutineOfTheTableAnswersUnderBothWords) {
    for (const TableRoutine &r : kTableRoutines) {
        std::string name = "R" + std::to_string(r.slot);
        run("Nomix(1, 'Func:: " + name + "(" + r.params + ") As " + r.result + "', Nomix(12, '', " +
            std::to_string(r.slot) + "))");
        bool binary = std::string(r.params).find(',') != std::string::npos;
        for (const char *word : {"831", "818"})
            for (const Operand &a : kOperands) {
                if (!binary) expectAnswered(name + "(" + a.name + ")", word);
                for (const Operand &b : kOperands)
                    if (binary) expectAnswered(name + "(" + a.name + ", " + b.name + ")", word);
            }
    }
    setWord("831");
    EXPECT_EQ(run("R48(1, 2)"), std::vector<std::string>{"Answer: 3"});
}

// The faults the masked word turns into values and the trapping word into
// errors; integer division by 0 is an error under both.
TEST_F(FaultGrid, FaultsAnswerAsDesigned) {
    struct Case {
        const char *word;
        const char *input;
        const char *answer;
    } cases[] = {
        {"831", "1 / gZero", "Answer: Inf"},
        {"831", "-1 / gZero", "Answer: -Inf"},
        {"831", "Log(gZero)", "Answer: -Inf"},
        {"831", "gInf - gInf", "Answer: NaN"},
        {"831", "7 \\ gZero", "Answer: Integer division by 0"},
        {"831", "gMinLong \\ -1", "Answer: Integer overflow"},
        {"818", "gMinLong \\ -1", "Answer: Integer overflow"},
        {"818", "1 / gZero", "Answer: Division by 0"},
        {"818", "Log(gZero)", "Answer: Division by 0"},
        {"818", "gBig * 10", "Answer: Floating point overflow"},
        {"818", "Sqr(-1)", "Answer: Invalid operation"},
        {"818", "7 \\ gZero", "Answer: Integer division by 0"},
        // The same on constants, which the compiler folds.
        {"831", "1 / 0", "Answer: Inf"},
        {"831", "Log(0) + 1", "Answer: -Inf"},
        {"831", "Sqr(2 * 2) + 1", "Answer: 3"},
        {"818", "1 / 0", "Answer: Division by 0"},
        {"818", "1 + 1 / 0", "Answer: Division by 0"},
        {"818", "Log(0)", "Answer: Division by 0"},
        {"818", "1e308 * 10", "Answer: Floating point overflow"},
        {"818", "Sqr(-1) + 2", "Answer: Invalid operation"},
        {"818", "2 * 3 + 1", "Answer: 7"},
    };
    for (const Case &c : cases) {
        setWord(c.word);
        EXPECT_EQ(run(c.input), std::vector<std::string>{c.answer}) << c.word << ": " << c.input;
        EXPECT_TRUE(hostWordMasked()) << c.input;
    }
    setWord("831");
}

} // namespace
