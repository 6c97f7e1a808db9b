#include "utilities/UserDefaults.h"

#include "support/CapturingLogSink.h"
#include "support/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

TEST(UserDefaults, PersistsTypedValuesAndSignalsRealChanges) {
    QTemporaryDir dir;
    const QString path = dir.filePath("mondrel/defaults.json");
    {
        UserDefaults defaults(path);
        QSignalSpy spy(&defaults, &UserDefaults::changed);
        defaults.setBool("mondrel.showWeekNumbers", true);
        defaults.setBool("mondrel.showWeekNumbers", true);
        defaults.setStringArray("mondrel.excludedCalendarIDs", {"a", "b"});
        defaults.setString("s", "x");
        EXPECT_EQ(spy.count(), 3);
        EXPECT_FALSE(defaults.stringValue("mondrel.showWeekNumbers"));
    }
    UserDefaults reread(path);
    EXPECT_EQ(reread.boolValue("mondrel.showWeekNumbers"), true);
    EXPECT_EQ(reread.stringArray("mondrel.excludedCalendarIDs"), QStringList({"a", "b"}));
    EXPECT_FALSE(reread.boolValue("missing"));
    reread.remove("s");
    EXPECT_FALSE(UserDefaults(path).contains("s"));
}

TEST(UserDefaults, CorruptFileIsSetAsideWithOneWarning) {
    QTemporaryDir dir;
    const QString path = dir.filePath("defaults.json");
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("{\"mondrel.showWeekNumbers\": tru");
    }
    CapturingLogSink sink;
    UserDefaults defaults(path);
    EXPECT_FALSE(defaults.contains("mondrel.showWeekNumbers"));
    ASSERT_EQ(sink.entries.size(), 1u);
    EXPECT_EQ(sink.entries[0].type, LogType::error);
    const QStringList aside = QDir(dir.path()).entryList({"defaults.json.corrupt-*"});
    ASSERT_EQ(aside.size(), 1);
    QFile kept(dir.filePath(aside.first()));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "{\"mondrel.showWeekNumbers\": tru");

    defaults.setBool("mondrel.showWeekNumbers", false);
    EXPECT_EQ(UserDefaults(path).boolValue("mondrel.showWeekNumbers"), false);
}

TEST(UserDefaults, UnreadableFileIsNeverWrittenOver) {
    QTemporaryDir dir;
    // A directory where the file should be: it can be neither read nor set aside as a file.
    const QString path = dir.filePath("defaults.json");
    ASSERT_TRUE(QDir().mkpath(path + "/kept"));
    CapturingLogSink sink;
    UserDefaults defaults(path);
    defaults.setBool("mondrel.showWeekNumbers", true);
    EXPECT_EQ(defaults.boolValue("mondrel.showWeekNumbers"), true);
    EXPECT_TRUE(QFileInfo(path + "/kept").isDir());
    EXPECT_EQ(sink.entries.size(), 1u);
}

// A FIFO hung the start, a link to /dev/zero ran it out of memory: whatever is not a plain file of a
// plausible size is set aside like a corrupt file, and the program starts from the defaults.
TEST(UserDefaults, AnythingButAPlainFileOfPreferencesIsSetAsideWithoutBlocking) {
    for (const QByteArray kind : {"fifo", "zeroes", "oversized"}) {
        QTemporaryDir dir;
        const QString path = dir.filePath("defaults.json");
        if (kind == "fifo")
            ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (kind == "zeroes")
            ASSERT_TRUE(QFile::link("/dev/zero", path));
        else
            ASSERT_TRUE(QFile(path).open(QIODevice::WriteOnly) &&
                        QFile::resize(path, UserDefaults::kLargestFile + 1));
        CapturingLogSink sink;
        UserDefaults defaults(path);
        ASSERT_EQ(sink.entries.size(), 1u) << kind.constData();
        EXPECT_TRUE(sink.entries[0].message.startsWith("defaults_corrupt ")) << kind.constData();
        EXPECT_EQ(QDir(dir.path()).entryList({"defaults.json.corrupt-*"}, QDir::System | QDir::Files).size(),
                  1);
        defaults.setBool("mondrel.showWeekNumbers", true);
        EXPECT_EQ(UserDefaults(path).boolValue("mondrel.showWeekNumbers"), true);
    }
}
