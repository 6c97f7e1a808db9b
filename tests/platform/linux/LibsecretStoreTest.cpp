#include "platform/linux/LibsecretStore.h"
#include "services/google/GoogleTokenKeychain.h"

#include "support/QtPrinters.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

// The adapter against a real Secret Service. Only run inside the private keyring session that
// run-in-private-keyring.sh starts: anywhere else it would write into the user's own keyring.
class LibsecretStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (qEnvironmentVariable("MONDREL_PRIVATE_KEYRING") != QLatin1String("1"))
            GTEST_SKIP() << "needs the private keyring session of the keyring_daemon test";
        store.remove(key);
        store.remove(other);
    }

    LibsecretStore store;
    const SecretStore::ItemKey key{QStringLiteral("app.mondrel.Mondrel.test"), QStringLiteral("item")};
    const SecretStore::ItemKey other{QStringLiteral("app.mondrel.Mondrel.test"), QStringLiteral("other")};
};

TEST_F(LibsecretStoreTest, ItemsAreAddedReadUpdatedAndRemovedByServiceAndAccount) {
    EXPECT_EQ(store.read(key).status, SecretStore::Status::notFound);
    EXPECT_EQ(store.update(key, "x"), SecretStore::Status::notFound);
    EXPECT_EQ(store.remove(key), SecretStore::Status::notFound);

    ASSERT_EQ(store.add(key, QByteArray("one\0two", 7)), SecretStore::Status::success);
    EXPECT_EQ(store.add(key, "again"), SecretStore::Status::alreadyExists);
    ASSERT_EQ(store.add(other, "other"), SecretStore::Status::success);
    EXPECT_EQ(store.read(key).data, QByteArray("one\0two", 7));

    EXPECT_EQ(store.update(key, "{\"a\":1}"), SecretStore::Status::success);
    EXPECT_EQ(store.read(key).data, "{\"a\":1}");
    EXPECT_EQ(store.read(other).data, "other") << "items of another account are left alone";

    EXPECT_EQ(store.remove(key), SecretStore::Status::success);
    EXPECT_EQ(store.read(key).status, SecretStore::Status::notFound);
    EXPECT_EQ(store.read(other).status, SecretStore::Status::success);
}

TEST_F(LibsecretStoreTest, TheTokenSetItemIsWrittenTwiceAsOneItem) {
    const GoogleTokenKeychain keychain(store);
    keychain.remove();
    GoogleTokenSet tokens{QStringLiteral("a"), QStringLiteral("r"),
                          Instant::fromSecondsSince1970(1'800'000'000), std::nullopt};
    keychain.write(tokens);
    tokens.accessToken = QStringLiteral("b");
    keychain.write(tokens);

    EXPECT_EQ(keychain.read(), tokens);
    keychain.remove();
    EXPECT_EQ(store.read(GoogleTokenKeychain::baseKeychainQuery()).status, SecretStore::Status::notFound);
}

TEST(LibsecretStoreWithoutBus, EveryCallFailsAtOnce) {
    const QByteArray saved = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    LibsecretStore store;
    const SecretStore::ItemKey key{QStringLiteral("s"), QStringLiteral("a")};

    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_EQ(store.read(key).status, SecretStore::Status::failure);
    EXPECT_EQ(store.update(key, "x"), SecretStore::Status::failure);
    EXPECT_EQ(store.add(key, "x"), SecretStore::Status::failure);
    EXPECT_EQ(store.remove(key), SecretStore::Status::failure);
    EXPECT_FALSE(GoogleTokenKeychain(store).read());
    EXPECT_LT(elapsed.elapsed(), 1000);
    if (!saved.isEmpty())
        qputenv("DBUS_SESSION_BUS_ADDRESS", saved);
}
