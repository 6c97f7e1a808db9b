#pragma once

#include "app/GateWindowFactory.h"

#include <functional>

class QWidget;

// Makes the sign-in gate: a window titled "Mondrel", only titled and closable, whose content is the
// login-first flow at a fixed 520 x 640, centred on the screen, hidden and kept when closed. `adopt` gives
// the new window its menu bar and answers its identity.
GateWindowFactory makeGateWindowFactory(std::function<WindowId(QWidget* window)> adopt);
