#include "services/google/GoogleTokenKeychain.h"

#include "utilities/Constants.h"
#include "utilities/Log.h"

#include <deque>

// The changes not yet made, shared with the coroutine that makes them, which may outlive the keychain.
struct GoogleTokenKeychain::Changes {
    SecretStore& store;
    Log log{QStringLiteral("google-calendar")};
    // A token set to write, or nothing to remove the item.
    std::deque<std::optional<GoogleTokenSet>> pending;
    bool running = false;
};

namespace {

using Reply = SecretStore::Reply;
using Status = SecretStore::Status;

void logFailure(const Log& log, const char* event, const Reply& reply) {
    log.error(QLatin1String(event) + QStringLiteral(" reason=") + reply.failureReason);
}

QCoro::Task<> write(std::shared_ptr<GoogleTokenKeychain::Changes> changes, GoogleTokenSet tokens) {
    const QByteArray json = tokens.toJson();
    QCoro::Task<Reply> updating = changes->store.update(GoogleTokenKeychain::baseKeychainQuery(), json);
    Reply reply = co_await updating;
    if (reply.status == Status::notFound) {
        QCoro::Task<Reply> adding = changes->store.add(GoogleTokenKeychain::baseKeychainQuery(), json);
        reply = co_await adding;
    }
    if (reply.status == Status::failure)
        logFailure(changes->log, "keychain_write_failed", reply);
}

QCoro::Task<> remove(std::shared_ptr<GoogleTokenKeychain::Changes> changes) {
    QCoro::Task<Reply> removing = changes->store.remove(GoogleTokenKeychain::baseKeychainQuery());
    const Reply reply = co_await removing;
    if (reply.status == Status::failure)
        logFailure(changes->log, "keychain_remove_failed", reply);
}

QCoro::Task<> makeChanges(std::shared_ptr<GoogleTokenKeychain::Changes> changes) {
    changes->running = true;
    while (!changes->pending.empty()) {
        const std::optional<GoogleTokenSet> next = changes->pending.front();
        changes->pending.pop_front();
        try {
            QCoro::Task<> change = next ? write(changes, *next) : remove(changes);
            co_await change;
        } catch (const std::exception& error) {
            changes->log.error(QStringLiteral("keychain_change_failed reason=") +
                               QString::fromUtf8(error.what()));
        }
    }
    changes->running = false;
}

void enqueue(const std::shared_ptr<GoogleTokenKeychain::Changes>& changes,
             std::optional<GoogleTokenSet> change) {
    changes->pending.push_back(std::move(change));
    if (!changes->running)
        makeChanges(changes);
}

} // namespace

GoogleTokenKeychain::GoogleTokenKeychain(SecretStore& store)
    : changes_(std::make_shared<Changes>(Changes{store, Log(QStringLiteral("google-calendar")), {}, false})) {
}

SecretStore::ItemKey GoogleTokenKeychain::baseKeychainQuery() {
    return {Constants::kBundleIdentifier + QStringLiteral(".google-calendar"),
            QStringLiteral("oauth-tokens")};
}

void GoogleTokenKeychain::write(const GoogleTokenSet& tokens) {
    enqueue(changes_, tokens);
}

void GoogleTokenKeychain::remove() {
    enqueue(changes_, std::nullopt);
}

QCoro::Task<std::optional<GoogleTokenSet>> GoogleTokenKeychain::read() const {
    const std::shared_ptr<Changes> changes = changes_;
    QCoro::Task<Reply> reading = changes->store.read(baseKeychainQuery());
    const Reply reply = co_await reading;
    if (reply.status == Status::failure)
        logFailure(changes->log, "keychain_read_failed", reply);
    if (reply.status != Status::success)
        co_return std::nullopt;
    co_return GoogleTokenSet::fromJson(reply.data);
}
