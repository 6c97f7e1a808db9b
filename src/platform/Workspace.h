#pragma once

#include <QString>
#include <QUrl>

// The desktop's handlers for documents, folders and links.
class Workspace {
public:
    virtual ~Workspace() = default;

    // Opens `url` with the program the desktop associates with it; false when none took it.
    virtual bool open(const QUrl& url) = 0;
    // Shows the file or folder at `path` in the file manager.
    virtual bool reveal(const QString& path) = 0;
};
