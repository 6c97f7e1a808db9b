#pragma once

#include "services/google/DateInterval.h"
#include "services/google/GoogleHttp.h"
#include "services/google/GoogleRecords.h"

#include <QUrl>
#include <memory>
#include <qcoro/qcorotask.h>

class QNetworkAccessManager;
class RequestCancellation;

// The calendar-list and events requests of the Google Calendar API (v3): bearer GETs with partial-response
// fields, paging and a concurrent fetch of several calendars. Holds no state but where to send them and
// what an exchange may cost.
class GoogleCalendarClient {
public:
    static constexpr int kCalendarListPageLimit = 10;
    static constexpr int kEventsPageLimit = 20;
    // Calendars whose events are on the network at once; the others wait their turn, and their time limits
    // start with their own request.
    static constexpr int kConcurrentCalendarFetches = 4;

    GoogleCalendarClient(QNetworkAccessManager* network, QUrl apiBase, GoogleHttp::Limits limits = {});

    // 401 throws `unauthorized` (even with a valid body), another status outside 2xx `http(status)` with
    // what its Retry-After asks; a body that does not decode throws GoogleDecodingError. The body is
    // decoded off the main thread.
    template <typename Record>
    QCoro::Task<Record> getJSON(QUrl url, QString accessToken,
                                std::shared_ptr<RequestCancellation> cancellation = {}) const;

    // Paging stops at a page limit or at a page token that came before; of entries that share an id only
    // the first is kept.

    // All entries of up to 10 pages, in the order received.
    QCoro::Task<QList<GCalendarListEntry>> fetchCalendarList(QString accessToken) const;
    // All events of up to 20 pages, in the order received. An id that cannot be addressed throws
    // `malformedResponse` before anything is sent.
    QCoro::Task<QList<GEvent>> fetchEvents(QString calendarID, DateInterval window, QString accessToken,
                                           std::shared_ptr<RequestCancellation> cancellation = {}) const;
    // One pair per calendar that has an id that can be addressed, in completion order, fetched four at a
    // time. The first failure fails the whole call, aborts the fetches still running and starts no more.
    QCoro::Task<QList<GCalendarEvents>> fetchAllEvents(QList<GCalendarListEntry> calendars,
                                                       DateInterval window, QString accessToken) const;

    QUrl calendarListURL(const std::optional<QString>& pageToken) const;
    QUrl eventsURL(const QString& calendarID, DateInterval window,
                   const std::optional<QString>& pageToken) const;
    // Keeps any calendar id inside one path segment ("@", "/" and "#" percent-encoded).
    static QByteArray encodedPathSegment(const QString& calendarID);
    // Whether the id can be one path segment at all: Qt decodes "%2E" and then drops dot segments and empty
    // ones before it sends a request, so "", "." and ".." would reach another path however encoded.
    static bool isAddressable(const QString& calendarID);

private:
    QUrl url(const QString& encodedPath, const QList<std::pair<QString, QString>>& query) const;

    QNetworkAccessManager* network_;
    QUrl apiBase_;
    GoogleHttp::Limits limits_;
};
