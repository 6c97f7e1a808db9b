#include "account/QuintorAccountBridge.h"

#include "utilities/Constants.h"

#include <QPointer>

QuintorAccountBridge::QuintorAccountBridge(SecretStore& store, QuintorAccountManager::Clock clock,
                                           QObject* parent)
    : QObject(parent), store_(store), manager_(makeConfig(), store, std::move(clock)) {}

QuintorConfig QuintorAccountBridge::makeConfig() {
    return {Constants::Auth::authorityURL(), Constants::Auth::identityURL(), Constants::Auth::redirectURI(),
            QStringLiteral("mondrel"),       StoredSession::keychainItem(),  QStringLiteral("account")};
}

QCoro::Task<std::optional<QuintorAccountBridge::CurrentSession>> QuintorAccountBridge::currentSession() {
    const QPointer<QuintorAccountBridge> self(this);
    std::optional<CurrentSession> current;
    if (manager_.state() == QuintorAccountManager::State::signedIn) {
        QCoro::Task<SecretStore::Reply> reading = store_.read(manager_.config().keychainItem);
        const SecretStore::Reply item = co_await reading;
        if (item.status == SecretStore::Status::failure)
            Log(manager_.config().logCategory)
                .error(QStringLiteral("current_session_unreadable keychain=") + item.failureReason);
        const std::optional<StoredSession> session =
            item.status == SecretStore::Status::success ? StoredSession::fromJson(item.data) : std::nullopt;
        if (session)
            current = CurrentSession{session->qas, session->account.id, session->account.primaryEmail};
    }
    if (self && lastReadSession_ != current) {
        lastReadSession_ = current;
        emit lastReadSessionChanged();
    }
    co_return current;
}
