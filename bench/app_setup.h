// A stand-in for the application's set-up (the second start-up phase) until the
// application's own lands: the same definitions in the same order, with idle
// callbacks for the natives the benchmarks never call, and a real negation.
#pragma once
#include <cstdint>
#include <vector>

#include "shell/bootscript.h"

namespace bench {

// A definition the engine turned down, for the check report.
struct SetupProblem {
    int step = 0;          // the step of the set-up it belongs to
    int32_t error = 0;     // the engine's error code after it
};

// Sends the application's definitions through the sender; the first phase must
// have run. Returns the definitions that left an error code.
std::vector<SetupProblem> defineApplicationLanguage(const nomix::BootSender &sender);

} // namespace bench
