// The desktop program's Host: how the calculator core reaches the user through
// the windows. Calls made on the engine thread are carried over to the window
// thread and wait for their answer there; the job counts as waiting meanwhile,
// so the windows take input (a message box can be answered).
#pragma once

#include <atomic>
#include <functional>
#include <type_traits>
#include <string>

#include "shell/host.h"

namespace nomix::gui {

class MDInomix;

class DesktopHost : public Host {
public:
    DesktopHost();

    void setMainWindow(MDInomix *window) { main_ = window; }
    MDInomix *mainWindow() const { return main_; }
    // Set when the main window closes; a new main window (New Session) starts afresh.
    void setClosing(bool closing = true) { closing_ = closing; }

    int messageBox(const std::string &prompt, int buttons, const std::string &title) override;
    std::string inputBox(const std::string &prompt, const std::string &title,
                         const std::string &defaultText) override;
    void doEvents() override;
    void sleepMs(int milliseconds) override;
    bool closing() const override { return closing_.load(); }

    bool mainWindowLoaded() const override;
    WindowGeometry mainWindowGeometry() const override;
    void moveMainWindow(int left, int top) override;
    double twipsPerPixelX() const override { return twipsPerPixel_; }
    double twipsPerPixelY() const override { return twipsPerPixel_; }
    void resetCalculatorWindow() override;
    void resetOptions() override;

    bool resolveControl(const ControlRef &control) override;
    std::string controlText(const ControlRef &control) const override;
    void setControlText(const ControlRef &control, const std::string &text, size_t caret) override;
    void setFocus(const ControlRef &control) override;
    void showDropDown(const ControlRef &control, bool show) override;
    void pressKey(const ControlRef &control, Key key) override;
    void sendChar(const ControlRef &control, char character) override;
    void openMenuBar() override;
    void sendKeys(const std::string &keys, bool wait) override;

    void setProgrammableButton(int index, const std::string &caption, const std::string &toolTip,
                               bool visible) override;
    void setFavoriteCaption(int index, const std::string &caption) override;
    void showReminder(const std::string &text) override;
    void setUserTimer(int milliseconds) override;
    std::string tutorStatus() const override;
    void setTutorStatus(const std::string &text) override;
    void unloadMainWindow() override;
    long openEditor(const std::string &file) override;

private:
    MDInomix *main_ = nullptr;
    std::atomic<bool> closing_{false};
    double twipsPerPixel_ = 15;
};

// Runs f on the window thread and returns its result; on the engine thread the
// job counts as waiting meanwhile.
template <class F> auto onWindowThread(F f) -> decltype(f());
void runOnWindowThread(const std::function<void()> &f);

template <class F> auto onWindowThread(F f) -> decltype(f()) {
    using R = decltype(f());
    if constexpr (std::is_void_v<R>) {
        runOnWindowThread(f);
    } else {
        R result{};
        runOnWindowThread([&] { result = f(); });
        return result;
    }
}

} // namespace nomix::gui
