#pragma once

#include "account/QuintorAccountError.h"
#include "account/StoredSession.h"
#include "platform/SecretStore.h"
#include "platform/WindowSystem.h"
#include "utilities/Instant.h"
#include "utilities/Log.h"

#include <QUrl>
#include <qcoro/qcorotask.h>

#include <functional>
#include <mutex>
#include <optional>

// Where the account lives and how this program presents itself to it.
struct QuintorConfig {
    QUrl authorityURL;
    QUrl identityURL;
    QUrl redirectURI;
    QString appSlug;
    SecretStore::ItemKey keychainItem;
    QString logCategory;
};

// The account session of the process: restores the stored session, signs out, and owns the sign-in in
// progress. This build has no identity server, so no sign-in is ever in progress and an expired session
// cannot be renewed.
class QuintorAccountManager {
public:
    enum class State { signedOut, signingIn, signedIn, failed };
    using Clock = std::function<Instant()>;

    QuintorAccountManager(QuintorConfig config, SecretStore& store, Clock clock = &Instant::now);

    const QuintorConfig& config() const { return config_; }
    State state() const;
    // The signed-in account; nothing in any other state.
    std::optional<QuintorAccount> account() const;

    // Reads the stored session and signs in with it; nothing, and signed out, when none is stored. Throws
    // `QuintorAccountError` (and moves to failed) when the store does not answer, the item cannot be
    // read, or the token needs a refresh (expired, or `forceRefresh`): the item is then left untouched.
    QCoro::Task<std::optional<QuintorAccount>> restore(bool forceRefresh);
    // Offers a URL to the sign-in in progress; false when none takes it.
    bool resume(const QUrl& url);
    // Abandons the sign-in in progress; false when there is none.
    bool cancelSignIn();
    // Deletes the stored session and moves to signed out, even when the store fails; then throws
    // `QuintorAccountError` if the item may still be there.
    QCoro::Task<> signOut();

    // Activates the program over other programs and fronts `bringing`, else the key window, else the
    // first visible ordinary window, else the first visible window.
    static void activateForAuthReturn(WindowSystem& windowSystem, std::optional<WindowId> bringing);

private:
    void setState(State state, std::optional<QuintorAccount> account = std::nullopt);
    [[noreturn]] void fail(QuintorAccountError::Kind kind, const QString& keychainReason = {});

    QuintorConfig config_;
    SecretStore& store_;
    Clock clock_;
    Log log_;
    mutable std::mutex mutex_;
    State state_ = State::signedOut;
    std::optional<QuintorAccount> account_;
};
