#pragma once

#include "platform/MenuModel.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

class QAction;
class QKeySequence;
class QMenu;
class QMenuBar;

// Shows a menu model in a window's menu bar and keeps it current: the bar follows items added to or removed
// from the model, and each menu asks its delegate for an update and is filled afresh just before it opens.
class QtMenuBarPresenter final : public QObject {
    Q_OBJECT
public:
    using SendAction = std::function<void(
        const QString& action, const std::shared_ptr<ActionResponder>& target, const MenuItem* sender)>;

    // Lives as a child of `bar`; `send` delivers the actions of chosen items.
    QtMenuBarPresenter(QMenuBar* bar, SendAction send);

    // Nothing hides the bar.
    void setMenu(std::shared_ptr<Menu> menu);
    const std::shared_ptr<Menu>& menu() const { return menu_; }

    // The text Qt shows for a title: "&" is a mnemonic marker there.
    static QString displayTitle(const QString& title);
    // The key sequence of a key equivalent: Control for the Command modifier.
    static QKeySequence shortcutFor(const QString& keyEquivalent);
    // Appends `item` (neither separator nor submenu holder) to `menu` as an action that hands the item to
    // `send` when chosen.
    static QAction* addCommand(QMenu* menu, const std::shared_ptr<MenuItem>& item, const SendAction& send);

private:
    void scheduleRebuild();
    void rebuild();
    QMenu* addMenu(QWidget* parent, const std::shared_ptr<Menu>& model);
    void fill(QMenu* menu, const std::shared_ptr<Menu>& model);

    QPointer<QMenuBar> bar_;
    SendAction send_;
    std::shared_ptr<Menu> menu_;
    QMetaObject::Connection menuChanged_;
    bool rebuildPending_ = false;
};
