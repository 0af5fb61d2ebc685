// Syntax rules: defining them (optional parts, alternatives, regex parameters,
// precedence, rank, pass-once, heads with patterns of their own) and expanding text
// with them, alone and in front of the compiler.
#include <algorithm>

#include "lang_fixture.h"

namespace lang {
namespace {

class Rules : public LangTest {
protected:
    Scratch s;
    Word rule(std::string_view text, Word rank = 1) { return defineSyntax(text, rank, s.t()); }
    Word def(std::string_view text, Word m1 = 0) { return define(text, m1, 0, 0, s.t()); }
    std::string expand(std::string_view text) { return textCall(nx_Expand, text, 0, 0, 0, s.t()); }
    std::string eval(std::string_view text) { return evalStr(text, s.t()); }
    Word err() { return errorCode(s.t()); }
};

// The text without blanks, since rules may add or keep them.
std::string squeezed(std::string text) {
    std::erase(text, ' ');
    return text;
}

struct Case {
    const char *input;
    const char *expected;
};

// The host's Max and Min rules nest for any number of arguments.
TEST_F(Rules, MaxAndMinNest) {
    const std::vector<Case> expansions = {
        {"Max(4, 5)", "IIf(4>5,4,5)"},
        {"Min(4, 5)", "IIf(4<5,4,5)"},
        {"Max(1, 2, 3)", "IIf(1>IIf(2>3,2,3),1,IIf(2>3,2,3))"},
        {"Max(Max(1, 2), 0)", "IIf(IIf(1>2,1,2)>0,IIf(1>2,1,2),0)"},
    };
    for (const Case &c : expansions) EXPECT_EQ(squeezed(expand(c.input)), c.expected) << c.input;
    const std::vector<Case> values = {
        {"Max(2, 1)", " 2"},       {"Max(1, 2)", " 2"},       {"Min(2, 1)", " 1"},
        {"Max(3, 9, 4)", " 9"},    {"Min(5, 2, 8)", " 2"},    {"Max(1, 2, 3, 4)", " 4"},
        {"Min(4, 3, 2, 1, 0)", " 0"}, {"Max(1, 2) + Min(1, 2)", " 3"},
    };
    for (const Case &c : values) EXPECT_EQ(eval(c.input), c.expected) << c.input;
}

// Optional parts and alternatives become one rule per variant.
TEST_F(Rules, OptionalPartsAndAlternatives) {
    ASSERT_NE(rule("Opt({a:' *[0-9]+'}[, {b:' *[0-9]+'}]) ::= ({a}+0{b:+10*{b}})"), 0);
    ASSERT_NE(rule("Dir { Up {u} | Down {d} } ::= {u:({u}+1)}{d:({d}-1)}"), 0);
    EXPECT_EQ(squeezed(expand("Opt(4)")), "(4+0)");
    const std::vector<Case> values = {
        {"Opt(4)", " 4"},     {"Opt(4, 5)", " 54"},   {"Dir Up 5", " 6"},
        {"Dir Down 5", " 4"}, {"Opt(1) + Opt(2, 3)", " 33"},
    };
    for (const Case &c : values) EXPECT_EQ(eval(c.input), c.expected) << c.input;
}

// Parameters with a regex match only text of that shape; others leave the text be.
TEST_F(Rules, RegexParameters) {
    ASSERT_NE(rule("Sq({n:' *[0-9]+'}) ::= ({n}*{n})"), 0);
    ASSERT_NE(def("Var: _Word As String = ' *[a-z]+'"), 0);
    ASSERT_NE(rule("Twin({w:_Word}) ::= ({w}+{w})"), 0);
    ASSERT_NE(def("Var: xx As Double = 4"), 0);
    const std::vector<Case> expansions = {
        {"Sq(3)", "(3*3)"}, {"Sq(a)", "Sq(a)"}, {"Sq(3+1)", "Sq(3+1)"},
        {"Twin(xx)", "(xx+xx)"}, {"Twin(x1)", "Twin(x1)"},
    };
    for (const Case &c : expansions) EXPECT_EQ(squeezed(expand(c.input)), c.expected) << c.input;
    // The host's number-then-name rule and its base prefixes.
    const std::vector<Case> values = {
        {"2xx", " 8"}, {"#b101", " 5"}, {"#o17", " 15"}, {"#hff", " 255"}, {"#b101 + #b1", " 6"},
    };
    for (const Case &c : values) EXPECT_EQ(eval(c.input), c.expected) << c.input;
}

// A pass-once rule's replacement is not expanded again, so it may even match itself.
TEST_F(Rules, PassOnce) {
    ASSERT_NE(rule("Twice({x}) ::= {x}+{x}"), 0);
    Word once = def("PassOnce ~~ Syntax: WrapOnce({x}) ::= Twice({x})");
    ASSERT_NE(once, 0);
    EXPECT_NE(of(once, nx_Flags, s.t()) & flag::PassOnce, 0);
    ASSERT_NE(rule("Wrap({x}) ::= Twice({x})"), 0);
    ASSERT_NE(def("PassOnce ~~ Syntax: Loop {x:'.+'} ::= Loop {x}"), 0);
    const std::vector<Case> expansions = {
        {"Wrap(3)", "3+3"}, {"WrapOnce(3)", "Twice(3)"}, {"Loop 1", "Loop1"},
    };
    for (const Case &c : expansions) EXPECT_EQ(squeezed(expand(c.input)), c.expected) << c.input;
}

// Rule heads are items of the symbol table: flag 22, ordered by rank, hidden from
// ordinary lookups.
TEST_F(Rules, RuleHeadsInTheSymbolTable) {
    Word first = rule("Pick({x}) ::= 1");
    Word second = rule("Pick({x}) ::= 2");
    Word last = rule("Pick({x}) ::= 3", 99);
    ASSERT_TRUE(first && second && last);
    EXPECT_NE(of(first, nx_Flags, s.t()) & flag::RuleHead, 0);
    EXPECT_EQ(eval("Pick(0)"), " 2") << "the newest rule of rank 1 is tried first";
    EXPECT_EQ(of(last, nx_Rank, s.t()), 3);
    EXPECT_EQ(byName("Pick", nx_Handle, 0, s.t()), 0) << "a rule is not found as an item";
    callNoText(nx_SetRulePrecedence, 12, 0, 0, s.t());
    Word infix = rule("{a} +% {b} ::= ({a}*{b})");
    EXPECT_EQ(of(infix, nx_Precedence, s.t()), 12) << "the context's default rule precedence";
    Word ranked = rule("17 {a} -% {b} ::= ({a}*{b})");
    EXPECT_EQ(of(ranked, nx_Precedence, s.t()), 17) << "a leading number is the precedence";
}

// Heads given as a quoted regex, or text no pattern knows, get patterns of their
// own that only rule expansion sees.
TEST_F(Rules, HeadsWithPatternsOfTheirOwn) {
    ASSERT_NE(def("Syntax: {'@@'}{n:_Number} ::= ({n}*100)"), 0);
    const std::vector<Case> values = {{"@@3", " 300"}, {"@@3+1", " 301"}, {"2 * @@1.5", " 300"}};
    for (const Case &c : values) EXPECT_EQ(eval(c.input), c.expected) << c.input;
    EXPECT_EQ(eval("2*@@1"), "Undefined identifier") << "*@@ is one operator run, then a name";
    EXPECT_EQ(call(nx_TokenFlags, "@@3", 0, 0, 0, s.t()) & flag::OperatorRun, flag::OperatorRun)
        << "outside expansion @@ is an ordinary operator run";
}

// A head made of text that no token pattern recognises becomes a pattern itself.
TEST_F(Rules, UnknownHeadTextBecomesAPattern) {
    Word r = rule("\xA4({x}) ::= ({x}*2)");
    EXPECT_NE(r, 0);
    EXPECT_EQ(err(), 0);
    EXPECT_EQ(eval("\xA4(4)"), " 8");
}

// Rules shaped like infix operators take their operands by precedence and
// associate to the left, like compiled operators.
TEST_F(Rules, InfixShapedRules) {
    ASSERT_NE(rule("30 {a} ** {b} ::= ({a}^{b})"), 0);
    const std::vector<Case> expansions = {
        {"2 ** 3 ** 2", "((2^3)^2)"}, {"1 + 2 ** 3", "1+(2^3)"}, {"2 ** 3 + 1", "(2^3)+1"},
        {"2 * 3 ** 2", "2*(3^2)"},    {"(1 + 2) ** 2", "((1+2)^2)"}, {"Sin(2 ** 2)", "Sin((2^2))"},
    };
    for (const Case &c : expansions) EXPECT_EQ(squeezed(expand(c.input)), c.expected) << c.input;
    const std::vector<Case> values = {
        {"2 ** 3 ** 2", " 64"}, {"1 + 2 ** 3", " 9"}, {"2 ** 3 + 1", " 9"}, {"2 * 3 ** 2", " 18"},
    };
    for (const Case &c : values) EXPECT_EQ(eval(c.input), c.expected) << c.input;
}

// A trailing parameter's capture ends before a closing bracket or a statement
// separator of its own level, never inside a bracket group.
TEST_F(Rules, CapturesEndAtTheEnclosingLevel) {
    ASSERT_NE(rule("Neg {x} ::= (0-{x})"), 0);
    const std::vector<Case> expansions = {
        {"Neg 5; 2", "(0-5);2"}, {"(Neg 5) + 1", "((0-5))+1"}, {"Neg (1; 2)", "(0-(1;2))"},
        {"Neg Max(1, 2); 3", "(0-IIf(1>2,1,2));3"},
    };
    for (const Case &c : expansions) EXPECT_EQ(squeezed(expand(c.input)), c.expected) << c.input;
    EXPECT_EQ(eval("(Neg 5) + 1"), "-4");
}

// Braces in a replacement that name no parameter stay as written, their inner
// references filled.
TEST_F(Rules, BraceNamesThatAreNotParameters) {
    ASSERT_NE(rule("Keep({x}) ::= [{ Other: {x} }] {y}"), 0);
    EXPECT_EQ(expand("Keep(q)"), "[{ Other: q }] {y}");
}

// Text that no rule heads is copied unchanged, blanks included.
TEST_F(Rules, UntouchedTextIsCopied) {
    for (const char *text : {"1 +  2", "Sin(x)*  3", "'Max(1, 2)'", "a;b"})
        EXPECT_EQ(expand(text), text) << text;
}

// "~Eval" groups are replaced by their value before the rest is compiled; "~Eval_P"
// runs at its place and leaves nothing; "~t" is the thread's handle.
TEST_F(Rules, EvaluationMarkers) {
    ASSERT_NE(def("Var: adr As Long"), 0);
    const std::vector<Case> values = {
        {"~Eval(2+3)*2", " 10"},
        {"Local(lv = 3, lv * 2)", " 6"},
        {"Local(la = 2, lb = 5, la * lb)", " 10"},
    };
    for (const Case &c : values) EXPECT_EQ(eval(c.input), c.expected) << c.input;
    EXPECT_EQ(eval("lv"), "Undefined identifier") << "Local removes its variable afterwards";
    EXPECT_EQ(evalDbl("~t", s.t()).value, static_cast<double>(s.t()));
    EXPECT_EQ(evalDbl("Address(adr)", s.t()).value, static_cast<double>(byName("adr", nx_Address, 0, s.t())));
    EXPECT_EQ(evalDbl("DataType(adr)", s.t()).value, static_cast<double>(type(KeptType::Long)));
}

// A definition part that is not a keyword is rewritten by the same rules.
TEST_F(Rules, RulesRewriteDefinitionParts) {
    ASSERT_NE(rule("Counted {n} ::= Count: {n} ~~ Precedence: 3"), 0);
    Word item = def("Variable ~~ Name: cq ~~ DataType: Long ~~ Counted 7");
    ASSERT_NE(item, 0);
    EXPECT_EQ(of(item, nx_Count, s.t()), 7);
    EXPECT_EQ(of(item, nx_Precedence, s.t()), 3);
    ASSERT_NE(def("Macro: Cube(x) = x*x*x"), 0);
    EXPECT_EQ(eval("Cube(3)"), " 27");
}

} // namespace
} // namespace lang

namespace lang {
namespace {

// Rules of one head are tried newest first, each on the text as it stands: a
// newer rule that fails leaves no rewrite behind (its literal was reached by
// rewriting the token there first), and a rule's own ~Eval is computed before
// the older rules see its result.
TEST_F(Rules, FailedRulesLeaveTheTextForOlderOnes) {
    ASSERT_NE(rule("Qw: {a} '{' {b} '}' ::= Older({a}, {b})"), 0);
    ASSERT_NE(rule("Qw: {n:' *[0-9]+ '} {d} ::= Numbered({n}, {d})"), 0);
    ASSERT_NE(rule("Qw: Twice({x}) ::= Qw: ~Eval(2 * {x})"), 0);
    ASSERT_NE(rule("Qw:: {d} ::= Newest({d})"), 0);
    ASSERT_NE(rule("Twice({x}) ::= Wrong({x})"), 0);
    const std::vector<Case> cases = {
        {"Qw: Twice(21) x", "Numbered(42,x)"},  // not Older(Wrong(21)...) nor a rewritten Twice
        {"Qw: 7 x", "Numbered(7,x)"},
        {"Qw: f {y}", "Older(f,y)"},
        {"Qw:: z", "Newest(z)"},
    };
    for (const Case &c : cases) EXPECT_EQ(squeezed(expand(c.input)), c.expected) << c.input;
}

} // namespace
} // namespace lang
