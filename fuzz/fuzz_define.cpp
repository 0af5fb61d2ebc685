// Fuzz target: a definition, then an expression that may use it. The input is
// split at its first line feed; both go to a fresh engine thread that is
// released afterwards, as a user's definition and the next line would.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static fuzz::StopWatchdog watchdog(std::chrono::milliseconds(2000));
    fuzz::bootEngine();
    std::string_view input(reinterpret_cast<const char *>(data), size);
    if (fuzz::skipInput(input)) return -1;
    size_t cut = input.find('\n');
    std::string_view definition = input.substr(0, cut);
    std::string_view expression = cut == std::string_view::npos ? std::string_view() : input.substr(cut + 1);

    fuzz::HeapBalance balance;
    {
        fuzz::ScratchThread thread;
        watchdog.start();
        try {
            fuzz::call(nx_Define, definition, 0, 0, 0, thread.t());
            fuzz::fetch(fuzz::call(nx_EvalStr, expression, 0, 0, 0, thread.t()));
        } catch (const nx::ProcessorFault &) {
            // A fault no handler recovered: the host skips the statement.
        }
        watchdog.stop();
    }
    balance.check();
    return 0;
}
