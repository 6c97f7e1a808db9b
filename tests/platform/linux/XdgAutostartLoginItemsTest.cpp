#include "platform/linux/XdgAutostartLoginItems.h"
#include "services/LaunchAtLoginService.h"
#include "support/CapturingLogSink.h"
#include "support/QtPrinters.h"
#include "support/RecordingWorkspace.h"
#include "support/Unprivileged.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

// Sets an environment variable for the test's duration.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const QByteArray& value)
        : name_(name), had_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name)) {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ~ScopedVariable() {
        if (had_)
            qputenv(name_, old_);
        else
            qunsetenv(name_);
    }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const char* name_;
    bool had_;
    QByteArray old_;
};

void write(const QString& path, const QByteArray& contents) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(contents);
}

QByteArray read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// An executable file at `path`; the path.
QString makeProgram(const QString& path) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write("#!/bin/sh\n");
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther |
                        QFile::ExeOther);
    return path;
}

class XdgAutostartLoginItemsTest : public ::testing::Test {
protected:
    QTemporaryDir config;
    ScopedVariable configHome{"XDG_CONFIG_HOME", config.path().toUtf8()};
    QString program = makeProgram(config.filePath(QStringLiteral("bin/mondrel")));
    RecordingWorkspace workspace;
    XdgAutostartLoginItems items{workspace, XdgAutostartLoginItems::standardDirectory(), program};
    QString entry = config.filePath(QStringLiteral("autostart/app.mondrel.Mondrel.desktop"));
};

TEST_F(XdgAutostartLoginItemsTest, RegisteringWritesTheEntryAndUnregisteringRemovesIt) {
    EXPECT_EQ(items.entryPath(), entry);
    EXPECT_EQ(items.status(), LoginItemStatus::notRegistered);

    items.registerItem();
    EXPECT_EQ(read(entry), "[Desktop Entry]\n"
                           "Type=Application\n"
                           "Name=Mondrel\n"
                           "Exec=" +
                               program.toUtf8() +
                               "\n"
                               "TryExec=" +
                               program.toUtf8() +
                               "\n"
                               "X-GNOME-Autostart-enabled=true\n");
    EXPECT_EQ(items.status(), LoginItemStatus::enabled);
    EXPECT_EQ(QDir(config.filePath("autostart")).entryList(QDir::Files),
              QStringList{"app.mondrel.Mondrel.desktop"})
        << "no temporary file left behind";

    items.unregisterItem();
    EXPECT_FALSE(QFile::exists(entry));
    EXPECT_EQ(items.status(), LoginItemStatus::notRegistered);
    EXPECT_NO_THROW(items.unregisterItem()) << "a missing entry is no error";
}

TEST_F(XdgAutostartLoginItemsTest, AnEntryThatHidesItselfOrIsSwitchedOffIsNotRegistered) {
    QDir().mkpath(config.filePath("autostart"));
    // A bare name is looked up on PATH, as the desktop does.
    ScopedVariable path("PATH", QFile::encodeName(config.filePath("bin")));
    const std::vector<std::pair<QByteArray, LoginItemStatus>> cases = {
        {"[Desktop Entry]\nExec=mondrel\nHidden=true\n", LoginItemStatus::notRegistered},
        {"[Desktop Entry]\nExec=mondrel\nX-GNOME-Autostart-enabled = false\n",
         LoginItemStatus::notRegistered},
        {"[Desktop Entry]\nExec=mondrel\nHidden=false\nX-GNOME-Autostart-enabled=true\n",
         LoginItemStatus::enabled},
        {"[Desktop Entry]\nExec=mondrel\n[Desktop Action quit]\nHidden=true\n", LoginItemStatus::enabled},
        {"", LoginItemStatus::notRegistered},
    };
    for (const auto& [contents, status] : cases) {
        write(entry, contents);
        EXPECT_EQ(items.status(), status) << contents.toStdString();
    }

    write(entry, "[Desktop Entry]\nHidden=true\n");
    items.registerItem();
    EXPECT_EQ(items.status(), LoginItemStatus::enabled) << "registering replaces a hidden entry";
}

// A FIFO in the entry's place hung the start, a link to /dev/zero ran it out of memory.
TEST_F(XdgAutostartLoginItemsTest, AnEntryThatIsNoPlainFileIsNotRegisteredAndLogged) {
    QDir().mkpath(config.filePath("autostart"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(entry).constData(), 0600), 0);
    CapturingLogSink sink;
    EXPECT_EQ(items.status(), LoginItemStatus::notRegistered);
    ASSERT_TRUE(QFile::remove(entry));
    ASSERT_TRUE(QFile::link("/dev/zero", entry));
    EXPECT_EQ(items.status(), LoginItemStatus::notRegistered);
    EXPECT_EQ(sink.messages().size(), 2);
    EXPECT_TRUE(sink.messages().last().contains("reason=not_regular"))
        << sink.messages().last().toStdString();
}

TEST_F(XdgAutostartLoginItemsTest, ExecQuotesAPathThatNeedsIt) {
    EXPECT_EQ(XdgAutostartLoginItems::execValue("/usr/bin/mondrel"), "/usr/bin/mondrel");
    EXPECT_EQ(XdgAutostartLoginItems::execValue("/home/a b/mondrel"), "\"/home/a b/mondrel\"");
    EXPECT_EQ(XdgAutostartLoginItems::execValue("/x/\"$`y"), "\"/x/\\\\\"\\\\$\\\\`y\"");
    EXPECT_EQ(XdgAutostartLoginItems::execValue("/x/a\\b"), "\"/x/a\\\\\\\\b\"") << "four backslashes";
    EXPECT_EQ(XdgAutostartLoginItems::execValue("/x/100%/m"), "/x/100%%/m");
    EXPECT_EQ(XdgAutostartLoginItems::execValue("/x/it's"), "\"/x/it's\"");
    EXPECT_EQ(XdgAutostartLoginItems::execValue("/x/a\nb"), "\"/x/a\\nb\"") << "one line, whatever the path";
}

TEST_F(XdgAutostartLoginItemsTest, WithoutAConfigurationFolderRegisteringFails) {
    ScopedVariable noConfig("XDG_CONFIG_HOME", QByteArray());
    ScopedVariable relativeHome("HOME", "relative/home");
    EXPECT_EQ(XdgAutostartLoginItems::standardDirectory(), QString());
    XdgAutostartLoginItems homeless(workspace, XdgAutostartLoginItems::standardDirectory(),
                                    "/usr/bin/mondrel");
    EXPECT_EQ(homeless.status(), LoginItemStatus::notRegistered);
    EXPECT_THROW(homeless.registerItem(), LoginItemsError);
    EXPECT_NO_THROW(homeless.unregisterItem());

    ScopedVariable home("HOME", "/home/someone");
    EXPECT_EQ(XdgAutostartLoginItems::standardDirectory(), "/home/someone/.config/autostart");
    ScopedVariable relativeConfig("XDG_CONFIG_HOME", "config");
    EXPECT_EQ(XdgAutostartLoginItems::standardDirectory(), "/home/someone/.config/autostart");
}

// A plain file where the folder should be stops even root.
TEST_F(XdgAutostartLoginItemsTest, AFileInPlaceOfTheFolderIsAFailureThatIsLogged) {
    write(config.filePath("autostart"), "not a folder");
    CapturingLogSink log;
    LaunchAtLoginService service(items);

    service.setEnabled(true);
    EXPECT_FALSE(service.isEnabled());
    EXPECT_EQ(log.messages("launchAtLogin"),
              QStringList{"launch_at_login_toggle_failed enabled=true error=Could not create the folder " +
                          config.filePath("autostart") + ": Not a directory"});
}

TEST_F(XdgAutostartLoginItemsTest, InAReadOnlyFolderTheToggleFollowsTheRealState) {
    MONDREL_RUN_UNPRIVILEGED();
    const QString folder = config.filePath("autostart");
    const auto setWritable = [&folder](bool writable) {
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner |
                                          (writable ? QFile::WriteOwner : QFile::Permissions()));
    };
    QDir().mkpath(folder);
    setWritable(false);
    CapturingLogSink log;
    LaunchAtLoginService service(items);

    service.setEnabled(true);
    EXPECT_FALSE(service.isEnabled());
    ASSERT_EQ(log.messages().size(), 1);
    EXPECT_TRUE(log.messages().at(0).startsWith(
        "launch_at_login_toggle_failed enabled=true error=Could not write " + entry + ": "))
        << log.messages().at(0).toStdString();

    setWritable(true);
    service.setEnabled(true);
    ASSERT_TRUE(service.isEnabled());
    setWritable(false);
    log.clear();
    service.setEnabled(false);
    EXPECT_TRUE(service.isEnabled()) << "the entry is still there and still starts the program";
    ASSERT_EQ(log.messages().size(), 1);
    EXPECT_TRUE(log.messages().at(0).startsWith(
        "launch_at_login_toggle_failed enabled=false error=Could not remove " + entry + ": "));
    setWritable(true);
}

TEST_F(XdgAutostartLoginItemsTest, TheItemIsOnOnlyWhenLoggingInWouldStartThisVeryProgram) {
    QDir().mkpath(config.filePath("autostart"));
    const QString other = makeProgram(config.filePath("copy/mondrel"));
    const QString link = config.filePath("bin/link");
    ASSERT_TRUE(QFile::link(program, link));
    const QByteArray here = program.toUtf8();
    const std::vector<std::pair<QByteArray, LoginItemStatus>> cases = {
        {"Exec=" + here + " %u\n", LoginItemStatus::enabled},
        {"Exec=\"" + here + "\" --background\n", LoginItemStatus::enabled},
        {"Exec=" + link.toUtf8() + "\n", LoginItemStatus::enabled},
        {"Exec=" + here + "\nTryExec=" + here + "\n", LoginItemStatus::enabled},
        {"Exec=/opt/Mondrel/bin/mondrel\n", LoginItemStatus::notRegistered},
        {"Exec=" + other.toUtf8() + "\n", LoginItemStatus::notRegistered},
        {"Exec=" + here + "\nTryExec=/opt/Mondrel/bin/mondrel\n", LoginItemStatus::notRegistered},
        {"Exec=\"" + here + "\n", LoginItemStatus::notRegistered},
        {"Exec=" + config.filePath("bin").toUtf8() + "\n", LoginItemStatus::notRegistered},
        {"Exec=bin/mondrel\n", LoginItemStatus::notRegistered},
    };
    for (const auto& [keys, status] : cases) {
        write(entry, "[Desktop Entry]\n" + keys);
        EXPECT_EQ(items.status(), status) << keys.toStdString();
    }

    // Whatever the path holds, the entry written for it reads back as starting it.
    const QString awkward = makeProgram(config.filePath("odd dir/it's \"100%\" $HOME `x` \\ m\tondrel"));
    XdgAutostartLoginItems awkwardItems(workspace, XdgAutostartLoginItems::standardDirectory(), awkward);
    awkwardItems.registerItem();
    EXPECT_EQ(awkwardItems.status(), LoginItemStatus::enabled) << read(entry).toStdString();
    EXPECT_EQ(items.status(), LoginItemStatus::notRegistered);
}

TEST_F(XdgAutostartLoginItemsTest, AnEntryThatIsOnFollowsTheProgramWhenItMoves) {
    CapturingLogSink log;
    items.registerItem();
    const QString moved = config.filePath("moved/mondrel");
    QDir().mkpath(config.filePath("moved"));
    ASSERT_TRUE(QFile::rename(program, moved));
    XdgAutostartLoginItems movedItems(workspace, XdgAutostartLoginItems::standardDirectory(), moved);
    EXPECT_EQ(movedItems.status(), LoginItemStatus::notRegistered) << "the entry still names the old place";

    EXPECT_TRUE(movedItems.followMovedProgram());
    EXPECT_EQ(movedItems.status(), LoginItemStatus::enabled);
    EXPECT_TRUE(read(entry).contains("\nExec=" + moved.toUtf8() + "\nTryExec=" + moved.toUtf8() + "\n"));
    EXPECT_EQ(log.messages("launchAtLogin"), QStringList{"launch_at_login_followed program=" + moved});
    EXPECT_FALSE(movedItems.followMovedProgram()) << "nothing left to follow";

    // Another copy that still exists is the user's choice, and a switched-off entry stays off.
    const QString copy = makeProgram(config.filePath("copy/mondrel"));
    XdgAutostartLoginItems copyItems(workspace, XdgAutostartLoginItems::standardDirectory(), copy);
    EXPECT_FALSE(copyItems.followMovedProgram());
    EXPECT_EQ(copyItems.status(), LoginItemStatus::notRegistered);
    write(entry, "[Desktop Entry]\nExec=/gone/mondrel\nX-GNOME-Autostart-enabled=false\n");
    EXPECT_FALSE(copyItems.followMovedProgram());
    EXPECT_EQ(read(entry), "[Desktop Entry]\nExec=/gone/mondrel\nX-GNOME-Autostart-enabled=false\n");
}

TEST_F(XdgAutostartLoginItemsTest, TheSettingsAreTheAutostartFolder) {
    items.openSettings();
    ASSERT_EQ(workspace.opened.size(), 1u);
    EXPECT_EQ(workspace.opened[0], QUrl::fromLocalFile(config.filePath("autostart")));
    EXPECT_TRUE(QDir(config.filePath("autostart")).exists());
}

} // namespace
