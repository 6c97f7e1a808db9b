#include "platform/linux/LocalSocketSingleInstance.h"
#include "support/CapturingLogSink.h"
#include "support/QtPrinters.h"
#include "support/RunEvents.h"
#include "support/Unprivileged.h"

#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

#include <memory>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// A launch of the helper program, whose output lines are collected as they come.
class Launch {
public:
    Launch(const QString& directory, const QStringList& urls) {
        process_.setProgram(QStringLiteral(MONDREL_SINGLE_INSTANCE_HELPER));
        process_.setArguments(QStringList{directory} + urls);
        process_.start();
    }
    ~Launch() {
        process_.kill();
        process_.waitForFinished();
    }

    bool waitForLine(const QString& line) {
        return runEventsUntil([&] {
            process_.waitForReadyRead(10);
            while (process_.canReadLine())
                lines_ << QString::fromUtf8(process_.readLine()).trimmed();
            return lines_.contains(line);
        });
    }
    int exitCode() {
        process_.waitForFinished(10'000);
        return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    }
    void killHard() {
        process_.kill(); // SIGKILL: nothing is cleaned up
        process_.waitForFinished();
    }
    const QStringList& lines() const { return lines_; }

private:
    QProcess process_;
    QStringList lines_;
};

QByteArray withLength(const QByteArray& body, quint32 length) {
    QByteArray message(4, '\0');
    qToBigEndian<quint32>(length, message.data());
    return message + body;
}

} // namespace

TEST(LocalSocketSingleInstanceTest, ASecondLaunchHandsItsURLsToTheFirstAndExits) {
    QTemporaryDir dir;
    Launch first(dir.path(), {});
    ASSERT_TRUE(first.waitForLine("primary")) << first.lines().join('\n').toStdString();

    Launch second(dir.path(), {"mondrel://auth/callback?code=1&state=x", "mondrel://calendar"});
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(second.waitForLine("secondary"));
    ASSERT_TRUE(first.waitForLine("open mondrel://calendar"));
    EXPECT_EQ(first.lines(), QStringList({"primary", "open mondrel://auth/callback?code=1&state=x",
                                          "open mondrel://calendar"}));

    Launch bare(dir.path(), {});
    EXPECT_EQ(bare.exitCode(), 0);
    EXPECT_TRUE(first.waitForLine("reopen"));
}

TEST(LocalSocketSingleInstanceTest, TheSocketOfAKilledInstanceIsTakenOver) {
    QTemporaryDir dir;
    auto killed = std::make_unique<Launch>(dir.path(), QStringList{});
    ASSERT_TRUE(killed->waitForLine("primary"));
    killed->killHard();
    const QString socket =
        LocalSocketSingleInstance(QStringLiteral("app.mondrel.Mondrel.test"), dir.path()).socketPath();
    ASSERT_TRUE(QFileInfo::exists(socket)) << "a killed instance leaves its socket";

    Launch next(dir.path(), {});
    ASSERT_TRUE(next.waitForLine("primary"));
    Launch forwarding(dir.path(), {"mondrel://signed-in"});
    EXPECT_EQ(forwarding.exitCode(), 0);
    EXPECT_TRUE(next.waitForLine("open mondrel://signed-in"));
}

TEST(LocalSocketSingleInstanceTest, DropsMalformedAndOversizedMessagesAndKeepsServing) {
    QTemporaryDir dir;
    CapturingLogSink log;
    LocalSocketSingleInstance instance(QStringLiteral("app.mondrel.Mondrel.test"), dir.path());
    ASSERT_EQ(instance.claim({}), SingleInstance::Role::primary);
    EXPECT_EQ(QFileInfo(instance.socketPath()).permissions() & (QFile::ReadOther | QFile::WriteOther), 0);
    QStringList received;
    instance.setHandlers({[&](const QStringList& urls) { received << urls; }, [&] { received << "reopen"; }});

    // What the running instance answered, once it has logged or delivered the message.
    const auto send = [&](const QByteArray& bytes) {
        QLocalSocket client;
        client.connectToServer(instance.socketPath());
        EXPECT_TRUE(runEventsUntil([&] { return client.state() == QLocalSocket::ConnectedState; }));
        client.write(bytes);
        client.flush();
        const int before = int(log.entries.size()) + int(received.size());
        runEventsUntil([&] { return int(log.entries.size()) + int(received.size()) > before; }, 2000);
        runEventsUntil([&] { return client.state() == QLocalSocket::UnconnectedState; }, 2000);
        return client.readAll();
    };
    const QList<QByteArray> malformed{
        withLength("open\nmondrel://x\n", 17),
        withLength("close", 5),
        withLength("open\n\xff\xfe", 7),
        withLength("open\nmondrel://x\xc3", 16),    // the last character cut short
        withLength("open\nmondrel://\xc0\xaf", 16), // an over-long form of "/"
        withLength("open\nmondrel://a b", 18),
        withLength("open\nmondrel://a\x1b[2J", 20),
        withLength(QByteArray(100, 'a'), LocalSocketSingleInstance::kMaxMessageBytes + 1),
        withLength("reopen", 6) + "trailing",
    };
    for (const QByteArray& message : malformed)
        EXPECT_EQ(send(message), "") << "refused unanswered: " << message.toStdString();
    EXPECT_TRUE(received.isEmpty());
    EXPECT_EQ(log.messages("singleInstance").size(), malformed.size());

    EXPECT_EQ(send(*LocalSocketSingleInstance::encode({"mondrel://one", "mondrel://two"})), "ok");
    EXPECT_EQ(send(*LocalSocketSingleInstance::encode({})), "ok");
    EXPECT_EQ(received, QStringList({"mondrel://one", "mondrel://two", "reopen"}));
}

TEST(LocalSocketSingleInstanceTest, MessagesReadBackAsTheyWereWritten) {
    const QStringList urls{"mondrel://auth/callback?code=ä", "https://example.org/x#y"};
    const QByteArray message = LocalSocketSingleInstance::encode(urls).value_or(QByteArray());
    EXPECT_EQ(qFromBigEndian<quint32>(message.constData()), quint32(message.size() - 4));
    EXPECT_EQ(LocalSocketSingleInstance::decode(message.mid(4)), urls);
    EXPECT_EQ(LocalSocketSingleInstance::decode("reopen"), QStringList());
    EXPECT_FALSE(LocalSocketSingleInstance::decode("open"));
    EXPECT_FALSE(LocalSocketSingleInstance::decode("open\n"));
    EXPECT_FALSE(LocalSocketSingleInstance::decode("reopen\nmondrel://x"));

    // What the running instance would refuse is not sent at all.
    EXPECT_FALSE(LocalSocketSingleInstance::encode({"mondrel://a b"}));
    EXPECT_FALSE(LocalSocketSingleInstance::encode({"mondrel://a", ""}));
    EXPECT_FALSE(LocalSocketSingleInstance::encode({"mondrel://a\nopen"}));
    const QString longest = "mondrel://" + QString(LocalSocketSingleInstance::kMaxMessageBytes - 15, 'x');
    EXPECT_TRUE(LocalSocketSingleInstance::encode({longest}));
    EXPECT_FALSE(LocalSocketSingleInstance::encode({longest + "x"}));
}

TEST(LocalSocketSingleInstanceTest, ALinkTheRunningInstanceCannotTakeFailsTheSecondLaunch) {
    QTemporaryDir dir;
    Launch first(dir.path(), {});
    ASSERT_TRUE(first.waitForLine("primary"));
    const QString tooLong =
        "mondrel://auth/callback?code=" + QString(LocalSocketSingleInstance::kMaxMessageBytes + 1, 'c');
    Launch second(dir.path(), {"mondrel://calendar", tooLong});
    EXPECT_EQ(second.exitCode(), 3);
    EXPECT_TRUE(second.waitForLine("undelivered"));

    Launch third(dir.path(), {"mondrel://signed-in"});
    EXPECT_EQ(third.exitCode(), 0);
    ASSERT_TRUE(first.waitForLine("open mondrel://signed-in"));
    EXPECT_EQ(first.lines(), QStringList({"primary", "open mondrel://signed-in"}))
        << "nothing of the refused one";
}

TEST(LocalSocketSingleInstanceTest, TheSocketLivesOnlyInADirectoryOfThisUsersThatNobodyElseMayEnter) {
    MONDREL_RUN_UNPRIVILEGED();
    QTemporaryDir base;
    using Instance = LocalSocketSingleInstance;
    EXPECT_FALSE(Instance::privateDirectory(QString()));
    EXPECT_FALSE(Instance::privateDirectory(QStringLiteral("runtime"))) << "relative";
    EXPECT_FALSE(Instance::privateDirectory(QStringLiteral("/tmp"))) << "another user's, open to all";
    const QString made = base.filePath(QStringLiteral("made"));
    EXPECT_EQ(Instance::privateDirectory(made), made);
    EXPECT_EQ(QFileInfo(made).permissions() & ~(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                QFile::ReadUser | QFile::WriteUser | QFile::ExeUser),
              0);
    const QString open = base.filePath(QStringLiteral("open"));
    ASSERT_EQ(::mkdir(QFile::encodeName(open).constData(), 0755), 0);
    EXPECT_FALSE(Instance::privateDirectory(open));
    const QString link = base.filePath(QStringLiteral("link"));
    ASSERT_TRUE(QFile::link(made, link));
    EXPECT_FALSE(Instance::privateDirectory(link)) << "a link, even to a good directory";

    // Without a usable runtime directory the socket goes to a private one in the temporary folder.
    const QByteArray savedTemp = qgetenv("TMPDIR");
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", QFile::encodeName(base.path()));
    const QString fallback = base.filePath(QStringLiteral("mondrel-%1").arg(::getuid()));
    for (const char* runtime : {"", "relative", "/tmp"}) {
        qputenv("XDG_RUNTIME_DIR", runtime);
        EXPECT_EQ(Instance::runtimeDirectory(), fallback) << runtime;
    }
    // ...unless someone else made it first: then there is no single instance at all, and no socket.
    ASSERT_TRUE(QDir(fallback).removeRecursively());
    ASSERT_EQ(::mkdir(QFile::encodeName(fallback).constData(), 0777), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(fallback).constData(), 0777), 0);
    {
        CapturingLogSink log;
        Instance instance(QStringLiteral("app.mondrel.Mondrel.test"));
        EXPECT_TRUE(instance.socketPath().isEmpty());
        EXPECT_EQ(instance.claim({QStringLiteral("mondrel://auth/callback?code=1")}),
                  SingleInstance::Role::unavailable);
        EXPECT_TRUE(QDir(fallback).isEmpty());
    }
    qputenv("TMPDIR", savedTemp);
    qputenv("XDG_RUNTIME_DIR", savedRuntime);
}

// Root listens where an unprivileged user's launch looks for its running instance; that user then launches
// with a sign-in link.
TEST(LocalSocketSingleInstanceTest, AForeignListenerGetsNothingAndTheLaunchRunsOnAsTheFirstInstance) {
    const char* const kDirectoryVariable = "MONDREL_TEST_FOREIGN_LISTENER_DIR";
    if (::geteuid() == 0) {
        QTemporaryDir dir;
        ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 01777), 0);
        QLocalServer foreign;
        foreign.setSocketOptions(QLocalServer::WorldAccessOption);
        ASSERT_TRUE(foreign.listen(
            dir.filePath(QStringLiteral("app.mondrel.Mondrel.test.%1").arg(kUnprivilegedUserId))));
        qputenv(kDirectoryVariable, QFile::encodeName(dir.path()));
        ASSERT_TRUE(rerunAsUnprivilegedUser());
        qunsetenv(kDirectoryVariable);
        int connections = 0;
        while (foreign.waitForNewConnection(100)) {
            std::unique_ptr<QLocalSocket> connection(foreign.nextPendingConnection());
            ++connections;
            connection->waitForReadyRead(100);
            EXPECT_EQ(connection->readAll(), "") << "the foreign listener is told nothing";
        }
        EXPECT_EQ(connections, 1);
        return;
    }
    const QString directory = qEnvironmentVariable(kDirectoryVariable);
    if (directory.isEmpty())
        GTEST_SKIP() << "needs root, to listen as a user other than the launch's";
    CapturingLogSink log;
    LocalSocketSingleInstance instance(QStringLiteral("app.mondrel.Mondrel.test"), directory);
    const SingleInstance::Role role =
        instance.claim({QStringLiteral("mondrel://auth/callback?code=c&state=s")});
    EXPECT_TRUE(role == SingleInstance::Role::primary || role == SingleInstance::Role::unavailable);
    EXPECT_TRUE(
        log.messages("singleInstance").contains(QStringLiteral("single_instance_foreign_listener uid=0")))
        << log.messages("singleInstance").join('\n').toStdString();
}
