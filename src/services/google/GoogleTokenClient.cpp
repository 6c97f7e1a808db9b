#include "services/google/GoogleTokenClient.h"

#include "services/google/GoogleCalendarError.h"
#include "services/google/GoogleHttp.h"

namespace {

QNetworkRequest formPost(const QUrl& url) {
    QNetworkRequest request = GoogleHttp::request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QByteArrayLiteral("application/x-www-form-urlencoded"));
    return request;
}

} // namespace

GoogleTokenClient::GoogleTokenClient(QNetworkAccessManager* network, QUrl tokenEndpoint, QUrl revokeEndpoint,
                                     GoogleHttp::Limits limits)
    : network_(network), tokenEndpoint_(std::move(tokenEndpoint)), revokeEndpoint_(std::move(revokeEndpoint)),
      limits_(limits) {}

QCoro::Task<GTokenResponse> GoogleTokenClient::postTokenRequest(QMap<QString, QString> body) const {
    auto exchange =
        GoogleHttp::send(network_, formPost(tokenEndpoint_), "POST", GoogleHttp::formEncoded(body), limits_);
    GoogleHttp::Answer answer = co_await exchange;
    auto decode = GoogleHttp::decodeInBackground<GTokenResponse>(std::move(answer.body));
    GTokenResponse response = co_await decode;
    if (answer.status != 0 && (answer.status < 200 || answer.status > 299)) {
        // The endpoint refuses a grant with 400 (401 for the client); an error code under any other status
        // (an outage, a proxy on the way) is no refusal, and taking it for one would drop the session.
        const bool isRefusal = answer.status == 400 || answer.status == 401;
        const QString statusCode = QStringLiteral("http_") + QString::number(answer.status);
        throw GoogleCalendarError::oauth(isRefusal ? response.error.value_or(statusCode) : statusCode);
    }
    co_return response;
}

QCoro::Task<> GoogleTokenClient::revoke(std::optional<QString> token) const {
    if (!token || token->isEmpty())
        co_return;
    // Runs unattended after a disconnect: copy what the request needs before the first suspension.
    QNetworkAccessManager* network = network_;
    const GoogleHttp::Limits limits = limits_;
    const QByteArray body = "token=" + GoogleHttp::formEncodedValue(*token);
    try {
        auto exchange = GoogleHttp::send(network, formPost(revokeEndpoint_), "POST", body, limits);
        co_await exchange;
    } catch (...) {
        // Revocation is best effort.
    }
}
