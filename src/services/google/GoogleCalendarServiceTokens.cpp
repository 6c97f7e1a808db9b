// The token side of GoogleCalendarService: access token, single-flight refresh, reconnect and disconnect.
#include "services/google/GoogleCalendarError.h"
#include "services/google/GoogleCalendarService.h"
#include <algorithm>

#include <QPromise>
#include <algorithm>
#include <cmath>
#include <qcoro/qcorofuture.h>

namespace {

bool isInvalidGrant(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const GoogleCalendarError& error) {
        return error.kind() == GoogleCalendarError::Kind::oauth &&
               error.oauthCode() == QLatin1String("invalid_grant");
    } catch (...) {
        return false;
    }
}

} // namespace

QCoro::Task<QString> GoogleCalendarService::validAccessToken(bool forceRefresh) {
    if (!tokens_)
        throw GoogleCalendarError::notConnected();
    if (!forceRefresh && tokens_->expiresAt > now().addingSeconds(kAccessTokenMarginSeconds))
        co_return QString(tokens_->accessToken); // QCoro's return_value moves from an lvalue it is given
    if (refreshTask_) {
        // Joined, not repeated: the caller that started it stores the result.
        QFuture<TokenSet> running = *refreshTask_;
        const TokenSet refreshed = co_await running;
        co_return refreshed.accessToken;
    }
    if (!tokens_->refreshToken || tokens_->refreshToken->isEmpty()) {
        markNeedsReconnect();
        throw GoogleCalendarError::needsReconnect();
    }

    auto promise = std::make_shared<QPromise<TokenSet>>();
    promise->start();
    QFuture<TokenSet> refresh = promise->future();
    refreshTask_ = refresh;
    const quint64 generation = tokenGeneration_;
    const std::weak_ptr<const bool> alive = alive_;
    runRefresh(promise, *tokens_->refreshToken, *tokens_);

    std::optional<TokenSet> refreshed;
    std::exception_ptr failure;
    try {
        refreshed = co_await refresh;
    } catch (...) {
        failure = std::current_exception();
    }
    if (alive.expired()) {
        // Nothing left to store the tokens in.
        if (failure)
            std::rethrow_exception(failure);
        co_return refreshed->accessToken;
    }
    refreshTask_.reset();
    // Disconnected while the refresh was on the network: its answer, a rejection of the revoked token
    // included, concerns tokens that are gone; storing them or asking for a reconnect would undo the
    // disconnect.
    if (generation != tokenGeneration_)
        throw GoogleCalendarError::notConnected();
    if (failure) {
        if (isInvalidGrant(failure)) {
            log_.warning(QStringLiteral("refresh rejected (invalid_grant) — reconnect required"));
            markNeedsReconnect();
            throw GoogleCalendarError::needsReconnect();
        }
        std::rethrow_exception(failure);
    }
    setTokens(refreshed);
    keychain_.write(*refreshed);
    co_return refreshed->accessToken;
}

QCoro::Task<> GoogleCalendarService::runRefresh(std::shared_ptr<QPromise<TokenSet>> promise,
                                                QString refreshToken, TokenSet current) {
    const std::weak_ptr<const bool> alive = alive_;
    try {
        const QMap<QString, QString> form{{QStringLiteral("client_id"), clientID_},
                                          {QStringLiteral("grant_type"), QStringLiteral("refresh_token")},
                                          {QStringLiteral("refresh_token"), refreshToken}};
        auto post = tokenClient_.postTokenRequest(form);
        const GTokenResponse answer = co_await post;
        if (alive.expired())
            throw GoogleCalendarError::notConnected();
        if (!answer.access_token)
            throw GoogleCalendarError::malformedResponse();
        for (const std::optional<QString>& token : {answer.access_token, answer.refresh_token}) {
            if (token && token->toUtf8().size() > GTokenResponse::kMaxTokenBytes)
                throw GoogleCalendarError::malformedResponse(
                    QStringLiteral("token_over_%1_bytes").arg(GTokenResponse::kMaxTokenBytes));
            // A token goes into a header line: a line break or a control in it would add headers of the
            // server's choosing to every later request.
            if (token && std::any_of(token->cbegin(), token->cend(),
                                     [](QChar c) { return c.unicode() < 0x21 || c.unicode() > 0x7e; }))
                throw GoogleCalendarError::malformedResponse(QStringLiteral("token_not_printable_ascii"));
        }
        const Instant answeredAt = now();
        TokenSet refreshed = current;
        refreshed.accessToken = *answer.access_token;
        const Instant expiresAt =
            answer.expires_in
                ? answeredAt.addingSeconds(double(*answer.expires_in) - kExpiryShorteningSeconds)
                : answeredAt.addingSeconds(kAssumedLifetimeSeconds);
        // Whole seconds, as the store keeps it: what the next launch reads back is what is held now.
        refreshed.expiresAt = Instant::fromSecondsSince1970(std::floor(expiresAt.secondsSince1970()));
        if (answer.refresh_token)
            refreshed.refreshToken = answer.refresh_token;
        promise->addResult(refreshed);
    } catch (...) {
        promise->setException(std::current_exception());
    }
    promise->finish();
}

void GoogleCalendarService::markNeedsReconnect() {
    ++tokenGeneration_;
    setTokens(std::nullopt);
    keychain_.remove();
    clearCache();
    setState(ConnectionState::needsReconnect());
}

// The authorization leg (consent page, redirect, code exchange) is not part of this program: without it
// there is nothing to start.
void GoogleCalendarService::connect() {}

void GoogleCalendarService::cancelConnect() {
    if (pendingAuth_)
        pendingAuth_->watchdog.cancel();
    setPendingAuth(std::nullopt);
    if (state_.kind() == ConnectionState::Kind::connecting)
        setState(tokens_ ? ConnectionState::connected(tokens_->email) : ConnectionState::notConnected());
}

void GoogleCalendarService::disconnect() {
    std::optional<QString> revoked;
    if (tokens_)
        revoked = tokens_->refreshToken ? tokens_->refreshToken : tokens_->accessToken;
    // Nobody waits for the revocation; it ends on its own.
    tokenClient_.revoke(revoked);

    ++tokenGeneration_;
    setTokens(std::nullopt);
    keychain_.remove();
    clearCache();
    setLastErrorMessage(std::nullopt);
    setState(ConnectionState::notConnected());
}
