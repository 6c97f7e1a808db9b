#pragma once

#include "platform/MenuModel.h"

#include <memory>

// The running application as an action target: "terminate:" ends its event loop, and with it the program.
class SharedApplication final : public ActionResponder {
public:
    static inline const QString kTerminate = QStringLiteral("terminate:");

    static const std::shared_ptr<SharedApplication>& shared();

    bool tryToPerform(const QString& action, const MenuItem* sender) override;
};
