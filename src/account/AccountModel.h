#pragma once

#include "account/QuintorAccountBridge.h"

#include <QObject>
#include <qcoro/qcorotask.h>

#include <optional>

// The account state the windows show: which screen to route to, whether someone is signed in and who.
class AccountModel final : public QObject {
    Q_OBJECT
public:
    enum class Route { signIn, calendar };

    explicit AccountModel(QuintorAccountBridge& bridge, QObject* parent = nullptr);

    QuintorAccountBridge& bridge() const { return bridge_; }
    Route route() const { return route_; }
    bool isSignedIn() const { return isSignedIn_; }
    std::optional<QuintorAccount> account() const { return account_; }

    // Reads the session afresh: signed in exactly when the bridge has a current session. Never throws.
    QCoro::Task<> refresh();
    // Signs out, ignoring a failure of the manager, and routes to sign-in. Never throws.
    QCoro::Task<> signOut();

signals:
    void routeChanged();
    void isSignedInChanged();
    void accountChanged();

private:
    void apply(bool signedIn, std::optional<QuintorAccount> account);

    QuintorAccountBridge& bridge_;
    Route route_ = Route::signIn;
    bool isSignedIn_ = false;
    std::optional<QuintorAccount> account_;
};
