// The net under machine code entered at once. nxEvaluateDbl checks the x87
// word before it enters the code (cheap), but not MXCSR (reading it costs as
// much as the shortest expressions take): the engine keeps MXCSR in step with
// the words it loads, and a host that changes the x87 word through the C
// library changes both. Should a host have unmasked a fault in MXCSR alone,
// the fault is caught here: the SSE instruction that raised it is precise and
// runs again once MXCSR holds the evaluation's own word, which masks every
// fault. Code that calls out marks a thread-local flag while it runs (its
// calls included); code that calls nothing is known by the address of the
// fault. Faults elsewhere are left alone: they go on to whoever handled them
// before.
#include <cerrno>
#include <csignal>
#include <mutex>
#include <ucontext.h>

#include "fold.h"
#include "fpu.h"
#include "jit.h"

namespace nx {

constinit thread_local uint32_t machineCodeRunning __attribute__((tls_model("initial-exec"))) = 0;

int32_t machineCodeFlagOffset() {
    char *threadPointer;
    __asm__("mov %%fs:0, %0" : "=r"(threadPointer));
    return static_cast<int32_t>(reinterpret_cast<char *>(&machineCodeRunning) - threadPointer);
}

namespace {

struct sigaction previousAction;

// A floating-point fault the processor raised (not one sent with kill).
bool floatingPointFault(const siginfo_t *info) {
    switch (info->si_code) {
    case FPE_FLTDIV: case FPE_FLTOVF: case FPE_FLTUND: case FPE_FLTRES: case FPE_FLTINV: case FPE_FLTSUB:
        return true;
    default:
        return false;
    }
}

// Hands the signal on as if this handler were not there; a default
// disposition is restored and the signal raised again. libNomix296's handlers
// pass signals on the same way; the engine keeps its own copy because it runs
// without that library too.
void passOn(int signal, siginfo_t *info, void *context) {
    if (previousAction.sa_flags & SA_SIGINFO) {
        if (previousAction.sa_sigaction) previousAction.sa_sigaction(signal, info, context);
        return;
    }
    if (previousAction.sa_handler != SIG_DFL && previousAction.sa_handler != SIG_IGN) {
        previousAction.sa_handler(signal);
        return;
    }
    struct sigaction fallback = {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signal, &fallback, nullptr);
    raise(signal);
}

void onFloatingPointSignal(int signal, siginfo_t *info, void *context) {
    auto *uc = static_cast<ucontext_t *>(context);
    bool inCode = uc && (machineCodeRunning ||
                         jit::detail::isCodeAddress(reinterpret_cast<const void *>(uc->uc_mcontext.gregs[REG_RIP])));
    if (inCode && floatingPointFault(info) && uc->uc_mcontext.fpregs) {
        // The code was entered with the evaluation's masked word in the x87:
        // MXCSR gets the same word, with no flag pending.
        uc->uc_mcontext.fpregs->mxcsr = mxcsrControlFor(uc->uc_mcontext.fpregs->cwd);
        return;
    }
    int savedErrno = errno;
    passOn(signal, info, context);
    errno = savedErrno;
}

} // namespace

void installMachineCodeNet() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action = {};
        action.sa_sigaction = onFloatingPointSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_SIGINFO | SA_NODEFER | SA_ONSTACK;
        sigaction(SIGFPE, &action, &previousAction);
    });
}

} // namespace nx
