#pragma once

#include "platform/SingleInstance.h"

#include <QStringList>

// A single-instance check that answers `role` and records what it was handed.
class ScriptedSingleInstance final : public SingleInstance {
public:
    Role claim(const QStringList& urls) override {
        if (journal)
            *journal << QStringLiteral("claim");
        claimedWith = urls;
        ++claims;
        return role;
    }
    void setHandlers(Handlers newHandlers) override { handlers = std::move(newHandlers); }

    Role role = Role::primary;
    // Where "claim" is noted, when set.
    QStringList* journal = nullptr;
    QStringList claimedWith;
    int claims = 0;
    Handlers handlers;
};
