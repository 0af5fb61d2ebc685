// The shipped first-phase language file, sent to the real engine, and what the
// engine holds afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "nxeng296.h"
#include "shell/bootscript.h"

// Weak, so that this test links and reports cleanly while the engine's command
// entry and text fetch are still missing from the library.
#pragma weak Nomix
#pragma weak nxStrReturnB

using namespace nomix;

namespace {

constexpr intptr_t bit(int n) { return intptr_t{1} << n; }
constexpr intptr_t kTakesArgList = bit(4), kVariable = bit(8), kInfix = bit(9), kPrefix = bit(10),
                   kPostfix = bit(11), kOperator = bit(12), kConstant = bit(14), kNativeCall = bit(20);

// Phase 1 runs once per process, as in the application.
struct Phase1 {
    BootScript script;
    std::vector<SendResult> results;
    std::unique_ptr<BootSender> sender;
};

// The shipped file as read, without an engine.
BootScript languageScript() {
    auto file = findLanguageFile();
    return file ? readBootScriptFile(*file) : BootScript{{}, {{0, "language file not found"}}};
}

const Phase1 &phase1() {
    static const Phase1 once = [] {
        Phase1 p;
        p.script = languageScript();
        p.sender = std::make_unique<BootSender>(&Nomix);
        p.results = p.sender->sendAll(p.script.commands);
        return p;
    }();
    return once;
}

class Phase1Test : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(&Nomix, nullptr) << "the engine's command entry is not built yet";
        ASSERT_TRUE(phase1().script.problems.empty()) << phase1().script.problems[0].message;
    }
    const BootSender &engine() const { return *phase1().sender; }
    intptr_t type(KeptType t) const { return engine().keptType(t); }

    intptr_t byName(std::string_view name, int property) const {
        return engine().call(nx_GetItemData, name, 0, property);
    }
    intptr_t of(intptr_t item, int property) const {
        return engine().call(nx_GetItemData, "", item, property);
    }
    // Every item of that name, newest first.
    std::vector<intptr_t> overloads(std::string_view name) const {
        std::vector<intptr_t> items;
        for (intptr_t h = byName(name, nx_Handle); h != 0 && items.size() < 64; h = of(h, nx_NextItem))
            items.push_back(h);
        return items;
    }
    // The overloads of that name bound to the built-in routine.
    std::vector<intptr_t> boundTo(std::string_view name, int routine) const {
        intptr_t address = engine().routineAddress(routine);
        std::vector<intptr_t> found;
        for (intptr_t h : overloads(name))
            if (of(h, nx_Address) == address) found.push_back(h);
        return found;
    }
    std::string textResult(intptr_t token) const {
        if (&nxStrReturnB == nullptr) return "<no nxStrReturnB>";
        const char *s = nxStrReturnB(token);
        return s ? std::string(s, nxStrLen(s)) : std::string();
    }
};

TEST(Phase1File, HoldsTheWholePhaseInOrder) {
    BootScript script = languageScript();
    ASSERT_TRUE(script.problems.empty()) << script.problems[0].message;
    const auto &cmds = script.commands;
    ASSERT_EQ(cmds.size(), 1u + 25u + 170u);
    EXPECT_EQ(cmds[0].kind, BootCommandKind::Initialize);
    for (size_t i = 1; i <= 25; ++i) EXPECT_EQ(cmds[i].kind, BootCommandKind::Message);
    for (int n = 1; n <= 170; ++n) EXPECT_EQ(cmds[25 + n].number, n);
}

// Spot checks of texts whose blanks, joins or appended numbers are easy to get wrong.
TEST(Phase1File, TrickyTextsAreExact) {
    BootScript script = languageScript();
    ASSERT_EQ(script.commands.size(), 196u);
    const std::vector<std::pair<int, std::string>> texts = {
        {4, "DataType: Long     ~~ Size: 4  ~~ TypeHandler: # ~~ ConvertsTo: Extended, #"},
        {52, "Op: {Name} '{' {Operand} '}' [As {type}] ::=Param: {Operand} ~~ Name: {Name} ~~ "
             "DataType: {type} ~~ Properties:  5120"},
        {136, "Syntax: Precedence({Item}) ::= Nomix( 97, {Item}, 0,  6, 0, ~t)"},
        {166, "Var: {'[ ]*'}{ArrayName:_Alpha} ({MaxIndex}) [{etc}]::= Count: {MaxIndex} ~~ "
              "Var: {ArrayName} {etc} ~~ NextDef ~~Syntax: {ArrayName} ({Index}) ::= "
              "ValueAtAddr(DataType({ArrayName}), Address({ArrayName}), {Index})"},
    };
    for (const auto &[number, text] : texts)
        EXPECT_EQ(script.commands.at(25 + number).text, text) << "definition " << number;
}

TEST_F(Phase1Test, NoDefinitionFails) {
    for (const SendResult &r : phase1().results) {
        EXPECT_EQ(r.status, SendStatus::Sent) << "line " << r.line;
        EXPECT_EQ(r.error, 0) << "line " << r.line << ", definition " << r.number;
        // A definition that reports no error must also have produced its item or
        // rule; only the bare default-type setting need not.
        bool definesSomething = r.kind == BootCommandKind::Define || r.kind == BootCommandKind::Syntax;
        if (definesSomething && r.number != 170) {
            EXPECT_NE(r.result, 0) << "line " << r.line << ", definition " << r.number;
        }
    }
    EXPECT_NE(phase1().results.at(0).result, 0) << "start-up returns the default context";
}

TEST_F(Phase1Test, MessagesAreInstalled) {
    for (const BootCommand &c : phase1().script.commands) {
        if (c.kind != BootCommandKind::Message) continue;
        EXPECT_EQ(textResult(engine().callNoText(nx_GetErrorMessage, c.args.at(0).number)), c.text);
    }
    EXPECT_EQ(textResult(engine().callNoText(nx_GetErrorMessage, 1)), "Unknown error");
    EXPECT_EQ(textResult(engine().callNoText(nx_GetErrorMessage, 99)), "Unknown error");
}

TEST_F(Phase1Test, KeptTypesAreTheEnginesTypes) {
    struct Row { KeptType type; intptr_t size; };
    const std::vector<Row> rows = {
        {KeptType::Extended, 10}, {KeptType::Double, 8}, {KeptType::Single, 4}, {KeptType::Long, 4},
        {KeptType::Dword, 4}, {KeptType::String, 4}, {KeptType::WideString, 4}, {KeptType::FixedString, -1},
        {KeptType::Byte, 1}, {KeptType::LPCSTR, -1}, {KeptType::Stack, 4}, {KeptType::SortedList, 4},
        {KeptType::Table, 4}, {KeptType::Void, 10}, {KeptType::Complex, 20}};
    std::set<intptr_t> distinct;
    for (const Row &row : rows) {
        std::string name(keptTypeName(row.type));
        intptr_t h = type(row.type);
        EXPECT_NE(h, 0) << name;
        distinct.insert(h);
        EXPECT_EQ(byName(name, nx_Handle), h) << name;
        EXPECT_EQ(of(h, nx_DataType), h) << name << " is its own data type";
        if (row.size >= 0) {
            EXPECT_EQ(byName(name, nx_Size), row.size) << name;
        }
    }
    EXPECT_EQ(distinct.size(), rows.size());
    EXPECT_EQ(engine().callNoText(nx_GetDefaultType), type(KeptType::Double));
}

struct OpRow {
    const char *name;
    int routine;
    intptr_t precedence;
    intptr_t count;
    intptr_t fixity;
    std::optional<KeptType> result;
};

TEST_F(Phase1Test, OperatorsWithPrecedences) {
    const intptr_t in = kInfix | kOperator, post = kPostfix | kOperator;
    const std::vector<OpRow> rows = {
        {"+", 46, 10, 2, in, KeptType::String},   {"+", 47, 10, 2, in, KeptType::Long},
        {"+", 49, 10, 2, in, KeptType::Complex},  {"*", 54, 10, 2, in, KeptType::Complex},
        {"+", 201, 10, 2, in, KeptType::Double},  {"-", 202, 10, 2, in, KeptType::Double},
        {"*", 203, 20, 2, in, KeptType::Double},  {"/", 204, 20, 2, in, KeptType::Double},
        {"Mod", 205, 20, 2, in, KeptType::Double}, {"^", 206, 30, 2, in, KeptType::Double},
        {"!", 82, 40, 1, post, {}},               {"\\", 55, 20, 2, in, KeptType::Long},
        {">", 62, 5, 2, in, KeptType::Long},      {"<", 64, 5, 2, in, KeptType::Long},
        {">=", 63, 5, 2, in, KeptType::Long},     {"<=", 65, 5, 2, in, KeptType::Long},
        {"<>", 67, 5, 2, in, KeptType::Long},     {"==", 66, 5, 2, in, KeptType::Long},
        {">", 68, 5, 2, in, KeptType::Long},      {"==", 72, 5, 2, in, KeptType::Long},
        {"And", 75, 4, 2, in, KeptType::Long},    {"AndAlso", 80, 4, 2, in, {}},
        {"Or", 76, 3, 2, in, KeptType::Long},     {"OrElse", 81, 3, 2, in, {}},
    };
    for (const OpRow &row : rows) {
        SCOPED_TRACE(std::string(row.name) + " bound to routine " + std::to_string(row.routine));
        auto found = boundTo(row.name, row.routine);
        ASSERT_EQ(found.size(), 1u);
        intptr_t h = found[0];
        EXPECT_EQ(of(h, nx_Precedence), row.precedence);
        EXPECT_EQ(of(h, nx_Count), row.count);
        EXPECT_EQ(of(h, nx_Flags) & (row.fixity | kNativeCall), row.fixity | kNativeCall);
        if (row.result) {
            EXPECT_EQ(of(h, nx_DataType), type(*row.result));
        }
    }
    // The Double "+" is the newest and so heads its name's chain.
    auto plus = overloads("+");
    ASSERT_EQ(plus.size(), 4u);
    EXPECT_EQ(of(plus[0], nx_Address), engine().routineAddress(201));
}

TEST_F(Phase1Test, NativeFunctions) {
    // The parameters themselves (their passing modes, such as iif's by-expression
    // branches) are members, which the command entry does not expose.
    struct FnRow { const char *name; int routine; intptr_t count; size_t copies; std::optional<KeptType> result; };
    const std::vector<FnRow> rows = {
        {"Sin", 208, 1, 1, KeptType::Double},  {"Ceil", 212, 1, 1, KeptType::Long},
        {"iif", 84, 3, 1, KeptType::String},   {"iif", 83, 3, 1, KeptType::Extended},
        {"BatchEval", 199, 5, 1, KeptType::Void}, {"NomixStr", 100, 6, 1, KeptType::String},
        {"SetVar", 140, 2, 2, KeptType::Void}, {"SetVar", 142, 2, 1, KeptType::Void},
    };
    for (const FnRow &row : rows) {
        SCOPED_TRACE(std::string(row.name) + " bound to routine " + std::to_string(row.routine));
        auto found = boundTo(row.name, row.routine);
        ASSERT_EQ(found.size(), row.copies);
        for (intptr_t h : found) {
            EXPECT_EQ(of(h, nx_Count), row.count);
            EXPECT_EQ(of(h, nx_Flags) & (kTakesArgList | kPrefix | kNativeCall),
                      kTakesArgList | kPrefix | kNativeCall);
            if (row.result) {
                EXPECT_EQ(of(h, nx_DataType), type(*row.result));
            }
        }
    }
    // Both Rand forms share the routine: one with a defaulted parameter, one with two.
    std::vector<intptr_t> randCounts;
    for (intptr_t h : boundTo("Rand", 198)) randCounts.push_back(of(h, nx_Count));
    std::sort(randCounts.begin(), randCounts.end());
    EXPECT_EQ(randCounts, (std::vector<intptr_t>{1, 2}));
    EXPECT_EQ(overloads("iif").size(), 2u);
}

TEST_F(Phase1Test, ConstantsAndTheirValues) {
    const std::vector<std::pair<const char *, double>> constants = {
        {"nx_Define", 1}, {"nx_DefineSyntax", 2}, {"nx_GetItemData", 97}, {"nx_SetItemData", 98},
        {"nx_SymbolName", 4}, {"nx_Handle", 13}, {"nx_Address", 3}, {"nx_DataType", 12}};
    for (const auto &[name, value] : constants) {
        SCOPED_TRACE(name);
        EXPECT_EQ(byName(name, nx_Flags) & (kVariable | kConstant), kVariable | kConstant);
        double result = -1;
        engine().call(nx_EvalDbl, name, 0, 0, reinterpret_cast<intptr_t>(&result));
        EXPECT_EQ(result, value);
    }
}

TEST_F(Phase1Test, TokenKinds) {
    struct Row { const char *text; intptr_t kind; intptr_t flagBits; };
    const std::vector<Row> rows = {
        {"Sin", 1, 0},   {",", 2, 0},      {"(", 3, 0},       {")", 4, 0},       {"{", 3, 0},
        {"}", 4, 0},     {"[", 3, 0},      {"~Eval_1", 5, 0}, {"~Expand", 6, 0}, {".", 7, 0},
        {"'a;b'", 8, bit(5)}, {"\"x\"", 8, bit(5)}, {";", 9, 0}, {"~t", 12, 0}, {"~Eval_P", 15, 0},
        {"12.5e-3", 0, bit(5)}, {"#i", 0, bit(5)}, {"+-", 0, bit(6)},
    };
    for (const Row &row : rows) {
        EXPECT_EQ(engine().call(nx_TokenKind, row.text), row.kind) << row.text;
        EXPECT_EQ(engine().call(nx_TokenFlags, row.text) & row.flagBits, row.flagBits) << row.text;
    }
}

TEST_F(Phase1Test, MaxAndMinRulesNest) {
    const std::vector<std::pair<const char *, std::string>> rows = {
        {"Max(4, 5)", "IIf(4>5,4,5)"},
        {"Max(1, 2, 3)", "IIf(1>IIf(2>3,2,3),1,IIf(2>3,2,3))"},
        {"Min(1, 2, 3)", "IIf(1<IIf(2<3,2,3),1,IIf(2<3,2,3))"},
    };
    for (const auto &[input, expected] : rows) {
        std::string text = textResult(engine().call(nx_Expand, input));
        std::erase(text, ' ');
        EXPECT_EQ(text, expected) << input;
    }
}

TEST_F(Phase1Test, ReleasingAThreadFreesWhatWasDefinedInIt) {
    int64_t before = nxHeapLiveBlocks();
    intptr_t thread = engine().callNoText(nx_NewThread);
    ASSERT_NE(thread, 0);
    BootSender child(&Nomix, thread);
    BootScript defs = parseBootScript("define | Var: q As Double\n"
                                      "define routine:208 | Func:: MySin(x As Double) As Double\n"
                                      "syntax | Twice({x}) ::= {x}+{x}\n"
                                      "message 40 Thread's own message\n");
    ASSERT_TRUE(defs.problems.empty());
    for (const SendResult &r : child.sendAll(defs.commands)) EXPECT_EQ(r.error, 0) << "line " << r.line;
    engine().callNoText(nx_ClearError);  // earlier tests may have left one
    engine().callNoText(nx_ReleaseItem, thread);
    EXPECT_EQ(engine().errorCode(), 0);
    EXPECT_EQ(nxHeapLiveBlocks(), before);
}

} // namespace
