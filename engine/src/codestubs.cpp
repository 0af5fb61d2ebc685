// Code addresses the calculator language can hold. The language keeps
// addresses in 32-bit cells (Long, Dword), but the engine's routines, the
// native-math library's and a host's live far above 4 GiB. Every code address
// handed to the language therefore goes out as the address of a small jump
// stub in an executable region below 2 GiB, like the engine heap: the stub is
// a real entry point, so a definition bound to it calls the routine. Addresses
// coming back from the language are mapped back to the routine itself, so the
// engine's own comparisons (type handlers, pure routines, runners) still hold.
#include "codestubs.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace nx {

namespace {

constexpr size_t kStubBytes = 16;
constexpr size_t kRegionBytes = 64 * 1024;  // 4096 stubs
constexpr size_t kStubCount = kRegionBytes / kStubBytes;
constexpr intptr_t kLanguageLimit = 0x7FFFFFFF;  // a Long holds it as a positive number

// jmp qword ptr [rip + 0], then the 8-byte target; int3 fills the rest.
constexpr unsigned char kJumpPrefix[] = {0xFF, 0x25, 0x00, 0x00, 0x00, 0x00};
constexpr size_t kTargetOffset = sizeof kJumpPrefix;

class StubTable {
public:
    // The stub for a target, made on first request; 0 when the region is
    // full or cannot be mapped.
    intptr_t stubFor(intptr_t target) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (auto it = stubs_.find(target); it != stubs_.end()) return it->second;
        if (!map() || used_ == kStubCount) return 0;
        unsigned char *stub = region_ + used_ * kStubBytes;
        if (mprotect(region_, kRegionBytes, PROT_READ | PROT_WRITE) != 0) return 0;
        std::memset(stub, 0xCC, kStubBytes);
        std::memcpy(stub, kJumpPrefix, sizeof kJumpPrefix);
        std::memcpy(stub + kTargetOffset, &target, sizeof target);
        mprotect(region_, kRegionBytes, PROT_READ | PROT_EXEC);
        __builtin___clear_cache(reinterpret_cast<char *>(stub), reinterpret_cast<char *>(stub + kStubBytes));
        ++used_;
        auto address = reinterpret_cast<intptr_t>(stub);
        stubs_.emplace(target, address);
        return address;
    }

    // The target of a stub made here; the address itself otherwise.
    intptr_t targetOf(intptr_t address) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!region_) return address;
        auto base = reinterpret_cast<intptr_t>(region_);
        if (address < base || address >= base + static_cast<intptr_t>(used_ * kStubBytes) ||
            (address - base) % kStubBytes != 0)
            return address;
        intptr_t target;
        std::memcpy(&target, reinterpret_cast<const void *>(address + kTargetOffset), sizeof target);
        return target;
    }

private:
    bool map() {
        if (region_) return true;
        void *memory = mmap(nullptr, kRegionBytes, PROT_READ | PROT_EXEC, MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
        if (memory == MAP_FAILED) return false;
        if (reinterpret_cast<intptr_t>(memory) + static_cast<intptr_t>(kRegionBytes) > kLanguageLimit) {
            munmap(memory, kRegionBytes);
            return false;
        }
        region_ = static_cast<unsigned char *>(memory);
        return true;
    }

    std::mutex mutex_;
    unsigned char *region_ = nullptr;
    size_t used_ = 0;
    std::unordered_map<intptr_t, intptr_t> stubs_;
};

// The process's one table of stubs. The region is never unmapped, since a
// language cell may hold a stub's address for as long as the process lives.
StubTable &stubTable() {
    static StubTable table;
    return table;
}

} // namespace

intptr_t languageCodeAddress(intptr_t address) {
    if (address >= 0 && address <= kLanguageLimit) return address;
    return stubTable().stubFor(address);
}

intptr_t engineCodeAddress(intptr_t address) { return stubTable().targetOf(address); }

// mincore() fails with ENOMEM for a range that holds an unmapped page; it is
// one system call, cheap enough for every variable bound by address.
bool isMappedAddress(intptr_t address, size_t size) {
    if (address <= 0) return false;
    const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    uintptr_t start = static_cast<uintptr_t>(address) & ~(page - 1);
    uintptr_t end = static_cast<uintptr_t>(address) + size;
    if (end < start) return false;
    size_t length = end - start;
    std::vector<unsigned char> residency((length + page - 1) / page);
    return mincore(reinterpret_cast<void *>(start), length, residency.data()) == 0;
}

// Reads the process's memory map: rare (registrations), so no cache to keep
// in step with libraries loaded and unloaded.
bool isExecutableAddress(intptr_t address) {
    if (address <= 0) return false;
    std::FILE *maps = std::fopen("/proc/self/maps", "r");
    if (!maps) return true;  // cannot tell: keep the caller's word
    bool executable = false;
    char line[512];
    while (!executable && std::fgets(line, sizeof line, maps)) {
        unsigned long long start = 0, end = 0;
        char perms[5] = {};
        if (std::sscanf(line, "%llx-%llx %4s", &start, &end, perms) != 3) continue;
        auto at = static_cast<unsigned long long>(address);
        executable = at >= start && at < end && perms[2] == 'x';
    }
    std::fclose(maps);
    return executable;
}

} // namespace nx
