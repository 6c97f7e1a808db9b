#pragma once

#include <QString>
#include <QUrl>

// The desktop's file manager and URL handlers.
class Workspace {
public:
    virtual ~Workspace() = default;

    // Opens `url` in the application the desktop chose for it; false when none took it.
    virtual bool openURL(const QUrl& url) = 0;
    // Shows the file or folder at `path` in the file manager, selected where the file manager can.
    virtual bool revealPath(const QString& path) = 0;
};
