#pragma once

#include "account/QuintorAccountManager.h"

#include <QObject>

// The application's side of the account: builds the account configuration and the one manager of the
// process, and answers what the signed-in session is.
class QuintorAccountBridge final : public QObject {
    Q_OBJECT
public:
    struct CurrentSession {
        QString qas;
        QString accountID;
        QString email;
        bool operator==(const CurrentSession&) const = default;
    };

    explicit QuintorAccountBridge(SecretStore& store, QuintorAccountManager::Clock clock = &Instant::now,
                                  QObject* parent = nullptr);

    // The configuration of this program: the account servers, the "mondrel://auth/callback" return, the
    // stored session's item, log category "account".
    static QuintorConfig makeConfig();

    QuintorAccountManager& manager() { return manager_; }
    const QuintorAccountManager& manager() const { return manager_; }

    // Present only while the manager is signed in and the stored session can be read; reads the secret
    // store on every call and changes nothing in it.
    QCoro::Task<std::optional<CurrentSession>> currentSession();
    // What the last `currentSession()` read, for a view that cannot wait for the store; like it, present only
    // while the manager is signed in.
    std::optional<CurrentSession> lastReadSession() const {
        return manager_.state() == QuintorAccountManager::State::signedIn ? lastReadSession_ : std::nullopt;
    }

signals:
    void lastReadSessionChanged();

private:
    SecretStore& store_;
    QuintorAccountManager manager_;
    std::optional<CurrentSession> lastReadSession_;
};
