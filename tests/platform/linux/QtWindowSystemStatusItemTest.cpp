#include "platform/linux/QtWindowSystem.h"
#include "support/QtPrinters.h"

#include <QWidget>
#include <gtest/gtest.h>

TEST(QtWindowSystemStatusItemTest, ThePopoverOpensOnlyThroughAnInstalledOpener) {
    QtWindowSystem system;
    EXPECT_FALSE(system.openStatusItemPopover()) << "no tray icon: fails silently";
    int opened = 0;
    system.setStatusItemPopoverOpener([&] {
        ++opened;
        return true;
    });
    EXPECT_TRUE(system.openStatusItemPopover());
    EXPECT_EQ(opened, 1);
}

TEST(QtWindowSystemStatusItemTest, ClosingAWindowByItsIdentityAnnouncesTheClose) {
    QtWindowSystem system;
    QWidget window;
    window.show();
    int closes = 0;
    const Observation observation = system.observeWillClose(QtWindowSystem::idOf(&window), [&] { ++closes; });
    system.close(QtWindowSystem::idOf(&window));
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(closes, 1);
    system.close(WindowId(1)); // unknown: nothing happens
}
