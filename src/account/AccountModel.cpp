#include "account/AccountModel.h"

#include <QPointer>

AccountModel::AccountModel(QuintorAccountBridge& bridge, QObject* parent)
    : QObject(parent), bridge_(bridge) {}

void AccountModel::apply(bool signedIn, std::optional<QuintorAccount> account) {
    if (isSignedIn_ != signedIn) {
        isSignedIn_ = signedIn;
        emit isSignedInChanged();
    }
    if (account_ != account) {
        account_ = std::move(account);
        emit accountChanged();
    }
    const Route route = signedIn ? Route::calendar : Route::signIn;
    if (route_ != route) {
        route_ = route;
        emit routeChanged();
    }
}

QCoro::Task<> AccountModel::refresh() {
    const QPointer<AccountModel> self(this);
    QCoro::Task<std::optional<QuintorAccountBridge::CurrentSession>> reading = bridge_.currentSession();
    const bool signedIn = (co_await reading).has_value();
    if (self)
        apply(signedIn, signedIn ? bridge_.manager().account() : std::nullopt);
}

QCoro::Task<> AccountModel::signOut() {
    const QPointer<AccountModel> self(this);
    try {
        QCoro::Task<> signingOut = bridge_.manager().signOut();
        co_await signingOut;
    } catch (...) {
        // The manager is signed out in memory whatever the store answered.
    }
    if (self)
        apply(false, std::nullopt);
}
