#pragma once

#include "app/ActivationPolicyController.h"
#include "app/QuintorMenuChrome.h"
#include "platform/MainQueue.h"
#include "platform/WindowSystem.h"

#include <QObject>

#include <optional>
#include <vector>

class UserDefaults;

// Receives the program's life-cycle events and owns the window plumbing around them: the activation
// policy, the main-menu clean-up and the focusing of the settings window.
class AppDelegate final : public QObject {
    Q_OBJECT
public:
    static constexpr double kSettingsLookupInterval = 0.05;
    // Attempts are numbered from 0: 21 lookups, about a second.
    static constexpr int kLastSettingsLookup = 20;

    AppDelegate(MainQueue& mainQueue, WindowSystem& windowSystem, UserDefaults& defaults,
                QObject* parent = nullptr);
    ~AppDelegate() override;

    // The delegate while one exists.
    static AppDelegate* shared();

    MainQueue& mainQueue() const { return mainQueue_; }
    WindowSystem& windowSystem() const { return windowSystem_; }
    UserDefaults& defaults() const { return defaults_; }
    ActivationPolicyController& activationPolicy() { return activationPolicy_; }
    QuintorMenuChrome& menuChrome() { return menuChrome_; }

    // The sign-in gate while it exists.
    std::optional<WindowId> gateWindow() const { return gateWindow_; }
    void setGateWindow(std::optional<WindowId> window) { gateWindow_ = window; }

    // Looks for the settings window until it shows up, then fronts it and watches its closing; gives up
    // with a diagnostic line after the last attempt. The first call passes 0.
    void focusSettingsWindow(int attempt);
    // The visible ordinary window other than the gate whose identifier mentions settings, else the first
    // such window at all.
    std::optional<WindowDescription> settingsWindow() const;

    // "ClassName/id=identifier/lvl=0/vis=true", as in the diagnostic line.
    static QString describeForDiagnostics(const WindowDescription& window);

private:
    std::optional<WindowDescription> settingsWindow(const std::vector<WindowDescription>& windows) const;

    MainQueue& mainQueue_;
    WindowSystem& windowSystem_;
    UserDefaults& defaults_;
    ActivationPolicyController activationPolicy_;
    QuintorMenuChrome menuChrome_;
    std::optional<WindowId> gateWindow_;
};
