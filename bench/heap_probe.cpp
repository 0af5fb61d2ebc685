// The engine heap counts its live blocks but not their bytes. To count bytes
// without touching the engine, this program supplies its own
// mi_heap_new_in_arena: the engine's call resolves to it first, it passes the
// call on to mimalloc and remembers the heap it returned, and the heap can then
// be walked with mimalloc's visitor.
#include "heap_probe.h"

#include <cstring>
#include <dlfcn.h>
#include <map>
#include <mimalloc.h>

#include "item.h"
#include "nomix_engine.h"
#include "nxeng296.h"

namespace {

thread_local mi_heap_t *engineHeap = nullptr;

} // namespace

// Passes the engine's call on to mimalloc and keeps the first heap made on
// this thread: the engine heap of the thread that runs the benchmarks.
extern "C" __attribute__((visibility("default"))) mi_heap_t *mi_heap_new_in_arena(mi_arena_id_t arena) {
    using Create = mi_heap_t *(*)(mi_arena_id_t);
    static Create mimalloc = reinterpret_cast<Create>(dlsym(RTLD_NEXT, "mi_heap_new_in_arena"));
    mi_heap_t *heap = mimalloc ? mimalloc(arena) : nullptr;
    if (!engineHeap) engineHeap = heap;
    return heap;
}

namespace bench {
namespace {

// Adds up the sizes of the used blocks the visitor is shown.
bool addBlock(const mi_heap_t *, const mi_heap_area_t *, void *block, size_t size, void *sum) {
    if (block) *static_cast<int64_t *>(sum) += static_cast<int64_t>(size);
    return true;
}

// The first record of a compiled expression's chain (its item's chain word).
const OperationRecord *firstRecord(intptr_t expr) {
    return expr ? reinterpret_cast<const nx::Item *>(expr)->chain : nullptr;
}

// The record after r in its chain.
const OperationRecord *nextRecord(const OperationRecord *r) {
    return reinterpret_cast<const OperationRecord *>(r->Next);
}

// The routine an address enters. The engine hands out code addresses above
// 2 GiB as jump stubs (jmp qword ptr [rip+0], then the 8-byte target), while
// the records of a chain hold the routine itself; any other address is its
// own routine.
intptr_t stubTarget(intptr_t address) {
    static constexpr unsigned char kJump[] = {0xFF, 0x25, 0x00, 0x00, 0x00, 0x00};
    if (!address || std::memcmp(reinterpret_cast<const void *>(address), kJump, sizeof kJump) != 0) return address;
    intptr_t target;
    std::memcpy(&target, reinterpret_cast<const void *>(address + sizeof kJump), sizeof target);
    return target;
}

// Routine addresses by slot, asked of the engine once; the lowest slot wins
// where several hold the same routine (empty slots answer with slot 0's).
const std::map<intptr_t, int> &slotsByAddress() {
    static const std::map<intptr_t, int> slots = [] {
        std::map<intptr_t, int> m;
        const NomixEngine &engine = NomixEngine::instance();
        for (int slot = 0; slot < 512; ++slot)
            if (intptr_t address = engine.routineAddress(slot)) m.emplace(stubTarget(address), slot);
        return m;
    }();
    return slots;
}

} // namespace

// Walks the engine heap and adds up its used blocks.
int64_t engineHeapBytes() {
    if (!engineHeap) return -1;
    int64_t sum = 0;
    mi_heap_visit_blocks(engineHeap, true, &addBlock, &sum);
    return sum;
}

// Counts the records up to the terminating one.
int chainLength(intptr_t expr) {
    int n = 0;
    for (const OperationRecord *r = firstRecord(expr); r && r->Routine; r = nextRecord(r)) ++n;
    return n;
}

// How --check names a routine no slot holds: "engine" for one of the engine
// library's own (such as its x87 square), "callback" for the application's.
std::string unslottedRoutine(intptr_t routine) {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void *>(routine), &info) && info.dli_fname &&
        std::strstr(info.dli_fname, "libnxeng296"))
        return "engine";
    return "callback";
}

// The routine slots of a chain, for --check: shows conversions and callbacks.
std::string chainRoutines(intptr_t expr) {
    const auto &slots = slotsByAddress();
    std::string out;
    for (const OperationRecord *r = firstRecord(expr); r && r->Routine; r = nextRecord(r)) {
        if (!out.empty()) out += ' ';
        auto found = slots.find(r->Routine);
        out += found != slots.end() ? std::to_string(found->second) : unslottedRoutine(r->Routine);
    }
    return out;
}

// The heap a compiled expression keeps, and what its release leaves behind.
HeapFigure measureHeap(std::string_view text) {
    NomixEngine &engine = NomixEngine::instance();
    HeapFigure figure;
    engine.release(engine.parse(text));  // first-use growth is not the expression's
    int64_t blocks = nxHeapLiveBlocks(), bytes = engineHeapBytes();
    intptr_t expr = engine.parse(text);
    figure.compiled = expr != 0;
    figure.records = chainLength(expr);
    figure.blocks = nxHeapLiveBlocks() - blocks;
    int64_t held = engineHeapBytes();
    figure.bytes = bytes < 0 || held < 0 ? -1 : held - bytes;
    engine.release(expr);
    figure.leftBlocks = nxHeapLiveBlocks() - blocks;
    figure.leftBytes = bytes < 0 ? 0 : engineHeapBytes() - bytes;
    return figure;
}

} // namespace bench
