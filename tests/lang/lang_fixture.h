// The engine with the first phase of the calculator language, driven only through
// its public command entry. The engine is process-wide: it is initialised and
// given the language once per test program, then every test works on it.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine_call.h"
#include "nxeng296.h"
#include "shell/bootscript.h"

namespace lang {

using Word = intptr_t;
using enginecall::call;
using enginecall::fetch;
using nomix::KeptType;

constexpr Word bit(int n) { return Word{1} << n; }

// Flag word bits of an item, as the definition language sets them.
namespace flag {
inline constexpr Word KindMask = 0xF, ArgList = bit(4), Literal = bit(5), OperatorRun = bit(6),
                      ChainHead = bit(7), Variable = bit(8), Infix = bit(9), Prefix = bit(10),
                      Postfix = bit(11), Operator = bit(12), PassOnce = bit(13), Constant = bit(14),
                      NativeCall = bit(20), AnyType = bit(21), RuleHead = bit(22), OwnsValue = bit(26),
                      VariableArgs = bit(30);
}

// The first phase, sent once per process as the application does.
struct Phase1 {
    nomix::BootScript script;
    std::vector<nomix::SendResult> results;
    std::unique_ptr<nomix::BootSender> sender;
};

inline const Phase1 &phase1() {
    static const Phase1 once = [] {
        Phase1 p;
        if (auto file = nomix::findLanguageFile()) p.script = nomix::readBootScriptFile(*file);
        p.sender = std::make_unique<nomix::BootSender>(&Nomix);
        p.results = p.sender->sendAll(p.script.commands);
        return p;
    }();
    return once;
}

// One command without a text argument.
inline Word callNoText(Word command, Word m1 = 0, Word m2 = 0, Word rp = 0, Word t = 0) {
    return Nomix(command, nullptr, m1, m2, rp, t);
}

inline std::string textCall(Word command, std::string_view text, Word m1 = 0, Word m2 = 0,
                            Word rp = 0, Word t = 0) {
    return fetch(call(command, text, m1, m2, rp, t));
}

inline Word define(std::string_view text, Word m1 = 0, Word m2 = 0, Word rp = 0, Word t = 0) {
    return call(nx_Define, text, m1, m2, rp, t);
}
inline Word defineSyntax(std::string_view text, Word rank = 1, Word t = 0) {
    return call(nx_DefineSyntax, text, rank, 0, 0, t);
}
inline Word errorCode(Word t = 0) { return callNoText(nx_GetError, 0, 0, 0, t); }
inline void clearError(Word t = 0) { callNoText(nx_ClearError, 0, 0, 0, t); }
inline Word routine(int n) { return callNoText(nx_RoutineAddress, n); }
inline Word type(KeptType kept) { return phase1().sender->keptType(kept); }

// A property of the item of that name (code 97), with an optional flag mask.
inline Word byName(std::string_view name, Word property, Word mask = 0, Word t = 0) {
    return call(nx_GetItemData, name, 0, property, mask, t);
}
// A property of an item given by handle.
inline Word of(Word item, Word property, Word t = 0) {
    return call(nx_GetItemData, "", item, property, 0, t);
}
inline std::string nameOf(Word item, Word t = 0) { return fetch(of(item, nx_SymbolName, t)); }

// Every item of that name, newest (head) first.
inline std::vector<Word> chain(std::string_view name, Word t = 0) {
    std::vector<Word> items;
    for (Word h = byName(name, nx_Handle, 0, t); h != 0 && items.size() < 64; h = of(h, nx_NextItem, t))
        items.push_back(h);
    return items;
}

// The expression evaluated to text in the default type (code 6).
inline std::string evalStr(std::string_view expr, Word t = 0, Word resultType = 0) {
    return textCall(nx_EvalStr, expr, resultType, 0, 0, t);
}

// A Double result of code 4 together with the error code it left.
struct Number {
    double value;
    Word error;
};
inline Number evalDbl(std::string_view expr, Word t = 0) {
    double value = -12345.0;
    call(nx_EvalDbl, expr, 0, 0, reinterpret_cast<Word>(&value), t);
    return {value, errorCode(t)};
}

inline Word parse(std::string_view expr, Word resultType = 0, Word t = 0) {
    return call(nx_Parse, expr, resultType, 0, 0, t);
}
inline void release(Word handle, Word t = 0) { callNoText(nx_ReleaseItem, handle, 0, 0, t); }

// A child engine thread of the default context, released with everything defined
// in it when the scope ends: tests define freely without touching the root.
class Scratch {
public:
    Scratch() : thread_(callNoText(nx_NewThread)) {}
    ~Scratch() {
        if (thread_) callNoText(nx_ReleaseItem, thread_);
    }
    Scratch(const Scratch &) = delete;
    Scratch &operator=(const Scratch &) = delete;
    Word t() const { return thread_; }

private:
    Word thread_;
};

// The true value is the host's to give (phase 1 leaves it 0); the application
// stores 1 through this definition, once.
inline Word trueValue() {
    static const Word item = define("Var: nx_True As Long = 1 ~~ Address: #", routine(111));
    return item;
}

// Every test starts on the language of phase 1, with true = 1 and no error pending.
class LangTest : public ::testing::Test {
protected:
    // The engine is ready before any member of a derived fixture (a Scratch thread)
    // is made, even when a test runs alone in its process.
    LangTest() {
        phase1();
        trueValue();
    }
    void SetUp() override {
        ASSERT_FALSE(phase1().script.commands.empty()) << "language file not found or empty";
        ASSERT_EQ(evalStr("1+2"), " 3") << "phase 1 did not give a working engine";
        ASSERT_NE(trueValue(), 0);
        clearError();
    }
};

} // namespace lang
