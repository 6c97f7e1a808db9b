#pragma once

#include "platform/HandlerList.h"
#include "platform/WindowSystem.h"

#include <QStringList>

#include <functional>
#include <ostream>

// A scripted desktop: the test adds, shows, hides and closes windows, and reads back what the program asked
// for. `calls` journals every request in order ("windows", "policy regular", "activate", "key 3",
// "front 3", "send showSettingsWindow:").
class FakeWindowSystem final : public WindowSystem {
public:
    // Returns the new window's identity (given one when the description has none).
    WindowId addWindow(WindowDescription window);
    // An ordinary window: visible, normal level, not a panel.
    WindowId addOrdinaryWindow(const QString& identifier,
                               const QString& className = QStringLiteral("Window"));
    WindowDescription& window(WindowId id);
    void setVisible(WindowId id, bool visible) { window(id).visible = visible; }
    void removeWindow(WindowId id);
    // The window's will-close observers hear of it, then it is hidden.
    void close(WindowId id) override;
    void becomeActive();
    int closeObserverCount(WindowId id) const;
    int callCount(const QString& call) const { return int(calls.count(call)); }

    std::vector<WindowDescription> windows() const override;
    std::vector<ScreenDescription> screens() const override { return screenList; }
    ActivationPolicy activationPolicy() const override { return policy; }
    void setActivationPolicy(ActivationPolicy newPolicy) override;
    void activate() override { calls << QStringLiteral("activate"); }
    void makeKeyAndOrderFront(WindowId id) override;
    void orderFrontRegardless(WindowId id) override;
    // Journals "open popover" and answers `popoverOpens`.
    bool openStatusItemPopover() override;
    Observation observeWillClose(WindowId id, std::function<void()> handler) override;
    Observation observeDidBecomeActive(std::function<void()> handler) override;
    std::shared_ptr<Menu> mainMenu() const override { return mainMenuValue; }
    void setMainMenu(std::shared_ptr<Menu> menu) override { mainMenuValue = std::move(menu); }
    std::shared_ptr<Menu> servicesMenu() const override { return servicesMenuValue; }
    void setServicesMenu(std::shared_ptr<Menu> menu) override { servicesMenuValue = std::move(menu); }
    bool sendAction(const QString& action, const std::shared_ptr<ActionResponder>& target,
                    const MenuItem* sender) override;
    Observation addResponder(ActionResponder* responder) override { return responders_.add(responder); }

    ActivationPolicy policy = ActivationPolicy::accessory;
    std::shared_ptr<Menu> mainMenuValue;
    std::shared_ptr<Menu> servicesMenuValue;
    std::vector<ScreenDescription> screenList;
    bool popoverOpens = true;
    // Runs before each answer to windows(), with the number of that lookup (from 1).
    std::function<void(int lookup)> beforeLookup;
    mutable int lookups = 0;
    mutable QStringList calls;

private:
    std::vector<WindowDescription> windows_;
    WindowId nextId_ = 1;
    HandlerList<WindowCloseHandler> willClose_;
    HandlerList<std::function<void()>> didBecomeActive_;
    HandlerList<ActionResponder*> responders_;
};

inline void PrintTo(ActivationPolicy policy, std::ostream* os) {
    *os << (policy == ActivationPolicy::regular ? "regular" : "accessory");
}

// A responder that records what reaches it and performs the actions it is told to.
class RecordingResponder final : public ActionResponder {
public:
    explicit RecordingResponder(QStringList handled = {}) : handled_(std::move(handled)) {}
    bool tryToPerform(const QString& action, const MenuItem* sender) override {
        received << action;
        senders.push_back(sender);
        return handled_.contains(action);
    }
    QStringList received;
    std::vector<const MenuItem*> senders;

private:
    QStringList handled_;
};
