#include "account/AccountModel.h"

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
    const bool signedIn = bridge_.currentSession().has_value();
    apply(signedIn, signedIn ? bridge_.manager().account() : std::nullopt);
    co_return;
}

QCoro::Task<> AccountModel::signOut() {
    try {
        QCoro::Task<> signingOut = bridge_.manager().signOut();
        co_await signingOut;
    } catch (...) {
        // The manager is signed out in memory whatever the store answered.
    }
    apply(false, std::nullopt);
}
