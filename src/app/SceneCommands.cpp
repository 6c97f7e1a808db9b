#include "app/SceneCommands.h"

#include <algorithm>

namespace {

// The items that groups add to one submenu, in the order of the groups.
struct Addition {
    QString menuTitle;
    std::vector<Menu::ItemPtr> items;
    bool placed = false;
};

} // namespace

const CommandGroup* MainMenuComposer::replacement(CommandGroupPlacement placement) const {
    const auto it = std::find_if(commands_.begin(), commands_.end(), [placement](const CommandGroup& group) {
        return group.placement == placement;
    });
    return it == commands_.end() ? nullptr : &*it;
}

std::shared_ptr<Menu> MainMenuComposer::compose(const Menu& programMenu) const {
    std::vector<Addition> additions;
    for (const StandardCommandGroup& group : standardGroups_) {
        const CommandGroup* replacing = replacement(group.placement);
        const std::vector<Menu::ItemPtr>& items = replacing ? replacing->items : group.items;
        // An emptied group adds nothing, not even its submenu.
        if (items.empty())
            continue;
        auto it = std::find_if(additions.begin(), additions.end(),
                               [&](const Addition& a) { return a.menuTitle == group.menuTitle; });
        if (it == additions.end())
            it = additions.insert(additions.end(), Addition{group.menuTitle, {}});
        it->items.insert(it->items.end(), items.begin(), items.end());
    }

    auto composed = std::make_shared<Menu>(programMenu.title());
    for (const Menu::ItemPtr& item : programMenu.items()) {
        const auto addition = std::find_if(additions.begin(), additions.end(), [&](const Addition& a) {
            return !a.placed && item->submenu && item->title == a.menuTitle;
        });
        if (addition == additions.end()) {
            composed->addItem(item);
            continue;
        }
        // A copy, so that the program's own submenu stays as the program built it.
        auto submenu = std::make_shared<Menu>(item->submenu->title());
        for (const Menu::ItemPtr& child : item->submenu->items())
            submenu->addItem(child);
        for (const Menu::ItemPtr& added : addition->items)
            submenu->addItem(added);
        submenu->setDelegate(item->submenu->delegate());
        auto holder = std::make_shared<MenuItem>(*item);
        holder->submenu = std::move(submenu);
        composed->addItem(std::move(holder));
        addition->placed = true;
    }
    for (const Addition& addition : additions) {
        if (addition.placed)
            continue;
        auto submenu = std::make_shared<Menu>(addition.menuTitle);
        for (const Menu::ItemPtr& added : addition.items)
            submenu->addItem(added);
        composed->addSubmenu(std::move(submenu));
    }
    return composed;
}
