#pragma once

#include "platform/MenuModel.h"

#include <QString>

#include <memory>
#include <vector>

// The standard places of a main menu where a menu layer puts groups of commands of its own.
enum class CommandGroupPlacement { textEditing, textFormatting, toolbar };

// A group that a scene carries: its items take the place of the standard group at `placement`; with no
// items the standard group is left out.
struct CommandGroup {
    CommandGroupPlacement placement;
    std::vector<std::shared_ptr<MenuItem>> items;
};

// The command groups of a scene, in the order they are applied.
using SceneCommands = std::vector<CommandGroup>;

// A group that the menu layer adds at `placement`: appended to the submenu titled `menuTitle`, which is
// created at the end of the main menu when the menu has none.
struct StandardCommandGroup {
    CommandGroupPlacement placement;
    QString menuTitle;
    std::vector<std::shared_ptr<MenuItem>> items;
};

// Composes the main menu a window shows: the program's own menu, then each standard group, or the scene's
// group that replaces it. The program's menu is left as it is: the result is a new top-level menu whose
// submenus are copies where groups were added to them and the program's own submenus otherwise.
class MainMenuComposer {
public:
    MainMenuComposer(SceneCommands commands, std::vector<StandardCommandGroup> standardGroups)
        : commands_(std::move(commands)), standardGroups_(std::move(standardGroups)) {}

    std::shared_ptr<Menu> compose(const Menu& programMenu) const;

    const SceneCommands& commands() const { return commands_; }

private:
    const CommandGroup* replacement(CommandGroupPlacement placement) const;

    SceneCommands commands_;
    std::vector<StandardCommandGroup> standardGroups_;
};
