// The desktop program around its windows: the engine thread, the host, the
// application core, the start-up in the designed order (settings, then the
// start window or the main window), the guard that holds back input while the
// engine computes (Esc stops it), the signals that close the main window as
// File > Exit does, and the pictures of every window.
#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <filesystem>
#include <memory>
#include <optional>

#include "desktophost.h"
#include "enginethread.h"

namespace nomix {
class Application;
}

namespace nomix::gui {

class MDInomix;

class DesktopProgram : public QObject {
    Q_OBJECT
public:
    DesktopProgram();
    ~DesktopProgram() override;

    // The program's directory, both set-up phases, the tutor's native and
    // "nomix.def". Returns the problems met (each step that fails is skipped).
    QStringList start(const std::optional<std::filesystem::path> &home);
    // The start window, unless "SkipSplashScreen" is on or skipAbout is given;
    // then (or at once) the main window.
    void showFirstWindow(bool skipAbout);
    // Creates, shows and loads a main window.
    MDInomix *openMainWindow(bool maximizeCalculator = false);
    MDInomix *mainWindow() const;

    DesktopHost &host() { return host_; }
    Application &application() { return *app_; }
    EngineThread &engine() { return engine_; }

    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    static bool pasteOneLine(QObject *target);

    EngineThread engine_;
    DesktopHost host_;
    std::unique_ptr<Application> app_;
    QTimer busyCursorTimer_;
    bool busyCursorShown_ = false;
};

// SIGTERM, SIGINT and SIGHUP call `onSignal` in the event loop (the handler
// only writes to a pipe that a socket notifier reads).
void closeOnSignals(QObject *context, std::function<void()> onSignal);

// Renders every window of the program (with its samples) to
// dir/<formName>[-<i>]-<light|dark>-<100|200>.png; returns the files written.
QStringList renderScreenshots(DesktopProgram &program, const QString &dir, bool dark);

// The dark palette of the pictures (and of --dark).
void useDarkPalette();

} // namespace nomix::gui
