// Where the windows find the data shipped with Nomix (help pages, the tutor's
// character): the program's directory first (the current directory), then the
// installed share/nomix beside bin/, then the source tree of a development build.
#pragma once

#include <QIcon>
#include <QString>
#include <QStringList>

namespace nomix::gui {

// The directories searched, in order.
QStringList shippedDirectories();
// The first existing path of `relative` in them, or an empty string.
QString findShipped(const QString &relative);
// The program's icon: the desktop theme's "nomix", else the installed or source SVG.
QIcon programIcon();

} // namespace nomix::gui
