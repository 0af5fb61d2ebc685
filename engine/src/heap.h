// The engine heap: a region below 2 GiB so that every address the calculator
// language can see fits in a 32-bit cell. All engine objects come from here.
#pragma once
#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>

namespace nx {

void *heapAlloc(size_t size);                 // zeroed block, nullptr when exhausted
void *heapRealloc(void *block, size_t size);  // new tail is zeroed
void heapFree(void *block);
int64_t heapLiveBlocks();
int64_t heapAllocations();
// True when p lies inside the engine heap's region: a cheap guard against
// handles that the language passes in as plain numbers.
bool heapContains(const void *p);

// Construct and destroy engine objects in the engine heap.
template <class T, class... A> T *heapNew(A &&...args) {
    void *p = heapAlloc(sizeof(T));
    if (!p) throw std::bad_alloc();
    return new (p) T(std::forward<A>(args)...);
}
template <class T> void heapDelete(T *p) {
    if (!p) return;
    p->~T();
    heapFree(p);
}

// STL allocator over the engine heap, so that engine lists count as live blocks
// and are released with their owners.
template <class T> struct HeapAllocator {
    using value_type = T;
    HeapAllocator() = default;
    template <class U> HeapAllocator(const HeapAllocator<U> &) {}
    T *allocate(size_t n) {
        void *p = heapAlloc(n * sizeof(T));
        if (!p) throw std::bad_alloc();
        return static_cast<T *>(p);
    }
    void deallocate(T *p, size_t) { heapFree(p); }
    template <class U> bool operator==(const HeapAllocator<U> &) const { return true; }
};

// A handle as the language sees it: a 32-bit value.
inline uint32_t toHandle(const void *p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }
template <class T = void> inline T *fromHandle(uint32_t h) {
    return reinterpret_cast<T *>(static_cast<uintptr_t>(h));
}

} // namespace nx
