#include "account/StoredSession.h"

#include "services/google/InternetDateTime.h"
#include "utilities/Constants.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QString dateText(Instant instant) {
    return instant.toDateTime().toUTC().toString(Qt::ISODateWithMs);
}

std::optional<Instant> readDate(const QJsonValue& value) {
    if (!value.isString())
        return std::nullopt;
    return InternetDateTime::parse(value.toString());
}

std::optional<QString> readText(const QJsonObject& object, const QString& key) {
    const QJsonValue value = object.value(key);
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

std::optional<QuintorAccount> readAccount(const QJsonValue& value) {
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    const std::optional<QString> id = readText(object, QStringLiteral("id"));
    const std::optional<QString> email = readText(object, QStringLiteral("primary_email"));
    const QJsonValue providers = object.value(QStringLiteral("providers"));
    if (!id || !email || !providers.isArray())
        return std::nullopt;
    QuintorAccount account{*id, *email, {}};
    const QJsonArray providerList = providers.toArray();
    for (const QJsonValue provider : providerList) {
        if (!provider.isString())
            return std::nullopt;
        account.providers << provider.toString();
    }
    return account;
}

} // namespace

SecretStore::ItemKey StoredSession::keychainItem() {
    return {Constants::kBundleIdentifier, QStringLiteral("quintor_session")};
}

QByteArray StoredSession::toJson() const {
    const QJsonObject accountObject{
        {QStringLiteral("id"), account.id},
        {QStringLiteral("primary_email"), account.primaryEmail},
        {QStringLiteral("providers"), QJsonArray::fromStringList(account.providers)},
    };
    const QJsonObject object{
        {QStringLiteral("qas"), qas},
        {QStringLiteral("refresh_token"), refreshToken},
        {QStringLiteral("expires_at"), dateText(expiresAt)},
        {QStringLiteral("account"), accountObject},
        {QStringLiteral("app_slug"), appSlug},
        {QStringLiteral("issued_at"), dateText(issuedAt)},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<StoredSession> StoredSession::fromJson(const QByteArray& json) {
    const QJsonDocument document = QJsonDocument::fromJson(json);
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const std::optional<QString> qas = readText(object, QStringLiteral("qas"));
    const std::optional<QString> refreshToken = readText(object, QStringLiteral("refresh_token"));
    const std::optional<Instant> expiresAt = readDate(object.value(QStringLiteral("expires_at")));
    const std::optional<QuintorAccount> account = readAccount(object.value(QStringLiteral("account")));
    const std::optional<QString> appSlug = readText(object, QStringLiteral("app_slug"));
    const std::optional<Instant> issuedAt = readDate(object.value(QStringLiteral("issued_at")));
    if (!qas || !refreshToken || !expiresAt || !account || !appSlug || !issuedAt)
        return std::nullopt;
    return StoredSession{*qas, *refreshToken, *expiresAt, *account, *appSlug, *issuedAt};
}
