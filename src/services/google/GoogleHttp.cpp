#include "services/google/GoogleHttp.h"

#include "services/google/GoogleCalendarError.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QTimer>
#include <algorithm>
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

// Same scheme, host and port, the scheme's default port standing in for none.
bool isSameOrigin(const QUrl& a, const QUrl& b) {
    const auto port = [](const QUrl& url) {
        const QString scheme = url.scheme().toLower();
        return url.port(scheme == QLatin1String("https") ? 443 : scheme == QLatin1String("http") ? 80 : -1);
    };
    return a.scheme().compare(b.scheme(), Qt::CaseInsensitive) == 0 &&
           a.host().compare(b.host(), Qt::CaseInsensitive) == 0 && port(a) == port(b);
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

// Takes the body as it arrives, a buffer's worth at a time, and cuts the exchange off when the server goes
// quiet, takes too long, sends too much or redirects elsewhere. A child of its reply: it goes when the reply
// goes.
class ReplyWatch final : public QObject {
public:
    enum class Stop { none, idle, deadline, oversized, redirectToOtherOrigin };

    // Qt holds no more than this of an unread body; the socket waits meanwhile.
    static constexpr qint64 kReadBufferBytes = qint64(1) << 20;
    static constexpr int kContentFailureGraceMilliseconds = 1000;

    ReplyWatch(QNetworkReply* reply, QUrl origin, const GoogleHttp::Limits& limits)
        : QObject(reply), reply_(reply), origin_(std::move(origin)), maxBodyBytes_(limits.maxBodyBytes) {
        reply->setReadBufferSize(kReadBufferBytes);
        idle_.setSingleShot(true);
        idle_.setInterval(limits.idleMilliseconds);
        deadline_.setSingleShot(true);
        deadline_.setInterval(limits.deadlineMilliseconds);
        connect(&idle_, &QTimer::timeout, this, [this] { stop(Stop::idle); });
        connect(&deadline_, &QTimer::timeout, this, [this] { stop(Stop::deadline); });
        connect(reply, &QNetworkReply::metaDataChanged, this, &ReplyWatch::checkAnnouncedLength);
        connect(reply, &QNetworkReply::readyRead, this, &ReplyWatch::take);
        connect(reply, &QNetworkReply::uploadProgress, this, [this] { idle_.start(); });
        connect(reply, &QNetworkReply::redirected, this, &ReplyWatch::checkRedirect);
        connect(reply, &QNetworkReply::errorOccurred, this, &ReplyWatch::checkContentFailure);
        connect(reply, &QNetworkReply::finished, this, [this] {
            idle_.stop();
            deadline_.stop();
        });
        idle_.start();
        deadline_.start();
    }

    void take() {
        if (stopped_ != Stop::none || !reply_->isOpen())
            return;
        idle_.start();
        // Kept in the pieces read: growing one array would copy megabytes on the main thread.
        const QByteArray piece = reply_->readAll();
        if (piece.isEmpty())
            return;
        bodySize_ += piece.size();
        if (bodySize_ > maxBodyBytes_) {
            pieces_.clear();
            stop(Stop::oversized);
            return;
        }
        pieces_.append(piece);
    }

    Stop stopped() const { return stopped_; }
    QByteArray takeBody() { return std::exchange(pieces_, {}).join(); }

private:
    // Every request carries a credential (a bearer token, a refresh token, a token to revoke): it may follow
    // a redirect only where it was sent in the first place.
    void checkRedirect(const QUrl& target) {
        if (isSameOrigin(origin_, origin_.resolved(target)))
            emit reply_->redirectAllowed();
        else
            stop(Stop::redirectToOtherOrigin);
    }

    // A compressed body that Qt refuses to inflate (past the safety threshold at a bomb's ratio) is
    // reported as a content error, but Qt 6.4 then stops reading without ever finishing the reply: only the
    // idle limit would end it. Under a 2xx status nothing else reports that error; the error that Qt reports
    // for another status comes with the end of the body, so such a reply finishes right after it.
    void checkContentFailure(QNetworkReply::NetworkError error) {
        if (error != QNetworkReply::UnknownContentError || !reply_->hasRawHeader("Content-Encoding"))
            return;
        const int status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const bool isSuccess = status >= 200 && status <= 299;
        // Not aborted inside Qt's own reporting of the error.
        QTimer::singleShot(isSuccess ? 0 : kContentFailureGraceMilliseconds, this, [this] {
            if (!reply_->isFinished())
                stop(Stop::oversized);
        });
    }

    void checkAnnouncedLength() {
        const QVariant length = reply_->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > maxBodyBytes_)
            stop(Stop::oversized);
    }

    void stop(Stop why) {
        if (stopped_ != Stop::none)
            return;
        stopped_ = why;
        if (!reply_->isFinished())
            reply_->abort();
    }

    QNetworkReply* reply_;
    QUrl origin_;
    qint64 maxBodyBytes_;
    QTimer idle_;
    QTimer deadline_;
    QByteArrayList pieces_;
    qint64 bodySize_ = 0;
    Stop stopped_ = Stop::none;
};

[[noreturn]] void throwStop(ReplyWatch::Stop stop, const GoogleHttp::Limits& limits) {
    const auto seconds = [](int milliseconds) { return QString::number(milliseconds / 1000.0); };
    switch (stop) {
    case ReplyWatch::Stop::idle:
        throw GoogleTransportError(int(QNetworkReply::TimeoutError),
                                   QStringLiteral("The request timed out: nothing received for %1 seconds.")
                                       .arg(seconds(limits.idleMilliseconds)));
    case ReplyWatch::Stop::deadline:
        throw GoogleTransportError(int(QNetworkReply::TimeoutError),
                                   QStringLiteral("The request timed out: not complete after %1 seconds.")
                                       .arg(seconds(limits.deadlineMilliseconds)));
    case ReplyWatch::Stop::redirectToOtherOrigin:
        throw GoogleCalendarError::malformedResponse(QStringLiteral("redirect_to_other_origin"));
    case ReplyWatch::Stop::oversized:
    case ReplyWatch::Stop::none:
        break;
    }
    throw GoogleCalendarError::malformedResponse(
        QStringLiteral("body_over_%1_bytes").arg(limits.maxBodyBytes));
}

} // namespace

namespace GoogleHttp {

QNetworkRequest request(const QUrl& url) {
    QNetworkRequest request(url);
    // send() times the exchange itself, to tell a silent server from a slow one.
    request.setTransferTimeout(0);
    return request;
}

std::optional<double> retryAfterSeconds(const QByteArray& value, const QDateTime& now, double cap) {
    const QByteArray text = value.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    if (std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        bool fits = false;
        const qulonglong delay = text.toULongLong(&fits);
        return fits ? std::min(double(delay), cap) : cap;
    }
    // An HTTP date ("Tue, 10 Mar 2026 12:02:00 GMT") is an RFC 2822 date whose zone Qt reads only as a
    // number.
    QString date = QString::fromLatin1(text);
    if (date.endsWith(QLatin1String(" GMT")))
        date = date.chopped(3) + QLatin1String("+0000");
    const QDateTime at = QDateTime::fromString(date, Qt::RFC2822Date);
    if (!at.isValid())
        return std::nullopt;
    return std::clamp(double(now.msecsTo(at)) / 1000.0, 0.0, cap);
}

QCoro::Task<Answer> send(QNetworkAccessManager* network, QNetworkRequest request, QByteArray verb,
                         QByteArray body, Limits limits, std::shared_ptr<RequestCancellation> cancellation) {
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::UserVerifiedRedirectPolicy);
    // Past the limit Qt refuses a body that inflates at a bomb's ratio (over 40 to 1 for gzip) before
    // inflating more of it; a milder one is cut off by the count of ReplyWatch.
    request.setDecompressedSafetyCheckThreshold(limits.maxBodyBytes);
    const ReplyHandle handle(verb == "GET" ? network->get(request)
                                           : network->sendCustomRequest(request, verb, body));
    QNetworkReply* reply = handle.get();
    auto* watch = new ReplyWatch(reply, request.url(), limits);
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

    watch->take(); // what arrived with the end
    if (watch->stopped() != ReplyWatch::Stop::none)
        throwStop(watch->stopped(), limits);

    const QNetworkReply::NetworkError error = reply->error();
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (isExchangeFailure(error) || (error != QNetworkReply::NoError && !status.isValid()))
        throw GoogleTransportError(int(error), withoutQuery(reply->errorString(), request.url()));
    co_return Answer{status.isValid() ? status.toInt() : 0, watch->takeBody(),
                     retryAfterSeconds(reply->rawHeader("Retry-After"), QDateTime::currentDateTimeUtc(),
                                       limits.maxRetryAfterSeconds)};
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
