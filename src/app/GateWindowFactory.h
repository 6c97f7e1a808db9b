#pragma once

#include "platform/WindowSystem.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <optional>

class AccountModel;
class QuintorAccountBridge;

// What the content of the sign-in gate is built from.
struct GateContent {
    // Called after a successful sign-in: closes the gate.
    std::function<void()> onComplete;
    // The gate window while it exists: the anchor of the sign-in's presentation.
    std::function<std::optional<WindowId>()> hostWindow;
    AccountModel& account;
    QuintorAccountBridge& bridge;
};

// A gate window made by the composition root: its identity, and the object whose deletion destroys it.
struct GateWindowHandle {
    WindowId id = 0;
    QPointer<QObject> window;
};

// Makes the fixed-size gate window around the login-first flow, with the main menu as its menu bar,
// hidden; nothing when it cannot.
using GateWindowFactory = std::function<std::optional<GateWindowHandle>(GateContent content)>;
