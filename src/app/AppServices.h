#pragma once

#include "account/AccountModel.h"
#include "account/QuintorAccountBridge.h"
#include "app/SceneEnvironment.h"
#include "models/CalendarModel.h"
#include "services/CalendarEventsService.h"
#include "services/LaunchAtLoginService.h"
#include "services/UpdaterService.h"
#include "services/google/GoogleCalendarService.h"

#include <functional>
#include <memory>

class EventStore;
class LoginItems;
class MainQueue;
class SecretStore;
class UpdateFramework;
class UserDefaults;
class WindowSystem;

// The long-lived services of the process. Each is built exactly once, in the order of the members below,
// before any window exists, and lives until the process ends.
class AppServices final {
public:
    // What the services are built on: the desktop's adapters, made by the composition root.
    struct Platform {
        MainQueue& mainQueue;
        WindowSystem& windowSystem;
        UserDefaults& defaults;
        SecretStore& secretStore;
        // Called once, when the events service is built.
        std::function<std::unique_ptr<EventStore>()> makeEventStore;
        LoginItems& loginItems;
        // Nothing: there is no update framework to start.
        UpdateFramework* updateFramework = nullptr;
    };

    explicit AppServices(Platform platform);
    AppServices(const AppServices&) = delete;
    AppServices& operator=(const AppServices&) = delete;

    QuintorAccountBridge& bridge() { return bridge_; }
    AccountModel& account() { return account_; }
    CalendarModel& calendar() { return calendar_; }
    CalendarEventsService& events() { return events_; }
    GoogleCalendarService& google() { return google_; }
    UpdaterService& updater() { return updater_; }
    LaunchAtLoginService& launchAtLogin() { return launchAtLogin_; }

    // The seven services as both scenes' views receive them.
    SceneEnvironment environment();

private:
    QuintorAccountBridge bridge_;
    AccountModel account_;
    CalendarModel calendar_;
    CalendarEventsService events_;
    GoogleCalendarService google_;
    UpdaterService updater_;
    LaunchAtLoginService launchAtLogin_;
};
