#pragma once

#include "account/AccountTestSupport.h"
#include "app/AppServices.h"
#include "support/CapturingLogSink.h"
#include "support/FakeLoginItems.h"
#include "support/FakeUpdateFramework.h"
#include "support/FakeWindowSystem.h"
#include "support/InMemoryEventStore.h"
#include "support/InMemorySecretStore.h"
#include "support/RecordingWorkspace.h"
#include "support/VirtualMainQueue.h"
#include "utilities/UserDefaults.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

// The program's seven services over scripted adapters, on virtual time.
class ServicesFixture : public ::testing::Test {
protected:
    ServicesFixture() {
        auto store = std::make_unique<InMemoryEventStore>();
        eventStore = store.get();
        eventStore->status = EventAuthorizationStatus::fullAccess;
        eventStore->addCalendar(QStringLiteral("c1"), QStringLiteral("Home"), std::nullopt, QColor(Qt::red));
        eventStore->addCalendar(QStringLiteral("c2"), QStringLiteral("Work"), std::nullopt, QColor(Qt::blue));
        pendingStore = std::move(store);
    }

    AppServices& services() {
        if (!services_) {
            services_ = std::make_unique<AppServices>(AppServices::Platform{
                queue, windows, defaults, secrets, [this] { return std::move(pendingStore); }, loginItems,
                &updateFramework});
            queue.runUntilIdle();
        }
        return *services_;
    }

    // A session that the account restores, then the account model refreshed from it.
    void signIn() {
        secrets.put(StoredSession::keychainItem(), sampleSession(queue.now()).toJson());
        services().bridge().manager().restore(false);
        services().account().refresh();
        queue.runUntilIdle();
    }

    QTemporaryDir dir;
    VirtualMainQueue queue;
    FakeWindowSystem windows;
    UserDefaults defaults{dir.filePath(QStringLiteral("defaults.json"))};
    CapturingLogSink log;
    InMemorySecretStore secrets;
    FakeLoginItems loginItems;
    FakeUpdateFramework updateFramework;
    RecordingWorkspace workspace;
    InMemoryEventStore* eventStore = nullptr;
    std::unique_ptr<EventStore> pendingStore;
    std::unique_ptr<AppServices> services_;
};
