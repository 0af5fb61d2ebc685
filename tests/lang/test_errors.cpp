// The error model: the report of a failed parse as handlers see it, the handlers'
// verdicts, raised errors, message lookup and when the error code is reset.
#include <algorithm>
#include <functional>

#include "lang_fixture.h"

namespace lang {
namespace {

// What a recording handler saw on each call, and how it answers.
struct HandlerLog {
    int calls = 0;
    std::vector<Word> verdicts{0};  // the answer of call i; the last one repeats
    std::string repair;             // defined in the failing thread on the first call
    Word code = 0, type = 0, detail = 0, location = 0;
    std::string expression, symbol;
};
HandlerLog logA;
int callsB = 0;
std::vector<char> callOrder;

// Records the failing context's report, optionally repairs, and gives its verdict.
intptr_t recordingHandler(intptr_t thread) {
    HandlerLog &h = logA;
    callOrder.push_back('A');
    h.code = callNoText(nx_GetError, 0, 0, 0, thread);
    h.type = callNoText(nx_ErrorType, 0, 0, 0, thread);
    h.detail = callNoText(nx_ErrorDetail, 0, 0, 0, thread);
    h.location = callNoText(nx_ErrorLocation, 0, 0, 0, thread);
    h.expression = fetch(callNoText(nx_ErrorExpression, 0, 0, 0, thread));
    h.symbol = fetch(callNoText(nx_ErrorSymbol, 0, 0, 0, thread));
    if (h.calls == 0 && !h.repair.empty()) define(h.repair, 0, 0, 0, thread);
    size_t i = std::min<size_t>(static_cast<size_t>(h.calls), h.verdicts.size() - 1);
    ++h.calls;
    return h.verdicts[i];
}

// A second handler that only counts and answers 42.
intptr_t countingHandler(intptr_t) {
    ++callsB;
    callOrder.push_back('B');
    return 42;
}

std::vector<std::string> shownMessages;
void captureMessage(const char *text, const char *) { shownMessages.emplace_back(text); }

class Errors : public LangTest {
protected:
    Scratch s;
    void SetUp() override {
        LangTest::SetUp();
        logA = HandlerLog{};
        callsB = 0;
        callOrder.clear();
    }
    void addHandler(NxErrorHandler handler, Word t) {
        callNoText(nx_AddErrorHandler, reinterpret_cast<Word>(handler), 0, 0, t);
    }
    Word err() { return errorCode(s.t()); }
    Word parseHere(std::string_view text, Word resultType = 0) { return parse(text, resultType, s.t()); }
};

// While the handler runs it sees the whole text, the offending token, where it
// starts and the type asked for; afterwards the report is cleared.
TEST_F(Errors, FailedParseReport) {
    addHandler(&recordingHandler, s.t());
    struct Row { const char *text; Word code; const char *symbol; Word location; };
    const std::vector<Row> rows = {
        {"1 + missingName * 2", 3, "missingName", 5},
        {"Sin(1, 2)", 8, ")", 9},
        {"2*(3+\xA7)", 5, "", 6},
    };
    for (const Row &row : rows) {
        logA = HandlerLog{};
        EXPECT_EQ(parseHere(row.text, type(KeptType::Long)), 0) << row.text;
        EXPECT_EQ(logA.calls, 1) << row.text;
        EXPECT_EQ(logA.code, row.code) << row.text;
        EXPECT_EQ(logA.expression, row.text);
        if (*row.symbol) {
            EXPECT_EQ(logA.symbol, row.symbol) << row.text;
        }
        EXPECT_EQ(logA.location, row.location) << row.text;
        EXPECT_EQ(logA.type, type(KeptType::Long)) << row.text;
        if (row.code == 3) {
            EXPECT_EQ(of(logA.detail, nx_Flags) & flag::KindMask, 1) << "the detail is the name pattern";
        }
        EXPECT_EQ(err(), row.code) << "verdict 0 keeps the code";
        EXPECT_EQ(callNoText(nx_ErrorLocation, 0, 0, 0, s.t()), 0);
        EXPECT_EQ(fetch(callNoText(nx_ErrorExpression, 0, 0, 0, s.t())), "");
        EXPECT_EQ(fetch(callNoText(nx_ErrorSymbol, 0, 0, 0, s.t())), "");
    }
}

// An unrecognised character after blanks is reported where it stands.
TEST_F(Errors, UnrecognisedTextAfterBlanksIsLocatedExactly) {
    addHandler(&recordingHandler, s.t());
    EXPECT_EQ(parseHere("2 * (3 + \xA7)"), 0);
    EXPECT_EQ(logA.code, 5);
    EXPECT_EQ(logA.location, 10);
}

// Verdict 1 after defining the missing name resumes the parse, which succeeds.
TEST_F(Errors, HandlerThatRepairsMakesTheParseSucceed) {
    addHandler(&recordingHandler, s.t());
    logA.repair = "Var: lateName As Double = 5";
    logA.verdicts = {1};
    Word expr = parseHere("1 + lateName * 2");
    ASSERT_NE(expr, 0);
    EXPECT_EQ(err(), 0);
    EXPECT_EQ(logA.calls, 1);
    EXPECT_EQ(nxEvaluateDbl(expr), 11.0);
    release(expr, s.t());
}

// A definition's value is parsed under the same protocol: the handler sees the value
// text, and its repair lets the definition succeed.
TEST_F(Errors, ValuesOfDefinitionsReportLikeParses) {
    addHandler(&recordingHandler, s.t());
    EXPECT_EQ(define("Var: hq As Long = 1 + nope", 0, 0, 0, s.t()), 0);
    EXPECT_EQ(logA.calls, 1);
    EXPECT_EQ(logA.expression, "1 + nope");
    EXPECT_EQ(logA.symbol, "nope");
    EXPECT_EQ(logA.location, 5);
    EXPECT_EQ(err(), 3);
    logA = HandlerLog{};
    logA.repair = "Var: nope As Long = 4";
    logA.verdicts = {1};
    EXPECT_NE(define("Var: hq2 As Long = 1 + nope", 0, 0, 0, s.t()), 0);
    EXPECT_EQ(err(), 0);
    EXPECT_EQ(evalStr("hq2", s.t()), " 5");
}

// Verdict 1 without a repair stops at the same token again; verdict 0 then abandons.
TEST_F(Errors, HandlerRetriesUntilItGivesUp) {
    addHandler(&recordingHandler, s.t());
    logA.verdicts = {1, 1, 0};
    EXPECT_EQ(parseHere("2 + stillMissing"), 0);
    EXPECT_EQ(logA.calls, 3);
    EXPECT_EQ(logA.location, 5);
    EXPECT_EQ(err(), 3);
}

// After an abandoned parse, even one inside brackets and a call, the context
// parses again at once.
TEST_F(Errors, AbandonedParseLeavesTheContextUsable) {
    addHandler(&recordingHandler, s.t());
    for (const char *bad : {"Sin(1 + (nope", "Max(1, (2 + nope))", "1 + (2 * (3 + ", "Asc(, 1)"}) {
        EXPECT_EQ(parseHere(bad), 0) << bad;
        EXPECT_EQ(evalStr("(1+2)*Sin(0)+4", s.t()), " 4") << "after " << bad;
    }
}

// A handler whose own work fails leaves that failure's code; a released handler
// record is no longer called.
TEST_F(Errors, FailingHandlerAndReleasedHandler) {
    Word handler = callNoText(nx_AddErrorHandler, reinterpret_cast<Word>(&recordingHandler), 0, 0, s.t());
    ASSERT_NE(handler, 0);
    logA.repair = "Bogus: thing";
    EXPECT_EQ(parseHere("nope"), 0);
    EXPECT_EQ(logA.calls, 1);
    EXPECT_EQ(err(), 2) << "the handler's failing definition left error 2";
    release(handler, s.t());
    EXPECT_EQ(parseHere("nope"), 0);
    EXPECT_EQ(logA.calls, 1) << "released handlers are not called";
    EXPECT_EQ(err(), 3);
}

// Any other verdict stops the parse with the code kept.
TEST_F(Errors, OtherVerdictsStop) {
    addHandler(&recordingHandler, s.t());
    logA.verdicts = {2};
    EXPECT_EQ(parseHere("nope + 1"), 0);
    EXPECT_EQ(err(), 3);
    EXPECT_EQ(logA.calls, 1);
}

// Handlers run in registration order and the last one's answer counts; a child
// context's errors do not reach its parent's handlers.
TEST_F(Errors, HandlerOrderAndScope) {
    addHandler(&recordingHandler, s.t());
    addHandler(&countingHandler, s.t());
    EXPECT_EQ(parseHere("nope"), 0);
    EXPECT_EQ(callOrder, (std::vector<char>{'A', 'B'}));
    EXPECT_EQ(err(), 3) << "42 is neither retry nor abandon: the parse stops";

    Word child = callNoText(nx_NewThread, 0, 0, 0, s.t());
    callOrder.clear();
    EXPECT_EQ(parse("nope", 0, child), 0);
    EXPECT_EQ(errorCode(child), 3);
    EXPECT_TRUE(callOrder.empty()) << "parent handlers are not called";
    callNoText(nx_ReleaseItem, child, 0, 0, s.t());
}

// Code 30: the code is set, the detail is visible only while handlers run, and
// the last handler's answer is the result.
TEST_F(Errors, RaisedErrors) {
    EXPECT_EQ(callNoText(nx_RaiseError, 28, 777, 0, s.t()), 0) << "no handler";
    EXPECT_EQ(err(), 28);
    EXPECT_EQ(callNoText(nx_ErrorDetail, 0, 0, 0, s.t()), 0);
    addHandler(&recordingHandler, s.t());
    logA.verdicts = {7};
    EXPECT_EQ(callNoText(nx_RaiseError, 22, 555, 0, s.t()), 7);
    EXPECT_EQ(logA.detail, 555);
    EXPECT_EQ(logA.code, 22);
    addHandler(&countingHandler, s.t());
    EXPECT_EQ(callNoText(nx_RaiseError, 25, 0, 0, s.t()), 42);
    EXPECT_EQ(callNoText(nx_ErrorDetail, 0, 0, 0, s.t()), 0);
    EXPECT_EQ(err(), 25);
}

// Definitions and parses reset the code; item data, evaluations and messages keep it.
TEST_F(Errors, WhatResetsTheCode) {
    Word expr = parseHere("1+1");
    ASSERT_NE(expr, 0);
    struct Row { const char *what; std::function<void()> act; Word after; };
    const std::vector<Row> rows = {
        {"item data", [&] { byName("Sin", nx_Flags, 0, s.t()); }, 9},
        {"evaluation", [&] { nxEvaluateDbl(expr); }, 9},
        {"message", [&] { callNoText(nx_GetErrorMessage, 0, 0, 0, s.t()); }, 9},
        {"parse", [&] { release(parseHere("2"), s.t()); }, 0},
        {"definition", [&] { define("Var: resetter As Long", 0, 0, 0, s.t()); }, 0},
        {"text evaluation", [&] { evalStr("3", s.t()); }, 0},
    };
    for (const Row &row : rows) {
        callNoText(nx_RaiseError, 9, 0, 0, s.t());
        row.act();
        EXPECT_EQ(err(), row.after) << row.what;
    }
    release(expr, s.t());
}

// Message lookup: the context, then its parents, then the message of number 4.
TEST_F(Errors, MessageLookup) {
    struct Row { Word code; Word current; const char *message; };
    const std::vector<Row> rows = {
        {99, 0, "Unknown error"},  {-3, 0, "Unknown error"},        {0, 0, "No error"},
        {0, 7, "Data type mismatch"}, {13, 0, "This item cannot be modified"}, {1, 0, "Unknown error"},
        {100000, 0, "Unknown error"},
    };
    for (const Row &row : rows) {
        clearError(s.t());
        if (row.current) callNoText(nx_RaiseError, row.current, 0, 0, s.t());
        EXPECT_EQ(fetch(callNoText(nx_GetErrorMessage, row.code, 0, 0, s.t())), row.message) << row.code;
    }
}

// Setting a message that exists replaces it; without the replace flag that is error 12.
TEST_F(Errors, SettingMessages) {
    clearError(s.t());
    call(nx_SetErrorMessage, "first", 77, 0, 0, s.t());
    EXPECT_EQ(err(), 0);
    call(nx_SetErrorMessage, "second", 77, 0, 0, s.t());
    EXPECT_EQ(err(), 12);
    EXPECT_EQ(fetch(callNoText(nx_GetErrorMessage, 77, 0, 0, s.t())), "second");
    clearError(s.t());
    call(nx_SetErrorMessage, "third", 77, 1, 0, s.t());
    EXPECT_EQ(err(), 0);
    EXPECT_EQ(fetch(callNoText(nx_GetErrorMessage, 77, 0, 0, s.t())), "third");
    EXPECT_EQ(fetch(callNoText(nx_GetErrorMessage, 77)), "Unknown error") << "the parent does not see it";

    call(nx_SetErrorMessage, "Own syntax error", 2, 0, 0, s.t());
    EXPECT_EQ(err(), 0) << "the thread had no message 2 of its own";
    call(nx_SetErrorMessage, "Other syntax error", 2, 0, 0, s.t());
    EXPECT_EQ(err(), 12);
    EXPECT_EQ(evalStr("1+", s.t()), "Other syntax error");
    EXPECT_EQ(evalStr("1+"), "Syntax error");
}

// The engine's message builder (routine 153) used as a handler.
TEST_F(Errors, MessageBuilderRoutine) {
    shownMessages.clear();
    nxSetMessageCallback(&captureMessage);
    callNoText(nx_AddErrorHandler, routine(153), 0, 0, s.t());
    EXPECT_EQ(parseHere("1 + nope"), 0);
    callNoText(nx_RaiseError, 7, 0, 0, s.t());
    nxSetMessageCallback(nullptr);
    ASSERT_EQ(shownMessages.size(), 2u);
    EXPECT_EQ(shownMessages[0], "Error #3\r\nUndefined identifier\r\nItem: nope");
    EXPECT_EQ(shownMessages[1], "Error #7\r\nData type mismatch");
    EXPECT_EQ(err(), 7);
}

} // namespace
} // namespace lang
