#pragma once

#include "platform/Workspace.h"

// The desktop's default handlers, through the desktop's own opener (xdg-open or the portal).
class DesktopWorkspace final : public Workspace {
public:
    bool open(const QUrl& url) override;
    // Opens the folder that holds `path`: file managers differ in how they select an item.
    bool reveal(const QString& path) override;
};
