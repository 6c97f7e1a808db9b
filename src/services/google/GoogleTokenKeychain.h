#pragma once

#include "platform/SecretStore.h"
#include "services/google/GoogleTokenSet.h"

#include <qcoro/qcorotask.h>

#include <memory>
#include <optional>

// The one secret-store item that holds the Google token set. Writes and removals reach the store one after
// another in the order they were asked for, so a removal is never overtaken by the write before it, and
// nobody waits for them. Failures are logged with the store's reason and otherwise ignored: the service goes
// on with the token set it holds in memory.
class GoogleTokenKeychain {
public:
    explicit GoogleTokenKeychain(SecretStore& store);

    // Service: the bundle identifier + ".google-calendar"; account: "oauth-tokens".
    static SecretStore::ItemKey baseKeychainQuery();

    // Update, and add only when there is no item yet.
    void write(const GoogleTokenSet& tokens);
    void remove();
    // Nothing when no token set is stored, or when it cannot be read (logged).
    QCoro::Task<std::optional<GoogleTokenSet>> read() const;

    struct Changes;

private:
    std::shared_ptr<Changes> changes_;
};
