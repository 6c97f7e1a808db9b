#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

// Decode-only records of the Google answers. Every field is optional: a missing key and JSON null both leave
// it absent; a present key of another JSON type fails the whole body; unknown keys are ignored.

struct GCalendarListEntry {
    std::optional<QString> id;
    std::optional<QString> summary;
    std::optional<QString> backgroundColor;
    std::optional<bool> selected;
    std::optional<bool> primary;
};

struct GCalendarListPage {
    std::optional<QList<GCalendarListEntry>> items;
    std::optional<QString> nextPageToken;
};

struct GEventTime {
    std::optional<QString> date;     // "yyyy-MM-dd", all-day events
    std::optional<QString> dateTime; // RFC 3339 with offset, timed events
};

struct GEvent {
    std::optional<QString> id;
    std::optional<QString> iCalUID;
    std::optional<QString> status;
    std::optional<QString> summary;
    std::optional<GEventTime> start;
    std::optional<GEventTime> end; // exclusive
};

struct GEventsPage {
    std::optional<QList<GEvent>> items;
    std::optional<QString> nextPageToken;
};

// One answer of the OAuth token endpoint (snake-case keys, as on the wire).
struct GTokenResponse {
    // The longest lifetime taken from "expires_in"; it is read clamped to [0, this], so that the expiry
    // built from it is a date that the token set can store and read back.
    static constexpr qint64 kMaxLifetimeSeconds = qint64(366) * 24 * 3600;
    // Far above any real token (Google's are at most a few hundred bytes to 2 KB) and within the 8 KB that
    // servers commonly allow for a header line: a longer one would be stored and sent on every request.
    static constexpr qsizetype kMaxTokenBytes = 8192;

    std::optional<QString> access_token;
    std::optional<QString> refresh_token;
    std::optional<qint64> expires_in;
    std::optional<QString> id_token;
    std::optional<QString> error;
    std::optional<QString> error_description;
};

// The events of one calendar of a window fetch.
struct GCalendarEvents {
    GCalendarListEntry calendar;
    QList<GEvent> events;
};

// Decodes a JSON body into one of the records above; throws GoogleDecodingError.
template <typename Record> Record decodeJson(const QByteArray& body);

template <> GCalendarListPage decodeJson<GCalendarListPage>(const QByteArray& body);
template <> GEventsPage decodeJson<GEventsPage>(const QByteArray& body);
template <> GTokenResponse decodeJson<GTokenResponse>(const QByteArray& body);
