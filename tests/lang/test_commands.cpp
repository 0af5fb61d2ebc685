// The command entry: every code of the table, its settings and their defaults, text
// results, item properties and the codes that are not in the table.
#include <cstring>

#include "lang_fixture.h"

namespace lang {
namespace {

class Commands : public LangTest {};

// A child thread starts from its parent's settings; the numeric options start at
// their documented values.
TEST_F(Commands, SettingsStartAtTheirDefaults) {
    Scratch s;
    struct Row { Word code; Word expected; };
    const std::vector<Row> rows = {
        {nx_GetCaseSensitive, 0}, {nx_GetRulePrecedence, 1}, {nx_GetDefaultRank, 1},
        {nx_GetDefaultType, type(KeptType::Double)}, {nx_GetError, 0}, {nx_GetContinuation, 0},
        {nx_GetFpuWord, 0x033F}, {nx_GetFpuWordAfter, 0x033F}, {nx_GetAngleUnit, 1},
        {nx_ParentContext, callNoText(nx_GetContext)},
    };
    for (const Row &row : rows) EXPECT_EQ(callNoText(row.code, 0, 0, 0, s.t()), row.expected) << "code " << row.code;
    EXPECT_EQ(callNoText(nx_ParentContext), 0) << "the root context has no parent";
    EXPECT_EQ(textCall(nx_GetPropertySeparator, "", 0, 0, 0, s.t()), "~~");
    EXPECT_EQ(textCall(nx_GetRuleSeparator, "", 0, 0, 0, s.t()), "::=");
}

// Each setter is read back by its getter; the x87 words keep only their low 16 bits
// and the toggles return the new word.
TEST_F(Commands, SettersAndGetters) {
    Scratch s;
    struct Row { Word set; Word value; Word get; Word expected; };
    const std::vector<Row> rows = {
        {nx_SetCaseSensitive, 1, nx_GetCaseSensitive, 1},
        {nx_SetRulePrecedence, 7, nx_GetRulePrecedence, 7},
        {nx_SetDefaultRank, 3, nx_GetDefaultRank, 3},
        {nx_SetDefaultType, type(KeptType::Long), nx_GetDefaultType, type(KeptType::Long)},
        {nx_SetFpuWord, 0x70332, nx_GetFpuWord, 0x0332},
        {nx_SetFpuWordAfter, 818, nx_GetFpuWordAfter, 818},
        {nx_ToggleFpuWord, 0x000D, nx_GetFpuWord, 0x033F},
        {nx_ToggleFpuWordAfter, 0x0001, nx_GetFpuWordAfter, 0x0333},
    };
    for (const Row &row : rows) {
        callNoText(row.set, row.value, 0, 0, s.t());
        EXPECT_EQ(callNoText(row.get, 0, 0, 0, s.t()), row.expected) << "code " << row.set;
    }
    EXPECT_EQ(callNoText(nx_ToggleFpuWord, 0x000D, 0, 0, s.t()), 0x0332) << "toggle returns the new word";
    EXPECT_EQ(callNoText(nx_GetDefaultRank), 1) << "the parent is untouched";
}

// The separators are text settings: a definition splits at the new property separator.
TEST_F(Commands, SeparatorsAreTextSettings) {
    Scratch s;
    call(nx_SetPropertySeparator, "&&", 0, 0, 0, s.t());
    call(nx_SetRuleSeparator, ":->", 0, 0, 0, s.t());
    EXPECT_EQ(textCall(nx_GetPropertySeparator, "", 0, 0, 0, s.t()), "&&");
    EXPECT_EQ(textCall(nx_GetRuleSeparator, "", 0, 0, 0, s.t()), ":->");
    EXPECT_NE(define("Variable && Name: sepA && DataType: Long", 0, 0, 0, s.t()), 0);
    EXPECT_EQ(errorCode(s.t()), 0);
    EXPECT_EQ(byName("sepA", nx_DataType, 0, s.t()), type(KeptType::Long));
    EXPECT_EQ(define("Variable ~~ Name: sepB", 0, 0, 0, s.t()), 0) << "~~ no longer separates";
    EXPECT_EQ(errorCode(s.t()), 2);
    EXPECT_NE(defineSyntax("Thrice({x}) :-> 3*{x}", 1, s.t()), 0);
    EXPECT_EQ(evalStr("Thrice(4)", s.t()), " 12");
}

// A child copies its parent's settings at creation, not its numeric FPU words.
TEST_F(Commands, ChildCopiesItsParentsSettings) {
    Scratch parent;
    Word p = parent.t();
    callNoText(nx_SetDefaultRank, 4, 0, 0, p);
    callNoText(nx_SetRulePrecedence, 9, 0, 0, p);
    callNoText(nx_SetDefaultType, type(KeptType::Long), 0, 0, p);
    call(nx_SetPropertySeparator, "&&", 0, 0, 0, p);
    call(nx_SetRuleSeparator, ":->", 0, 0, 0, p);
    Word child = callNoText(nx_NewThread, 0, 0, 0, p);
    ASSERT_NE(child, 0);
    EXPECT_EQ(callNoText(nx_GetDefaultRank, 0, 0, 0, child), 4);
    EXPECT_EQ(callNoText(nx_GetRulePrecedence, 0, 0, 0, child), 9);
    EXPECT_EQ(callNoText(nx_GetDefaultType, 0, 0, 0, child), type(KeptType::Long));
    EXPECT_EQ(textCall(nx_GetPropertySeparator, "", 0, 0, 0, child), "&&");
    EXPECT_EQ(textCall(nx_GetRuleSeparator, "", 0, 0, 0, child), ":->");
    EXPECT_EQ(callNoText(nx_ParentContext, 0, 0, 0, child), callNoText(nx_GetContext, 0, 0, 0, p));
    callNoText(nx_ReleaseItem, child, 0, 0, p);
}

// Codes outside the table set error 6 and return 0.
TEST_F(Commands, CodesNotInTheTableAreError6) {
    std::vector<Word> codes = {3, 31, 38, 39, 52, 59, 69, 81, 84, 86, 90, 93, 101, 150, 0, -1, -37, 100000};
    for (Word c = 42; c <= 49; ++c) codes.push_back(c);
    for (Word code : codes) {
        clearError();
        EXPECT_EQ(call(code, "1+2", 1, 2, 0), 0) << "code " << code;
        EXPECT_EQ(errorCode(), 6) << "code " << code;
    }
    clearError();
}

// A text result is parked in the context: the result is the context's address.
// nxStrReturn hands out a copy that outlives the next text result; nxStrReturnB
// only borrows the parked bytes.
TEST_F(Commands, TextResultsAreParkedInTheContext) {
    Word context = callNoText(nx_GetContext);
    Word token = call(nx_GetPropertySeparator, "");
    EXPECT_EQ(token, context);
    int64_t before = nxHeapLiveBlocks();
    char *copy = nxStrReturn(token);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(std::string(copy, nxStrLen(copy)), "~~");
    EXPECT_EQ(fetch(call(nx_GetRuleSeparator, "")), "::=");
    EXPECT_EQ(std::string(copy, nxStrLen(copy)), "~~") << "the copy is the caller's";
    nxStrFree(copy);
    EXPECT_EQ(nxHeapLiveBlocks(), before);
    EXPECT_EQ(fetch(call(nx_Expand, "Max(1, 2)")).find("IIf"), 0u);
}

// Code 12: numbers outside the table, and empty slots, read slot 0. Code 24 grows
// the table.
TEST_F(Commands, RoutineAddresses) {
    Word slot0 = routine(0);
    for (Word n : {Word{-1}, Word{-1000}, Word{1} << 20, Word{0x7FFFFFFF}})
        EXPECT_EQ(callNoText(nx_RoutineAddress, n), slot0) << "routine " << n;
    EXPECT_NE(routine(201), 0);
    EXPECT_NE(routine(201), slot0);
    const Word far = 4321;
    callNoText(nx_SetRoutine, far, routine(201));
    EXPECT_EQ(routine(far), routine(201));
    callNoText(nx_SetRoutine, far, 0);
    EXPECT_EQ(routine(far), slot0) << "an emptied slot reads as slot 0";
}

// Code 68 takes 1 to 3; anything else changes nothing.
TEST_F(Commands, AngleUnit) {
    struct Row { Word set; Word unit; };
    const std::vector<Row> rows = {{2, 2}, {0, 2}, {4, 2}, {-1, 2}, {3, 3}, {7, 3}, {1, 1}, {0, 1}};
    for (const Row &row : rows) {
        callNoText(nx_SetAngleUnit, row.set);
        EXPECT_EQ(callNoText(nx_GetAngleUnit), row.unit) << "after setting " << row.set;
    }
    callNoText(nx_SetAngleUnit, 2);
    EXPECT_EQ(evalStr("Sin(90)"), " 1");
    callNoText(nx_SetAngleUnit, 1);
    EXPECT_EQ(evalStr("Sin(0)"), " 0");
}

// Codes 6 and 21 take the thread handle in MiscArg1 as well as in t.
TEST_F(Commands, ThreadHandleInEitherPosition) {
    Scratch s;
    ASSERT_NE(define("Var: swapOnly As Long = 41", 0, 0, 0, s.t()), 0);
    EXPECT_EQ(fetch(call(nx_EvalStr, "swapOnly+1", 0, 0, 0, s.t())), " 42");
    EXPECT_EQ(fetch(call(nx_EvalStr, "swapOnly+1", s.t(), 0, 0, 0)), " 42");
    EXPECT_EQ(fetch(call(nx_EvalStr, "7/2", type(KeptType::Long), 0, 0, s.t())), " 4") << "as Long, rounded to even";
    Word expr = call(nx_Parse, "swapOnly*2", s.t(), 0, 0, 0);
    ASSERT_NE(expr, 0);
    EXPECT_EQ(nxEvaluateDbl(expr), 82.0);
    release(expr, s.t());
    EXPECT_EQ(evalStr("swapOnly"), "Undefined identifier") << "the root does not see it";
}

// The default thread can be replaced and restored; code 16 reports it.
TEST_F(Commands, DefaultThread) {
    Word original = callNoText(nx_DefaultThread);
    ASSERT_NE(original, 0);
    Scratch s;
    ASSERT_NE(define("Var: onlyInScratch As Long = 5", 0, 0, 0, s.t()), 0);
    callNoText(nx_SetDefaultThread, s.t());
    EXPECT_EQ(callNoText(nx_DefaultThread), s.t());
    EXPECT_EQ(evalStr("onlyInScratch"), " 5") << "t = 0 now means the scratch context";
    callNoText(nx_SetDefaultThread, original);
    EXPECT_EQ(callNoText(nx_DefaultThread), original);
    EXPECT_EQ(evalStr("onlyInScratch"), "Undefined identifier");

    callNoText(nx_SetDefaultThread, 0);
    EXPECT_EQ(callNoText(nx_DefaultThread, 0, 0, 0, s.t()), 0);
    EXPECT_EQ(callNoText(nx_GetError), 0) << "without a default context t = 0 does nothing";
    EXPECT_EQ(evalStr("1+2"), "");
    callNoText(nx_SetDefaultThread, original, 0, 0, s.t());
    EXPECT_EQ(evalStr("1+2"), " 3");
}

// The evaluation commands with their fixed widths.
TEST_F(Commands, EvaluationCommands) {
    double d = 0;
    long double x = 0;
    call(nx_EvalDbl, "1/4", 0, 0, reinterpret_cast<Word>(&d));
    EXPECT_EQ(d, 0.25);
    call(nx_EvalExt, "1/3", 0, 0, reinterpret_cast<Word>(&x));
    EXPECT_NEAR(static_cast<double>(x), 1.0 / 3, 1e-15);

    Word dbl = parse("2+3", type(KeptType::Double));
    Word ext = parse("2/8", type(KeptType::Extended));
    Word lng = parse("7\\2", type(KeptType::Long));
    ASSERT_TRUE(dbl && ext && lng);
    d = 0;
    callNoText(nx_EvaluateDbl, dbl, 0, reinterpret_cast<Word>(&d));
    EXPECT_EQ(d, 5.0);
    callNoText(nx_EvaluateExt, ext, 0, reinterpret_cast<Word>(&x));
    EXPECT_EQ(x, 0.25L);
    int32_t l = 0;
    callNoText(nx_EvaluateLng, lng, 0, reinterpret_cast<Word>(&l));
    EXPECT_EQ(l, 3);
    EXPECT_EQ(fetch(callNoText(nx_EvaluateStr, dbl)), " 5");
    EXPECT_EQ(nxEvaluateDbl(dbl), 5.0);
    EXPECT_EQ(nxEvaluateExt(ext), 0.25L);
    for (Word e : {dbl, ext, lng}) release(e);
    EXPECT_EQ(errorCode(), 0);
}

// Code 10 shows the message of the expression's context when it holds an error.
TEST_F(Commands, EvaluateStrShowsAPendingError) {
    Word expr = parse("2+3");
    ASSERT_NE(expr, 0);
    callNoText(nx_RaiseError, 7);
    EXPECT_EQ(fetch(callNoText(nx_EvaluateStr, expr)), "Data type mismatch");
    clearError();
    EXPECT_EQ(fetch(callNoText(nx_EvaluateStr, expr)), " 5");
    release(expr);
}

// The alternative runner is used until the next parse; both evaluate alike here.
TEST_F(Commands, AlternativeEvaluator) {
    Word expr = parse("6*7");
    callNoText(nx_UseAltEvaluator);
    EXPECT_EQ(nxEvaluateDbl(expr), 42.0);
    Word again = parse("6*8");
    EXPECT_EQ(nxEvaluateDbl(again), 48.0);
    release(expr);
    release(again);
}

// Token commands: kind, flags, the next token with its pattern, and a bracket group.
TEST_F(Commands, TokenCommands) {
    struct Kind { const char *text; Word position; Word kind; };
    const std::vector<Kind> kinds = {{"Sin(x)", 0, 1}, {"Sin(x)", 1, 1}, {"Sin(x)", 4, 3},
                                     {"Sin(x)", 6, 4}, {"a, b", 2, 2}, {"1;2", 2, 9}};
    for (const Kind &k : kinds)
        EXPECT_EQ(call(nx_TokenKind, k.text, k.position), k.kind) << k.text << " at " << k.position;
    EXPECT_EQ(call(nx_TokenFlags, "+-") & flag::OperatorRun, flag::OperatorRun);

    int32_t position = 1;
    uint32_t pattern = 0;
    const std::string text = "12.5 +abc";
    EXPECT_EQ(textCall(nx_NextToken, text, reinterpret_cast<Word>(&pattern), 0, reinterpret_cast<Word>(&position)), "12.5");
    EXPECT_EQ(position, 5);
    EXPECT_NE(of(pattern, nx_Flags) & flag::Literal, 0) << "the number pattern came back";
    EXPECT_EQ(textCall(nx_NextToken, text, 0, 0, reinterpret_cast<Word>(&position)), "+");
    EXPECT_EQ(position, 7);
    position = 5;
    EXPECT_EQ(textCall(nx_NextToken, text, 0, 1, reinterpret_cast<Word>(&position)), " ") << "mode 1 keeps blanks";
    Scratch s;
    ASSERT_NE(define("Pattern:ab", 9, 0, 0, s.t()), 0);
    position = 1;
    EXPECT_EQ(textCall(nx_NextToken, "abc", reinterpret_cast<Word>(&pattern), 0, reinterpret_cast<Word>(&position), s.t()), "ab");
    position = 1;
    EXPECT_EQ(textCall(nx_NextToken, "abc", reinterpret_cast<Word>(&pattern), 2, reinterpret_cast<Word>(&position), s.t()), "abc")
        << "mode 2 resumes below the pattern given";
    EXPECT_EQ(of(pattern, nx_Flags) & flag::KindMask, 1);

    position = 1;
    EXPECT_EQ(textCall(nx_ReadGroup, "(a(b)c)d", 0, 0, reinterpret_cast<Word>(&position)), "a(b)c");
    EXPECT_EQ(position, 8);
    position = 1;
    EXPECT_EQ(textCall(nx_ReadGroup, "(a(b)c)d", 0, 1, reinterpret_cast<Word>(&position)), "(a(b)c)");
    position = 1;
    textCall(nx_ReadGroup, "(a\xA7)", 0, 0, reinterpret_cast<Word>(&position));
    EXPECT_EQ(errorCode(), 5) << "no pattern matches the byte 0xA7";
    clearError();
}

// Code 70 copies an item's description and gives the copy storage of its own.
TEST_F(Commands, CopyItem) {
    Scratch s;
    Word original = define("Var: copied As Long = 9", 0, 0, 0, s.t());
    ASSERT_NE(original, 0);
    Word copy = callNoText(nx_CopyItem, original, 0, 0, s.t());
    ASSERT_NE(copy, 0);
    EXPECT_NE(copy, original);
    EXPECT_EQ(of(copy, nx_DataType), type(KeptType::Long));
    EXPECT_EQ(of(copy, nx_Size), 4);
    EXPECT_NE(of(copy, nx_Flags) & flag::OwnsValue, 0);
    EXPECT_NE(of(copy, nx_Address), of(original, nx_Address));
    release(copy, s.t());
    EXPECT_EQ(errorCode(s.t()), 0);
}

// Code 22 by handle and by name; a missing item is error 3.
TEST_F(Commands, ReleaseItem) {
    Scratch s;
    Word a = define("Var: relA As Long", 0, 0, 0, s.t());
    ASSERT_NE(define("Var: relB As Long", 0, 0, 0, s.t()), 0);
    release(a, s.t());
    EXPECT_EQ(errorCode(s.t()), 0);
    call(nx_ReleaseItem, "relB", 0, 0, 0, s.t());
    EXPECT_EQ(errorCode(s.t()), 0);
    EXPECT_EQ(evalStr("relA+relB", s.t()), "Undefined identifier");
    call(nx_ReleaseItem, "relB", 0, 0, 0, s.t());
    EXPECT_EQ(errorCode(s.t()), 3);
}

class ItemData : public LangTest {
protected:
    Scratch s;
    Word var = 0;
    void SetUp() override {
        LangTest::SetUp();
        var = define("Var: pv As Long = 7", 0, 0, 0, s.t());
        ASSERT_NE(var, 0);
    }
    Word get(Word item, Word property) { return call(nx_GetItemData, "", item, property, 0, s.t()); }
    Word getByName(std::string_view name, Word property, Word mask = 0) {
        return call(nx_GetItemData, name, 0, property, mask, s.t());
    }
    void set(Word item, Word property, Word value, std::string_view text = "") {
        call(nx_SetItemData, text, item, property, value, s.t());
    }
    Word err() { return errorCode(s.t()); }
};

// Code 97 on a variable: every readable property.
TEST_F(ItemData, ReadsEveryProperty) {
    EXPECT_NE(get(var, nx_Flags) & flag::Variable, 0);
    EXPECT_EQ(get(var, nx_Thread), s.t());
    EXPECT_NE(get(var, nx_Address), 0);
    EXPECT_EQ(fetch(get(var, nx_SymbolName)), "pv");
    EXPECT_EQ(get(var, nx_Rank), 1);
    EXPECT_EQ(get(var, nx_Precedence), 0);
    EXPECT_EQ(get(var, nx_NextItem), 0);
    EXPECT_EQ(get(var, nx_ChainLength), 1);
    EXPECT_EQ(get(var, nx_Size), 4);
    EXPECT_EQ(get(var, nx_DataType), type(KeptType::Long));
    EXPECT_EQ(get(var, nx_Handle), var);
    EXPECT_EQ(getByName("pv", nx_Handle), var);
    int32_t value = 0;
    call(nx_GetItemData, "", var, nx_Value, reinterpret_cast<Word>(&value), s.t());
    EXPECT_EQ(value, 7);
    EXPECT_EQ(err(), 0);
}

// Code 98: the settable properties change, the others stay; 7 is error 6.
TEST_F(ItemData, WritesTheSettableProperties) {
    int32_t value = 1234;
    set(var, nx_Value, reinterpret_cast<Word>(&value));
    EXPECT_EQ(evalStr("pv", s.t()), " 1234");
    set(var, nx_Precedence, 17);
    set(var, nx_Count, 3);
    set(0, nx_Size, 4, "pv");
    EXPECT_EQ(get(var, nx_Precedence), 17);
    EXPECT_EQ(get(var, nx_Count), 3);
    Word flags = get(var, nx_Flags);
    set(var, nx_Flags, flags | bit(23));
    EXPECT_EQ(get(var, nx_Flags), flags | bit(23));
    auto *elsewhere = static_cast<int32_t *>(nxAlloc(4));
    *elsewhere = 55;
    Word home = get(var, nx_Address);
    set(var, nx_Address, reinterpret_cast<Word>(elsewhere));
    EXPECT_EQ(evalStr("pv", s.t()), " 55") << "the value is read at the new address";
    set(var, nx_Address, home);
    nxFree(elsewhere);
    set(var, nx_Thread, 99);
    set(var, nx_Rank, 5);
    EXPECT_EQ(get(var, nx_Thread), s.t());
    EXPECT_EQ(get(var, nx_Rank), 1);
    EXPECT_EQ(err(), 0);
    set(var, nx_NextItem, 0);
    EXPECT_EQ(err(), 6);
}

// Property codes outside the table are error 6 both ways.
TEST_F(ItemData, UnknownPropertiesAreError6) {
    for (Word property : {Word{0}, Word{11}, Word{16}, Word{99}, Word{-1}}) {
        clearError(s.t());
        get(var, property);
        EXPECT_EQ(err(), 6) << "get " << property;
        clearError(s.t());
        set(var, property, 1);
        EXPECT_EQ(err(), 6) << "set " << property;
    }
}

// A name or handle with no item is error 3, except property 13, which yields 0.
TEST_F(ItemData, MissingItems) {
    struct Row { std::string_view name; Word property; Word result; Word error; };
    const std::vector<Row> rows = {
        {"noSuchItem", nx_Flags, 0, 3}, {"noSuchItem", nx_Handle, 0, 0},
        {"", nx_Size, 0, 3},            {"", nx_Handle, 0, 0},
    };
    for (const Row &row : rows) {
        clearError(s.t());
        EXPECT_EQ(getByName(row.name, row.property), row.result) << row.name << "/" << row.property;
        EXPECT_EQ(err(), row.error) << row.name << "/" << row.property;
    }
    clearError(s.t());
    set(0, nx_Size, 4, "noSuchItem");
    EXPECT_EQ(err(), 3);
}

// By name, property 13 with a mask walks the chain to the first item having every
// bit of the mask; a property that is 0 on the head is taken from the next item.
TEST_F(ItemData, SameNameChainWalk) {
    Word fn = define("Func:: pv(x As Double) As Double", routine(208), 0, 0, s.t());
    Word head = define("Var: pv As Double", 0, 0, 0, s.t());
    ASSERT_TRUE(fn && head);
    struct Row { Word mask; Word expected; };
    const std::vector<Row> rows = {
        {0, head}, {flag::Variable, head}, {flag::NativeCall, fn},
        {flag::NativeCall | flag::ArgList, fn}, {flag::Constant, 0}, {flag::Variable | flag::NativeCall, 0},
    };
    for (const Row &row : rows) EXPECT_EQ(getByName("pv", nx_Handle, row.mask), row.expected) << "mask " << row.mask;
    EXPECT_EQ(get(head, nx_Count), 0);
    EXPECT_EQ(getByName("pv", nx_Count), 1) << "the head's count is 0: the function's is taken";
    EXPECT_EQ(getByName("pv", nx_ChainLength), 3);
    EXPECT_EQ(get(fn, nx_ChainLength), 2);
    EXPECT_EQ(get(fn, nx_Rank), 2);
    EXPECT_EQ(get(var, nx_Rank), 3);
}

// The process-wide character tables: the escape map behind "\\q" and the word
// characters behind "\\b", both restored afterwards.
TEST_F(Commands, CharacterTables) {
    Scratch s;
    callNoText(nx_SetCharMap, 'q', '!');
    ASSERT_NE(define("Pattern:x\\q", 9, 0, 0, s.t()), 0);
    callNoText(nx_SetCharMap, 'q', '"');
    EXPECT_EQ(call(nx_TokenKind, "x!", 0, 0, 0, s.t()), 9);
    EXPECT_NE(call(nx_TokenKind, "x\"", 0, 0, 0, s.t()), 9);

    ASSERT_NE(define("Pattern:k\\b", 9, 0, 0, s.t()), 0);
    EXPECT_EQ(call(nx_TokenKind, "k.", 0, 0, 0, s.t()), 9);
    EXPECT_EQ(call(nx_TokenKind, "kx", 0, 0, 0, s.t()), 1) << "no boundary inside a word: a name";
    call(nx_SetWordChars, "k");
    EXPECT_EQ(call(nx_TokenKind, "kx", 0, 0, 0, s.t()), 9) << "x is no longer a word character";
    call(nx_SetWordChars, "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_");
    EXPECT_EQ(call(nx_TokenKind, "kx", 0, 0, 0, s.t()), 1);
    EXPECT_NE(callNoText(nx_SymbolTable, 0, 0, 0, s.t()), 0);
    EXPECT_NE(callNoText(nx_SymbolTable, 0, 0, 0, s.t()), callNoText(nx_SymbolTable));
}

// Codes 50 and 51 from inside a native: the generic argument and result access.
struct ParamSeen {
    Word firstWord = 0, address = 0, slot = 0;
    double copied = 0;
    std::string text;
};
ParamSeen seen;
void paramProbe(OperationRecord *record) {
    Word r = reinterpret_cast<Word>(record);
    seen.firstWord = callNoText(nx_Param, r, 0);
    seen.copied = -1;
    callNoText(nx_Param, r, 1, reinterpret_cast<Word>(&seen.copied), type(KeptType::Double));
    seen.address = callNoText(nx_Param, r, 1, 1);
    seen.slot = nxParamHandle(record, 1);
    seen.text = fetch(callNoText(nx_Param, r, 2));
    call(nx_Return, "from the callback", r);
}

TEST_F(Commands, ParamAndReturnFromACallback) {
    Scratch s;
    ASSERT_NE(define("Func:: ParamProbe(a As Double, b As String) As String",
                     reinterpret_cast<Word>(&paramProbe), 0, 0, s.t()), 0);
    EXPECT_EQ(evalStr("ParamProbe(2.5, 'abc')", s.t()), "from the callback");
    EXPECT_EQ(seen.copied, 2.5);
    EXPECT_EQ(seen.address, seen.slot);
    EXPECT_EQ(seen.firstWord, seen.slot) << "Arg1 holds the first argument, as slot 1";
    EXPECT_EQ(seen.text, "abc");
}

} // namespace
} // namespace lang
