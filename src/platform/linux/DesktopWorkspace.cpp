#include "platform/linux/DesktopWorkspace.h"

#include <QDesktopServices>
#include <QFileInfo>

bool DesktopWorkspace::open(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}

bool DesktopWorkspace::reveal(const QString& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
}
