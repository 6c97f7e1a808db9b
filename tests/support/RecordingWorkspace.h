#pragma once

#include "platform/Workspace.h"

#include <QStringList>

// Notes what the program asked the desktop to open or reveal.
class RecordingWorkspace final : public Workspace {
public:
    bool openURL(const QUrl& url) override {
        opened << url;
        return true;
    }
    bool revealPath(const QString& path) override {
        revealed << path;
        return true;
    }

    QList<QUrl> opened;
    QStringList revealed;
};
