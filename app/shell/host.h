// How the calculator core reaches the user: message and input boxes, the
// windows' controls by name, focus, keys, typing, waiting and the clock. The
// desktop program implements it with its windows; nomixcli with the terminal.
#pragma once
#include <string>

namespace nomix {

class Host {
public:
    virtual ~Host() = default;

    // Classic message-box codes: buttons 0 OK, 1 OK/Cancel, 2 Abort/Retry/Ignore,
    // 3 Yes/No/Cancel, 4 Yes/No, 5 Retry/Cancel; +16 critical, +32 question,
    // +48 exclamation, +64 information. Results: 1 OK, 2 Cancel, 3 Abort,
    // 4 Retry, 5 Ignore, 6 Yes, 7 No.
    virtual int messageBox(const std::string &prompt, int buttons, const std::string &title) = 0;
    virtual std::string inputBox(const std::string &prompt, const std::string &title,
                                 const std::string &defaultText) = 0;

    // Pending events are processed; waits sleep 100 ms per round between them.
    virtual void doEvents() = 0;
    virtual void sleepMs(int milliseconds) = 0;
    virtual bool closing() const = 0;  // the main window is being closed
};

} // namespace nomix
