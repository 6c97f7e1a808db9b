#pragma once

#include "platform/Workspace.h"

// The desktop's URL handlers and file manager, through the freedesktop openers.
class DesktopWorkspace final : public Workspace {
public:
    bool openURL(const QUrl& url) override;
    // Opens the folder that holds `path`: the openers cannot select a file in it.
    bool revealPath(const QString& path) override;
};
