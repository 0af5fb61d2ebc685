// The engine booted with the shipped first-phase language, once per test
// program, and the few calls the regression tests make through the public
// command entry, as a host does.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "engine_call.h"
#include "nxeng296.h"
#include "shell/bootscript.h"

namespace regress {

using Word = intptr_t;
using enginecall::call;
using enginecall::fetch;

inline Word errorCode(Word t) { return Nomix(nx_GetError, nullptr, 0, 0, 0, t); }

// The language of phase 1, sent once per process; true when it works.
inline bool booted() {
    static const bool ok = [] {
        nxSetMessageCallback([](const char *, const char *) {});
        auto file = nomix::findLanguageFile();
        if (!file) return false;
        static nomix::BootSender sender(&Nomix);
        sender.sendAll(nomix::readBootScriptFile(*file).commands);
        return fetch(call(nx_EvalStr, "1+2")) == " 3";
    }();
    return ok;
}

// A child engine thread, released with all it holds when the scope ends.
class Scratch : public enginecall::ScratchThread {
public:
    // Defines in this thread; the item handle or 0.
    Word define(std::string_view text) const { return call(nx_Define, text, 0, 0, 0, t()); }
    // Evaluates to text in this thread (command 6).
    std::string eval(std::string_view text) const { return fetch(call(nx_EvalStr, text, 0, 0, 0, t())); }
    Word error() const { return errorCode(t()); }
};

// Every test starts on a booted engine.
class RegressTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(booted()) << "the first-phase language did not boot"; }
};

} // namespace regress
