#include "services/google/GoogleCalendarClient.h"

#include "services/google/GoogleCalendarError.h"
#include "services/google/GoogleHttp.h"
#include "services/google/InternetDateTime.h"

#include <QFuture>
#include <QPromise>
#include <qcoro/qcorofuture.h>

namespace {

const QString kCalendarListFields =
    QStringLiteral("items(id,summary,backgroundColor,selected,primary),nextPageToken");
const QString kEventsFields =
    QStringLiteral("items(id,iCalUID,status,summary,start(date,dateTime),end(date,dateTime)),nextPageToken");

// Characters of a query value that go out as they are; "+" is not among them, so a server never reads one
// as a space.
const QByteArray kQueryValueSafe = QByteArrayLiteral("!$'()*,;:@/?");
// The path characters outside the unreserved ones, less "/" and "@".
const QByteArray kPathSegmentSafe = QByteArrayLiteral("!$&'()*+,;=:");

// Shared by the calendar fetches of one fan-out: the first failure wins and the rest is discarded.
struct FanOut {
    std::shared_ptr<QPromise<QList<GCalendarEvents>>> promise =
        std::make_shared<QPromise<QList<GCalendarEvents>>>();
    std::shared_ptr<RequestCancellation> cancellation = std::make_shared<RequestCancellation>();
    QList<GCalendarEvents> pairs;
    qsizetype remaining = 0;
    bool failed = false;
};

QCoro::Task<> fetchOneCalendar(GoogleCalendarClient client, GCalendarListEntry calendar, DateInterval window,
                               QString accessToken, std::shared_ptr<FanOut> fanOut) {
    try {
        auto fetch = client.fetchEvents(*calendar.id, window, accessToken, fanOut->cancellation);
        QList<GEvent> events = co_await fetch;
        if (fanOut->failed)
            co_return;
        fanOut->pairs.append({std::move(calendar), std::move(events)});
        if (--fanOut->remaining == 0) {
            fanOut->promise->addResult(fanOut->pairs);
            fanOut->promise->finish();
        }
    } catch (...) {
        if (fanOut->failed)
            co_return;
        fanOut->failed = true;
        fanOut->promise->setException(std::current_exception());
        fanOut->promise->finish();
        fanOut->cancellation->cancel();
    }
}

} // namespace

GoogleCalendarClient::GoogleCalendarClient(QNetworkAccessManager* network, QUrl apiBase)
    : network_(network), apiBase_(std::move(apiBase)) {}

template <typename Record>
QCoro::Task<Record> GoogleCalendarClient::getJSON(QUrl url, QString accessToken,
                                                  std::shared_ptr<RequestCancellation> cancellation) const {
    QNetworkRequest request = GoogleHttp::request(url);
    request.setRawHeader("Authorization", "Bearer " + accessToken.toUtf8());
    auto exchange = GoogleHttp::send(network_, request, "GET", {}, cancellation);
    const GoogleHttp::Answer answer = co_await exchange;
    if (answer.status == 401)
        throw GoogleCalendarError::unauthorized();
    if (answer.status != 0 && (answer.status < 200 || answer.status > 299))
        throw GoogleCalendarError::http(answer.status);
    co_return decodeJson<Record>(answer.body);
}

template QCoro::Task<GCalendarListPage>
    GoogleCalendarClient::getJSON<GCalendarListPage>(QUrl, QString,
                                                     std::shared_ptr<RequestCancellation>) const;
template QCoro::Task<GEventsPage>
    GoogleCalendarClient::getJSON<GEventsPage>(QUrl, QString, std::shared_ptr<RequestCancellation>) const;

QCoro::Task<QList<GCalendarListEntry>> GoogleCalendarClient::fetchCalendarList(QString accessToken) const {
    QList<GCalendarListEntry> entries;
    std::optional<QString> pageToken;
    for (int page = 1;; ++page) {
        auto fetch = getJSON<GCalendarListPage>(calendarListURL(pageToken), accessToken);
        GCalendarListPage result = co_await fetch;
        if (result.items)
            entries.append(*result.items);
        if (!result.nextPageToken || page >= kCalendarListPageLimit)
            break;
        pageToken = result.nextPageToken;
    }
    co_return entries;
}

QCoro::Task<QList<GEvent>>
GoogleCalendarClient::fetchEvents(QString calendarID, DateInterval window, QString accessToken,
                                  std::shared_ptr<RequestCancellation> cancellation) const {
    if (!isAddressable(calendarID))
        throw GoogleCalendarError::malformedResponse();
    QList<GEvent> events;
    std::optional<QString> pageToken;
    for (int page = 1;; ++page) {
        auto fetch =
            getJSON<GEventsPage>(eventsURL(calendarID, window, pageToken), accessToken, cancellation);
        GEventsPage result = co_await fetch;
        if (result.items)
            events.append(*result.items);
        if (!result.nextPageToken || page >= kEventsPageLimit)
            break;
        pageToken = result.nextPageToken;
    }
    co_return events;
}

QCoro::Task<QList<GCalendarEvents>> GoogleCalendarClient::fetchAllEvents(QList<GCalendarListEntry> calendars,
                                                                         DateInterval window,
                                                                         QString accessToken) const {
    auto fanOut = std::make_shared<FanOut>();
    const auto fetched = [](const GCalendarListEntry& calendar) {
        return calendar.id && isAddressable(*calendar.id);
    };
    for (const GCalendarListEntry& calendar : calendars)
        if (fetched(calendar))
            ++fanOut->remaining;
    if (fanOut->remaining == 0)
        co_return QList<GCalendarEvents>{};

    fanOut->promise->start();
    QFuture<QList<GCalendarEvents>> collected = fanOut->promise->future();
    for (const GCalendarListEntry& calendar : calendars)
        if (fetched(calendar))
            fetchOneCalendar(*this, calendar, window, accessToken, fanOut);
    QList<GCalendarEvents> pairs = co_await collected;
    co_return pairs;
}

QUrl GoogleCalendarClient::calendarListURL(const std::optional<QString>& pageToken) const {
    QList<std::pair<QString, QString>> query = {{QStringLiteral("minAccessRole"), QStringLiteral("reader")},
                                                {QStringLiteral("fields"), kCalendarListFields},
                                                {QStringLiteral("maxResults"), QStringLiteral("250")}};
    if (pageToken)
        query.append({QStringLiteral("pageToken"), *pageToken});
    return url(QStringLiteral("/calendar/v3/users/me/calendarList"), query);
}

QUrl GoogleCalendarClient::eventsURL(const QString& calendarID, DateInterval window,
                                     const std::optional<QString>& pageToken) const {
    QList<std::pair<QString, QString>> query = {
        {QStringLiteral("timeMin"), InternetDateTime::format(window.start)},
        {QStringLiteral("timeMax"), InternetDateTime::format(window.end)},
        {QStringLiteral("singleEvents"), QStringLiteral("true")},
        {QStringLiteral("orderBy"), QStringLiteral("startTime")},
        {QStringLiteral("maxResults"), QStringLiteral("250")},
        {QStringLiteral("fields"), kEventsFields}};
    if (pageToken)
        query.append({QStringLiteral("pageToken"), *pageToken});
    const QString path = QStringLiteral("/calendar/v3/calendars/") +
                         QString::fromLatin1(encodedPathSegment(calendarID)) + QStringLiteral("/events");
    return url(path, query);
}

QByteArray GoogleCalendarClient::encodedPathSegment(const QString& calendarID) {
    return QUrl::toPercentEncoding(calendarID, kPathSegmentSafe);
}

bool GoogleCalendarClient::isAddressable(const QString& calendarID) {
    return !calendarID.isEmpty() && calendarID != QStringLiteral(".") && calendarID != QStringLiteral("..");
}

QUrl GoogleCalendarClient::url(const QString& encodedPath,
                               const QList<std::pair<QString, QString>>& query) const {
    QByteArray encodedQuery;
    for (const auto& [name, value] : query) {
        if (!encodedQuery.isEmpty())
            encodedQuery += '&';
        encodedQuery += QUrl::toPercentEncoding(name) + '=' + QUrl::toPercentEncoding(value, kQueryValueSafe);
    }
    QByteArray base = apiBase_.adjusted(QUrl::StripTrailingSlash | QUrl::RemoveQuery).toEncoded();
    return QUrl::fromEncoded(base + encodedPath.toLatin1() + '?' + encodedQuery, QUrl::StrictMode);
}
