#pragma once

#include "services/google/GoogleRecords.h"

#include <QByteArray>
#include <QDateTime>
#include <QFuture>
#include <QMap>
#include <QNetworkRequest>
#include <QObject>
#include <QPromise>
#include <QThreadPool>
#include <QUrl>
#include <memory>
#include <optional>
#include <qcoro/qcorofuture.h>
#include <qcoro/qcorotask.h>
#include <type_traits>

class QNetworkAccessManager;

// Where the Google requests go. Tests point all three at a loopback server.
struct GoogleEndpoints {
    QUrl calendarAPI = QUrl(QStringLiteral("https://www.googleapis.com"));
    QUrl token = QUrl(QStringLiteral("https://oauth2.googleapis.com/token"));
    QUrl revoke = QUrl(QStringLiteral("https://oauth2.googleapis.com/revoke"));

    // All three on one server: the API at its root, "/token" and "/revoke" beside it.
    static GoogleEndpoints on(const QUrl& server);
};

// Aborts the requests it is handed to; used to stop the other calendars' fetches after one has failed.
class RequestCancellation final : public QObject {
    Q_OBJECT
public:
    void cancel();
    bool isCancelled() const { return cancelled_; }

signals:
    void cancelled();

private:
    bool cancelled_ = false;
};

namespace GoogleHttp {

constexpr int kTimeoutMilliseconds = 60'000;

// What one exchange may cost. A server that sends nothing for `idleMilliseconds`, has not finished after
// `deadlineMilliseconds` or sends a body over `maxBodyBytes` (far above any real page) is cut off.
struct Limits {
    int idleMilliseconds = kTimeoutMilliseconds;
    int deadlineMilliseconds = 2 * kTimeoutMilliseconds;
    qint64 maxBodyBytes = qint64(16) << 20;
    // The longest wait a Retry-After may ask for.
    double maxRetryAfterSeconds = 3600;
};

struct Answer {
    int status = 0; // 0 when the answer was not HTTP
    QByteArray body;
    // What the answer's Retry-After asks for, at most Limits::maxRetryAfterSeconds.
    std::optional<double> retryAfterSeconds;
};

// A request with the default caching rules; send() applies the time limits.
QNetworkRequest request(const QUrl& url);

// Sends the request and waits for the whole answer. An HTTP answer of any status is returned; a request
// that got none, or ran out of time, throws GoogleTransportError; a body over the limit (before or after
// inflating it) or a redirect to another origin throws `malformedResponse` without following it.
QCoro::Task<Answer> send(QNetworkAccessManager* network, QNetworkRequest request, QByteArray verb,
                         QByteArray body, Limits limits,
                         std::shared_ptr<RequestCancellation> cancellation = {});

// The seconds a Retry-After value asks to wait (delay-seconds or an HTTP date), within [0, `cap`].
std::optional<double> retryAfterSeconds(const QByteArray& value, const QDateTime& now, double cap);

// Runs `work` on a worker thread and resumes with what it returns. The result comes back through a pointer
// of its own, so that the caller holds the only copy and changes none.
template <typename Work> QCoro::Task<std::invoke_result_t<Work&>> inBackground(Work work) {
    using Result = std::invoke_result_t<Work&>;
    auto promise = std::make_shared<QPromise<std::shared_ptr<Result>>>();
    QFuture<std::shared_ptr<Result>> done = promise->future();
    promise->start();
    QThreadPool::globalInstance()->start([promise, work = std::move(work)]() mutable {
        try {
            promise->addResult(std::make_shared<Result>(work()));
        } catch (...) {
            promise->setException(std::current_exception());
        }
        promise->finish();
    });
    const std::shared_ptr<Result> result = co_await done;
    co_return std::move(*result);
}

// Decodes the body on a worker thread: a page of several megabytes takes longer than a frame.
template <typename Record> QCoro::Task<Record> decodeInBackground(QByteArray body) {
    return inBackground([body = std::move(body)] { return decodeJson<Record>(body); });
}

// application/x-www-form-urlencoded: keys as they are; in values everything but letters, marks, digits
// (non-ASCII ones included) and "-._~" percent-encoded as UTF-8 with upper-case hex digits.
QByteArray formEncoded(const QMap<QString, QString>& fields);
QByteArray formEncodedValue(const QString& value);

} // namespace GoogleHttp
