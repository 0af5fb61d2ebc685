#include "shipped.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace nomix::gui {

QStringList shippedDirectories() {
    QStringList dirs{QDir::currentPath()};
    if (QCoreApplication::instance())
        dirs << QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QStringLiteral("../share/nomix"));
#ifdef NOMIX_SOURCE_DIR
    dirs << QStringLiteral(NOMIX_SOURCE_DIR "/data");
#endif
    return dirs;
}

QString findShipped(const QString &relative) {
    for (const QString &dir : shippedDirectories()) {
        QFileInfo info(QDir(dir).filePath(relative));
        if (info.exists()) return info.absoluteFilePath();
    }
    return {};
}

} // namespace nomix::gui
