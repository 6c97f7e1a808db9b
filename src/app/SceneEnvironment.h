#pragma once

class AccountModel;
class CalendarEventsService;
class CalendarModel;
class GoogleCalendarService;
class LaunchAtLoginService;
class QuintorAccountBridge;
class UpdaterService;

// The seven long-lived services that both scenes' views are given, the same objects for both.
struct SceneEnvironment {
    AccountModel& account;
    CalendarModel& calendar;
    CalendarEventsService& events;
    GoogleCalendarService& google;
    QuintorAccountBridge& bridge;
    UpdaterService& updater;
    LaunchAtLoginService& launchAtLogin;
};
