#pragma once

#include "app/SettingsPresenter.h"

#include <QString>

class AccountModel;
class CalendarEventsService;
class CalendarModel;
class GoogleCalendarService;
class MainQueue;
class UserDefaults;
class Workspace;

// The shared objects the popover's views read and drive, handed down from the composition root.
struct ViewEnvironment {
    AccountModel& account;
    CalendarModel& calendar;
    CalendarEventsService& events;
    GoogleCalendarService& google;
    UserDefaults& defaults;
    // The clock that a typed date is read against.
    MainQueue& mainQueue;
    Workspace& workspace;
    // The folder of the local calendars: its parent is opened when reading it is denied.
    QString calendarFolder;
    // Opens the settings window; handed to the settings presenter.
    SettingsPresenter::OpenSettingsAction openSettings;
};
