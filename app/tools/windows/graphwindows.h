// What the graph window, the plot set-up window and the graph options share:
// the application's graph settings and the error box.
#pragma once

#include <QString>

#include <optional>

#include "shell/settings.h"

class QWidget;

namespace nomix::gui {

// The running application's settings, built-in defaults when none runs. Only
// inside a job (enginejob.h): scripts change them on the engine's thread.
Settings &graphSettings();
// The settings read through a job; nullopt when `window` was closed while the
// job waited, and the caller must then leave the window alone.
std::optional<Settings> windowSettings(QWidget *window);
// The error box ("Error", exclamation icon), through the application's host.
void showError(const QString &text);

} // namespace nomix::gui
