#pragma once

#include "platform/LoginItems.h"

#include <QStringList>

#include <optional>

// Scripted login items: `statusValue` is what the system reports; a register or unregister either moves it
// to `statusAfterRegister` / notRegistered or throws `failure` and changes nothing.
class FakeLoginItems final : public LoginItems {
public:
    LoginItemStatus status() const override {
        ++statusReads;
        return statusValue;
    }
    void registerItem() override {
        calls << QStringLiteral("register");
        if (failure)
            throw LoginItemsError(*failure);
        statusValue = statusAfterRegister;
    }
    void unregisterItem() override {
        calls << QStringLiteral("unregister");
        if (failure)
            throw LoginItemsError(*failure);
        statusValue = LoginItemStatus::notRegistered;
    }
    void openSettings() override { calls << QStringLiteral("openSettings"); }

    LoginItemStatus statusValue = LoginItemStatus::notRegistered;
    LoginItemStatus statusAfterRegister = LoginItemStatus::enabled;
    std::optional<QString> failure;
    QStringList calls;
    mutable int statusReads = 0;
};
