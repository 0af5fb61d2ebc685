// libNomix296's handshake with the engine: keep the engine's entry points and
// install our routines and runners in its routine table.
#include "faults.h"
#include "internal.h"

namespace nm {

EngineLinks links;

namespace {

struct Installed {
    intptr_t slot;
    NxRoutine routine;
};

// The slots we take over, in the order the engine expects them.
constexpr Installed kInstalled[] = {
    {48, addExtended},  {59, powerExtended}, {93, lnExtended},      {95, sqrtExtended},
    {206, powerDouble}, {215, lnDouble},     {216, sqrtDouble},     {150, protectedRunner},
    {151, plainRunner},
};

constexpr intptr_t kRecoverSlot = 152;

} // namespace
} // namespace nm

// Stores the engine's three entry points, installs the nine routines, then
// fetches the engine's recovery routine from slot 152.
extern "C" NOMIX296_API void Handshake(NxCommandEntry command, NxStoreResult storeResult,
                                       NxAfterCall afterCall) {
    using namespace nm;
    links = EngineLinks{command, storeResult, afterCall, nullptr};
    prepareThread();
    if (command == nullptr) return;
    for (const Installed &entry : kInstalled)
        command(nx_SetRoutine, nullptr, entry.slot, reinterpret_cast<intptr_t>(entry.routine), 0, 0);
    links.recover = reinterpret_cast<RecoverFn>(command(nx_RoutineAddress, nullptr, kRecoverSlot, 0, 0, 0));
}
