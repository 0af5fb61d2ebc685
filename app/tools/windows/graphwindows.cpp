#include "graphwindows.h"

#include <QSaveFile>

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

bool saveAtomically(const QString &path, const QByteArray &bytes, const QString &what) {
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit()) return true;
    showError(QStringLiteral("The %1 could not be saved as %2: %3").arg(what, path, file.errorString()));
    return false;
}

} // namespace nomix::gui
