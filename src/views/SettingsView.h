#pragma once

#include "app/SceneEnvironment.h"
#include "platform/WindowSystem.h"
#include "views/SettingsViewDescription.h"

#include <QObject>

class UserDefaults;
class Workspace;

// The settings form's logic: reads the services and the user-defaults keys into a description, carries out
// what the user does with a row, and says when anything it read has changed.
class SettingsView final : public QObject {
    Q_OBJECT
public:
    // `calendarFolder` is the local calendars' folder, whose parent is shown when access to it is off.
    SettingsView(const SceneEnvironment& environment, UserDefaults& defaults, WindowSystem& windowSystem,
                 Workspace& workspace, QString calendarFolder, QObject* parent = nullptr);

    SettingsState state() const;
    std::vector<SettingsSection> description() const { return describeSettings(state()); }

    // Each time the window shows the form: the login item may have changed meanwhile.
    void shown();
    // `value` is a toggle's new state; `calendarID` the calendar of a calendar's toggle.
    void perform(SettingsAction action, bool value = false, const QString& calendarID = {});

signals:
    // Something the description is computed from has changed.
    void changed();

private:
    void requestCalendarAccess();
    void signOut();

    SceneEnvironment environment_;
    UserDefaults& defaults_;
    Workspace& workspace_;
    QString calendarFolder_;
    Observation didBecomeActive_;
};
