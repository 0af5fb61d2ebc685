// The command entry's groups of codes, each in a file of its own.
#pragma once
#include <cstdint>
#include <string_view>

#include "context.h"

namespace nx {

struct Call {
    ThreadContext *ctx;
    std::string_view textArg;
    intptr_t misc1, misc2, returnPtr, t;
    intptr_t text(std::string_view s);  // park a text result; returns the token for nxStrReturn
};

bool definitionCommand(intptr_t code, Call &c, intptr_t &result);  // 1, 2, 22, 65, 66, 95, 96, 100
bool evaluationCommand(intptr_t code, Call &c, intptr_t &result);  // 4-10, 21, 50, 51, 94
bool itemCommand(intptr_t code, Call &c, intptr_t &result);        // 70-74, 97, 98

} // namespace nx
