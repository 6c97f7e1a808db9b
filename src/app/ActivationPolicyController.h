#pragma once

#include "platform/MainQueue.h"
#include "platform/WindowSystem.h"

#include <QObject>

#include <map>

// Makes the program a regular one while one of its ordinary windows is on screen and returns it to the
// accessory policy, a moment later, once none is.
class ActivationPolicyController final : public QObject {
    Q_OBJECT
public:
    static constexpr double kDemotionDelay = 0.2;

    ActivationPolicyController(MainQueue& mainQueue, WindowSystem& windowSystem, QObject* parent = nullptr);
    ~ActivationPolicyController() override;

    // Cancels a pending demotion, turns regular and activates the program, at once.
    void promoteNow();
    // Cancels a pending demotion at once; turns regular and activates on the next turn, after the caller
    // has made its window key.
    void promoteForWindow();
    // Demotes when `window` closes and nothing else keeps the program regular. A window is watched once.
    void observeClose(WindowId window);
    // Checks for ordinary windows on the next turn, or after the delay, and turns accessory when there
    // are none. A newer request replaces a pending one.
    void demoteWhenIdle(bool immediately);

    // Visible, not a panel, at the normal level: a window that needs the program to be regular.
    static bool isOrdinaryWindow(const WindowDescription& window);

private:
    void demoteIfIdle();
    void cancelPendingDemotion();

    MainQueue& mainQueue_;
    WindowSystem& windowSystem_;
    MainQueue::Handle demoteWorkItem_;
    std::map<WindowId, Observation> closeObservers_;
};
