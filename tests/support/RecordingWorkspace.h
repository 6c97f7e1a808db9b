#pragma once

#include "platform/Workspace.h"

#include <QStringList>
#include <QUrl>

#include <vector>

// Records what the program asked the desktop to open or reveal.
class RecordingWorkspace final : public Workspace {
public:
    bool open(const QUrl& url) override {
        opened.push_back(url);
        return true;
    }
    bool reveal(const QString& path) override {
        revealed << path;
        return true;
    }

    std::vector<QUrl> opened;
    QStringList revealed;
};
