#include "utilities/MondrelTheme.h"

#include <gtest/gtest.h>

TEST(MondrelTheme, AccentIsOneColour) {
    EXPECT_EQ(&MondrelTheme::accent(), &MondrelTheme::accent());
    EXPECT_EQ(MondrelTheme::accent().red(), 255);
    EXPECT_EQ(MondrelTheme::onAccent(), QColor(Qt::white));
}
