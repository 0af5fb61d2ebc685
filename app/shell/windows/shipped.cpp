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

namespace nomix::gui {

QIcon programIcon() {
    QIcon themed = QIcon::fromTheme(QStringLiteral("nomix"));
    if (!themed.isNull()) return themed;
    QStringList places;
    if (QCoreApplication::instance())
        places << QDir(QCoreApplication::applicationDirPath())
                      .absoluteFilePath(QStringLiteral("../share/icons/hicolor/scalable/apps/nomix.svg"));
#ifdef NOMIX_SOURCE_DIR
    places << QStringLiteral(NOMIX_SOURCE_DIR "/data/icons/nomix.svg");
#endif
    for (const QString &p : places)
        if (QFileInfo::exists(p)) return QIcon(p);
    return QIcon::fromTheme(QStringLiteral("accessories-calculator"));
}

} // namespace nomix::gui
