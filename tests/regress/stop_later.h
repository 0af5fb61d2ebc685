// A stop request from another thread after a while, as nomixcli makes one on
// Ctrl+C; shared by the regression tests of limits and hostile input.
#pragma once
#include <atomic>
#include <chrono>
#include <thread>

#include "nxeng296.h"

namespace regress {

// Sets the engine's stop flag after a while from another thread, as nomixcli
// does on Ctrl+C, and clears it when the scope ends.
class StopLater {
public:
    explicit StopLater(std::chrono::milliseconds after)
        : thread_([this, after] {
              auto until = std::chrono::steady_clock::now() + after;
              while (!done_ && std::chrono::steady_clock::now() < until)
                  std::this_thread::sleep_for(std::chrono::milliseconds(5));
              nxRequestStop(1);
          }) {}
    ~StopLater() {
        done_ = true;
        thread_.join();
        nxRequestStop(0);
    }

private:
    std::atomic<bool> done_{false};
    std::thread thread_;
};

} // namespace regress
