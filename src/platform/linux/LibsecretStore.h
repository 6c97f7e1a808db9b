#pragma once

#include "platform/SecretStore.h"

#include <QThreadPool>

#include <functional>
#include <memory>

// Items of the freedesktop Secret Service (gnome-keyring, KWallet) in the default collection, found by the
// attributes `service` and `account`. The default collection is unlocked at login, which is as close as this
// platform comes to "readable after the first unlock".
//
// libsecret answers only synchronously without a GLib main loop of the caller's, so every call runs on a
// worker thread of its own, one call after another in the order they were made. Reaching the service must
// succeed within `kConnectTimeoutMilliseconds` or the call fails as unreachable; an unlock prompt after
// that may stay open for as long as the person needs.
class LibsecretStore final : public SecretStore {
public:
    static constexpr int kConnectTimeoutMilliseconds = 500;

    LibsecretStore();
    // Cancels what is still running (dismissing an open prompt) and waits for the worker to end.
    ~LibsecretStore() override;
    LibsecretStore(const LibsecretStore&) = delete;
    LibsecretStore& operator=(const LibsecretStore&) = delete;

    QCoro::Task<Reply> update(ItemKey key, QByteArray data) override;
    QCoro::Task<Reply> add(ItemKey key, QByteArray data) override;
    QCoro::Task<Reply> read(ItemKey key) override;
    QCoro::Task<Reply> remove(ItemKey key) override;

    // False when no session bus is configured: then every call fails without trying (libsecret would
    // otherwise try to autolaunch a bus).
    static bool hasSessionBus();

    // Kept to the .cpp: the service reached for one call, and what the store's end cancels.
    struct Connection;
    struct Shutdown;
    using Operation = std::function<Reply(Connection&)>;

private:
    QCoro::Task<Reply> call(Operation operation);

    std::shared_ptr<Shutdown> shutdown_;
    QThreadPool worker_;
};
