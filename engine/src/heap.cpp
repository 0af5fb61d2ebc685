// The engine heap: a mimalloc arena inside a region reserved below 2 GiB.
#include "heap.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mimalloc.h>
#include <mutex>
#include <sys/mman.h>

#include "item.h"
#include "nxeng296.h"

#if defined(NOMIX_SANITIZE) || defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define NX_REDZONES 1
#endif

namespace nx {
namespace {

constexpr size_t kAlign = size_t(64) << 20;  // mimalloc's segment alignment

std::atomic<int64_t> liveBlocks{0};
std::atomic<int64_t> allocations{0};
mi_arena_id_t arenaId;
uintptr_t regionStart = 0, regionEnd = 0;
std::once_flag arenaOnce;


// Reserves the largest region the 32-bit window gives us (it is 1 GiB on x86-64
// Linux) and hands it to mimalloc as an exclusive arena.
void setUpArena() {
    for (size_t want = size_t(896) << 20; want >= (size_t(128) << 20); want -= size_t(128) << 20) {
        size_t span = want + kAlign;
        void *p = mmap(nullptr, span, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT | MAP_NORESERVE, -1, 0);
        if (p == MAP_FAILED) continue;
        uintptr_t base = reinterpret_cast<uintptr_t>(p);
        uintptr_t start = (base + kAlign - 1) & ~(kAlign - 1);
        if (start > base) munmap(p, start - base);
        uintptr_t end = start + want;
        if (base + span > end) munmap(reinterpret_cast<void *>(end), base + span - end);
        if (mi_manage_os_memory_ex(reinterpret_cast<void *>(start), want, true, false, true, -1,
                                   true, &arenaId)) {

            regionStart = start;
            regionEnd = start + want;
            return;
        }
        munmap(reinterpret_cast<void *>(start), want);
    }
    std::fprintf(stderr, "nxeng296: cannot reserve the engine heap below 2 GiB\n");
    std::abort();
}

// One mimalloc heap per OS thread, all in the arena.
mi_heap_t *threadHeap() {
    thread_local mi_heap_t *heap = nullptr;
    if (!heap) {
        std::call_once(arenaOnce, setUpArena);
        heap = mi_heap_new_in_arena(arenaId);
    }
    return heap;
}

#ifdef NX_REDZONES
// Sanitizer builds: a poisoned red zone before and after each block, and a
// quarantine so that a use after free hits poisoned memory.
constexpr size_t kZone = 32;
constexpr size_t kQuarantine = 512;
struct Quarantine {
    std::mutex lock;
    void *blocks[kQuarantine] = {};
    size_t next = 0;
} quarantine;

size_t &headerSize(void *raw) { return *static_cast<size_t *>(raw); }

void *wrapBlock(void *raw, size_t size) {
    headerSize(raw) = size;
    char *user = static_cast<char *>(raw) + kZone;
    ASAN_POISON_MEMORY_REGION(static_cast<char *>(raw) + sizeof(size_t), kZone - sizeof(size_t));
    ASAN_POISON_MEMORY_REGION(user + size, kZone);
    return user;
}
void *rawOf(void *user) { return static_cast<char *>(user) - kZone; }
#endif

} // namespace

void *heapAlloc(size_t size) {
#ifdef NX_REDZONES
    void *raw = mi_heap_zalloc(threadHeap(), size + 2 * kZone);
    if (!raw) return nullptr;
    void *p = wrapBlock(raw, size);
#else
    void *p = mi_heap_zalloc(threadHeap(), size ? size : 1);
    if (!p) return nullptr;
#endif
    liveBlocks.fetch_add(1, std::memory_order_relaxed);
    allocations.fetch_add(1, std::memory_order_relaxed);
    return p;
}

void *heapRealloc(void *block, size_t size) {
    if (!block) return heapAlloc(size);
#ifdef NX_REDZONES
    size_t old = headerSize(rawOf(block));
    void *p = heapAlloc(size);
    if (!p) return nullptr;
    std::memcpy(p, block, old < size ? old : size);
    heapFree(block);
    return p;
#else
    size_t old = mi_usable_size(block);
    void *p = mi_heap_rezalloc(threadHeap(), block, size ? size : 1);
    if (p && size > old) std::memset(static_cast<char *>(p) + old, 0, size - old);
    if (p) allocations.fetch_add(1, std::memory_order_relaxed);
    return p;
#endif
}

void heapFree(void *block) {
    if (!block) return;
    liveBlocks.fetch_sub(1, std::memory_order_relaxed);
#ifdef NX_REDZONES
    void *raw = rawOf(block);
    size_t size = headerSize(raw);
    ASAN_POISON_MEMORY_REGION(block, size);
    void *evict;
    {
        std::lock_guard<std::mutex> g(quarantine.lock);
        evict = quarantine.blocks[quarantine.next];
        quarantine.blocks[quarantine.next] = raw;
        quarantine.next = (quarantine.next + 1) % kQuarantine;
    }
    if (evict) {
        ASAN_UNPOISON_MEMORY_REGION(evict, headerSize(evict) + 2 * kZone);
        mi_free(evict);
    }
#else
    mi_free(block);
#endif
}

bool heapContains(const void *p) {
    uintptr_t a = reinterpret_cast<uintptr_t>(p);
    return a >= regionStart && a < regionEnd;
}

bool isLiveItem(const void *p) {
    if (!heapContains(p) || reinterpret_cast<uintptr_t>(p) % alignof(Item) != 0) return false;
    const void *magic = &static_cast<const Item *>(p)->magic;
    if (!heapContains(static_cast<const char *>(magic) + sizeof(uint32_t) - 1)) return false;
#ifdef NX_REDZONES
    if (__asan_region_is_poisoned(const_cast<void *>(p), sizeof(Item))) return false;
#endif
    return static_cast<const Item *>(p)->magic == Item::kItemMagic;
}

int64_t heapLiveBlocks() { return liveBlocks.load(std::memory_order_relaxed); }
int64_t heapAllocations() { return allocations.load(std::memory_order_relaxed); }

} // namespace nx

extern "C" {
NX_API void *nxAlloc(size_t size) { return nx::heapAlloc(size); }
NX_API void nxFree(void *block) { nx::heapFree(block); }
NX_API int64_t nxHeapLiveBlocks(void) { return nx::heapLiveBlocks(); }
NX_API int64_t nxHeapAllocations(void) { return nx::heapAllocations(); }
}
