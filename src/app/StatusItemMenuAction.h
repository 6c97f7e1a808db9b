#pragma once

#include "platform/MenuModel.h"

#include <functional>

// Lets a closure serve as a menu item's target: the item sends "fire" and the closure runs.
class StatusItemMenuAction final : public ActionResponder {
public:
    static inline const QString kFire = QStringLiteral("fire");

    explicit StatusItemMenuAction(std::function<void()> run) : run_(std::move(run)) {}

    void fire() const {
        if (run_)
            run_();
    }
    bool tryToPerform(const QString& action, const MenuItem* /*sender*/) override {
        if (action != kFire)
            return false;
        fire();
        return true;
    }

private:
    std::function<void()> run_;
};
