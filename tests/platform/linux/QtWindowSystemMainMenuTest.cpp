#include "app/QuintorMenuHygiene.h"
#include "platform/linux/QtWindowSystem.h"

#include <QCoreApplication>
#include <QMenuBar>
#include <QVBoxLayout>
#include <QWidget>
#include <gtest/gtest.h>

TEST(QtWindowSystemMainMenuTest, WindowsShowTheComposedMenuAndTheProgramsMenuWhenNothingComposes) {
    QtWindowSystem windows;
    auto program = std::make_shared<Menu>();
    program->addSubmenu(std::make_shared<Menu>(QStringLiteral("Mondrel")));

    windows.setMainMenu(program);
    EXPECT_EQ(windows.mainMenu(), program);

    const MainMenuComposer composer(QuintorMenuHygiene::commands(),
                                    {{CommandGroupPlacement::textFormatting,
                                      QStringLiteral("Format"),
                                      {std::make_shared<MenuItem>(QStringLiteral("Font"))}},
                                     {CommandGroupPlacement::textEditing,
                                      QStringLiteral("Find"),
                                      {std::make_shared<MenuItem>(QStringLiteral("Find…"))}}});
    windows.setMainMenuComposition([composer](const Menu& menu) { return composer.compose(menu); });
    windows.setMainMenu(program);
    ASSERT_TRUE(windows.mainMenu());
    EXPECT_NE(windows.mainMenu(), program);
    EXPECT_EQ(windows.mainMenu()->count(), 1);

    QWidget window;
    window.setLayout(new QVBoxLayout);
    windows.hostMainMenu(&window);
    const auto* bar = window.findChild<QMenuBar*>();
    ASSERT_TRUE(bar);
    QCoreApplication::processEvents();
    EXPECT_EQ(bar->actions().size(), 1);

    windows.setMainMenu(nullptr);
    EXPECT_FALSE(windows.mainMenu());
}
