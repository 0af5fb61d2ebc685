#include "enginejob.h"

#include <QPointer>
#include <QWidget>

#include "designwindow.h"
#include "shell/bootstrap.h"

namespace nomix::gui {

// A copy, so that the job's result does not change under the window.
Settings settingsInJob() {
    Application *app = currentApplication();
    return app ? app->settings() : Settings{};
}

Settings engineSettings() {
    Settings settings;
    DesignWindow::runEngineJob([&settings] { settings = settingsInJob(); });
    return settings;
}

// The window is watched through a guarded pointer: the user may close it while
// the job runs, since the windows keep handling events meanwhile.
bool runWindowJob(QWidget *window, const std::function<void()> &job) {
    QPointer<QWidget> alive(window);
    DesignWindow::runEngineJob(job);
    return !alive.isNull();
}

} // namespace nomix::gui
