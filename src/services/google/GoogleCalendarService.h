#pragma once

#include "models/DayEvent.h"
#include "platform/MainQueue.h"
#include "platform/SecretStore.h"
#include "services/google/DateInterval.h"
#include "services/google/GoogleCalendarClient.h"
#include "services/google/GoogleConnectionState.h"
#include "services/google/GoogleEventConverter.h"
#include "services/google/GoogleHttp.h"
#include "services/google/GoogleTokenClient.h"
#include "services/google/GoogleTokenKeychain.h"
#include "services/google/GoogleTokenSet.h"
#include "utilities/Constants.h"
#include "utilities/Log.h"

#include <QFuture>
#include <QHash>
#include <QObject>
#include <qcoro/qcorotask.h>

class QNetworkAccessManager;

// The Google Calendar source of the day list. It fetches one window at a time (the requested day's month
// padded by 14 days), keeps its events per day, counts the window fresh for 300 seconds, and refreshes the
// OAuth access token once for all callers. Lives on the main thread for the life of the process.
class GoogleCalendarService final : public QObject {
    Q_OBJECT
public:
    using ConnectionState = GoogleConnectionState;
    using TokenSet = GoogleTokenSet;
    using EventsByDay = GoogleEventConverter::EventsByDay;

    struct Coverage {
        DateInterval interval;
        Instant fetchedAt;
        bool operator==(const Coverage&) const = default;
    };

    struct PendingAuth {
        QString codeVerifier;
        QString state;
        MainQueue::Handle watchdog;
    };

    struct Environment {
        MainQueue& mainQueue; // also the clock
        SecretStore& secretStore;
        QNetworkAccessManager* network = nullptr; // one of the service's own when null
        GoogleEndpoints endpoints = {};
        QString clientID = Constants::Google::clientID();
        GoogleHttp::Limits limits = {};
    };

    static constexpr double kFreshSeconds = 300;
    static constexpr double kRetryAfterFailureSeconds = 30;
    static constexpr double kAccessTokenMarginSeconds = 30;
    static constexpr double kExpiryShorteningSeconds = 60;
    static constexpr double kAssumedLifetimeSeconds = 3540;
    // Shown calendars fetched per window; more is no person's day and would flood the network.
    static constexpr qsizetype kShownCalendarLimit = 250;

    // Without a client identifier the source stays `notConfigured`. With one, it is `notConnected` until the
    // token set has been read back from the secret store, and `connected` once there is one.
    explicit GoogleCalendarService(Environment environment, QObject* parent = nullptr);
    ~GoogleCalendarService() override;

    ConnectionState state() const { return state_; }
    const std::optional<QString>& lastErrorMessage() const { return lastErrorMessage_; }
    bool isLoading() const { return isLoading_; }
    const std::optional<TokenSet>& tokens() const { return tokens_; }
    const std::optional<PendingAuth>& pendingAuth() const { return pendingAuth_; }
    const std::optional<Coverage>& coverage() const { return coverage_; }
    const EventsByDay& eventsByDay() const { return eventsByDay_; }
    const std::optional<Instant>& lastRequestedDay() const { return lastRequestedDay_; }
    int dataToken() const { return dataToken_; }
    bool isFetching() const { return fetchInFlight_; }
    bool isRefreshing() const { return refreshTask_.has_value(); }

    // The cached events of the day that contains `date`; empty unless connected.
    QList<DayEvent> events(Instant date) const;
    // Starts a fetch of the window around `date` unless it is freshly covered or a fetch runs already;
    // returns at once.
    void ensureCoverage(Instant date);
    // The month of `date` with 14 days on either side, in the user's current calendar.
    static DateInterval window(Instant date);

    // The access token, refreshed first when it expires within 30 seconds (or always with `forceRefresh`).
    // Concurrent callers share one refresh. Throws GoogleCalendarError, transport and decoding errors.
    QCoro::Task<QString> validAccessToken(bool forceRefresh);

    void connect();
    void cancelConnect();
    void disconnect();

    // Replaces the cache with the converted events and records the window as fetched now.
    void rebuildCache(const QList<GCalendarEvents>& byCalendar, DateInterval window);

signals:
    void stateChanged();
    void lastErrorMessageChanged();
    void isLoadingChanged();
    void tokensChanged();
    void pendingAuthChanged();
    void coverageChanged();
    void eventsByDayChanged();
    void lastRequestedDayChanged();
    void dataTokenChanged();

private:
    QCoro::Task<> runFetchTask(DateInterval window);
    QCoro::Task<> fetchWindow(DateInterval window);
    void handleFetchFailure(const std::exception_ptr& failure, DateInterval window);
    QCoro::Task<> runRefresh(std::shared_ptr<QPromise<TokenSet>> promise, QString refreshToken,
                             TokenSet current);
    void markNeedsReconnect();
    QCoro::Task<> restoreTokens();
    void clearCache();
    Instant now() const { return queue_.now(); }

    void setState(const ConnectionState& state);
    void setLastErrorMessage(const std::optional<QString>& message);
    void setIsLoading(bool loading);
    void setTokens(const std::optional<TokenSet>& tokens);
    void setPendingAuth(const std::optional<PendingAuth>& pendingAuth);
    void setCoverage(const std::optional<Coverage>& coverage);
    void setLastRequestedDay(const std::optional<Instant>& day);
    void incrementDataToken();

    // Coroutines of the service resume after network waits, when the service may be gone; they hold this
    // weakly and stop without touching anything once it has expired.
    std::shared_ptr<const bool> alive_ = std::make_shared<const bool>(true);
    MainQueue& queue_;
    QString clientID_;
    QNetworkAccessManager* network_;
    bool ownsNetwork_;
    GoogleCalendarClient client_;
    GoogleTokenClient tokenClient_;
    GoogleTokenKeychain keychain_;
    const Log log_{QStringLiteral("google-calendar")};

    ConnectionState state_ = ConnectionState::notConfigured();
    std::optional<QString> lastErrorMessage_;
    bool isLoading_ = false;
    std::optional<TokenSet> tokens_;
    // Bumped whenever the held token set is dropped, so a refresh that ends afterwards stores nothing.
    quint64 tokenGeneration_ = 0;
    std::optional<PendingAuth> pendingAuth_;
    std::optional<QFuture<TokenSet>> refreshTask_;
    bool fetchInFlight_ = false;
    std::optional<Coverage> coverage_;
    // The window of the last failed fetch and when it failed: keeps a failing server from being asked again
    // within 30 seconds, or the longer time its Retry-After asked for, even when the cached coverage is left
    // as it was.
    std::optional<Coverage> lastFailure_;
    double retryAfterFailureSeconds_ = kRetryAfterFailureSeconds;
    EventsByDay eventsByDay_;
    std::optional<Instant> lastRequestedDay_;
    int dataToken_ = 0;
};
