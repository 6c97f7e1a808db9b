#include "account/StoredSession.h"
#include "support/QtPrinters.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace {

StoredSession session() {
    return {QStringLiteral("qas_abc"),
            QStringLiteral("rt_def"),
            Instant::fromSecondsSince1970(1'800'000'000.25),
            {QStringLiteral("qa_01936f3c-6c2e-7a4b-9d1e-2f3a4b5c6d7e"),
             QStringLiteral("ada@example.org"),
             {QStringLiteral("apple"), QStringLiteral("email")}},
            QStringLiteral("mondrel"),
            Instant::fromSecondsSince1970(1'799'990'000)};
}

QByteArray withField(const QString& key, const QJsonValue& value) {
    QJsonObject object = QJsonDocument::fromJson(session().toJson()).object();
    if (value.isUndefined())
        object.remove(key);
    else
        object.insert(key, value);
    return QJsonDocument(object).toJson();
}

} // namespace

TEST(StoredSessionTest, WritesSnakeCaseKeysAndDatesWithMilliseconds) {
    const QJsonObject object = QJsonDocument::fromJson(session().toJson()).object();
    EXPECT_EQ(object.value("expires_at").toString(), "2027-01-15T08:00:00.250Z");
    EXPECT_EQ(object.value("issued_at").toString(), "2027-01-15T05:13:20.000Z");
    EXPECT_EQ(object.value("refresh_token").toString(), "rt_def");
    EXPECT_EQ(object.value("app_slug").toString(), "mondrel");
    EXPECT_EQ(object.value("account").toObject().value("primary_email").toString(), "ada@example.org");
    EXPECT_EQ(StoredSession::fromJson(session().toJson()), session());
}

TEST(StoredSessionTest, ReadsDatesWithOrWithoutFractionAndWithAnOffset) {
    std::optional<StoredSession> read =
        StoredSession::fromJson(withField("issued_at", QStringLiteral("2027-01-15T05:13:20Z")));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->issuedAt, Instant::fromSecondsSince1970(1'799'990'000));

    read = StoredSession::fromJson(withField("expires_at", QStringLiteral("2027-01-15T09:00:00.25+01:00")));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->expiresAt, Instant::fromSecondsSince1970(1'800'000'000.25));
}

TEST(StoredSessionTest, RefusesAnythingIncompleteOrMistyped) {
    EXPECT_FALSE(StoredSession::fromJson("not json"));
    EXPECT_FALSE(StoredSession::fromJson("[]"));
    EXPECT_FALSE(StoredSession::fromJson(withField("qas", QJsonValue::Undefined)));
    EXPECT_FALSE(StoredSession::fromJson(withField("qas", 12)));
    EXPECT_FALSE(StoredSession::fromJson(withField("expires_at", QStringLiteral("tomorrow"))));
    EXPECT_FALSE(StoredSession::fromJson(withField("expires_at", QStringLiteral("2027-01-15T09:00:00"))));
    EXPECT_FALSE(StoredSession::fromJson(withField("account", QStringLiteral("qa_1"))));
    QJsonObject account = QJsonDocument::fromJson(session().toJson()).object().value("account").toObject();
    QJsonArray providers;
    providers.append(QStringLiteral("apple"));
    providers.append(3);
    account.insert("providers", providers);
    EXPECT_FALSE(StoredSession::fromJson(withField("account", account)));
}

TEST(StoredSessionTest, LivesInTheBundlesItemNamedQuintorSession) {
    EXPECT_EQ(StoredSession::keychainItem(), (SecretStore::ItemKey{QStringLiteral("app.mondrel.Mondrel"),
                                                                   QStringLiteral("quintor_session")}));
}
