// The expression compiler, through evaluation of texts: precedence and
// association, overload choice and conversions, default and empty arguments,
// statements, member access, functions with bodies and recursion, and evaluation
// that allocates nothing.
#include <cmath>
#include <cstring>

#include "lang_fixture.h"

namespace lang {
namespace {

class Compiler : public LangTest {
protected:
    Scratch s;
    Word def(std::string_view text, Word m1 = 0) { return define(text, m1, 0, 0, s.t()); }
    std::string eval(std::string_view text) { return evalStr(text, s.t()); }
    Word err() { return errorCode(s.t()); }
};

struct Case {
    const char *input;
    const char *expected;  // the value as text, or the error's message
};

void expectAll(const std::vector<Case> &cases, Word t) {
    for (const Case &c : cases) EXPECT_EQ(evalStr(c.input, t), c.expected) << c.input;
}

// Precedence, association and the operator runs split into known operators.
TEST_F(Compiler, OperatorsBindByPrecedence) {
    expectAll({
        {"2+3*4", " 14"},   {"2*3+4", " 10"},   {"(2+3)*4", " 20"}, {"10-2-3", " 5"},
        {"100/10/5", " 2"}, {"2^3^2", " 64"},   {"2^3*2", " 16"},   {"2*3^2", " 18"},
        {"7\\2", " 3"},     {"5.5 Mod 2", " 1.5"}, {"3!", " 6"},    {"3!+1", " 7"},
        {"1+2 > 2", " 1"},  {"1<>2", " 1"},     {"2>=2", " 1"},     {"1<=0", " 0"},
        {"3==3", " 1"},     {"1 < 2 And 2 < 3", " 1"}, {"1 > 2 Or 2 > 3", " 0"},
        {"0 AndAlso 1", " 0"}, {"2 AndAlso 3", " 1"}, {"1 OrElse 0", " 1"}, {"0 OrElse 0", " 0"},
        {"SIN(0)", " 0"},   {"5.5 MOD 2", " 1.5"}, {"'a;b'", "a;b"}, {"\"x\" + \"y;z\"", "xy;z"},
        {".5+1", " 1.5"},   {"1e3+1", " 1001"}, {"  1 +\t2  ", " 3"},
    }, s.t());
}

// Operators defined later: prefix, infix and postfix, named by operator characters
// or by a word, each binding by its precedence.
TEST_F(Compiler, DefinedOperators) {
    ASSERT_NE(def("Op:: Root {x As Double} As Double ~~ Precedence: 25", routine(216)), 0);
    ASSERT_NE(def("Op:: {x As Double} <+> {y As Double} As Double ~~ Precedence: 10", routine(201)), 0);
    ASSERT_NE(def("Op:: {x As Double} ## As Double ~~ Precedence: 40", routine(213)), 0);
    ASSERT_NE(def("Op:: {x As Double} Mag As Double ~~ Precedence: 40", routine(213)), 0);
    ASSERT_NE(def("Op:: -{x As Double} As Double ~~ Precedence: 25", routine(213)), 0);
    expectAll({
        {"Root 16 + 1", " 5"}, {"Root 16^2", " 16"}, {"2*Root 16", " 8"}, {"1 <+> 2 * 3", " 7"},
        {"1<+>2", " 3"},       {"2-5##", "-3"},      {"(2-5)##", " 3"},   {"(2-5) Mag + 1", " 4"},
        {"5-3", " 2"},         {"-3", " 3"},         {"2*-3", " 6"},      {"5 - -3", " 2"},
        {"-2^2", " 4"},
    }, s.t());
}

// A word that names both a function and a postfix operator: the operator is the
// head of the name, so after an operand it is taken as the operator.
TEST_F(Compiler, PostfixOperatorSharingItsNameWithAFunction) {
    ASSERT_NE(def("Func:: Mag2(x As Double) As Double", routine(213)), 0);
    ASSERT_NE(def("Op:: {x As Double} Mag2 As Double ~~ Precedence: 40", routine(213)), 0);
    expectAll({{"5 Mag2", " 5"}, {"Mag2(4)", " 4"}}, s.t());
}

// Texts that cannot be compiled, with the error each gives.
TEST_F(Compiler, MalformedTexts) {
    expectAll({
        {"1+", "Syntax error"},        {"2*", "Syntax error"},       {"1+*2", "Syntax error"},
        {"(1+2", "Code block delimiter error"}, {"1+2)", "Code block delimiter error"},
        {"(1+2]", "Code block delimiter error"}, {"Sin(", "Code block delimiter error"},
        {"Sin(1+)", "Syntax error"},   {"noSuchName+1", "Undefined identifier"},
        {"1+\xA7", "Unrecognized pattern"}, {"1 2", "Syntax error"}, {"(1)(2)", "Syntax error"},
        {"()", "Syntax error"},        {"Sin(,)", "Syntax error"},
    }, s.t());
}

// The overload is the newest that fits the operands' types; conversions are added.
TEST_F(Compiler, OverloadChoiceAndConversions) {
    expectAll({
        {"1+2", " 3"},             {"1.5+1.25", " 2.75"},        {"\"a\"+\"b\"", "ab"},
        {"'x'+'y'+'z'", "xyz"},    {"Sin(Ceil(0.5))", " .8414709848078965"},
        {"Sqr(7\\2)", " 1.7320508075688772"}, {"iif(1 > 2, 10, 20)", " 20"},
        {"iif(2 > 1, 'yes', 'no')", "yes"}, {"Ceil(2.5)+Ceil(0.5)", " 4"},
        {"\"a\"+1", "Data type mismatch"}, {"Sin('a')", "Data type mismatch"},
        {"Sin(1, 2)", "Invalid number of arguments"}, {"Chr()", "Invalid number of arguments"},
        {"Rand(1, 2, 3)", "Invalid number of arguments"},
    }, s.t());
}

// The requested result type converts the value: Double to Long rounds to even.
TEST_F(Compiler, ResultTypeConversion) {
    struct Row { const char *text; int32_t value; };
    for (const Row &row : {Row{"2.5", 2}, Row{"3.5", 4}, Row{"1+2", 3}, Row{"7\\2", 3}}) {
        Word expr = parse(row.text, type(KeptType::Long), s.t());
        ASSERT_NE(expr, 0) << row.text;
        int32_t value = -1;
        callNoText(nx_EvaluateLng, expr, 0, reinterpret_cast<Word>(&value), s.t());
        EXPECT_EQ(value, row.value) << row.text;
        EXPECT_EQ(of(expr, nx_DataType, s.t()), type(KeptType::Long)) << row.text;
        release(expr, s.t());
    }
}

// Missing trailing arguments and empty ones take the parameters' defaults.
TEST_F(Compiler, DefaultAndEmptyArguments) {
    ASSERT_NE(def("Func: add3(a, b = 2, c = 3) = a + b*10 + c*100"), 0);
    expectAll({
        {"Asc('AB')", " 65"},       {"Asc('AB', 2)", " 66"},    {"add3(1)", " 321"},
        {"add3(1, 5)", " 351"},     {"add3(1, , 7)", " 721"},   {"add3(1, 5, 7)", " 751"},
        {"Nomix(18, , 0)", " 0"},   {"Asc(, 1)", "Syntax error"}, {"add3()", "Invalid number of arguments"},
    }, s.t());
}

// Rand() compiles as Rand(1): after the same reseed both give the next number.
TEST_F(Compiler, RandUsesItsDefault) {
    // Phase 1 has no unary minus: the negative seed is written as a difference.
    double seeded = evalDbl("Rand(0-5)", s.t()).value;
    double viaDefault = evalDbl("Rand()", s.t()).value;
    evalDbl("Rand(0-5)", s.t());
    EXPECT_EQ(evalDbl("Rand(0)", s.t()).value, seeded) << "0 keeps the seed";
    double viaOne = evalDbl("Rand(1)", s.t()).value;
    EXPECT_EQ(viaDefault, viaOne);
    EXPECT_NE(viaDefault, seeded);
    EXPECT_GE(viaDefault, 0.0);
    EXPECT_LT(viaDefault, 1.0);
}

// Statements run in order; the last one gives the value.
TEST_F(Compiler, StatementSeparators) {
    ASSERT_NE(def("Var: st As Double"), 0);
    expectAll({
        {"1+1; 2+3", " 5"}, {"1;2;3", " 3"}, {"1\r\n2*4", " 8"},
        {"SetVar(st, 4); st*2", " 8"},
    }, s.t());
}

// Separators at the very end of the text are ignored.
TEST_F(Compiler, TrailingSeparatorsAreIgnored) {
    expectAll({{"2+3;", " 5"}, {"2+3;;", " 5"}, {"2+3\r\n", " 5"}}, s.t());
}

// Fields of a record variable are reached with "."; a name that is no field is
// error 14.
TEST_F(Compiler, MemberAccess) {
    Word cz = def("Var: cz As Complex");
    ASSERT_NE(cz, 0);
    unsigned char cell[20] = {};
    long double re = 2.5L, im = -1.0L;
    std::memcpy(cell, &re, 10);
    std::memcpy(cell + 10, &im, 10);
    call(nx_SetItemData, "", cz, nx_Value, reinterpret_cast<Word>(cell), s.t());
    expectAll({
        {"cz.Real", " 2.5"}, {"cz.Imag", "-1"}, {"cz.Real*2 + cz.Imag", " 4"}, {"cz.real", " 2.5"},
        {"cz.Bogus", "Unrecognized member"}, {"cz.", "Unrecognized pattern"},
    }, s.t());
}

// Functions with bodies: parameters are the function's own, calls nest, and a
// recursive call leaves the caller's parameters as they were.
TEST_F(Compiler, FunctionsWithBodies) {
    ASSERT_NE(def("Func: f(n) = iif(n < 1, 0, n + f(n - 1))"), 0);
    ASSERT_NE(def("Func: sq(x) = x*x"), 0);
    ASSERT_NE(def("Var: n As Double = 100"), 0);
    ASSERT_NE(def("Func: addN(x) = x + n"), 0);
    expectAll({
        {"f(0)", " 0"},   {"f(4)", " 10"},       {"f(10)", " 55"},
        {"sq(3)", " 9"},  {"sq(sq(2))", " 16"}, {"sq(1+f(2))", " 16"}, {"f(3) + f(2)", " 9"},
        {"f(3) + n", " 106"}, {"addN(1)", " 101"}, {"sq(2) + sq(3)", " 13"},
    }, s.t());
    Word fn = byName("f", nx_Handle, 0, s.t());
    EXPECT_EQ(of(fn, nx_Count, s.t()), 1);
    EXPECT_EQ(of(fn, nx_Flags, s.t()) & (flag::ArgList | flag::Prefix), flag::ArgList | flag::Prefix);
}

// Two calls of a recursive function in one expression of its body: each call's
// result survives the other.
TEST_F(Compiler, RecursionKeepsTheCallersIntermediates) {
    ASSERT_NE(def("Func: fib(n) = iif(n < 2, n, fib(n - 1) + fib(n - 2))"), 0);
    ASSERT_NE(def("Func: h(n) = iif(n < 1, 1, h(n - 1) + h(n - 1))"), 0);
    expectAll({{"h(1)", " 2"}, {"h(3)", " 8"}, {"fib(4)", " 3"}, {"fib(10)", " 55"}}, s.t());
}

// A native with a variable argument list takes any number of arguments from the
// fixed ones on; by-reference parameters reach the caller's variable.
void countArgs(OperationRecord *record) { nxReturnDbl(record, static_cast<double>(nxParamCount(record))); }

TEST_F(Compiler, VariableArgumentListsAndByReference) {
    ASSERT_NE(def("Func:: CountArgs(...) As Double", reinterpret_cast<Word>(&countArgs)), 0);
    ASSERT_NE(def("Func:: CountAtLeastOne(a, ...) As Double", reinterpret_cast<Word>(&countArgs)), 0);
    ASSERT_NE(def("Var: rx As Double = 4"), 0);
    ASSERT_NE(def("Func: twiceRef(ByRef v) = v*2"), 0);
    ASSERT_NE(def("Func: viaRef(ByRef v) = twiceRef(v) + v"), 0);
    expectAll({
        {"CountArgs()", " 0"}, {"CountArgs(7)", " 1"}, {"CountArgs(1, 2, 3)", " 3"},
        {"CountAtLeastOne(1, 2)", " 2"}, {"CountAtLeastOne()", "Invalid number of arguments"},
        {"twiceRef(rx)", " 8"}, {"viaRef(rx)", " 12"}, {"twiceRef(3)", " 6"},
    }, s.t());
}

// Evaluates a compiled text 10,000 times; true when the heap saw no allocation and
// every run gave the first run's value.
void expectNoAllocation(std::string_view text, Word t) {
    Word expr = parse(text, 0, t);
    ASSERT_NE(expr, 0) << text;
    double first = nxEvaluateDbl(expr);
    int64_t before = nxHeapAllocations();
    int differing = 0;
    for (int i = 0; i < 10000; ++i) differing += nxEvaluateDbl(expr) != first;
    EXPECT_EQ(nxHeapAllocations(), before) << text;
    EXPECT_EQ(differing, 0) << text;
    release(expr, t);
}

// A compiled expression of natives runs without touching the heap.
TEST_F(Compiler, EvaluationAllocatesNothing) {
    ASSERT_NE(def("Var: ax As Double = 0.5"), 0);
    for (const char *text : {"ax*2 + Sin(ax)/3 - 2^ax", "iif(ax > 0, Sqr(ax), 0) + Ceil(ax)", "7\\2 + 3! + Max(ax, 1)"})
        expectNoAllocation(text, s.t());
}

// Calls of a function with a body allocate nothing either.
TEST_F(Compiler, BodyCallsAllocateNothing) {
    ASSERT_NE(def("Var: ax As Double = 0.5"), 0);
    ASSERT_NE(def("Func: asq(v) = v*v"), 0);
    expectNoAllocation("asq(ax) + asq(2)", s.t());
}

} // namespace
} // namespace lang
