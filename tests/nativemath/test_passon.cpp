// Signals that are not faults of a protected region reach the handler that
// was installed before libNomix296: faults outside any region, and signals
// sent by software even inside one.
#include <csetjmp>
#include <csignal>

#include <sys/wait.h>

#include "../../nativemath/testing/fake_engine.h"

using namespace fake;

namespace {

sigjmp_buf testJump;
volatile sig_atomic_t segvSeen = 0;
volatile sig_atomic_t busSeen = 0;

void onSegv(int, siginfo_t *, void *) {
    segvSeen = segvSeen + 1;
    siglongjmp(testJump, 1);
}

void onBus(int) { busSeen = busSeen + 1; }

// Installed before main, so before the library is loaded: these are the
// handlers libNomix296 finds as "previous".
const bool previousInstalled = [] {
    struct sigaction segv = {};
    segv.sa_sigaction = onSegv;
    segv.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&segv.sa_mask);
    sigaction(SIGSEGV, &segv, nullptr);
    struct sigaction bus = {};
    bus.sa_handler = onBus;
    sigemptyset(&bus.sa_mask);
    sigaction(SIGBUS, &bus, nullptr);
    return true;
}();

// Reads address 8 outside any region; true when the previous handler caught it.
bool faultReachesPreviousHandler() {
    int before = segvSeen;
    if (sigsetjmp(testJump, 1) == 0) hardwareLoad(8);
    return segvSeen == before + 1;
}

// The previous handler decides how the process dies: by SIGFPE itself, or
// under the sanitizers through their own report.
bool diedOfFpe(int status) {
#ifdef NOMIX_SANITIZE
    return WIFEXITED(status) && WEXITSTATUS(status) != 0;
#else
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGFPE;
#endif
}
#ifdef NOMIX_SANITIZE
constexpr const char *kFpeReport = "FPE";
#else
constexpr const char *kFpeReport = "";
#endif

void throwRuntimeError(OperationRecord *) { throw std::runtime_error("not a fault"); }
void raiseFpe(OperationRecord *) { raise(SIGFPE); }

} // namespace

class PassOn : public Fixture {};

TEST_F(PassOn, FaultOutsideRegionsReachesThePreviousHandler) {
    ASSERT_TRUE(previousInstalled);
    struct sigaction now;
    sigaction(SIGSEGV, nullptr, &now);
    ASSERT_NE(now.sa_sigaction, &onSegv);  // the library's handler sits in front
    EXPECT_TRUE(faultReachesPreviousHandler());
    raise(SIGBUS);  // a plain (non-siginfo) previous handler is called too
    EXPECT_EQ(busSeen, 1);
    EXPECT_TRUE(engine().recoveries.empty());
}

// Every way out of a runner leaves no region behind.
TEST_F(PassOn, RegionsAreLeftOnEveryExit) {
    int32_t one = 1, zero = 0, out = 0;
    Chain throwing;
    throwing.add(throwRuntimeError, nullptr);
    EXPECT_THROW(run(150, throwing.link()), std::runtime_error);
    EXPECT_TRUE(faultReachesPreviousHandler());

    Chain faulting;
    faulting.add(divideLong, &one, &zero, &out);
    OperationRecord *first = faulting.link();
    engine().verdict = [](OperationRecord *, uint32_t) { return intptr_t(0); };
    EXPECT_THROW(run(150, first), nx::ProcessorFault);
    EXPECT_TRUE(faultReachesPreviousHandler());

    engine().verdict = [](OperationRecord *failing, uint32_t) { return failing->Next; };
    run(150, first);
    EXPECT_TRUE(faultReachesPreviousHandler());

    NxNativeArg args[] = {{NXN_SINT32, &one}, {NXN_SINT32, &zero}};
    OperationRecord call{};
    EXPECT_THROW(library().tryStdCall(&call, args, 2, reinterpret_cast<void *>(&hardwareDivide), NXN_SINT32, 2),
                 nx::ProcessorFault);
    EXPECT_TRUE(faultReachesPreviousHandler());
}

TEST_F(PassOn, UnhandledFaultOutsideRegionsKillsAsBefore) {
    handshake();
    EXPECT_EXIT(hardwareDivide(1, 0), diedOfFpe, kFpeReport);
}

TEST_F(PassOn, SignalSentBySoftwareInsideARegionIsNotRecovered) {
    handshake();
    Chain chain;
    chain.add(raiseFpe, nullptr);
    OperationRecord *first = chain.link();
    EXPECT_EXIT(run(150, first), diedOfFpe, kFpeReport);
}
