#pragma once

#include "platform/HandlerList.h"
#include "platform/WindowSystem.h"

#include <QObject>
#include <QPointer>

class QtMenuBarPresenter;
class QWidget;

// The program's top-level widgets as its windows. A window's identifier is its object name; menus and
// tooltips sit at raised levels; other pop-ups and tool windows (the popover) are panels.
//
// Linux has no Dock to leave, so the policy decides how the program's ordinary windows present
// themselves: as normal windows in the taskbar and window cycle while regular, as tool windows that stay
// out of both while accessory. Activation raises and focuses a window only while regular.
class QtWindowSystem final : public QObject, public WindowSystem {
    Q_OBJECT
public:
    explicit QtWindowSystem(QObject* parent = nullptr);
    ~QtWindowSystem() override;

    static WindowId idOf(const QWidget* window) { return WindowId(window); }
    static WindowDescription describe(const QWidget* window);

    std::vector<WindowDescription> windows() const override;
    std::vector<ScreenDescription> screens() const override;

    ActivationPolicy activationPolicy() const override { return policy_; }
    void setActivationPolicy(ActivationPolicy policy) override;
    void activate() override;

    void makeKeyAndOrderFront(WindowId window) override;
    void orderFrontRegardless(WindowId window) override;
    void close(WindowId window) override;

    // Calls the opener installed by whoever owns the tray icon; false without one.
    bool openStatusItemPopover() override;
    void setStatusItemPopoverOpener(std::function<bool()> opener) { popoverOpener_ = std::move(opener); }

    Observation observeWillClose(WindowId window, std::function<void()> handler) override;
    Observation observeDidBecomeActive(std::function<void()> handler) override;

    std::shared_ptr<Menu> mainMenu() const override { return mainMenu_; }
    void setMainMenu(std::shared_ptr<Menu> menu) override;
    std::shared_ptr<Menu> servicesMenu() const override { return servicesMenu_; }
    void setServicesMenu(std::shared_ptr<Menu> menu) override { servicesMenu_ = std::move(menu); }

    bool sendAction(const QString& action, const std::shared_ptr<ActionResponder>& target,
                    const MenuItem* sender) override;
    Observation addResponder(ActionResponder* responder) override;

    // Adds a window that is not a widget of the program (the status item's area) to windows(), while the
    // observation lives. The source answers nothing while there is no such window.
    using WindowSource = std::function<std::optional<WindowDescription>()>;
    Observation addWindowSource(WindowSource source);

    // Gives `window` a menu bar that shows the main menu for as long as the window lives.
    void hostMainMenu(QWidget* window);

    // Turns the menu the program sets into the main menu that windows show, with the command groups of
    // the program's scenes applied; without one the program's menu is shown as it is.
    using MainMenuComposition = std::function<std::shared_ptr<Menu>(const Menu& programMenu)>;
    void setMainMenuComposition(MainMenuComposition composition) { composition_ = std::move(composition); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* widget(WindowId window) const;
    void announceClose(QWidget* window);
    void dialogFinished();
    void applyPolicy(QWidget* window) const;

    ActivationPolicy policy_ = ActivationPolicy::regular;
    HandlerList<WindowCloseHandler> willClose_;
    HandlerList<std::function<void()>> didBecomeActive_;
    HandlerList<ActionResponder*> responders_;
    HandlerList<WindowSource> windowSources_;
    std::shared_ptr<Menu> mainMenu_;
    std::shared_ptr<Menu> servicesMenu_;
    std::function<bool()> popoverOpener_;
    MainMenuComposition composition_;
    std::vector<QPointer<QtMenuBarPresenter>> menuBars_;
    // Windows whose close was accepted and which are about to hide.
    std::vector<QPointer<QWidget>> closing_;
};
