// How the calculator core reaches the user: message and input boxes, the
// windows' controls by name, focus, keys, typing, waiting and the clock. The
// desktop program implements it with its windows; nomixcli with the terminal.
// Everything beyond the boxes and the waits has a quiet default, so a host
// without windows implements only what it can show.
#pragma once
#include <string>
#include <string_view>

namespace nomix {

// A control that scripts address by name: the upper-case control name ("EXPRESSION",
// "P_BUTTON", ...) and the index given after "+" (-1 when none was given).
struct ControlRef {
    std::string name;
    int index = -1;
    bool operator==(const ControlRef &) const = default;
};

// Keys that scripts press on a control (the values are the classic key codes).
enum class Key : int {
    Tab = 9, Enter = 13, Alt = 18, Space = 32, Left = 37, Up = 38, Right = 39, Down = 40,
    Insert = 45, Delete = 46
};

// The main window's position and size, in twips.
struct WindowGeometry {
    int left = 0, top = 0, width = 0, height = 0;
};

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

    // The main window: loaded (programmable buttons work only then), geometry.
    virtual bool mainWindowLoaded() const { return false; }
    virtual WindowGeometry mainWindowGeometry() const { return {}; }
    virtual void moveMainWindow(int /*left*/, int /*top*/) {}
    virtual double twipsPerPixelX() const { return 15; }
    virtual double twipsPerPixelY() const { return 15; }

    // Form_Reset: the calculator window maximised, its input line empty and focused.
    virtual void resetCalculatorWindow() {}
    // ResetOptions: decimal on, binary, octal, hexadecimal off, radians, no format.
    virtual void resetOptions() {}

    // Controls by name. A host answers false for names it has no control for;
    // the natives then do nothing visible.
    virtual bool resolveControl(const ControlRef & /*control*/) { return false; }
    virtual std::string controlText(const ControlRef & /*control*/) const { return {}; }
    // The text, with the caret put after its first `caret` characters.
    virtual void setControlText(const ControlRef & /*control*/, const std::string & /*text*/,
                                size_t /*caret*/) {}
    virtual void setFocus(const ControlRef & /*control*/) {}
    virtual void showDropDown(const ControlRef & /*control*/, bool /*show*/) {}
    // A key posted to the control as key-down and key-up.
    virtual void pressKey(const ControlRef & /*control*/, Key /*key*/) {}
    // A character sent to the control (Enter on a text box is character 13).
    virtual void sendChar(const ControlRef & /*control*/, char /*character*/) {}
    // Alt pressed and released on the calculator window: opens its menu bar.
    virtual void openMenuBar() {}
    // A key sequence in the classic notation to the active window; wait: until handled.
    virtual void sendKeys(const std::string & /*keys*/, bool /*wait*/) {}

    // Programmable buttons of the toolbar and favourite menu entries.
    virtual void setProgrammableButton(int /*index*/, const std::string & /*caption*/,
                                       const std::string & /*toolTip*/, bool /*visible*/) {}
    virtual void setFavoriteCaption(int /*index*/, const std::string & /*caption*/) {}
    // The reminder label's text as it is to be shown now.
    virtual void showReminder(const std::string & /*text*/) {}
    // The main window's user timer: 0 stops it.
    virtual void setUserTimer(int /*milliseconds*/) {}
    // The tutor's status line (kept and restored around WaitForInput).
    virtual std::string tutorStatus() const { return {}; }
    virtual void setTutorStatus(const std::string & /*text*/) {}
    // The main window, closed meanwhile, is unloaded now.
    virtual void unloadMainWindow() {}

    // Opens a file of the program's directory in the user's editor; the task
    // number (process id), or 0 when it could not be started.
    virtual long openEditor(const std::string & /*file*/) { return 0; }
};

// The host of the running application. Natives called back by the engine get no
// user pointer, so they reach the user through this one process-wide pointer,
// set by the application object (see bootstrap.h). Without an application it is
// a quiet host: boxes answer their defaults, waits only sleep.
Host &host();

} // namespace nomix
