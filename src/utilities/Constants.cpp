#include "utilities/Constants.h"

#include "BuildInfo.h"

#include <QStringList>
#include <algorithm>

QString Constants::version(const BundleInfo& bundle) {
    const QVariant value = bundle.value(QStringLiteral("CFBundleShortVersionString"));
    if (value.typeId() == QMetaType::QString)
        return value.toString();
    return QStringLiteral("0.1.0");
}

const QUrl& Constants::Auth::authorityURL() {
    static const QUrl url(QStringLiteral("https://auth.mondrel.example"));
    return url;
}

const QUrl& Constants::Auth::identityURL() {
    static const QUrl url(QStringLiteral("https://id.mondrel.example"));
    return url;
}

const QUrl& Constants::Auth::redirectURI() {
    static const QUrl url(QStringLiteral("mondrel://auth/callback"));
    return url;
}

const QUrl& Constants::Auth::privacyURL() {
    static const QUrl url(QStringLiteral("https://www.mondrel.example/privacy/mondrel"));
    return url;
}

const QUrl& Constants::Auth::termsURL() {
    static const QUrl url(QStringLiteral("https://www.mondrel.example/terms/mondrel"));
    return url;
}

QString Constants::Google::clientID() {
    return QStringLiteral(MONDREL_GOOGLE_CLIENT_ID);
}

QString Constants::Google::redirectURI(const QString& clientID) {
    QStringList pieces = clientID.split(u'.', Qt::SkipEmptyParts);
    std::reverse(pieces.begin(), pieces.end());
    return pieces.join(u'.') + QStringLiteral(":/oauth2redirect");
}
