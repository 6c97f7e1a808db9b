#include "platform/linux/LocalSocketSingleInstance.h"
#include "support/RunEvents.h"
#include "support/VdirTree.h"
#include "utilities/Constants.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <unistd.h>

namespace {

// Counts every open of the tree's folders and files from the moment it is made.
class OpenWatch {
public:
    explicit OpenWatch(const QStringList& directories) : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        for (const QString& directory : directories)
            ::inotify_add_watch(fd_, QFile::encodeName(directory).constData(), IN_OPEN);
    }
    ~OpenWatch() { ::close(fd_); }
    OpenWatch(const OpenWatch&) = delete;
    OpenWatch& operator=(const OpenWatch&) = delete;

    int opensSoFar() {
        alignas(inotify_event) char buffer[4096];
        for (ssize_t length; (length = ::read(fd_, buffer, sizeof buffer)) > 0;)
            for (ssize_t at = 0; at < length;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                opens_ += (event->mask & IN_OPEN) ? 1 : 0;
                at += ssize_t(sizeof(inotify_event)) + event->len;
            }
        return opens_;
    }

private:
    int fd_;
    int opens_ = 0;
};

} // namespace

// A link opened while the program ran waited for a second launch to read the whole calendar tree before it
// reached the running instance: the launch now hands it over before it reads anything of the tree.
TEST(MondrelAppTest, ASecondLaunchHandsItsLinkOverBeforeReadingAnyCalendar) {
    QTemporaryDir home;
    const QString runtime = home.filePath(QStringLiteral("runtime"));
    ASSERT_TRUE(LocalSocketSingleInstance::privateDirectory(runtime));
    VdirTree tree;
    QStringList watched{tree.root()};
    for (int c = 0; c < 5; ++c) {
        const QString calendar = QStringLiteral("work/cal%1").arg(c);
        for (int i = 0; i < 1000; ++i)
            tree.write(
                calendar + QStringLiteral("/%1.ics").arg(i),
                VdirTree::event(QString::number(i), QStringLiteral("Event"), {"DTSTART:20270310T080000Z"}));
        watched << tree.root() + u'/' + calendar;
    }
    watched << tree.root() + QStringLiteral("/work");
    OpenWatch opens(watched);

    LocalSocketSingleInstance running(Constants::kBundleIdentifier, runtime);
    ASSERT_EQ(running.claim({}), SingleInstance::Role::primary);
    QStringList handed;
    int opensWhenHanded = -1;
    running.setHandlers({[&](const QStringList& urls) {
                             handed = urls;
                             opensWhenHanded = opens.opensSoFar();
                         },
                         [] {}});

    QProcess second;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    environment.insert(QStringLiteral("MONDREL_CALENDAR_DIR"), tree.root());
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    second.setProcessEnvironment(environment);
    second.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    second.start(QStringLiteral(MONDREL_PROGRAM), {QStringLiteral("mondrel://auth/callback?code=handed")});

    ASSERT_TRUE(
        runEventsUntil([&] { return !handed.isEmpty() && second.state() == QProcess::NotRunning; }, 30'000));
    EXPECT_EQ(handed, QStringList{"mondrel://auth/callback?code=handed"});
    EXPECT_EQ(opensWhenHanded, 0) << "folders or files of the tree opened before the hand-over";
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
}
