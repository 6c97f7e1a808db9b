#pragma once

#include <QByteArray>
#include <QString>
#include <exception>
#include <optional>

// The failures of the Google integration that the service tells apart. Like the platform's errors of this
// kind it has no description of its own: `what()` is the generic one, which carries no server text.
class GoogleCalendarError : public std::exception {
public:
    enum class Kind { oauth, http, notConnected, needsReconnect, unauthorized, malformedResponse };

    static GoogleCalendarError oauth(QString code) {
        return GoogleCalendarError(Kind::oauth, std::move(code), 0);
    }
    static GoogleCalendarError http(int status, std::optional<double> retryAfterSeconds = std::nullopt) {
        GoogleCalendarError error(Kind::http, {}, status);
        error.retryAfterSeconds_ = retryAfterSeconds;
        return error;
    }
    static GoogleCalendarError notConnected() { return GoogleCalendarError(Kind::notConnected, {}, 0); }
    static GoogleCalendarError needsReconnect() { return GoogleCalendarError(Kind::needsReconnect, {}, 0); }
    static GoogleCalendarError unauthorized() { return GoogleCalendarError(Kind::unauthorized, {}, 0); }
    // `cause` says what was wrong for the log, in snake case.
    static GoogleCalendarError malformedResponse(QString cause = {}) {
        GoogleCalendarError error(Kind::malformedResponse, {}, 0);
        error.cause_ = std::move(cause);
        return error;
    }

    Kind kind() const { return kind_; }
    // The token endpoint's error code (`oauth`).
    const QString& oauthCode() const { return oauthCode_; }
    // The Calendar API's status (`http`).
    int httpStatus() const { return httpStatus_; }
    // How long the server asked to be left alone (`http`, from its Retry-After).
    std::optional<double> retryAfterSeconds() const { return retryAfterSeconds_; }
    // What a log line adds to the generic description: "status=429 retry_after=120", "cause=...", or "".
    QString logDetails() const;

    const char* what() const noexcept override { return description_.constData(); }

    bool operator==(const GoogleCalendarError& other) const {
        return kind_ == other.kind_ && oauthCode_ == other.oauthCode_ && httpStatus_ == other.httpStatus_;
    }

private:
    GoogleCalendarError(Kind kind, QString oauthCode, int httpStatus);

    Kind kind_;
    QString oauthCode_;
    int httpStatus_;
    std::optional<double> retryAfterSeconds_;
    QString cause_;
    QByteArray description_;
};

// A request that got no HTTP answer: no network, refused, timed out or aborted. The description never
// carries the request's query.
class GoogleTransportError : public std::exception {
public:
    GoogleTransportError(int networkError, const QString& description)
        : networkError_(networkError), description_(description.toUtf8()) {}
    int networkError() const { return networkError_; }
    const char* what() const noexcept override { return description_.constData(); }

private:
    int networkError_;
    QByteArray description_;
};

// A body that is not the JSON record expected. Names the offending key, never a value.
class GoogleDecodingError : public std::exception {
public:
    explicit GoogleDecodingError(const QString& problem);
    const char* what() const noexcept override { return description_.constData(); }

private:
    QByteArray description_;
};
