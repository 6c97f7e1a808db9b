#pragma once

#include "platform/StatusItem.h"

// The status item's icon: the program's calendar mark as a one-colour image, 18 by 18 points.
struct MenuBarLabel {
    static StatusItemImage image() { return {QStringLiteral("MondrelMenuBarIcon"), true, QSizeF(18, 18)}; }
};
