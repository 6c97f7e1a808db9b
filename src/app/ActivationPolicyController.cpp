#include "app/ActivationPolicyController.h"

#include <QPointer>

#include <algorithm>

ActivationPolicyController::ActivationPolicyController(MainQueue& mainQueue, WindowSystem& windowSystem,
                                                       QObject* parent)
    : QObject(parent), mainQueue_(mainQueue), windowSystem_(windowSystem) {}

ActivationPolicyController::~ActivationPolicyController() {
    cancelPendingDemotion();
}

bool ActivationPolicyController::isOrdinaryWindow(const WindowDescription& window) {
    return window.visible && !window.panel && window.level == WindowLevel::normal;
}

void ActivationPolicyController::cancelPendingDemotion() {
    demoteWorkItem_.cancel();
    demoteWorkItem_ = {};
}

void ActivationPolicyController::promoteNow() {
    cancelPendingDemotion();
    if (windowSystem_.activationPolicy() != ActivationPolicy::regular)
        windowSystem_.setActivationPolicy(ActivationPolicy::regular);
    windowSystem_.activate();
}

void ActivationPolicyController::promoteForWindow() {
    cancelPendingDemotion();
    mainQueue_.post([self = QPointer(this)] {
        if (!self)
            return;
        if (self->windowSystem_.activationPolicy() != ActivationPolicy::regular)
            self->windowSystem_.setActivationPolicy(ActivationPolicy::regular);
        self->windowSystem_.activate();
    });
}

void ActivationPolicyController::observeClose(WindowId window) {
    if (closeObservers_.contains(window))
        return;
    closeObservers_[window] = windowSystem_.observeWillClose(window, [this, window] {
        mainQueue_.post([self = QPointer(this), window] {
            if (!self)
                return;
            // Dropped even when the window is already gone: a new window may come to have its identity.
            self->closeObservers_.erase(window);
            self->demoteWhenIdle(false);
        });
    });
}

void ActivationPolicyController::demoteWhenIdle(bool immediately) {
    demoteWorkItem_.cancel();
    demoteWorkItem_ = mainQueue_.postAfter(immediately ? 0.0 : kDemotionDelay, [self = QPointer(this)] {
        if (self)
            self->demoteIfIdle();
    });
}

void ActivationPolicyController::demoteIfIdle() {
    const std::vector<WindowDescription> windows = windowSystem_.windows();
    if (std::any_of(windows.begin(), windows.end(), isOrdinaryWindow))
        return;
    windowSystem_.setActivationPolicy(ActivationPolicy::accessory);
}
