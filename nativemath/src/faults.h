// Protected regions: processor faults (SIGFPE, SIGSEGV, SIGBUS) raised inside a
// region jump back to the region's start with the fault's code instead of
// killing the process. Regions nest per thread; the innermost one catches.
#pragma once

#include <csetjmp>
#include <cstdint>

#include "internal.h"

namespace nm {

// Exception codes handed to the engine's recovery routine.
namespace fault {
constexpr uint32_t kArrayBounds = 0xC000008C;  // also unknown float subscript faults
constexpr uint32_t kFloatDivide = 0xC000008E;
constexpr uint32_t kInexact = 0xC000008F;
constexpr uint32_t kInvalid = 0xC0000090;
constexpr uint32_t kOverflow = 0xC0000091;
constexpr uint32_t kUnderflow = 0xC0000093;
constexpr uint32_t kIntegerDivide = 0xC0000094;
constexpr uint32_t kIntegerOverflow = 0xC0000095;
constexpr uint32_t kAccessViolation = 0xC0000005;
} // namespace fault

// One protected region. It lives in the frame that runs the protected code; the
// handler writes `code` and jumps to `jump`. `current` names the record being
// run, so a fault is charged to it.
struct Region {
    sigjmp_buf jump;
    OperationRecord *volatile current = nullptr;
    volatile uint32_t code = 0;
    Region *outer = nullptr;
};

// The code for a signal and its si_code.
uint32_t faultCode(int signal, int siCode);

// Installs the signal handlers (once per process) and this thread's alternate
// signal stack (once per thread). Cheap after the first call on a thread.
extern thread_local constinit bool threadPrepared __attribute__((tls_model("initial-exec")));
void prepareThreadFirst();
inline void prepareThread() {
    if (!threadPrepared) prepareThreadFirst();
}

// Makes `region` the innermost region of this thread / removes it again.
void pushRegion(Region &region);
void popRegion(Region &region);

// Runs `work` as the innermost region, after the caller's sigsetjmp on
// region.jump. A nested evaluation's fault, arriving as nx::ProcessorFault,
// ends the work like a fault of its own: false with region.code set. Any other
// exception passes through with the region removed.
template <class Work> inline bool runInRegion(Region &region, Work &&work) {
    pushRegion(region);
    try {
        work();
    } catch (const nx::ProcessorFault &nested) {
        popRegion(region);
        region.code = nested.code();
        return false;
    } catch (...) {
        popRegion(region);
        throw;
    }
    popRegion(region);
    return true;
}

} // namespace nm
