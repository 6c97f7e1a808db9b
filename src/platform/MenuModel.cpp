#include "platform/MenuModel.h"

#include <algorithm>

std::shared_ptr<MenuItem> MenuItem::separator() {
    auto item = std::make_shared<MenuItem>();
    item->isSeparator = true;
    return item;
}

Menu::ItemPtr Menu::addItem(QString title, QString action, QString keyEquivalent) {
    auto item = std::make_shared<MenuItem>(std::move(title), std::move(action), std::move(keyEquivalent));
    addItem(item);
    return item;
}

void Menu::addItem(ItemPtr item) {
    items_.push_back(std::move(item));
    emit itemsChanged();
}

Menu::ItemPtr Menu::addSubmenu(std::shared_ptr<Menu> submenu) {
    auto item = std::make_shared<MenuItem>(submenu->title());
    item->submenu = std::move(submenu);
    addItem(item);
    return item;
}

void Menu::removeItem(const ItemPtr& item) {
    const auto it = std::find(items_.begin(), items_.end(), item);
    if (it == items_.end())
        return;
    items_.erase(it);
    emit itemsChanged();
}

void Menu::removeItemAt(int index) {
    if (index < 0 || index >= count())
        return;
    items_.erase(items_.begin() + index);
    emit itemsChanged();
}
