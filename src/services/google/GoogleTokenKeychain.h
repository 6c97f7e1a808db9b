#pragma once

#include "platform/SecretStore.h"
#include "services/google/GoogleTokenSet.h"

// The one secret-store item that holds the Google token set. Failures are ignored: the service goes on with
// the token set it holds in memory.
class GoogleTokenKeychain {
public:
    explicit GoogleTokenKeychain(SecretStore& store) : store_(store) {}

    // Service: the bundle identifier + ".google-calendar"; account: "oauth-tokens".
    static SecretStore::ItemKey baseKeychainQuery();

    // Update, and add only when there is no item yet.
    void write(const GoogleTokenSet& tokens) const;
    void remove() const;
    std::optional<GoogleTokenSet> read() const;

private:
    SecretStore& store_;
};
