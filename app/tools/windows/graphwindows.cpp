#include "graphwindows.h"

#include "enginejob.h"
#include "shell/bootstrap.h"
#include "shell/host.h"

namespace nomix::gui {

// Without an application the defaults live here, so edits still last.
Settings &graphSettings() {
    static Settings fallback;
    Application *app = currentApplication();
    return app ? app->settings() : fallback;
}

// A copy taken inside the job, so the window reads it safely afterwards.
std::optional<Settings> windowSettings(QWidget *window) {
    Settings settings;
    if (!runWindowJob(window, [&settings] { settings = graphSettings(); })) return std::nullopt;
    return settings;
}

void showError(const QString &text) { host().messageBox(text.toStdString(), 48, "Error"); }

} // namespace nomix::gui
