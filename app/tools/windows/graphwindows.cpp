#include "graphwindows.h"

#include "shell/bootstrap.h"
#include "shell/host.h"

namespace nomix::gui {

Settings &graphSettings() {
    static Settings fallback;
    Application *app = currentApplication();
    return app ? app->settings() : fallback;
}

void showError(const QString &text) { host().messageBox(text.toStdString(), 48, "Error"); }

} // namespace nomix::gui
