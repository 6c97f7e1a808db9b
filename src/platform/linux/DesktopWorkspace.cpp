#include "platform/linux/DesktopWorkspace.h"

#include <QDesktopServices>
#include <QFileInfo>

bool DesktopWorkspace::openURL(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}

bool DesktopWorkspace::revealPath(const QString& path) {
    const QFileInfo file(path);
    return QDesktopServices::openUrl(
        QUrl::fromLocalFile(file.isDir() ? file.absoluteFilePath() : file.absolutePath()));
}
