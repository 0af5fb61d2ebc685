// Executable memory for generated code. Code is written through one view of a
// shared memory object and run through another, so no page is ever writable and
// executable at once, and compiling never waits on mprotect. Small blocks come
// from 1 MiB chunks in power-of-two size classes; freed blocks are reused.
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <array>
#include <atomic>
#include <mutex>
#include <new>
#include <pthread.h>
#include <vector>

#include "jit.h"

namespace nx::jit::detail {
namespace {

constexpr size_t chunkSize = size_t(1) << 20;
constexpr uint32_t smallestClass = 7;  // 128 bytes
constexpr uint32_t largestClass = 18;  // 256 KiB; larger blocks get their own mapping
constexpr uint32_t classCount = largestClass - smallestClass + 1;
constexpr uint32_t sharedDedicated = 0xFFFFFFFEu;  // own two views of a memory object
constexpr uint32_t privateDedicated = 0xFFFFFFFFu; // own private pages, sealed by mprotect

// Set in a forked child: the chunks it inherited share their pages with the
// parent, so writing into them would change the parent's running code.
std::atomic<bool> forkedChild{false};

void markForkedChild() { forkedChild.store(true, std::memory_order_relaxed); }

// Cleared when the system refuses executable memory objects (or by tests):
// code then goes to private pages of its own.
std::atomic<bool> sharedViewsAllowed{true};

// Gives up memory objects for good when the refusal is the system's policy
// rather than a passing shortage.
void noteRefusal() {
    if (errno == ENOSYS || errno == EPERM || errno == EACCES) sharedViewsAllowed.store(false);
}

// Maps `size` bytes of a new memory object twice: writable and executable.
bool mapSharedViews(size_t size, std::byte *&write, const std::byte *&exec) {
    if (!sharedViewsAllowed.load(std::memory_order_relaxed)) return false;
    int fd = memfd_create("nomix-jit", MFD_CLOEXEC);
    if (fd < 0) {
        noteRefusal();
        return false;
    }
    void *w = MAP_FAILED;
    void *x = MAP_FAILED;
    if (ftruncate(fd, off_t(size)) == 0) {
        w = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        x = mmap(nullptr, size, PROT_READ | PROT_EXEC, MAP_SHARED, fd, 0);
        if (x == MAP_FAILED) noteRefusal();
    }
    close(fd);
    if (w == MAP_FAILED || x == MAP_FAILED) {
        if (w != MAP_FAILED) munmap(w, size);
        if (x != MAP_FAILED) munmap(x, size);
        return false;
    }
    write = static_cast<std::byte *>(w);
    exec = static_cast<const std::byte *>(x);
    return true;
}

// Where code may run, for a signal handler: the executable ranges of chunks
// and dedicated blocks, written under a lock and read without one.
class CodeRanges {
public:
    // False when the table is full: the block is then not to be used.
    bool add(const void *start, size_t size) {
        std::lock_guard lock(mutex_);
        size_t n = count_.load(std::memory_order_relaxed);
        size_t slot = 0;
        while (slot < n && start_[slot].load(std::memory_order_relaxed) != 0) ++slot;
        if (slot == capacity) return false;
        end_[slot].store(reinterpret_cast<uintptr_t>(start) + size, std::memory_order_relaxed);
        start_[slot].store(reinterpret_cast<uintptr_t>(start), std::memory_order_release);
        if (slot == n) count_.store(n + 1, std::memory_order_release);
        return true;
    }
    void remove(const void *start) {
        std::lock_guard lock(mutex_);
        size_t n = count_.load(std::memory_order_relaxed);
        for (size_t slot = 0; slot < n; ++slot)
            if (start_[slot].load(std::memory_order_relaxed) == reinterpret_cast<uintptr_t>(start))
                start_[slot].store(0, std::memory_order_release);
    }
    bool contains(uintptr_t address) const {
        size_t n = count_.load(std::memory_order_acquire);
        for (size_t slot = 0; slot < n; ++slot) {
            uintptr_t s = start_[slot].load(std::memory_order_acquire);
            if (s != 0 && address >= s && address < end_[slot].load(std::memory_order_relaxed)) return true;
        }
        return false;
    }

private:
    static constexpr size_t capacity = 4096;
    std::mutex mutex_;
    std::array<std::atomic<uintptr_t>, capacity> start_{};
    std::array<std::atomic<uintptr_t>, capacity> end_{};
    std::atomic<size_t> count_{0};
};

// Never destroyed, like the pool.
CodeRanges &codeRanges() {
    alignas(CodeRanges) static std::byte storage[sizeof(CodeRanges)];
    static CodeRanges *r = ::new (storage) CodeRanges();
    return *r;
}

size_t roundToPages(size_t size) {
    size_t page = size_t(sysconf(_SC_PAGESIZE));
    return (size + page - 1) / page * page;
}

// A block with pages of its own: two views when the system gives memory
// objects, else private pages written first and made executable when sealed.
void releaseDedicated(const Block &block) {
    codeRanges().remove(block.exec);
    if (block.write) munmap(block.write, block.size);
    if (block.sizeClass == sharedDedicated || !block.write) munmap(const_cast<std::byte *>(block.exec), block.size);
}

bool allocateDedicated(size_t size, Block &block) {
    block.size = roundToPages(size);
    if (mapSharedViews(block.size, block.write, block.exec)) {
        block.sizeClass = sharedDedicated;
    } else {
        void *p = mmap(nullptr, block.size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) return false;
        block.write = static_cast<std::byte *>(p);
        block.exec = block.write;
        block.sizeClass = privateDedicated;
    }
    if (codeRanges().add(block.exec, block.size)) return true;
    releaseDedicated(block);
    return false;
}

// The size classes' free lists and the chunk being carved, under one mutex.
class Pool {
public:
    Pool() { pthread_atfork(nullptr, nullptr, &markForkedChild); }

    bool allocate(size_t size, Block &block) {
        std::lock_guard lock(mutex_);
        if (!available_) return false;
        leaveParentChunks();
        uint32_t cls = classFor(size);
        if (cls >= classCount || !sharedViewsAllowed.load(std::memory_order_relaxed))
            return allocateDedicated(size, block);
        auto &list = free_[cls];
        if (!list.empty()) {
            block = list.back();
            list.pop_back();
            return true;
        }
        return carve(cls, block);
    }

    void release(const Block &block) {
        if (block.sizeClass == sharedDedicated || block.sizeClass == privateDedicated) {
            releaseDedicated(block);
            return;
        }
        std::lock_guard lock(mutex_);
        if (block.generation == generation_) free_[block.sizeClass].push_back(block);
    }

    void setAvailable(bool available) {
        std::lock_guard lock(mutex_);
        available_ = available;
    }

private:
    static uint32_t classFor(size_t size) {
        uint32_t cls = 0;
        while ((size_t(1) << (cls + smallestClass)) < size && cls < classCount) ++cls;
        return cls;
    }

    // In a forked child, starts over with chunks of its own.
    void leaveParentChunks() {
        if (!forkedChild.exchange(false, std::memory_order_relaxed)) return;
        ++generation_;
        for (auto &list : free_) list.clear();
        chunkWrite_ = nullptr;
        chunkExec_ = nullptr;
        used_ = chunkSize;
    }

    // Cuts a block of a size class from the current chunk, mapping a new one when full.
    bool carve(uint32_t cls, Block &block) {
        size_t size = size_t(1) << (cls + smallestClass);
        if (used_ + size > chunkSize) {
            std::byte *w;
            const std::byte *x;
            if (!mapSharedViews(chunkSize, w, x)) return allocateDedicated(size, block);
            if (!codeRanges().add(x, chunkSize)) {
                munmap(w, chunkSize);
                munmap(const_cast<std::byte *>(x), chunkSize);
                return false;
            }
            // The rest of the old chunk goes to the free lists, largest pieces first.
            salvageRest();
            chunkWrite_ = w;
            chunkExec_ = x;
            used_ = 0;
        }
        block = Block{chunkWrite_ + used_, chunkExec_ + used_, size, cls, generation_};
        used_ += size;
        return true;
    }

    // Hands the unused tail of the current chunk to the free lists.
    void salvageRest() {
        if (!chunkWrite_) return;
        for (uint32_t cls = classCount; cls-- > 0;) {
            size_t size = size_t(1) << (cls + smallestClass);
            while (used_ + size <= chunkSize) {
                free_[cls].push_back(Block{chunkWrite_ + used_, chunkExec_ + used_, size, cls, generation_});
                used_ += size;
            }
        }
    }

    std::mutex mutex_;
    bool available_ = true;
    uint32_t generation_ = 0;
    std::array<std::vector<Block>, classCount> free_;
    std::byte *chunkWrite_ = nullptr;
    const std::byte *chunkExec_ = nullptr;
    size_t used_ = chunkSize;
};

// The process's pool. Never destroyed: code held by static objects may be
// released during exit, after other statics are gone.
Pool &pool() {
    alignas(Pool) static std::byte storage[sizeof(Pool)];
    static Pool *p = ::new (storage) Pool();
    return *p;
}

} // namespace

bool allocateBlock(size_t size, Block &block) { return pool().allocate(size, block); }

bool sealBlock(Block &block) {
    if (block.sizeClass != privateDedicated) return true;
    if (mprotect(block.write, block.size, PROT_READ | PROT_EXEC) != 0) return false;
    block.write = nullptr;  // no longer writable
    return true;
}

void releaseBlock(const Block &block) {
    if (block.sizeClass == privateDedicated && !block.write) {
        releaseDedicated(block);
        return;
    }
    pool().release(block);
}

bool isCodeAddress(const void *address) { return codeRanges().contains(reinterpret_cast<uintptr_t>(address)); }

void setExecutableMemoryAvailable(bool available) { pool().setAvailable(available); }

void setSharedViewsAvailable(bool available) { sharedViewsAllowed.store(available); }

} // namespace nx::jit::detail
