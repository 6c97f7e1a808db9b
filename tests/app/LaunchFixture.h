#pragma once

#include "account/AccountModel.h"
#include "account/AccountTestSupport.h"
#include "account/QuintorAccountBridge.h"
#include "app/AppDelegate.h"
#include "app/SettingsPresenter.h"
#include "support/CapturingLogSink.h"
#include "support/FakeWindowSystem.h"
#include "support/InMemorySecretStore.h"
#include "support/QtPrinters.h"
#include "support/RecordingWorkspace.h"
#include "support/ScriptedAlertPresenter.h"
#include "support/ScriptedSingleInstance.h"
#include "support/VirtualMainQueue.h"
#include "utilities/UserDefaults.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

// A delegate with every collaborator it launches with: the account layer over an in-memory secret store,
// a scripted desktop on virtual time, and a gate factory that adds a hidden window to that desktop. One
// journal (`windows.calls`) notes the desktop's calls, the single-instance claim, the status-item monitor,
// every defaults key written, gates made, terminations and process exits.
class LaunchFixture : public ::testing::Test {
protected:
    LaunchFixture() : LaunchFixture(nullptr) {}
    // The account layer over `store` instead of the in-memory one.
    explicit LaunchFixture(SecretStore* store)
        : bridge{store ? *store : secrets, [this] { return queue.now(); }} {
        singleInstance.journal = &windows.calls;
        QObject::connect(&defaults, &UserDefaults::changed,
                         [this](const QString& key) { windows.calls << QStringLiteral("defaults ") + key; });
        AppDelegate::setSharedAccount(&account);
        AppDelegate::setSharedBridge(&bridge);
    }
    ~LaunchFixture() override {
        delegate.reset();
        AppDelegate::setSharedAccount(nullptr);
        AppDelegate::setSharedBridge(nullptr);
        SettingsPresenter::setOpenAction({});
    }

    AppDelegate& make(QStringList arguments = {QStringLiteral("mondrel")}) {
        AppDelegate::Environment environment{queue, windows, defaults};
        environment.arguments = std::move(arguments);
        environment.singleInstance = &singleInstance;
        environment.alerts = &alerts;
        environment.workspace = &workspace;
        environment.bundlePath = bundlePath;
        environment.terminate = [this] { windows.calls << QStringLiteral("terminate"); };
        environment.exitProcess = [this](int status) {
            windows.calls << QStringLiteral("exit %1").arg(status);
        };
        environment.installStatusItemMonitor = [this] { windows.calls << QStringLiteral("status monitor"); };
        environment.makeGateWindow = [this](GateContent content) -> std::optional<GateWindowHandle> {
            WindowDescription window;
            window.className = QStringLiteral("GateWindow");
            window.identifier = QStringLiteral("mondrel.gate");
            const WindowId id = windows.addWindow(window);
            windows.calls << QStringLiteral("gate %1").arg(id);
            gateContent = std::make_unique<GateContent>(std::move(content));
            return GateWindowHandle{id, nullptr};
        };
        delegate = std::make_unique<AppDelegate>(std::move(environment));
        return *delegate;
    }

    // Launches and lets the launch task run.
    AppDelegate& launch(QStringList arguments = {QStringLiteral("mondrel")}) {
        make(std::move(arguments)).applicationDidFinishLaunching();
        queue.runUntilIdle();
        return *delegate;
    }

    void storeSession(double expiresIn = 3600) {
        secrets.put(StoredSession::keychainItem(), sampleSession(queue.now(), expiresIn).toJson());
    }

    int gatesMade() const { return int(windows.calls.filter(QRegularExpression("^gate ")).size()); }

    QTemporaryDir dir;
    VirtualMainQueue queue;
    FakeWindowSystem windows;
    UserDefaults defaults{dir.filePath(QStringLiteral("defaults.json"))};
    CapturingLogSink log;
    InMemorySecretStore secrets;
    QuintorAccountBridge bridge{secrets, [this] { return queue.now(); }};
    AccountModel account{bridge};
    ScriptedSingleInstance singleInstance;
    ScriptedAlertPresenter alerts;
    RecordingWorkspace workspace;
    QString bundlePath = QStringLiteral("/usr/bin/mondrel");
    std::unique_ptr<GateContent> gateContent;
    std::unique_ptr<AppDelegate> delegate;
};
