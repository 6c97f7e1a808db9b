#include "app/QuintorMenuHygiene.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace {

QStringList titles(const Menu& menu) {
    QStringList result;
    for (const auto& item : menu.items())
        result << item->title;
    return result;
}

std::vector<Menu::ItemPtr> itemsTitled(std::initializer_list<const char*> entries) {
    std::vector<Menu::ItemPtr> items;
    for (const char* title : entries)
        items.push_back(std::make_shared<MenuItem>(QString::fromUtf8(title)));
    return items;
}

// What a desktop's menu layer typically adds to every main menu.
std::vector<StandardCommandGroup> standardGroups() {
    return {
        {CommandGroupPlacement::textEditing, QStringLiteral("Edit"), itemsTitled({"Find…", "Spelling"})},
        {CommandGroupPlacement::textFormatting, QStringLiteral("Format"), itemsTitled({"Font", "Text"})},
        {CommandGroupPlacement::toolbar, QStringLiteral("View"), itemsTitled({"Show Toolbar"})},
    };
}

// The gate's menu: the program's own two submenus.
std::shared_ptr<Menu> programMenu() {
    auto app = std::make_shared<Menu>(QStringLiteral("Mondrel"));
    app->addItem(QStringLiteral("Quit Mondrel"), QStringLiteral("terminate:"), QStringLiteral("q"));
    auto edit = std::make_shared<Menu>(QStringLiteral("Edit"));
    edit->addItem(QStringLiteral("Copy"), QStringLiteral("copy:"), QStringLiteral("c"));
    auto main = std::make_shared<Menu>();
    main->addSubmenu(app);
    main->addSubmenu(edit);
    return main;
}

} // namespace

TEST(QuintorMenuHygieneTest, EmptiesTextEditingTextFormattingAndToolbarInThatOrder) {
    const SceneCommands commands = QuintorMenuHygiene::commands();
    ASSERT_EQ(commands.size(), 3u);
    EXPECT_EQ(commands[0].placement, CommandGroupPlacement::textEditing);
    EXPECT_EQ(commands[1].placement, CommandGroupPlacement::textFormatting);
    EXPECT_EQ(commands[2].placement, CommandGroupPlacement::toolbar);
    for (const CommandGroup& group : commands)
        EXPECT_TRUE(group.items.empty());
}

TEST(QuintorMenuHygieneTest, ComposedMenuKeepsOnlyTheProgramsOwnItems) {
    const auto program = programMenu();
    const MainMenuComposer composer(QuintorMenuHygiene::commands(), standardGroups());
    const auto composed = composer.compose(*program);

    // No Format or View menu appears for groups that were emptied, and Edit keeps only Copy.
    EXPECT_EQ(titles(*composed), (QStringList{QStringLiteral("Mondrel"), QStringLiteral("Edit")}));
    EXPECT_EQ(titles(*composed->items()[1]->submenu), QStringList{QStringLiteral("Copy")});
}

TEST(QuintorMenuHygieneTest, WithoutSceneCommandsTheStandardGroupsArriveAndTheProgramMenuStaysUntouched) {
    const auto program = programMenu();
    const MainMenuComposer composer({}, standardGroups());
    const auto composed = composer.compose(*program);

    EXPECT_EQ(titles(*composed), (QStringList{QStringLiteral("Mondrel"), QStringLiteral("Edit"),
                                              QStringLiteral("Format"), QStringLiteral("View")}));
    EXPECT_EQ(titles(*composed->items()[1]->submenu),
              (QStringList{QStringLiteral("Copy"), QStringLiteral("Find…"), QStringLiteral("Spelling")}));
    // The program's Edit menu is not the one that received the group.
    EXPECT_EQ(titles(*program->items()[1]->submenu), QStringList{QStringLiteral("Copy")});
    EXPECT_EQ(program->count(), 2);
}

TEST(QuintorMenuHygieneTest, AReplacementWithItemsTakesTheGroupsPlace) {
    const MainMenuComposer composer({{CommandGroupPlacement::toolbar, itemsTitled({"Own Toolbar"})}},
                                    standardGroups());
    const auto composed = composer.compose(*programMenu());

    ASSERT_EQ(composed->count(), 4);
    EXPECT_EQ(titles(*composed->items()[3]->submenu), QStringList{QStringLiteral("Own Toolbar")});
}
