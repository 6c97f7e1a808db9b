#pragma once

#include "utilities/Instant.h"

#include <QByteArray>
#include <QString>
#include <optional>

// The held OAuth tokens of the Google account, kept as one JSON object in the secret store.
struct GoogleTokenSet {
    QString accessToken;
    std::optional<QString> refreshToken;
    Instant expiresAt;
    std::optional<QString> email;

    // {"accessToken", "refreshToken"?, "expiresAt" (UTC, whole seconds, "Z"), "email"?}
    QByteArray toJson() const;
    // Nothing unless "accessToken" and "expiresAt" are there with the right types.
    static std::optional<GoogleTokenSet> fromJson(const QByteArray& json);

    bool operator==(const GoogleTokenSet&) const = default;
};
