#pragma once

#include "platform/LoginItems.h"

#include <QHash>
#include <QString>

#include <optional>

class Workspace;

// The program's login item as an XDG autostart entry, `<config>/autostart/app.mondrel.Mondrel.desktop`. The
// item is on while the file exists, neither hides it nor switches it off, and would start this program
// (its Exec and TryExec name this executable); registering writes it atomically, unregistering removes it.
// Linux never asks for approval.
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
    // When the entry is on but the program it names is gone (this one moved), points it at this program;
    // true when it did. An entry that names another program that still exists is left alone.
    bool followMovedProgram();
    void registerItem() override;
    void unregisterItem() override;
    // Opens the autostart folder in the file manager.
    void openSettings() override;

private:
    // The keys of the entry when it exists and is on.
    std::optional<QHash<QString, QString>> enabledEntry() const;
    // The program that logging in would start by the entry: nothing when it names none, or one that is gone.
    static std::optional<QString> programOf(const QHash<QString, QString>& keys);

    Workspace& workspace_;
    QString directory_;
    QString executable_;
};
