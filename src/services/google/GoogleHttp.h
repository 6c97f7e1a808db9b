#pragma once

#include <QByteArray>
#include <QMap>
#include <QNetworkRequest>
#include <QObject>
#include <QUrl>
#include <memory>
#include <qcoro/qcorotask.h>

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

struct Answer {
    int status = 0; // 0 when the answer was not HTTP
    QByteArray body;
};

// A request with the default caching rules and the 60-second timeout.
QNetworkRequest request(const QUrl& url);

// Sends the request and waits for the whole answer. An HTTP answer of any status is returned; a request
// that got none throws GoogleTransportError.
QCoro::Task<Answer> send(QNetworkAccessManager* network, QNetworkRequest request, QByteArray verb,
                         QByteArray body, std::shared_ptr<RequestCancellation> cancellation = {});

// application/x-www-form-urlencoded: keys as they are; in values everything but letters, marks, digits
// (non-ASCII ones included) and "-._~" percent-encoded as UTF-8 with upper-case hex digits.
QByteArray formEncoded(const QMap<QString, QString>& fields);
QByteArray formEncodedValue(const QString& value);

} // namespace GoogleHttp
