#pragma once

#include "account/AccountModel.h"
#include "account/QuintorAccountBridge.h"
#include "account/StoredSession.h"
#include "support/InMemorySecretStore.h"
#include "support/TaskOutcome.h"

#include <exception>

inline QuintorAccountError::Kind errorKind(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const QuintorAccountError& e) {
        return e.kind();
    }
}

// A session issued a minute before `now` that expires `expiresIn` seconds after it.
inline StoredSession sampleSession(Instant now, double expiresIn = 3600) {
    return {QStringLiteral("qas_token_1"),
            QStringLiteral("refresh_1"),
            now.addingSeconds(expiresIn),
            {QStringLiteral("qa_01936f3c-6c2e-7a4b-9d1e-2f3a4b5c6d7e"),
             QStringLiteral("ada@example.org"),
             {QStringLiteral("google")}},
            QStringLiteral("mondrel"),
            now.addingSeconds(-60)};
}
