#include "platform/linux/LibsecretStore.h"
#include "services/google/GoogleTokenKeychain.h"

#include "app/LaunchFixture.h"
#include "support/QtPrinters.h"
#include "support/TaskOutcome.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>
#include <gtest/gtest.h>

// The adapter against a real Secret Service. Only run inside the private keyring session that
// run-in-private-keyring.sh starts: anywhere else it would write into the user's own keyring.
namespace {

bool inPrivateKeyring(const char* mode) {
    return qEnvironmentVariable("MONDREL_PRIVATE_KEYRING") == QLatin1String(mode);
}

SecretStore::Reply answer(QCoro::Task<SecretStore::Reply> call) {
    return finish(std::move(call)).value.value_or(SecretStore::Reply{});
}

std::optional<GoogleTokenSet> readBack(const GoogleTokenKeychain& keychain) {
    return finish(keychain.read()).value.value_or(std::nullopt);
}

} // namespace

class LibsecretStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!inPrivateKeyring("1"))
            GTEST_SKIP() << "needs the private keyring session of the keyring_daemon test";
        answer(store.remove(key));
        answer(store.remove(other));
    }

    LibsecretStore store;
    const SecretStore::ItemKey key{QStringLiteral("app.mondrel.Mondrel.test"), QStringLiteral("item")};
    const SecretStore::ItemKey other{QStringLiteral("app.mondrel.Mondrel.test"), QStringLiteral("other")};
};

TEST_F(LibsecretStoreTest, ItemsAreAddedReadUpdatedAndRemovedByServiceAndAccount) {
    EXPECT_EQ(answer(store.read(key)).status, SecretStore::Status::notFound);
    EXPECT_EQ(answer(store.update(key, "x")).status, SecretStore::Status::notFound);
    EXPECT_EQ(answer(store.remove(key)).status, SecretStore::Status::notFound);

    ASSERT_EQ(answer(store.add(key, QByteArray("one\0two", 7))).status, SecretStore::Status::success);
    EXPECT_EQ(answer(store.add(key, "again")).status, SecretStore::Status::alreadyExists);
    ASSERT_EQ(answer(store.add(other, "other")).status, SecretStore::Status::success);
    EXPECT_EQ(answer(store.read(key)).data, QByteArray("one\0two", 7));

    EXPECT_EQ(answer(store.update(key, "{\"a\":1}")).status, SecretStore::Status::success);
    EXPECT_EQ(answer(store.read(key)).data, "{\"a\":1}");
    EXPECT_EQ(answer(store.read(other)).data, "other") << "items of another account are left alone";

    EXPECT_EQ(answer(store.remove(key)).status, SecretStore::Status::success);
    EXPECT_EQ(answer(store.read(key)).status, SecretStore::Status::notFound);
    EXPECT_EQ(answer(store.read(other)).status, SecretStore::Status::success);
}

TEST_F(LibsecretStoreTest, TheTokenSetItemIsWrittenTwiceAsOneItemAndRemovedAfterItsWrites) {
    GoogleTokenKeychain keychain(store);
    GoogleTokenSet tokens{QStringLiteral("a"), QStringLiteral("r"),
                          Instant::fromSecondsSince1970(1'800'000'000), std::nullopt};
    keychain.write(tokens);
    tokens.accessToken = QStringLiteral("b");
    keychain.write(tokens);
    EXPECT_TRUE(runEventsUntil([&] { return readBack(keychain) == tokens; }));

    // Asked for at once, the removal still comes after both writes.
    keychain.write(tokens);
    keychain.remove();
    EXPECT_TRUE(runEventsUntil([&] {
        return answer(store.read(GoogleTokenKeychain::baseKeychainQuery())).status ==
               SecretStore::Status::notFound;
    }));
}

// An unlock prompt that cannot open (no display reaches the private session) ends as dismissed.
TEST(LockedKeyringTest, ADismissedUnlockPromptFailsAsLockedAndLeavesTheStoredSession) {
    if (!inPrivateKeyring("1"))
        GTEST_SKIP() << "needs the private keyring session of the keyring_daemon test";
    LibsecretStore store;
    const SecretStore::ItemKey item = StoredSession::keychainItem();
    answer(store.remove(item));
    ASSERT_EQ(answer(store.add(item, sampleSession(Instant::now()).toJson())).status,
              SecretStore::Status::success);
    QProcess lock;
    lock.start(QStringLiteral("dbus-send"),
               {"--session", "--print-reply", "--dest=org.freedesktop.secrets", "/org/freedesktop/secrets",
                "org.freedesktop.Secret.Service.Lock",
                "array:objpath:/org/freedesktop/secrets/aliases/default"});
    ASSERT_TRUE(lock.waitForFinished(10'000));
    ASSERT_EQ(lock.exitCode(), 0) << lock.readAllStandardError().toStdString();

    for (const SecretStore::Reply& reply : {answer(store.read(item)), answer(store.update(item, "{}")),
                                            answer(store.add(item, "{}")), answer(store.remove(item))}) {
        EXPECT_EQ(reply.status, SecretStore::Status::failure);
        EXPECT_EQ(reply.failureReason, SecretStore::kLocked);
    }

    // Nothing to find first: the store itself meets the lock, and its refusal is a failure, never "saved".
    const SecretStore::ItemKey fresh{item.service, QStringLiteral("never_stored")};
    EXPECT_EQ(answer(store.add(fresh, "{}")).status, SecretStore::Status::failure);

    QProcess search;
    search.setProcessChannelMode(QProcess::MergedChannels);
    search.start(QStringLiteral("secret-tool"), {"search", "--all", "service", item.service});
    ASSERT_TRUE(search.waitForFinished(10'000));
    const QByteArray found = search.readAll();
    EXPECT_TRUE(found.contains("attribute.account = quintor_session"))
        << "the locked session is still stored:\n"
        << found.toStdString();
    EXPECT_FALSE(found.contains("never_stored")) << found.toStdString();
}

namespace {
struct RealKeyring {
    LibsecretStore keyring;
};
} // namespace

// A Secret Service that owns its name but never answers (its daemon stopped).
class UnreachableKeyringTest : private RealKeyring, public LaunchFixture {
protected:
    UnreachableKeyringTest() : LaunchFixture(&keyring) {}
};

TEST_F(UnreachableKeyringTest, TheGateOpensWithinASecondAndTheMainThreadNeverStalls) {
    if (!inPrivateKeyring("frozen"))
        GTEST_SKIP() << "needs the frozen keyring session of the keyring_unreachable test";
    storeSession();
    // The launch's own set-up runs first; from then on the main thread only waits for the keyring.
    QElapsedTimer sinceLaunch;
    sinceLaunch.start();
    make().applicationDidFinishLaunching();
    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    QTimer ticks;
    ticks.setInterval(10);
    QObject::connect(&ticks, &QTimer::timeout,
                     [&] { longestGap = std::max(longestGap, sinceTick.restart()); });
    sinceTick.start();
    ticks.start();
    EXPECT_TRUE(runEventsUntil(
        [&] {
            queue.runUntilIdle();
            return gatesMade() == 1;
        },
        1000));
    longestGap = std::max(longestGap, sinceTick.elapsed());
    RecordProperty("gateAfterMilliseconds", int(sinceLaunch.elapsed()));
    RecordProperty("longestMainThreadGapMilliseconds", int(longestGap));
    EXPECT_LE(longestGap, 50 * testTimeScale());
    EXPECT_TRUE(log.messages("account").contains(
        "session_restore_failed reason=keychain_unavailable keychain=unreachable"))
        << log.messages("account").join('\n').toStdString();
}

TEST(LibsecretStoreWithoutBus, EveryCallFailsAsUnreachable) {
    const QByteArray saved = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    qunsetenv("XDG_RUNTIME_DIR");
    LibsecretStore store;
    const SecretStore::ItemKey key{QStringLiteral("s"), QStringLiteral("a")};

    for (const SecretStore::Reply& reply : {answer(store.read(key)), answer(store.update(key, "x")),
                                            answer(store.add(key, "x")), answer(store.remove(key))}) {
        EXPECT_EQ(reply.status, SecretStore::Status::failure);
        EXPECT_EQ(reply.failureReason, SecretStore::kUnreachable);
    }
    EXPECT_FALSE(readBack(GoogleTokenKeychain(store)));
    if (!saved.isEmpty())
        qputenv("DBUS_SESSION_BUS_ADDRESS", saved);
    if (!savedRuntime.isEmpty())
        qputenv("XDG_RUNTIME_DIR", savedRuntime);
}
