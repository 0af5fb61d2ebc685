// How the tool windows reach the engine and the calculator core: only inside a
// job handed to DesignWindow::runEngineJob, which the desktop program runs on
// its engine thread. A job computes into plain values (core structs, strings);
// the window applies them to its widgets after the job has returned.
#pragma once

#include <functional>

#include "shell/settings.h"

class QWidget;

namespace nomix::gui {

// The application's settings as they stand now, the defaults without an
// application. Only for use inside a job: the core may change them while a
// script runs on the engine thread.
Settings settingsInJob();

// The settings read through a job of their own, for a window that needs them
// outside a calculation (its start values).
Settings engineSettings();

// Runs the job where the engine runs and waits for it, the windows painting
// meanwhile. False when the window was closed while it waited: the caller then
// must not touch the window any more.
bool runWindowJob(QWidget *window, const std::function<void()> &job);

} // namespace nomix::gui
