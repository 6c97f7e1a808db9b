#pragma once

#include <QString>
#include <optional>

// Where the Google source stands. Only `connected` lets it serve and fetch events.
class GoogleConnectionState {
public:
    enum class Kind { connected, notConfigured, notConnected, connecting, needsReconnect };

    static GoogleConnectionState connected(std::optional<QString> email) {
        return GoogleConnectionState(Kind::connected, std::move(email));
    }
    static GoogleConnectionState notConfigured() { return GoogleConnectionState(Kind::notConfigured); }
    static GoogleConnectionState notConnected() { return GoogleConnectionState(Kind::notConnected); }
    static GoogleConnectionState connecting() { return GoogleConnectionState(Kind::connecting); }
    static GoogleConnectionState needsReconnect() { return GoogleConnectionState(Kind::needsReconnect); }

    Kind kind() const { return kind_; }
    bool isConnected() const { return kind_ == Kind::connected; }
    // The account's address while connected, when known.
    const std::optional<QString>& email() const { return email_; }

    bool operator==(const GoogleConnectionState&) const = default;

private:
    explicit GoogleConnectionState(Kind kind, std::optional<QString> email = std::nullopt)
        : kind_(kind), email_(std::move(email)) {}

    Kind kind_;
    std::optional<QString> email_;
};
