#pragma once

#include "account/AccountModel.h"
#include "account/AccountTestSupport.h"
#include "account/QuintorAccountBridge.h"
#include "app/AppDelegate.h"
#include "models/CalendarModel.h"
#include "platform/linux/VdirEventStore.h"
#include "services/CalendarEventsService.h"
#include "services/google/GoogleCalendarService.h"
#include "support/CapturingLogSink.h"
#include "support/FakeWindowSystem.h"
#include "support/InMemoryEventStore.h"
#include "support/InMemorySecretStore.h"
#include "support/RecordingWorkspace.h"
#include "support/VirtualMainQueue.h"
#include "utilities/UserDefaults.h"
#include "views/ViewEnvironment.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// The popover's shared objects in Berlin with an American locale, on virtual time that starts on Monday
// 7 December 2026 at 10:00: defaults in a temporary file, a scripted calendar database or a vdir tree in a
// temporary folder, a Google source without a client identifier and a signed-out account.
class ViewFixture : public ::testing::Test {
protected:
    static Instant at(int year, int month, int day, int hour = 0, int minute = 0) {
        return *Calendar::current().date(year, month, day, hour, minute);
    }
    static Instant day(int year, int month, int dayOfMonth) { return at(year, month, dayOfMonth); }

    enum class Store { inMemory, vdir };

    // The vdir store reads the tree under calendarFolder() once startLocalCalendars() is called.
    explicit ViewFixture(Store kind = Store::inMemory) {
        if (kind == Store::vdir)
            return;
        auto scripted = std::make_unique<InMemoryEventStore>();
        store = scripted.get();
        eventsService = std::make_unique<CalendarEventsService>(std::move(scripted), defaults);
    }

    // The service over the vdir tree, as it stands.
    void useLocalCalendars() {
        auto local = std::make_unique<VdirEventStore>(calendarFolder(), queue);
        vdirStore = local.get();
        eventsService = std::make_unique<CalendarEventsService>(std::move(local), defaults);
    }
    // Reads the tree written so far and waits until the service has refreshed from that reading.
    void startLocalCalendars() {
        QDir().mkpath(calendarFolder());
        useLocalCalendars();
        QSignalSpy refreshed(eventsService.get(), &CalendarEventsService::changeTokenChanged);
        ASSERT_TRUE(refreshed.wait(5000));
    }

    QString calendarFolder() const { return dir.filePath(QStringLiteral("calendars")); }

    ViewEnvironment environment() {
        return ViewEnvironment{account,   calendar,         *eventsService,
                               google,    defaults,         queue,
                               workspace, calendarFolder(), [this] { ++settingsOpened; }};
    }

    // A stored session that the account manager restores, then the model's refresh; both end at once.
    void signIn() {
        secrets.put(StoredSession::keychainItem(), sampleSession(queue.now()).toJson());
        bridge.manager().restore(false);
        account.refresh();
        ASSERT_EQ(account.route(), AccountModel::Route::calendar);
    }
    // An application delegate whose gate factory only counts the gates it makes.
    AppDelegate& makeDelegate() {
        AppDelegate::Environment environment{queue, windows, defaults};
        environment.makeGateWindow = [this](const GateContent&) -> std::optional<GateWindowHandle> {
            ++gatesMade;
            WindowDescription window;
            window.className = QStringLiteral("GateWindow");
            window.identifier = QStringLiteral("mondrel.gate");
            return GateWindowHandle{windows.addWindow(window), nullptr};
        };
        AppDelegate::setSharedAccount(&account);
        AppDelegate::setSharedBridge(&bridge);
        delegate = std::make_unique<AppDelegate>(std::move(environment));
        return *delegate;
    }
    ~ViewFixture() override {
        delegate.reset();
        AppDelegate::setSharedAccount(nullptr);
        AppDelegate::setSharedBridge(nullptr);
    }

    void signOut() {
        account.signOut();
        ASSERT_EQ(account.route(), AccountModel::Route::signIn);
    }

    // Grants access to a scripted database with one calendar, so that the local calendars are active.
    void grantCalendarAccess() {
        ASSERT_TRUE(store);
        store->addCalendar(QStringLiteral("home"), QStringLiteral("Home"));
        store->status = EventAuthorizationStatus::fullAccess;
        store->notifyChanged();
        QCoreApplication::processEvents();
    }

    ScopedCalendarPin pin{QStringLiteral("en_US"), QStringLiteral("Europe/Berlin")};
    CapturingLogSink log;
    QTemporaryDir dir;
    VirtualMainQueue queue{at(2026, 12, 7, 10)};
    UserDefaults defaults{dir.filePath(QStringLiteral("defaults.json"))};
    // The scripted database, unless the fixture reads a vdir tree.
    InMemoryEventStore* store = nullptr;
    // The vdir store, once the fixture reads a tree.
    VdirEventStore* vdirStore = nullptr;
    std::unique_ptr<CalendarEventsService> eventsService;
    InMemorySecretStore secrets;
    GoogleCalendarService google{GoogleCalendarService::Environment{queue, secrets, nullptr, {}, QString()}};
    QuintorAccountBridge bridge{secrets, [this] { return queue.now(); }};
    AccountModel account{bridge};
    CalendarModel calendar{queue.now(), queue};
    RecordingWorkspace workspace;
    int settingsOpened = 0;
    FakeWindowSystem windows;
    std::unique_ptr<AppDelegate> delegate;
    int gatesMade = 0;
};
