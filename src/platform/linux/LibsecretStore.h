#pragma once

#include "platform/SecretStore.h"

// Items of the freedesktop Secret Service (gnome-keyring, KWallet) in the default collection, found by the
// attributes `service` and `account`. The default collection is unlocked at login, which is as close as this
// platform comes to "readable after the first unlock".
class LibsecretStore final : public SecretStore {
public:
    Status update(const ItemKey& key, const QByteArray& data) override;
    Status add(const ItemKey& key, const QByteArray& data) override;
    ReadResult read(const ItemKey& key) override;
    Status remove(const ItemKey& key) override;

    // False when no session bus is configured: then every call fails without trying (libsecret would
    // otherwise try to autolaunch a bus).
    static bool hasSessionBus();
};
