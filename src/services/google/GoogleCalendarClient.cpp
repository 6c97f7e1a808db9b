#include "services/google/GoogleCalendarClient.h"

#include "services/google/GoogleCalendarError.h"
#include "services/google/GoogleHttp.h"
#include "services/google/InternetDateTime.h"

#include <QFuture>
#include <QPromise>
#include <QSet>
#include <functional>
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

// Shared by the workers of one fan-out: they take the calendars in turn; the first failure wins and the
// rest is discarded.
struct FanOut {
    std::shared_ptr<QPromise<QList<GCalendarEvents>>> promise =
        std::make_shared<QPromise<QList<GCalendarEvents>>>();
    std::shared_ptr<RequestCancellation> cancellation = std::make_shared<RequestCancellation>();
    QList<GCalendarListEntry> calendars;
    qsizetype next = 0;
    qsizetype workers = 0;
    QList<GCalendarEvents> pairs;
    bool failed = false;
};

QCoro::Task<> fetchCalendarsInTurn(GoogleCalendarClient client, DateInterval window, QString accessToken,
                                   std::shared_ptr<FanOut> fanOut) {
    while (!fanOut->failed && fanOut->next < fanOut->calendars.size()) {
        GCalendarListEntry calendar = fanOut->calendars.at(fanOut->next++);
        try {
            auto fetch = client.fetchEvents(*calendar.id, window, accessToken, fanOut->cancellation);
            QList<GEvent> events = co_await fetch;
            if (fanOut->failed)
                co_return;
            fanOut->pairs.append({std::move(calendar), std::move(events)});
        } catch (...) {
            if (fanOut->failed)
                co_return;
            fanOut->failed = true;
            fanOut->promise->setException(std::current_exception());
            fanOut->promise->finish();
            fanOut->cancellation->cancel();
            co_return;
        }
    }
    if (--fanOut->workers == 0 && !fanOut->failed) {
        fanOut->promise->addResult(fanOut->pairs);
        fanOut->promise->finish();
    }
}

template <typename Page> using ItemsOf = typename decltype(Page::items)::value_type;
using PageURL = std::function<QUrl(const std::optional<QString>&)>;

// Follows the page tokens up to `pageLimit` pages or until one repeats; keeps the first item of an id.
template <typename Page>
QCoro::Task<ItemsOf<Page>> allPages(GoogleCalendarClient client, PageURL pageURL, int pageLimit,
                                    QString accessToken, std::shared_ptr<RequestCancellation> cancellation) {
    // A page may hold thousands of items: they are gathered on a worker, not in the main thread's time.
    struct Gathered {
        ItemsOf<Page> items;
        QSet<QString> ids;
    };
    Gathered gathered;
    QSet<QString> pageTokens;
    std::optional<QString> pageToken;
    for (int page = 1;; ++page) {
        auto fetch = client.getJSON<Page>(pageURL(pageToken), accessToken, cancellation);
        Page result = co_await fetch;
        auto gather = GoogleHttp::inBackground(
            [gathered = std::move(gathered), received = std::move(result.items)]() mutable {
                if (!received)
                    return std::move(gathered);
                gathered.items.reserve(gathered.items.size() + received->size());
                for (auto& item : *received) {
                    if (item.id) {
                        if (gathered.ids.contains(*item.id))
                            continue;
                        gathered.ids.insert(*item.id);
                    }
                    gathered.items.append(std::move(item));
                }
                return std::move(gathered);
            });
        gathered = co_await gather;
        if (!result.nextPageToken || page >= pageLimit || pageTokens.contains(*result.nextPageToken))
            break;
        pageTokens.insert(*result.nextPageToken);
        pageToken = result.nextPageToken;
    }
    co_return std::move(gathered.items);
}

} // namespace

GoogleCalendarClient::GoogleCalendarClient(QNetworkAccessManager* network, QUrl apiBase,
                                           GoogleHttp::Limits limits)
    : network_(network), apiBase_(std::move(apiBase)), limits_(limits) {}

template <typename Record>
QCoro::Task<Record> GoogleCalendarClient::getJSON(QUrl url, QString accessToken,
                                                  std::shared_ptr<RequestCancellation> cancellation) const {
    QNetworkRequest request = GoogleHttp::request(url);
    request.setRawHeader("Authorization", "Bearer " + accessToken.toUtf8());
    auto exchange = GoogleHttp::send(network_, request, "GET", {}, limits_, cancellation);
    GoogleHttp::Answer answer = co_await exchange;
    if (answer.status == 401)
        throw GoogleCalendarError::unauthorized();
    if (answer.status != 0 && (answer.status < 200 || answer.status > 299))
        throw GoogleCalendarError::http(answer.status, answer.retryAfterSeconds);
    auto decode = GoogleHttp::decodeInBackground<Record>(std::move(answer.body));
    co_return co_await decode;
}

template QCoro::Task<GCalendarListPage>
    GoogleCalendarClient::getJSON<GCalendarListPage>(QUrl, QString,
                                                     std::shared_ptr<RequestCancellation>) const;
template QCoro::Task<GEventsPage>
    GoogleCalendarClient::getJSON<GEventsPage>(QUrl, QString, std::shared_ptr<RequestCancellation>) const;

QCoro::Task<QList<GCalendarListEntry>> GoogleCalendarClient::fetchCalendarList(QString accessToken) const {
    const GoogleCalendarClient client = *this;
    auto pages = allPages<GCalendarListPage>(
        client,
        [client](const std::optional<QString>& pageToken) { return client.calendarListURL(pageToken); },
        kCalendarListPageLimit, accessToken, {});
    co_return co_await pages;
}

QCoro::Task<QList<GEvent>>
GoogleCalendarClient::fetchEvents(QString calendarID, DateInterval window, QString accessToken,
                                  std::shared_ptr<RequestCancellation> cancellation) const {
    if (!isAddressable(calendarID))
        throw GoogleCalendarError::malformedResponse(QStringLiteral("calendar_id_not_addressable"));
    const GoogleCalendarClient client = *this;
    auto pages = allPages<GEventsPage>(
        client,
        [client, calendarID, window](const std::optional<QString>& pageToken) {
            return client.eventsURL(calendarID, window, pageToken);
        },
        kEventsPageLimit, accessToken, std::move(cancellation));
    co_return co_await pages;
}

QCoro::Task<QList<GCalendarEvents>> GoogleCalendarClient::fetchAllEvents(QList<GCalendarListEntry> calendars,
                                                                         DateInterval window,
                                                                         QString accessToken) const {
    auto fanOut = std::make_shared<FanOut>();
    for (GCalendarListEntry& calendar : calendars)
        if (calendar.id && isAddressable(*calendar.id))
            fanOut->calendars.append(std::move(calendar));
    if (fanOut->calendars.isEmpty())
        co_return QList<GCalendarEvents>{};

    fanOut->promise->start();
    QFuture<QList<GCalendarEvents>> collected = fanOut->promise->future();
    fanOut->workers = std::min<qsizetype>(kConcurrentCalendarFetches, fanOut->calendars.size());
    for (qsizetype worker = fanOut->workers; worker > 0; --worker)
        fetchCalendarsInTurn(*this, window, accessToken, fanOut);
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
