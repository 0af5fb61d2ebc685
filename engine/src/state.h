// Process-wide engine state: what the design makes global (the default context,
// the first data types, start-up), gathered in one place.
#pragma once
#include "context.h"

namespace nx {

struct EngineState {
    bool initialized = false;
    ThreadContext *defaultContext = nullptr;
    Item *firstTypes[3] = {};  // the first three data types defined in the process
    int typesRecorded = 0;
};

EngineState &engine();

// Definitions: drops a context's pending block and body (define.cpp).
void discardPending(ThreadContext *ctx);
// Frees what an item's role keeps in `extra` (rule elements, a function's body).
void releaseItemData(Item *item);

} // namespace nx
