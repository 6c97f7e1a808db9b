#pragma once

#include "platform/AlertPresenter.h"

#include <vector>

// Answers every alert with `choice` and keeps what it was shown.
class ScriptedAlertPresenter final : public AlertPresenter {
public:
    int runModal(const Alert& alert) override {
        shown.push_back(alert);
        return choice;
    }

    int choice = 0;
    std::vector<Alert> shown;
};
