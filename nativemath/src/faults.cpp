// Signal handlers for processor faults and the per-thread stack of protected
// regions. Outside a region, and for signals sent by software, the previous
// handler gets the signal as if we were not there.
#include "faults.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>

namespace nm {

constinit thread_local bool threadPrepared __attribute__((tls_model("initial-exec"))) = false;

namespace {

// Initial-exec TLS: the signal handler reads it, and this model never allocates.
thread_local Region *innermost __attribute__((tls_model("initial-exec"))) = nullptr;

constexpr int kSignals[] = {SIGFPE, SIGSEGV, SIGBUS};
struct sigaction previousAction[3];

// Index of a handled signal in kSignals.
int signalIndex(int signal) {
    return signal == SIGFPE ? 0 : signal == SIGSEGV ? 1 : 2;
}

// kill(), raise() and sigqueue() are not processor faults: they pass through.
// A SIGFPE with code 0 counts as a fault, since older kernels report
// unclassified floating-point faults that way.
bool sentBySoftware(int signal, const siginfo_t *info) {
    return info->si_code < 0 || (info->si_code == SI_USER && signal != SIGFPE);
}

// Hands the signal to whoever handled it before us. A default or ignored
// disposition is restored and the signal raised again, so the process ends the
// way it would have without this library (a hardware fault cannot be ignored).
void passOn(int signal, siginfo_t *info, void *context) {
    const struct sigaction &previous = previousAction[signalIndex(signal)];
    if (previous.sa_flags & SA_SIGINFO) {
        if (previous.sa_sigaction) previous.sa_sigaction(signal, info, context);
        return;
    }
    if (previous.sa_handler == SIG_IGN && sentBySoftware(signal, info)) return;
    if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
        previous.sa_handler(signal);
        return;
    }
    struct sigaction fallback = {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signal, &fallback, nullptr);
    raise(signal);
}

// The handler: a fault inside a region jumps to the region's start; anything
// else goes on to the previous handler.
void onSignal(int signal, siginfo_t *info, void *context) {
    Region *region = innermost;
    if (region == nullptr || sentBySoftware(signal, info)) {
        int savedErrno = errno;
        passOn(signal, info, context);
        errno = savedErrno;
        return;
    }
    region->code = faultCode(signal, info->si_code);
    siglongjmp(region->jump, 1);
}

void installHandlers() {
    for (int signal : kSignals) {
        struct sigaction action = {};
        action.sa_sigaction = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_SIGINFO | SA_NODEFER | SA_ONSTACK;
        sigaction(signal, &action, &previousAction[signalIndex(signal)]);
    }
}

// This thread's alternate signal stack, so that a stack overflow inside a
// region can still run the handler. A stack someone else installed is kept.
class AltStack {
public:
    AltStack() {
        stack_t current;
        if (sigaltstack(nullptr, &current) != 0 || !(current.ss_flags & SS_DISABLE)) return;
        size_t page = size_t(sysconf(_SC_PAGESIZE));
        size_ = std::max<size_t>(64 * 1024, 4 * size_t(sysconf(_SC_MINSIGSTKSZ)));
        size_ = (size_ + page - 1) / page * page;
        void *memory = mmap(nullptr, size_ + page, PROT_READ | PROT_WRITE,
                            MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (memory == MAP_FAILED) return;
        mprotect(memory, page, PROT_NONE);  // guard page below the stack
        stack_t stack = {};
        stack.ss_sp = static_cast<char *>(memory) + page;
        stack.ss_size = size_;
        if (sigaltstack(&stack, nullptr) != 0) {
            munmap(memory, size_ + page);
            return;
        }
        memory_ = memory;
        page_ = page;
    }
    ~AltStack() {
        if (memory_ == nullptr) return;
        stack_t off = {};
        off.ss_flags = SS_DISABLE;
        if (sigaltstack(&off, nullptr) == 0) munmap(memory_, size_ + page_);
    }
    AltStack(const AltStack &) = delete;
    AltStack &operator=(const AltStack &) = delete;

private:
    void *memory_ = nullptr;
    size_t size_ = 0;
    size_t page_ = 0;
};

} // namespace

uint32_t faultCode(int signal, int siCode) {
    if (signal != SIGFPE) return fault::kAccessViolation;
    switch (siCode) {
    case FPE_INTDIV: return fault::kIntegerDivide;
    case FPE_INTOVF: return fault::kIntegerOverflow;
    case FPE_FLTDIV: return fault::kFloatDivide;
    case FPE_FLTOVF: return fault::kOverflow;
    case FPE_FLTUND: return fault::kUnderflow;
    case FPE_FLTRES: return fault::kInexact;
    case FPE_FLTSUB: return fault::kArrayBounds;
    default: return fault::kInvalid;  // FPE_FLTINV and faults the kernel could not classify
    }
}

// The first call on a thread, kept out of line so that every later call is a
// single test where the runner begins.
__attribute__((noinline)) void prepareThreadFirst() {
    static const bool handlersInstalled = (installHandlers(), true);
    (void)handlersInstalled;
    thread_local AltStack altStack;
    threadPrepared = true;
}

void pushRegion(Region &region) {
    region.outer = innermost;
    innermost = &region;
}

void popRegion(Region &region) { innermost = region.outer; }

} // namespace nm
