#include "services/google/GoogleTokenKeychain.h"

#include "utilities/Constants.h"

SecretStore::ItemKey GoogleTokenKeychain::baseKeychainQuery() {
    return {Constants::kBundleIdentifier + QStringLiteral(".google-calendar"),
            QStringLiteral("oauth-tokens")};
}

void GoogleTokenKeychain::write(const GoogleTokenSet& tokens) const {
    const QByteArray json = tokens.toJson();
    if (store_.update(baseKeychainQuery(), json) == SecretStore::Status::notFound)
        store_.add(baseKeychainQuery(), json);
}

void GoogleTokenKeychain::remove() const {
    store_.remove(baseKeychainQuery());
}

std::optional<GoogleTokenSet> GoogleTokenKeychain::read() const {
    const SecretStore::ReadResult result = store_.read(baseKeychainQuery());
    if (result.status != SecretStore::Status::success)
        return std::nullopt;
    return GoogleTokenSet::fromJson(result.data);
}
