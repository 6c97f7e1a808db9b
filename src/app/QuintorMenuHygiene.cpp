#include "app/QuintorMenuHygiene.h"

SceneCommands QuintorMenuHygiene::commands() {
    return {
        {CommandGroupPlacement::textEditing, {}},
        {CommandGroupPlacement::textFormatting, {}},
        {CommandGroupPlacement::toolbar, {}},
    };
}
