#include "account/QuintorAccountManager.h"

#include <algorithm>

namespace {

const char* reasonText(QuintorAccountError::Kind kind) {
    switch (kind) {
    case QuintorAccountError::Kind::keychainUnavailable:
        return "keychain_unavailable";
    case QuintorAccountError::Kind::malformedSession:
        return "malformed_session";
    case QuintorAccountError::Kind::refreshUnavailable:
        return "refresh_unavailable";
    }
    return "unknown";
}

} // namespace

QuintorAccountManager::QuintorAccountManager(QuintorConfig config, SecretStore& store, Clock clock)
    : config_(std::move(config)), store_(store), clock_(std::move(clock)), log_(config_.logCategory) {}

QuintorAccountManager::State QuintorAccountManager::state() const {
    const std::lock_guard lock(mutex_);
    return state_;
}

std::optional<QuintorAccount> QuintorAccountManager::account() const {
    const std::lock_guard lock(mutex_);
    return account_;
}

void QuintorAccountManager::setState(State state, std::optional<QuintorAccount> account) {
    const std::lock_guard lock(mutex_);
    state_ = state;
    account_ = state == State::signedIn ? std::move(account) : std::nullopt;
}

void QuintorAccountManager::fail(QuintorAccountError::Kind kind, const QString& keychainReason) {
    setState(State::failed);
    QString line = QStringLiteral("session_restore_failed reason=") + QLatin1String(reasonText(kind));
    if (!keychainReason.isEmpty())
        line += QStringLiteral(" keychain=") + keychainReason;
    log_.error(line);
    throw QuintorAccountError(kind);
}

// Only an answer of "no such item" reads as signed out: a store that is locked, refused to unlock or did not
// answer fails the restore and leaves the item alone.
QCoro::Task<std::optional<QuintorAccount>> QuintorAccountManager::restore(bool forceRefresh) {
    QCoro::Task<SecretStore::Reply> reading = store_.read(config_.keychainItem);
    const SecretStore::Reply item = co_await reading;
    if (item.status == SecretStore::Status::notFound) {
        setState(State::signedOut);
        co_return std::nullopt;
    }
    if (item.status != SecretStore::Status::success)
        fail(QuintorAccountError::Kind::keychainUnavailable, item.failureReason);
    const std::optional<StoredSession> session = StoredSession::fromJson(item.data);
    if (!session)
        fail(QuintorAccountError::Kind::malformedSession);
    if (forceRefresh || session->isExpired(clock_()))
        fail(QuintorAccountError::Kind::refreshUnavailable);
    setState(State::signedIn, session->account);
    log_.info(QStringLiteral("session_restored"));
    co_return session->account;
}

bool QuintorAccountManager::resume(const QUrl& url) {
    Q_UNUSED(url);
    log_.info(QStringLiteral("sign_in_resume_refused reason=no_sign_in_in_progress"));
    return false;
}

bool QuintorAccountManager::cancelSignIn() {
    log_.info(QStringLiteral("sign_in_cancel reason=no_sign_in_in_progress"));
    return false;
}

QCoro::Task<> QuintorAccountManager::signOut() {
    QCoro::Task<SecretStore::Reply> removing = store_.remove(config_.keychainItem);
    const SecretStore::Reply removed = co_await removing;
    setState(State::signedOut);
    if (removed.status != SecretStore::Status::success && removed.status != SecretStore::Status::notFound) {
        log_.error(QStringLiteral("sign_out_keychain_failed keychain=") + removed.failureReason);
        throw QuintorAccountError(QuintorAccountError::Kind::keychainUnavailable);
    }
    log_.info(QStringLiteral("signed_out"));
    co_return;
}

void QuintorAccountManager::activateForAuthReturn(WindowSystem& windowSystem,
                                                  std::optional<WindowId> bringing) {
    windowSystem.activate();
    if (bringing) {
        windowSystem.makeKeyAndOrderFront(*bringing);
        windowSystem.orderFrontRegardless(*bringing);
        return;
    }
    const std::vector<WindowDescription> windows = windowSystem.windows();
    const auto firstWhere = [&](auto predicate) {
        return std::find_if(windows.begin(), windows.end(), predicate);
    };
    auto chosen = firstWhere([](const WindowDescription& w) { return w.visible && w.key; });
    if (chosen == windows.end())
        chosen = firstWhere([](const WindowDescription& w) { return w.visible && !w.panel; });
    if (chosen == windows.end())
        chosen = firstWhere([](const WindowDescription& w) { return w.visible; });
    if (chosen == windows.end())
        return;
    windowSystem.makeKeyAndOrderFront(chosen->id);
    windowSystem.orderFrontRegardless(chosen->id);
}
