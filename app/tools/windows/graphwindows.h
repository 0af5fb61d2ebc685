// What the graph window, the plot set-up window and the graph options share:
// the application's graph settings and the error box.
#pragma once

#include <QList>
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
// Writes bytes to `path` atomically; when that fails, tells the user that
// `what` ("graph", "graph list") could not be saved, and why.
bool saveAtomically(const QString &path, const QByteArray &bytes, const QString &what);

// Every open window of one kind, newest last: a window adds itself when it is
// made and leaves when it goes, so current() is the one a user saw last.
template <class Window>
QList<Window *> &openWindows() {
    static QList<Window *> windows;
    return windows;
}

// The newest open window of that kind, or nullptr.
template <class Window>
Window *newestWindow() {
    QList<Window *> &open = openWindows<Window>();
    return open.isEmpty() ? nullptr : open.last();
}

} // namespace nomix::gui
