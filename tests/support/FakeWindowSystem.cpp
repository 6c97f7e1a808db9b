#include "support/FakeWindowSystem.h"

#include <algorithm>
#include <stdexcept>

WindowId FakeWindowSystem::addWindow(WindowDescription window) {
    if (window.id == 0)
        window.id = nextId_++;
    windows_.push_back(window);
    return window.id;
}

WindowId FakeWindowSystem::addOrdinaryWindow(const QString& identifier, const QString& className) {
    WindowDescription window;
    window.className = className;
    if (!identifier.isEmpty())
        window.identifier = identifier;
    window.visible = true;
    return addWindow(window);
}

WindowDescription& FakeWindowSystem::window(WindowId id) {
    const auto it =
        std::find_if(windows_.begin(), windows_.end(), [id](const auto& w) { return w.id == id; });
    if (it == windows_.end())
        throw std::out_of_range("no such window");
    return *it;
}

void FakeWindowSystem::removeWindow(WindowId id) {
    std::erase_if(windows_, [id](const WindowDescription& w) { return w.id == id; });
}

void FakeWindowSystem::close(WindowId id) {
    notifyWillClose(willClose_, id);
    setVisible(id, false);
}

void FakeWindowSystem::becomeActive() {
    didBecomeActive_.visitUntil([](const std::function<void()>& handler) {
        handler();
        return false;
    });
}

int FakeWindowSystem::closeObserverCount(WindowId id) const {
    return willClose_.countIf([id](const WindowCloseHandler& h) { return h.window == id; });
}

std::vector<WindowDescription> FakeWindowSystem::windows() const {
    ++lookups;
    if (beforeLookup)
        beforeLookup(lookups);
    calls << QStringLiteral("windows");
    return windows_;
}

void FakeWindowSystem::setActivationPolicy(ActivationPolicy newPolicy) {
    policy = newPolicy;
    calls << (newPolicy == ActivationPolicy::regular ? QStringLiteral("policy regular")
                                                     : QStringLiteral("policy accessory"));
}

void FakeWindowSystem::makeKeyAndOrderFront(WindowId id) {
    calls << QStringLiteral("key %1").arg(id);
    window(id).visible = true;
}

void FakeWindowSystem::orderFrontRegardless(WindowId id) {
    calls << QStringLiteral("front %1").arg(id);
    window(id).visible = true;
}

bool FakeWindowSystem::openStatusItemPopover() {
    calls << QStringLiteral("open popover");
    return popoverOpens;
}

Observation FakeWindowSystem::observeWillClose(WindowId id, std::function<void()> handler) {
    return willClose_.add({id, std::move(handler)});
}

Observation FakeWindowSystem::observeDidBecomeActive(std::function<void()> handler) {
    return didBecomeActive_.add(std::move(handler));
}

bool FakeWindowSystem::sendAction(const QString& action, const std::shared_ptr<ActionResponder>& target,
                                  const MenuItem* sender) {
    calls << QStringLiteral("send ") + action + (target ? QStringLiteral(" to target") : QString());
    if (target)
        return target->tryToPerform(action, sender);
    return performAlong(responders_, action, sender);
}
