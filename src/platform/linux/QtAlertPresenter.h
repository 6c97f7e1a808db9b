#pragma once

#include "platform/AlertPresenter.h"

// Alerts as modal message boxes.
class QtAlertPresenter final : public AlertPresenter {
public:
    int runModal(const Alert& alert) override;
};
