#include "services/google/GoogleCalendarService.h"

#include "models/CalendarModel.h"
#include "services/google/GoogleCalendarError.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>

GoogleCalendarService::GoogleCalendarService(Environment environment, QObject* parent)
    : QObject(parent), queue_(environment.mainQueue), clientID_(environment.clientID),
      network_(environment.network ? environment.network : new QNetworkAccessManager(this)),
      ownsNetwork_(!environment.network),
      client_(network_, environment.endpoints.calendarAPI, environment.limits),
      tokenClient_(network_, environment.endpoints.token, environment.endpoints.revoke, environment.limits),
      keychain_(environment.secretStore) {
    if (clientID_.isEmpty())
        return;
    state_ = ConnectionState::notConnected();
    restoreTokens();
}

// A store that answers at once (or has no item) leaves the service as it would have been built; one that
// asks to be unlocked first connects the service once it has answered.
QCoro::Task<> GoogleCalendarService::restoreTokens() {
    const std::weak_ptr<const bool> alive = alive_;
    const quint64 generation = tokenGeneration_;
    std::optional<TokenSet> stored;
    try {
        QCoro::Task<std::optional<TokenSet>> reading = keychain_.read();
        stored = co_await reading;
    } catch (const std::exception&) {
        co_return; // nothing was read: the service stays not connected
    }
    // Tokens received or dropped meanwhile are newer than the stored ones.
    if (!stored || alive.expired() || generation != tokenGeneration_ || tokens_)
        co_return;
    setTokens(stored);
    setState(ConnectionState::connected(stored->email));
}

GoogleCalendarService::~GoogleCalendarService() {
    alive_.reset();
    // Replies that our own network manager would delete unanswered would leave their coroutines waiting
    // forever; aborted, they end now and find the service gone. Aborting one can end others (a failed
    // fan-out cancels its siblings), so the list holds pointers that clear when their reply is gone.
    if (!ownsNetwork_)
        return;
    QList<QPointer<QNetworkReply>> replies;
    for (QNetworkReply* reply : network_->findChildren<QNetworkReply*>())
        replies.append(reply);
    for (const QPointer<QNetworkReply>& reply : std::as_const(replies))
        if (reply)
            reply->abort();
}

QList<DayEvent> GoogleCalendarService::events(Instant date) const {
    if (!state_.isConnected())
        return {};
    return eventsByDay_.value(Calendar::current().startOfDay(date));
}

void GoogleCalendarService::ensureCoverage(Instant date) {
    if (!state_.isConnected())
        return;
    const Instant day = Calendar::current().startOfDay(date);
    setLastRequestedDay(day);
    const Instant current = now();
    if (coverage_ && coverage_->interval.contains(day) &&
        current.secondsSince(coverage_->fetchedAt) < kFreshSeconds)
        return;
    if (fetchInFlight_)
        return; // the running fetch re-runs for lastRequestedDay when it ends
    if (lastFailure_ && lastFailure_->interval.contains(day) &&
        current.secondsSince(lastFailure_->fetchedAt) < retryAfterFailureSeconds_)
        return;
    fetchInFlight_ = true;
    runFetchTask(window(date));
}

DateInterval GoogleCalendarService::window(Instant date) {
    const Calendar calendar = Calendar::current();
    const Instant first = CalendarModel::firstOfMonth(date, calendar);
    const Instant next = calendar.addingMonths(1, first).value_or(first);
    return {calendar.addingDays(-14, first).value_or(first), calendar.addingDays(14, next).value_or(next)};
}

QCoro::Task<> GoogleCalendarService::runFetchTask(DateInterval window) {
    const std::weak_ptr<const bool> alive = alive_;
    auto fetch = fetchWindow(window);
    co_await fetch;
    if (alive.expired())
        co_return;
    fetchInFlight_ = false;
    const std::optional<Instant> requested = lastRequestedDay_;
    if (requested && coverage_ && !coverage_->interval.contains(*requested))
        ensureCoverage(*requested);
}

QCoro::Task<> GoogleCalendarService::fetchWindow(DateInterval window) {
    const std::weak_ptr<const bool> alive = alive_;
    // The coroutines of a member client would outlive it with the service.
    const GoogleCalendarClient client = client_;
    setIsLoading(true);
    std::exception_ptr failure;
    try {
        auto firstToken = validAccessToken(false);
        QString token = co_await firstToken;
        if (alive.expired())
            co_return;

        QList<GCalendarListEntry> calendars;
        bool unauthorized = false;
        try {
            auto list = client.fetchCalendarList(token);
            calendars = co_await list;
        } catch (const GoogleCalendarError& error) {
            if (error.kind() != GoogleCalendarError::Kind::unauthorized)
                throw;
            unauthorized = true;
        }
        if (alive.expired())
            co_return;
        // The token may have been revoked early: one forced refresh, one more try.
        if (unauthorized) {
            auto forcedToken = validAccessToken(true);
            token = co_await forcedToken;
            if (alive.expired())
                co_return;
            auto list = client.fetchCalendarList(token);
            calendars = co_await list;
            if (alive.expired())
                co_return;
        }

        QList<GCalendarListEntry> shown;
        qsizetype leftOut = 0;
        for (const GCalendarListEntry& calendar : calendars) {
            if (!calendar.selected.value_or(false) && !calendar.primary.value_or(false))
                continue;
            if (shown.size() < kShownCalendarLimit)
                shown.append(calendar);
            else
                ++leftOut;
        }
        if (leftOut > 0)
            log_.warning(QStringLiteral("shown_calendars_left_out fetched=%1 left_out=%2")
                             .arg(shown.size())
                             .arg(leftOut));

        auto fetchAll = client.fetchAllEvents(shown, window, token);
        const QList<GCalendarEvents> byCalendar = co_await fetchAll;
        if (alive.expired())
            co_return;

        rebuildCache(byCalendar, window);
        qsizetype eventCount = 0;
        for (const GCalendarEvents& pair : byCalendar)
            eventCount += pair.events.size();
        log_.info(
            QStringLiteral("fetched %1 events across %2 calendars").arg(eventCount).arg(byCalendar.size()));
    } catch (...) {
        failure = std::current_exception();
    }
    if (alive.expired())
        co_return;
    if (failure)
        handleFetchFailure(failure, window);
    setIsLoading(false);
}

void GoogleCalendarService::handleFetchFailure(const std::exception_ptr& failure, DateInterval window) {
    QString description;
    double wait = kRetryAfterFailureSeconds;
    try {
        std::rethrow_exception(failure);
    } catch (const GoogleCalendarError& error) {
        if (error.kind() == GoogleCalendarError::Kind::needsReconnect)
            return; // the state has moved and the cache is cleared already
        description = QString::fromUtf8(error.what());
        if (const QString details = error.logDetails(); !details.isEmpty())
            description += ' ' + details;
        wait = std::max(wait, error.retryAfterSeconds().value_or(0));
    } catch (const std::exception& error) {
        description = QString::fromUtf8(error.what());
    } catch (...) {
        description = QStringLiteral("The operation couldn’t be completed.");
    }
    log_.warning(QStringLiteral("event fetch failed: ") + description);

    const Instant current = now();
    lastFailure_ = Coverage{window, current};
    retryAfterFailureSeconds_ = wait;
    // A back-dated coverage leaves 30 seconds (or what Retry-After asked) of the freshness rule before the
    // next attempt.
    if (!coverage_ || !coverage_->interval.contains(window.start))
        setCoverage(Coverage{window, current.addingSeconds(wait - kFreshSeconds)});
}

void GoogleCalendarService::rebuildCache(const QList<GCalendarEvents>& byCalendar, DateInterval window) {
    const GoogleEventConverter converter(Calendar::current());
    eventsByDay_ = converter.eventsByDay(byCalendar, window);
    emit eventsByDayChanged();
    setCoverage(Coverage{window, now()});
    lastFailure_.reset();
    incrementDataToken();
}

void GoogleCalendarService::clearCache() {
    setCoverage(std::nullopt);
    lastFailure_.reset();
    eventsByDay_.clear();
    emit eventsByDayChanged();
    incrementDataToken();
}

void GoogleCalendarService::setState(const ConnectionState& state) {
    if (state_ == state)
        return;
    state_ = state;
    emit stateChanged();
}

void GoogleCalendarService::setLastErrorMessage(const std::optional<QString>& message) {
    if (lastErrorMessage_ == message)
        return;
    lastErrorMessage_ = message;
    emit lastErrorMessageChanged();
}

void GoogleCalendarService::setIsLoading(bool loading) {
    if (isLoading_ == loading)
        return;
    isLoading_ = loading;
    emit isLoadingChanged();
}

void GoogleCalendarService::setTokens(const std::optional<TokenSet>& tokens) {
    tokens_ = tokens;
    emit tokensChanged();
}

void GoogleCalendarService::setPendingAuth(const std::optional<PendingAuth>& pendingAuth) {
    pendingAuth_ = pendingAuth;
    emit pendingAuthChanged();
}

void GoogleCalendarService::setCoverage(const std::optional<Coverage>& coverage) {
    coverage_ = coverage;
    emit coverageChanged();
}

void GoogleCalendarService::setLastRequestedDay(const std::optional<Instant>& day) {
    if (lastRequestedDay_ == day)
        return;
    lastRequestedDay_ = day;
    emit lastRequestedDayChanged();
}

void GoogleCalendarService::incrementDataToken() {
    ++dataToken_;
    emit dataTokenChanged();
}
