#include "services/google/GoogleTokenSet.h"

#include "services/google/InternetDateTime.h"

#include <QJsonDocument>
#include <QJsonObject>

QByteArray GoogleTokenSet::toJson() const {
    QJsonObject object{{QStringLiteral("accessToken"), accessToken},
                       {QStringLiteral("expiresAt"), InternetDateTime::format(expiresAt)}};
    if (refreshToken)
        object.insert(QStringLiteral("refreshToken"), *refreshToken);
    if (email)
        object.insert(QStringLiteral("email"), *email);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<GoogleTokenSet> GoogleTokenSet::fromJson(const QByteArray& json) {
    const QJsonDocument document = QJsonDocument::fromJson(json);
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const QJsonValue access = object.value(QStringLiteral("accessToken"));
    const QJsonValue expiry = object.value(QStringLiteral("expiresAt"));
    if (!access.isString() || !expiry.isString())
        return std::nullopt;
    const std::optional<Instant> expiresAt = InternetDateTime::parse(expiry.toString());
    if (!expiresAt)
        return std::nullopt;

    auto optionalText = [&object](const QString& key) -> std::optional<QString> {
        const QJsonValue v = object.value(key);
        return v.isString() ? std::optional<QString>(v.toString()) : std::nullopt;
    };
    return GoogleTokenSet{access.toString(), optionalText(QStringLiteral("refreshToken")), *expiresAt,
                          optionalText(QStringLiteral("email"))};
}
