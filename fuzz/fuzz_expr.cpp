// Fuzz target: one expression, evaluated to text in the booted calculator
// language (command 6), as the calculator window sends a line the user typed.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static fuzz::StopWatchdog watchdog(std::chrono::milliseconds(2000));
    fuzz::bootEngine();
    std::string_view text(reinterpret_cast<const char *>(data), size);
    if (fuzz::skipInput(text)) return -1;

    fuzz::HeapBalance balance;
    {
        fuzz::ScratchThread thread;
        watchdog.start();
        try {
            fuzz::fetch(fuzz::call(nx_EvalStr, text, 0, 0, 0, thread.t()));
        } catch (const nx::ProcessorFault &) {
            // A fault no handler recovered: the host skips the statement.
        }
        watchdog.stop();
    }
    balance.check();
    return 0;
}
