// What the graph window, the plot set-up window and the graph options share:
// the application's graph settings and the error box.
#pragma once

#include <QString>

#include "shell/settings.h"

namespace nomix::gui {

// The running application's settings; built-in defaults when none runs.
Settings &graphSettings();
// The error box ("Error", exclamation icon), through the application's host.
void showError(const QString &text);

} // namespace nomix::gui
