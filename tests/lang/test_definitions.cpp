// The definition language: placeholders, token patterns, data types, constants,
// blocks, chained definitions, ranks, renaming and release.
#include <map>
#include <random>
#include <set>

#include "lang_fixture.h"

namespace lang {
namespace {

class Definitions : public LangTest {
protected:
    Scratch s;
    Word def(std::string_view text, Word m1 = 0, Word m2 = 0, Word m3 = 0) { return define(text, m1, m2, m3, s.t()); }
    Word get(Word item, Word property) { return of(item, property, s.t()); }
    Word named(std::string_view name, Word property) { return byName(name, property, 0, s.t()); }
    Word err() { return errorCode(s.t()); }
    std::string eval(std::string_view expr) { return evalStr(expr, s.t()); }
    Word rule(std::string_view text) { return defineSyntax(text, 1, s.t()); }
};

// "#" takes the next placeholder in order; "#k" takes placeholder k and the next
// plain "#" continues with k+1.
TEST_F(Definitions, PlaceholdersInOrder) {
    struct Row { const char *parts; Word count; Word precedence; };
    const std::vector<Row> rows = {
        {"Count: # ~~ Precedence: #", 5, 7},   {"Count: #2 ~~ Precedence: #", 7, 9},
        {"Count: #3 ~~ Precedence: #1", 9, 5}, {"Count: #1 ~~ Precedence: #", 5, 7},
        {"Count: # ~~ Precedence: #3", 5, 9},
    };
    int n = 0;
    for (const Row &row : rows) {
        std::string name = "ph" + std::to_string(++n);
        Word item = def("Variable ~~ Name: " + name + " ~~ DataType: Long ~~ " + row.parts, 5, 7, 9);
        ASSERT_NE(item, 0) << row.parts;
        EXPECT_EQ(get(item, nx_Count), row.count) << row.parts;
        EXPECT_EQ(get(item, nx_Precedence), row.precedence) << row.parts;
    }
}

// Placeholder 1, when no "#" consumed it, is ORed into the flag word.
TEST_F(Definitions, UnusedFirstPlaceholderJoinsTheFlags) {
    struct Row { const char *text; Word m1; Word m2; Word flagBits; Word count; };
    const std::vector<Row> rows = {
        {"Pattern:zqa[0-9]", 64, 0, flag::OperatorRun, 0},
        {"Pattern:zqb[0-9] ~~ Count: #2", 64, 3, flag::OperatorRun, 3},
        {"Pattern:zqc[0-9] ~~ Count: #", 64, 3, 0, 64},
        {"Pattern:zqd[0-9]", 9, 0, 9, 0},
    };
    for (const Row &row : rows) {
        Word item = def(row.text, row.m1, row.m2);
        ASSERT_NE(item, 0) << row.text;
        EXPECT_EQ(get(item, nx_Flags) & (flag::OperatorRun | flag::KindMask), row.flagBits) << row.text;
        EXPECT_EQ(get(item, nx_Count), row.count) << row.text;
    }
}

// A bracket pattern with a closing part makes a kind-3 opener and a kind-4 closer
// that belong together: a group ends only at its own closer.
TEST_F(Definitions, BracketPairs) {
    Word opener = def("Pattern:\\( ~~ \\)", 3);
    ASSERT_NE(opener, 0);
    int32_t position = 2;
    uint32_t closer = 0;
    textCall(nx_NextToken, "()", reinterpret_cast<Word>(&closer), 0, reinterpret_cast<Word>(&position), s.t());
    ASSERT_NE(closer, 0u);
    EXPECT_NE(static_cast<Word>(closer), opener);
    EXPECT_EQ(get(opener, nx_Flags) & flag::KindMask, 3);
    EXPECT_EQ(get(closer, nx_Flags) & flag::KindMask, 4);
    EXPECT_EQ(get(opener, nx_Rank), 1);
    EXPECT_EQ(get(closer, nx_Rank), 2) << "the closer is defined after its opener";

    ASSERT_NE(def("Pattern:<< ~~ >>", 3), 0);
    ASSERT_NE(def("Pattern:<: ~~ :>", 3), 0);
    struct Row { const char *text; const char *group; int32_t after; };
    const std::vector<Row> rows = {{"(a(b)c)d", "a(b)c", 8}, {"<<a:>b>>c", "a:>b", 9}, {"<:x>>y:>z", "x>>y", 9}};
    for (const Row &row : rows) {
        position = 1;
        EXPECT_EQ(textCall(nx_ReadGroup, row.text, 0, 0, reinterpret_cast<Word>(&position), s.t()), row.group);
        EXPECT_EQ(position, row.after) << row.text;
    }
    EXPECT_EQ(err(), 0);
}

// A second definition of a data type modifies the first; no second item appears.
TEST_F(Definitions, DataTypeRedefinitionModifies) {
    EXPECT_EQ(define("DataType: Double"), type(KeptType::Double));
    EXPECT_EQ(chain("Double").size(), 1u);
    Word zt = def("DataType: Zt ~~ Size: 4 ~~ TypeHandler: #", routine(9));
    ASSERT_NE(zt, 0);
    EXPECT_EQ(def("DataType: Zt ~~ Size: 8"), zt);
    EXPECT_EQ(get(zt, nx_Size), 8);
    EXPECT_EQ(named("Zt", nx_ChainLength), 1);
    EXPECT_EQ(get(zt, nx_DataType), zt) << "a type is its own data type";
}

// Fields of a record type follow one another without gaps.
TEST_F(Definitions, MemberGroupsLayOutFields) {
    EXPECT_EQ(byName("Complex", nx_Size), 20);
    Word pt = def("DataType: Pt ~~ {Var: x As Long} ~~ {Var: y As Double} ~~ {Var: z As Byte}");
    ASSERT_NE(pt, 0);
    EXPECT_EQ(get(pt, nx_Size), 13);
}

// A constant, or any name given flag 14, refuses every later definition of its name.
TEST_F(Definitions, ConstantsRefuseRedefinition) {
    ASSERT_NE(def("Const: kc = 5"), 0);
    ASSERT_NE(def("Variable ~~ Name: kp ~~ DataType: Long ~~ Properties: 16384"), 0);
    struct Row { std::string text; Word m1; };
    const std::vector<Row> rows = {
        {"Var: kc As Long", 0}, {"Const: kc = 6", 0}, {"Func:: kc(x As Double) As Double", routine(208)},
        {"Syntax: kc({x}) ::= {x}", 0}, {"Var: kp As Double", 0}, {"Variable ~~ Name: kc ~~ Rank: -1", 0},
    };
    for (const Row &row : rows) {
        EXPECT_EQ(def(row.text, row.m1), 0) << row.text;
        EXPECT_EQ(err(), 13) << row.text;
    }
    EXPECT_EQ(defineSyntax("kc({x}) ::= {x}", 1, s.t()), 0);
    EXPECT_EQ(err(), 13);
    EXPECT_EQ(named("kc", nx_ChainLength), 1);
    EXPECT_EQ(eval("kc"), " 5");
}

// Parts that nothing understands, and type names that name nothing.
TEST_F(Definitions, FailingParts) {
    struct Row { const char *text; Word error; };
    const std::vector<Row> rows = {
        {"Bogus: thing", 2},
        {"Variable ~~ Name: q3 ~~ DataType: NoSuchType", 3},
        {"DefaultType: NoSuchType", 3},
        {"Variable ~~ Name: q4 ~~ DataType: Long ~~ Frobnicate", 2},
        {"Var: q5 As Long = 1+", 2},
        {"Var: q6 As Long = nothingHere", 3},
    };
    for (const Row &row : rows) {
        EXPECT_EQ(def(row.text), 0) << row.text;
        EXPECT_EQ(err(), row.error) << row.text;
    }
    for (const char *name : {"q3", "q4", "q5", "q6"}) {
        clearError(s.t());
        EXPECT_EQ(named(name, nx_Handle), 0) << name << " was not defined";
    }
}

// A definition of nothing but separators and blanks defines nothing, silently.
TEST_F(Definitions, OnlySeparatorsDefineNothing) {
    for (const char *text : {"", "   ", "~~", "~~ ~~", "  ~~  ~~  ~~ "}) {
        call(nx_RaiseError, "", 9, 0, 0, s.t());
        EXPECT_EQ(def(text), 0) << "[" << text << "]";
        EXPECT_EQ(err(), 0) << "[" << text << "]";
    }
}

// NextDef: the rest is a definition of its own; the result is the first item.
TEST_F(Definitions, NextDefChainsDefinitions) {
    Word first = def("Variable ~~ Name: nd1 ~~ DataType: Long ~~ NextDef ~~ Variable ~~ Name: nd2 ~~ DataType: Single");
    ASSERT_NE(first, 0);
    EXPECT_EQ(named("nd1", nx_Handle), first);
    EXPECT_EQ(named("nd2", nx_DataType), type(KeptType::Single));
    Word surface = def("Var: nd3 As Long ~~ NextDef ~~ Var: nd4 As Double = 2.5");
    EXPECT_EQ(named("nd3", nx_Handle), surface);
    EXPECT_EQ(eval("nd4*2"), " 5");
}

// Settings made by keywords of a definition.
TEST_F(Definitions, SettingKeywords) {
    def("DefaultType: Long");
    EXPECT_EQ(callNoText(nx_GetDefaultType, 0, 0, 0, s.t()), type(KeptType::Long));
    def("CaseSensitive: yes");
    EXPECT_EQ(callNoText(nx_GetCaseSensitive, 0, 0, 0, s.t()), 0);
    def("CaseSensitive: true");
    EXPECT_EQ(err(), 0) << "a definition of settings only is not an error";
    EXPECT_EQ(callNoText(nx_GetCaseSensitive, 0, 0, 0, s.t()), 1);
    ASSERT_NE(def("Var: CaseName As Long = 3"), 0);
    EXPECT_EQ(eval("CaseName"), " 3");
    EXPECT_EQ(eval("casename"), "Undefined identifier");
}

// Variables: a value, storage at a given address, a value stored at that address.
TEST_F(Definitions, VariablesAndTheirStorage) {
    Word owned = def("Var: vv As Long = 6");
    ASSERT_NE(owned, 0);
    EXPECT_NE(get(owned, nx_Flags) & flag::OwnsValue, 0);
    EXPECT_EQ(eval("vv*2"), " 12");

    auto *cell = static_cast<int32_t *>(nxAlloc(8));
    *cell = 11;
    Word placed = def("Var: va As Long At " + std::to_string(reinterpret_cast<Word>(cell)));
    ASSERT_NE(placed, 0);
    EXPECT_EQ(get(placed, nx_Address), reinterpret_cast<Word>(cell));
    EXPECT_EQ(get(placed, nx_Flags) & flag::OwnsValue, 0);
    EXPECT_EQ(eval("va"), " 11");
    *cell = 12;
    EXPECT_EQ(eval("va"), " 12") << "the engine reads the host's cell in place";
    ASSERT_NE(def("Var: vw As Long = 6*7 ~~ Address: #", reinterpret_cast<Word>(cell)), 0);
    EXPECT_EQ(*cell, 42) << "the value is stored at the given address";
    release(placed, s.t());
    release(named("vw", nx_Handle), s.t());
    EXPECT_EQ(*cell, 42) << "storage the engine does not own is left alone";
    nxFree(cell);
}

// Items without a type take the context's default type; "Thread:" sends the rest
// of a definition to another thread's context.
TEST_F(Definitions, DefaultTypeAndThreadKeyword) {
    def("DefaultType: Long");
    EXPECT_EQ(get(def("Var: dv"), nx_DataType), type(KeptType::Long));
    ASSERT_NE(def("Func: df(x) = x"), 0);
    EXPECT_EQ(named("df", nx_DataType), type(KeptType::Long));
    EXPECT_EQ(eval("df(2.7)"), " 3") << "the parameter is a Long too";
    Word item = define("Thread: # ~~ Variable ~~ Name: thv ~~ DataType: Long ~~ Value: 3", s.t());
    ASSERT_NE(item, 0);
    EXPECT_EQ(get(item, nx_Thread), s.t());
    EXPECT_EQ(eval("thv"), " 3");
    EXPECT_EQ(evalStr("thv"), "Undefined identifier");
}

// A type of the host's own: conversions without an address go through text.
TEST_F(Definitions, ConversionsOfADefinedType) {
    Word meters = def("DataType: Meters ~~ Size: 8 ~~ TypeHandler: # ~~ ConvertsTo: Double ~~ ConvertsFrom: Double",
                      routine(3));
    ASSERT_NE(meters, 0);
    ASSERT_NE(def("Var: m As Meters = 2.5"), 0);
    EXPECT_EQ(named("m", nx_DataType), meters);
    EXPECT_EQ(eval("m*2"), " 5");
    EXPECT_EQ(eval("Sqr(m*10)"), " 5");
}

// "End" with no open item is error 24.
TEST_F(Definitions, EndWithoutBlock) {
    EXPECT_EQ(def("End"), 0);
    EXPECT_EQ(err(), 24);
    EXPECT_EQ(callNoText(nx_GetContinuation, 0, 0, 0, s.t()), 0);
}

// "Begin" keeps the item open across definitions until "End" finishes it.
TEST_F(Definitions, BeginKeepsTheItemOpenUntilEnd) {
    ASSERT_NE(def("Variable ~~ Name: bq ~~ Begin"), 0);
    EXPECT_EQ(callNoText(nx_GetContinuation, 0, 0, 0, s.t()), 1);
    EXPECT_EQ(named("bq", nx_Handle), 0) << "not registered while open";
    def("DataType: Long");
    EXPECT_EQ(callNoText(nx_GetContinuation, 0, 0, 0, s.t()), 1);
    Word done = def("End");
    EXPECT_NE(done, 0);
    EXPECT_EQ(err(), 0);
    EXPECT_EQ(callNoText(nx_GetContinuation, 0, 0, 0, s.t()), 0);
    EXPECT_EQ(named("bq", nx_DataType), type(KeptType::Long));
}

// Member groups sent one per definition while a type is open; a nested open item
// becomes a field of the enclosing one.
TEST_F(Definitions, BlocksCollectMembers) {
    ASSERT_NE(def("DataType: Rec ~~ Begin"), 0);
    def("{Var: a As Long}");
    def("{Var: b As Double}");
    Word rec = def("End");
    ASSERT_NE(rec, 0);
    EXPECT_EQ(get(rec, nx_Size), 12);

    ASSERT_NE(def("DataType: Rec2 ~~ Begin"), 0);
    def("Var: inner As Double ~~ Begin");
    EXPECT_EQ(callNoText(nx_GetContinuation, 0, 0, 0, s.t()), 2);
    def("End");
    Word rec2 = def("End");
    ASSERT_NE(rec2, 0);
    EXPECT_EQ(get(rec2, nx_Size), 8);
    EXPECT_EQ(callNoText(nx_GetContinuation, 0, 0, 0, s.t()), 0);
}

// "FuncStart" opens a function whose body arrives in the following definitions.
TEST_F(Definitions, FuncStartCollectsTheBody) {
    ASSERT_NE(def("Params: (x) ~~ Name: fs ~~ Properties: 1040 ~~ FuncStart"), 0);
    EXPECT_EQ(callNoText(nx_GetContinuation, 0, 0, 0, s.t()), 1);
    def("x*2");
    EXPECT_NE(def("End"), 0);
    EXPECT_EQ(callNoText(nx_GetContinuation, 0, 0, 0, s.t()), 0);
    EXPECT_EQ(eval("fs(3)"), " 6");
}

// "Bootstrap" registers the name after the body is compiled, so the body calls the
// older item of the same name; "Execute" runs an expression once.
TEST_F(Definitions, BootstrapAndExecute) {
    ASSERT_NE(def("Params: (x) ~~ Name: Sin ~~ Properties: 1040 ~~ Bootstrap ~~ FuncBody: Sin(x)*2"), 0);
    EXPECT_EQ(eval("Sin(0.5)"), " .958851077208406");
    ASSERT_NE(def("Var: ex As Double"), 0);
    def("Execute: SetVar(ex, 5)");
    EXPECT_EQ(err(), 0);
    EXPECT_EQ(eval("ex"), " 5");
}

// Registration by rank in the same-name chain: r > 0 counts from the head, r < 0
// from the end (length + r + 2), clamped to 1..length+1.
TEST_F(Definitions, RanksInTheSymbolTable) {
    struct Row { const char *name; const char *rank; std::vector<const char *> chainAfter; };
    const std::vector<Row> rows = {
        {"A", "", {"A"}},
        {"B", "", {"B", "A"}},
        {"C", " ~~ Rank: 2", {"B", "C", "A"}},
        {"D", " ~~ Rank: -1", {"B", "C", "A", "D"}},
        {"E", " ~~ Rank: 99", {"B", "C", "A", "D", "E"}},
        {"F", " ~~ Rank: -5", {"B", "F", "C", "A", "D", "E"}},
        {"G", " ~~ Rank: 0", {"G", "B", "F", "C", "A", "D", "E"}},
    };
    std::map<Word, std::string> label;
    for (const Row &row : rows) {
        // Each item has its own count so that it can be recognised in the chain.
        Word item = def(std::string("Variable ~~ Name: rk ~~ DataType: Long") + row.rank);
        ASSERT_NE(item, 0) << row.name;
        label[item] = row.name;
        std::vector<std::string> got;
        for (Word h : chain("rk", s.t())) got.push_back(label[h]);
        EXPECT_EQ(got, std::vector<std::string>(row.chainAfter.begin(), row.chainAfter.end())) << "after " << row.name;
    }
    std::vector<Word> all = chain("rk", s.t());
    for (size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(get(all[i], nx_Rank), static_cast<Word>(i + 1));
        EXPECT_EQ(get(all[i], nx_Flags) & flag::ChainHead, i == 0 ? flag::ChainHead : 0) << i;
    }
    callNoText(nx_SetDefaultRank, 3, 0, 0, s.t());
    Word h = def("Variable ~~ Name: rk ~~ DataType: Long");
    EXPECT_EQ(get(h, nx_Rank), 3) << "the context's default rank";
}

// Token patterns by rank: r > 0 goes to count - r + 2, r <= 0 to -r, clamped;
// the tokenizer tries the last position first.
TEST_F(Definitions, RanksInThePatternList) {
    struct Row { const char *text; Word kind; };
    const std::vector<Row> rows = {
        {"Pattern:qa1", 1}, {"Pattern:qa2", 1}, {"Pattern:qa3 ~~ Rank: 2", 1},
        {"Pattern:qa4 ~~ Rank: 0", 1}, {"Pattern:qa5 ~~ Rank: -2", 1}, {"Pattern:qa6 ~~ Rank: 99", 1},
    };
    std::vector<Word> items;
    for (const Row &row : rows) {
        items.push_back(def(row.text, row.kind));
        ASSERT_NE(items.back(), 0) << row.text;
    }
    // Expected list, lowest priority first: qa6 qa4 qa5 qa1 qa3 qa2.
    const std::vector<Word> position = {4, 6, 5, 2, 3, 1};
    for (size_t i = 0; i < items.size(); ++i) EXPECT_EQ(get(items[i], nx_Rank), position[i]) << rows[i].text;

    ASSERT_NE(def("Pattern:ab", 9), 0);
    EXPECT_EQ(call(nx_TokenKind, "abc", 0, 0, 0, s.t()), 9);
    ASSERT_NE(def("Pattern:abc ~~ Rank: 0", 2), 0);
    EXPECT_EQ(call(nx_TokenKind, "abc", 0, 0, 0, s.t()), 9) << "rank 0 is tried last";
    ASSERT_NE(def("Pattern:abc", 12), 0);
    EXPECT_EQ(call(nx_TokenKind, "abc", 0, 0, 0, s.t()), 12) << "the newest is tried first";
}

// Property 4 renames; an empty name removes the item from the symbol table.
TEST_F(Definitions, RenameAndRemoveByProperty4) {
    Word item = def("Var: rn1 As Long = 3");
    ASSERT_NE(item, 0);
    call(nx_SetItemData, "rn2", item, nx_SymbolName, 0, s.t());
    EXPECT_EQ(eval("rn2"), " 3");
    EXPECT_EQ(eval("rn1"), "Undefined identifier");
    EXPECT_EQ(nameOf(item, s.t()), "rn2");
    call(nx_SetItemData, "", item, nx_SymbolName, 0, s.t());
    EXPECT_EQ(eval("rn2"), "Undefined identifier");
    EXPECT_EQ(get(item, nx_Size), 4) << "the item itself lives on";

    Word older = def("Var: rc As Long = 1");
    Word middle = def("Var: rc As Long = 2");
    Word head = def("Var: rc As Long = 3");
    call(nx_SetItemData, "rcHead", head, nx_SymbolName, 0, s.t());
    EXPECT_EQ(eval("rc"), " 2") << "the next item of the name becomes the head";
    EXPECT_EQ(eval("rcHead"), " 3");
    call(nx_SetItemData, "", older, nx_SymbolName, 0, s.t());
    EXPECT_EQ(chain("rc", s.t()), std::vector<Word>{middle});
}

// The symbol table is sorted and searched by halves: every name of a large mixed
// set, digits, underscores and any case, is found again.
TEST_F(Definitions, ManyNamesAreAllFound) {
    std::mt19937 rng(7);
    const std::string chars = "abcXYZ_019";
    std::vector<std::string> names;
    std::set<std::string> folded;
    while (names.size() < 300) {
        std::string name(1, "abXY_"[rng() % 5]);
        for (unsigned i = 0, len = 1 + rng() % 5; i < len; ++i) name += chars[rng() % chars.size()];
        std::string lower = name;
        for (char &c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (folded.insert(lower).second) names.push_back(name);
    }
    for (size_t i = 0; i < names.size(); ++i)
        ASSERT_NE(def("Var: " + names[i] + " As Long = " + std::to_string(i)), 0) << names[i];
    int wrong = 0;
    for (size_t i = 0; i < names.size(); ++i) wrong += eval(names[i]) != " " + std::to_string(i);
    EXPECT_EQ(wrong, 0);
}

// In a case-sensitive context names that differ only in case are different items.
TEST_F(Definitions, CaseSensitiveNames) {
    callNoText(nx_SetCaseSensitive, 1, 0, 0, s.t());
    const std::vector<std::string> names = {"Abc", "abc", "ABC", "aBc"};
    for (size_t i = 0; i < names.size(); ++i)
        ASSERT_NE(def("Var: " + names[i] + " As Long = " + std::to_string(i + 1)), 0);
    for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(eval(names[i]), " " + std::to_string(i + 1)) << names[i];
    EXPECT_EQ(eval("abC"), "Undefined identifier");
    EXPECT_EQ(eval("Sin(0)"), " 0") << "the parent's names are still found";
}

// Released patterns, rules and chain members are gone; the rest stays linked.
TEST_F(Definitions, ReleasedItemsLeaveTheirLists) {
    Word pattern = def("Pattern:zq", 9);
    EXPECT_EQ(call(nx_TokenKind, "zq", 0, 0, 0, s.t()), 9);
    release(pattern, s.t());
    EXPECT_EQ(call(nx_TokenKind, "zq", 0, 0, 0, s.t()), 1) << "the name pattern again";
    Word r = rule("Trip({x}) ::= 3*{x}");
    EXPECT_EQ(eval("Trip(2)"), " 6");
    release(r, s.t());
    EXPECT_EQ(eval("Trip(2)"), "Undefined identifier");
    Word a = def("Var: mid As Long = 1"), b = def("Var: mid As Long = 2"), c = def("Var: mid As Long = 3");
    release(b, s.t());
    EXPECT_EQ(get(c, nx_NextItem), a);
    release(c, s.t());
    EXPECT_EQ(eval("mid"), " 1");
    EXPECT_EQ(get(a, nx_Flags) & flag::ChainHead, flag::ChainHead);
}

// A part that a rule rewrites to nothing is no part at all.
TEST_F(Definitions, PartsExpandedToNothing) {
    ASSERT_NE(rule("Nothing {x} ::= "), 0);
    EXPECT_NE(def("Variable ~~ Name: ne ~~ DataType: Long ~~ Nothing 5"), 0);
    EXPECT_EQ(err(), 0);
    EXPECT_EQ(def("Nothing 5"), 0);
    EXPECT_EQ(err(), 0);
}

// Releasing what was defined gives back every block of the engine heap.
TEST_F(Definitions, ReleaseFreesEveryBlock) {
    struct Row { const char *text; Word m1; };
    const std::vector<Row> rows = {
        {"Var: relV As Long = 5", 0},
        {"Var: relS As String = 'some text'", 0},
        {"Const: relK = 9", 0},
        {"Func: relF(a, b = 2) = a*b + relF0()", 0},
        {"Func:: relN(x As Double) As Double", routine(208)},
        {"Op:: {x As Long} <+> {y As Long} As Long ~~ Precedence: 10", routine(47)},
        {"Pattern:\\<\\< ~~ \\>\\>", 3},
        {"Syntax: relR({x}) ::= {x}*2", 0},
        {"DataType: RelT ~~ {Var: a As Long} ~~ {Var: b As Double}", 0},
    };
    ASSERT_NE(def("Func: relF0() = 1"), 0);
    for (int round = 0; round < 2; ++round) {
        for (const Row &row : rows) {
            int64_t before = nxHeapLiveBlocks();
            Word item = def(row.text, row.m1);
            ASSERT_NE(item, 0) << row.text;
            release(item, s.t());
            EXPECT_EQ(err(), 0) << row.text;
            // The first round may grow tables that stay; the second must balance.
            if (round == 1) {
                EXPECT_EQ(nxHeapLiveBlocks(), before) << row.text;
            }
        }
    }
    int64_t before = nxHeapLiveBlocks();
    Word expr = parse("relF0() + 1.5*2", 0, s.t());
    ASSERT_NE(expr, 0);
    release(expr, s.t());
    EXPECT_EQ(nxHeapLiveBlocks(), before) << "a parsed expression";
}

} // namespace
} // namespace lang
