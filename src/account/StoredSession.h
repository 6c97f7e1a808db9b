#pragma once

#include "platform/SecretStore.h"
#include "utilities/Instant.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// The signed-in person as the identity server knows them.
struct QuintorAccount {
    // "qa_" followed by a lower-case version-7 UUID.
    QString id;
    QString primaryEmail;
    // The sign-in providers linked to the account ("apple", "google", "email").
    QStringList providers;

    bool operator==(const QuintorAccount&) const = default;
};

// The session kept between launches, as one JSON object in one secret-store item.
struct StoredSession {
    // The session token.
    QString qas;
    QString refreshToken;
    Instant expiresAt;
    QuintorAccount account;
    QString appSlug;
    Instant issuedAt;

    // Service: the bundle identifier; account: "quintor_session".
    static SecretStore::ItemKey keychainItem();

    // Snake-case keys; dates in UTC with milliseconds ("2026-03-18T09:15:00.250Z").
    QByteArray toJson() const;
    // Nothing unless every field is there with the right type; dates are read with or without a fraction.
    static std::optional<StoredSession> fromJson(const QByteArray& json);

    // An expired session cannot be used until its token has been refreshed.
    bool isExpired(Instant now) const { return expiresAt <= now; }

    bool operator==(const StoredSession&) const = default;
};
