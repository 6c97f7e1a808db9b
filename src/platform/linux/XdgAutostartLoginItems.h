#pragma once

#include "platform/LoginItems.h"

#include <QString>

class Workspace;

// The program's login item as an XDG autostart entry, `<config>/autostart/app.mondrel.Mondrel.desktop`. The
// entry is on while the file exists and neither hides it nor switches it off; registering writes it
// atomically, unregistering removes it. Linux never asks for approval.
class XdgAutostartLoginItems final : public LoginItems {
public:
    // `autostartDirectory` empty: there is no configuration folder and registering fails.
    XdgAutostartLoginItems(Workspace& workspace, QString autostartDirectory = standardDirectory(),
                           QString executable = runningExecutable());

    // `$XDG_CONFIG_HOME/autostart`, else `$HOME/.config/autostart`; empty when neither is set.
    static QString standardDirectory();
    static QString runningExecutable();

    // `executable` as one argument of an Exec key, escaped for a desktop entry's string value.
    static QString execValue(const QString& executable);
    // The whole entry that registering writes.
    static QByteArray entryFor(const QString& executable);

    QString entryPath() const;

    LoginItemStatus status() const override;
    void registerItem() override;
    void unregisterItem() override;
    // Opens the autostart folder in the file manager.
    void openSettings() override;

private:
    Workspace& workspace_;
    QString directory_;
    QString executable_;
};
