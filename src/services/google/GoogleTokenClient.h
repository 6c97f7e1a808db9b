#pragma once

#include "services/google/GoogleHttp.h"
#include "services/google/GoogleRecords.h"

#include <QMap>
#include <QUrl>
#include <optional>
#include <qcoro/qcorotask.h>

class QNetworkAccessManager;

// The OAuth 2.0 token endpoint (refresh grant) and revoke endpoint, both form-encoded POSTs without a
// client secret.
class GoogleTokenClient {
public:
    GoogleTokenClient(QNetworkAccessManager* network, QUrl tokenEndpoint, QUrl revokeEndpoint,
                      GoogleHttp::Limits limits = {});

    // The decoded answer. A body that does not decode throws GoogleDecodingError whatever the status; a
    // status outside 2xx then throws `oauth`: with the answer's "error" under 400 or 401, else (and when
    // there is none) "http_" and the status.
    QCoro::Task<GTokenResponse> postTokenRequest(QMap<QString, QString> body) const;
    // Never throws; the answer is not looked at. An absent or empty token sends nothing.
    QCoro::Task<> revoke(std::optional<QString> token) const;

private:
    QNetworkAccessManager* network_;
    QUrl tokenEndpoint_;
    QUrl revokeEndpoint_;
    GoogleHttp::Limits limits_;
};
