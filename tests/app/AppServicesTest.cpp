#include "support/ServicesFixture.h"

using AppServicesTest = ServicesFixture;

TEST_F(AppServicesTest, BothScenesGetTheSameSevenObjectsAndTheAccountTheFirstBridge) {
    AppServices& built = services();
    EXPECT_EQ(&built.account().bridge(), &built.bridge());

    const SceneEnvironment popover = built.environment();
    const SceneEnvironment settings = built.environment();
    EXPECT_EQ(&popover.account, &settings.account);
    EXPECT_EQ(&popover.account, &built.account());
    EXPECT_EQ(&popover.calendar, &built.calendar());
    EXPECT_EQ(&popover.events, &built.events());
    EXPECT_EQ(&popover.google, &built.google());
    EXPECT_EQ(&popover.bridge, &built.bridge());
    EXPECT_EQ(&popover.updater, &built.updater());
    EXPECT_EQ(&popover.launchAtLogin, &built.launchAtLogin());
    // The event store was made once, for the events service.
    EXPECT_FALSE(pendingStore);
}
