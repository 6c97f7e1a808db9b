#include "account/QuintorAccountBridge.h"

#include "utilities/Constants.h"

QuintorAccountBridge::QuintorAccountBridge(SecretStore& store, QuintorAccountManager::Clock clock,
                                           QObject* parent)
    : QObject(parent), store_(store), manager_(makeConfig(), store, std::move(clock)) {}

QuintorConfig QuintorAccountBridge::makeConfig() {
    return {Constants::Auth::authorityURL(), Constants::Auth::identityURL(), Constants::Auth::redirectURI(),
            QStringLiteral("mondrel"),       StoredSession::keychainItem(),  QStringLiteral("account")};
}

std::optional<QuintorAccountBridge::CurrentSession> QuintorAccountBridge::currentSession() const {
    if (manager_.state() != QuintorAccountManager::State::signedIn)
        return std::nullopt;
    const SecretStore::ReadResult item = store_.read(manager_.config().keychainItem);
    if (item.status != SecretStore::Status::success)
        return std::nullopt;
    const std::optional<StoredSession> session = StoredSession::fromJson(item.data);
    if (!session)
        return std::nullopt;
    return CurrentSession{session->qas, session->account.id, session->account.primaryEmail};
}
