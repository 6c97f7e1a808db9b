#include "platform/linux/LocalSocketSingleInstance.h"
#include "support/CapturingLogSink.h"
#include "support/QtPrinters.h"
#include "support/RunEvents.h"

#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

#include <memory>

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

    const auto send = [&](const QByteArray& bytes) {
        QLocalSocket client;
        client.connectToServer(instance.socketPath());
        ASSERT_TRUE(runEventsUntil([&] { return client.state() == QLocalSocket::ConnectedState; }));
        client.write(bytes);
        client.flush();
        const int before = int(log.entries.size()) + int(received.size());
        runEventsUntil([&] { return int(log.entries.size()) + int(received.size()) > before; }, 2000);
    };
    send(withLength("open\nmondrel://x\n", 17));
    send(withLength("close", 5));
    send(withLength("open\n\xff\xfe", 7));
    send(withLength("open\nmondrel://a b", 18));
    send(withLength(QByteArray(100, 'a'), LocalSocketSingleInstance::kMaxMessageBytes + 1));
    send(withLength("reopen", 6) + "trailing");
    EXPECT_TRUE(received.isEmpty());
    EXPECT_EQ(log.messages("singleInstance").size(), 6);

    send(LocalSocketSingleInstance::encode({"mondrel://one", "mondrel://two"}));
    send(LocalSocketSingleInstance::encode({}));
    EXPECT_EQ(received, QStringList({"mondrel://one", "mondrel://two", "reopen"}));
}

TEST(LocalSocketSingleInstanceTest, MessagesReadBackAsTheyWereWritten) {
    const QStringList urls{"mondrel://auth/callback?code=ä", "https://example.org/x#y"};
    const QByteArray message = LocalSocketSingleInstance::encode(urls);
    EXPECT_EQ(qFromBigEndian<quint32>(message.constData()), quint32(message.size() - 4));
    EXPECT_EQ(LocalSocketSingleInstance::decode(message.mid(4)), urls);
    EXPECT_EQ(LocalSocketSingleInstance::decode("reopen"), QStringList());
    EXPECT_FALSE(LocalSocketSingleInstance::decode("open"));
    EXPECT_FALSE(LocalSocketSingleInstance::decode("open\n"));
    EXPECT_FALSE(LocalSocketSingleInstance::decode("reopen\nmondrel://x"));
}
