#include "services/google/GoogleHttp.h"

#include "services/google/GoogleCalendarError.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <qcoro/qcoronetworkreply.h>

GoogleEndpoints GoogleEndpoints::on(const QUrl& server) {
    GoogleEndpoints endpoints;
    endpoints.calendarAPI = server;
    endpoints.token = server.resolved(QUrl(QStringLiteral("/token")));
    endpoints.revoke = server.resolved(QUrl(QStringLiteral("/revoke")));
    return endpoints;
}

void RequestCancellation::cancel() {
    if (cancelled_)
        return;
    cancelled_ = true;
    emit cancelled();
}

namespace {

// Qt reports most statuses as errors too (400 as a protocol error); only the network and proxy layers mean
// that the exchange itself failed.
bool isExchangeFailure(QNetworkReply::NetworkError error) {
    return error != QNetworkReply::NoError && int(error) < 200;
}

// Qt names the URL in some error texts; the query never reaches a log line.
QString withoutQuery(QString description, const QUrl& url) {
    const QUrl bare = url.adjusted(QUrl::RemoveQuery | QUrl::RemoveFragment);
    for (const QString& form : {url.toString(), url.toDisplayString(), QString::fromUtf8(url.toEncoded())})
        description.replace(form, bare.toString());
    return description;
}

// Holds a reply for the coroutine that waits on it. When the coroutine ends, Qt may still be inside one of
// the reply's signals or inside its abort() (a cancelled fan-out resumes us from there), so the reply is left
// to the event loop instead of being deleted. Its network manager may delete it first; the pointer then
// clears.
class ReplyHandle {
public:
    explicit ReplyHandle(QNetworkReply* reply) : reply_(reply) {}
    ReplyHandle(const ReplyHandle&) = delete;
    ReplyHandle& operator=(const ReplyHandle&) = delete;
    ~ReplyHandle() {
        if (reply_)
            reply_->deleteLater();
    }

    QNetworkReply* get() const { return reply_; }

private:
    QPointer<QNetworkReply> reply_;
};

} // namespace

namespace GoogleHttp {

QNetworkRequest request(const QUrl& url) {
    QNetworkRequest request(url);
    request.setTransferTimeout(kTimeoutMilliseconds);
    return request;
}

QCoro::Task<Answer> send(QNetworkAccessManager* network, QNetworkRequest request, QByteArray verb,
                         QByteArray body, std::shared_ptr<RequestCancellation> cancellation) {
    const ReplyHandle handle(verb == "GET" ? network->get(request)
                                           : network->sendCustomRequest(request, verb, body));
    QNetworkReply* reply = handle.get();
    if (cancellation) {
        if (cancellation->isCancelled())
            reply->abort();
        else
            QObject::connect(cancellation.get(), &RequestCancellation::cancelled, reply,
                             &QNetworkReply::abort);
    }
    co_await reply;
    if (!handle.get()) // its network manager went away while we waited
        throw GoogleTransportError(int(QNetworkReply::OperationCanceledError),
                                   QStringLiteral("Operation canceled"));

    const QNetworkReply::NetworkError error = reply->error();
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (isExchangeFailure(error) || (error != QNetworkReply::NoError && !status.isValid()))
        throw GoogleTransportError(int(error), withoutQuery(reply->errorString(), request.url()));
    co_return Answer{status.isValid() ? status.toInt() : 0, reply->readAll()};
}

QByteArray formEncodedValue(const QString& value) {
    QByteArray encoded;
    encoded.reserve(value.size() * 3);
    for (const char32_t codePoint : value.toUcs4()) {
        const bool isMark = QChar::isMark(codePoint);
        const bool kept = QChar::isLetterOrNumber(codePoint) || isMark || codePoint == U'-' ||
                          codePoint == U'.' || codePoint == U'_' || codePoint == U'~';
        const QByteArray utf8 = QString::fromUcs4(&codePoint, 1).toUtf8();
        if (kept) {
            encoded += utf8;
            continue;
        }
        for (const char byte : utf8) {
            static constexpr char kHex[] = "0123456789ABCDEF";
            const auto b = static_cast<unsigned char>(byte);
            encoded += '%';
            encoded += kHex[b >> 4];
            encoded += kHex[b & 0xF];
        }
    }
    return encoded;
}

QByteArray formEncoded(const QMap<QString, QString>& fields) {
    QByteArrayList pairs;
    for (auto it = fields.constBegin(); it != fields.constEnd(); ++it)
        pairs << it.key().toUtf8() + '=' + formEncodedValue(it.value());
    return pairs.join('&');
}

} // namespace GoogleHttp
