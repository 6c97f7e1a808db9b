#pragma once

#include <QObject>
#include <QString>

#include <memory>
#include <vector>

class Menu;
class MenuItem;

// Something a menu item's action can be sent to: an explicit target, or a link of the responder chain.
class ActionResponder {
public:
    virtual ~ActionResponder() = default;
    // Performs `action` (a name such as "terminate:") and returns true, or returns false when it does not
    // handle it. `sender` is the menu item that sent it, or nothing.
    virtual bool tryToPerform(const QString& action, const MenuItem* sender) = 0;
};

// Told just before a menu opens, so that it can add, change or remove items first.
class MenuDelegate {
public:
    virtual ~MenuDelegate() = default;
    virtual void menuNeedsUpdate(Menu& menu) = 0;
};

// One entry of a menu: a command, a submenu holder or a separator. Items are shared objects so that a menu
// can be edited while someone walks a copy of its item list.
class MenuItem {
public:
    explicit MenuItem(QString title = {}, QString action = {}, QString keyEquivalent = {})
        : title(std::move(title)), action(std::move(action)), keyEquivalent(std::move(keyEquivalent)) {}

    static std::shared_ptr<MenuItem> separator();

    QString title;
    // The action name, empty when the item sends none.
    QString action;
    // With the Command (on Linux: Control) modifier; an upper-case letter adds Shift.
    QString keyEquivalent;
    // Where the action goes; the responder chain when empty.
    std::shared_ptr<ActionResponder> target;
    bool enabled = true;
    std::shared_ptr<Menu> submenu;
    bool isSeparator = false;
};

// An ordered list of items with an optional delegate. The menu holds its delegate weakly, as the platform
// does: whoever installs a delegate keeps it alive.
class Menu : public QObject {
    Q_OBJECT
public:
    using ItemPtr = std::shared_ptr<MenuItem>;

    explicit Menu(QString title = {}) : title_(std::move(title)) {}

    const QString& title() const { return title_; }
    const std::vector<ItemPtr>& items() const { return items_; }
    int count() const { return int(items_.size()); }

    ItemPtr addItem(QString title, QString action = {}, QString keyEquivalent = {});
    void addItem(ItemPtr item);
    // Adds an item titled like `submenu` that holds it.
    ItemPtr addSubmenu(std::shared_ptr<Menu> submenu);
    void addSeparator() { addItem(MenuItem::separator()); }
    void removeItem(const ItemPtr& item);
    void removeItemAt(int index);

    std::shared_ptr<MenuDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<MenuDelegate> delegate) { delegate_ = std::move(delegate); }

signals:
    // An item was added or removed.
    void itemsChanged();

private:
    QString title_;
    std::vector<ItemPtr> items_;
    std::weak_ptr<MenuDelegate> delegate_;
};
