// What a compiled expression costs in the engine heap, and what its chain of
// operation records looks like.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace bench {

struct HeapFigure {
    bool compiled = false;
    int records = 0;          // operation records of its chain, the terminator not counted
    int64_t blocks = 0;       // engine-heap blocks the compiled expression keeps
    int64_t bytes = -1;       // bytes of those blocks; -1 when the heap cannot be walked
    int64_t leftBlocks = 0;   // blocks still live after it was released
    int64_t leftBytes = 0;
};

// Compiles the text once to warm the engine up, then again to measure.
HeapFigure measureHeap(std::string_view text);

// Bytes held by live blocks of this thread's engine heap, -1 when unknown.
int64_t engineHeapBytes();

// Records of a compiled expression's chain, the terminator not counted.
int chainLength(intptr_t expr);
// The routine of each record in chain order: its routine-table slot, or
// "engine" for one of the engine's own routines outside the table, "callback"
// for any other (the application's callbacks).
std::string chainRoutines(intptr_t expr);

} // namespace bench
