// Sending one command to the engine from test and fuzz programs: the text
// travels as an engine string (any byte, zero included), and a parked text
// result is copied at once, as a host must.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "nxeng296.h"

namespace enginecall {

using Word = intptr_t;

inline Word call(Word command, std::string_view text, Word m1 = 0, Word m2 = 0, Word rp = 0,
                 Word t = 0) {
    char *engineText = nxStrAlloc(text.data(), static_cast<uint32_t>(text.size()));
    Word result = Nomix(command, engineText, m1, m2, rp, t);
    nxStrFree(engineText);
    return result;
}

inline std::string fetch(Word token) {
    const char *s = token ? nxStrReturnB(token) : nullptr;
    return s ? std::string(s, nxStrLen(s)) : std::string();
}

// A fresh child engine thread of the default context, released with all it
// holds when the scope ends, so that what one case defines does not reach the next.
class ScratchThread {
public:
    ScratchThread() : thread_(Nomix(nx_NewThread, nullptr, 0, 0, 0, 0)) {}
    ~ScratchThread() {
        if (thread_) Nomix(nx_ReleaseItem, nullptr, thread_, 0, 0, 0);
    }
    ScratchThread(const ScratchThread &) = delete;
    ScratchThread &operator=(const ScratchThread &) = delete;
    Word t() const { return thread_; }

private:
    Word thread_;
};

} // namespace enginecall
