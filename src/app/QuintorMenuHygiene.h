#pragma once

#include "app/SceneCommands.h"

// The commands the program's scenes carry: they empty the text-editing, text-formatting and toolbar groups,
// so that no menu layer fills the main menu with commands that this program has no use for.
class QuintorMenuHygiene {
public:
    QuintorMenuHygiene() = delete;

    static SceneCommands commands();
};
