#include "utilities/BoundedFile.h"

#include "support/QtPrinters.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using Status = BoundedFile::Status;

void write(const QString& path, const QByteArray& contents) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(contents);
}

} // namespace

// A FIFO, even one swapped in after a look at the path, would block the reader until a writer came; a link
// to /dev/zero would fill memory.
TEST(BoundedFile, ReadsOnlyPlainFilesUpToTheLimitAndNeverBlocks) {
    QTemporaryDir dir;
    const QString plain = dir.filePath("plain");
    write(plain, "twelve bytes");
    const QString fifo = dir.filePath("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString zeroes = dir.filePath("zeroes");
    ASSERT_TRUE(QFile::link("/dev/zero", zeroes));
    const QString empty = dir.filePath("empty");
    write(empty, "");

    EXPECT_EQ(BoundedFile::read(plain, 12).bytes, "twelve bytes");
    EXPECT_EQ(BoundedFile::read(plain, 11).status, Status::tooLarge);
    EXPECT_EQ(BoundedFile::read(plain, 11).bytes, QByteArray());
    EXPECT_EQ(BoundedFile::read(empty, 0).status, Status::read);
    EXPECT_EQ(BoundedFile::read(fifo, 1024).status, Status::notRegular);
    EXPECT_EQ(BoundedFile::read(zeroes, 1024).status, Status::notRegular);
    EXPECT_EQ(BoundedFile::read(dir.path(), 1024).status, Status::directory);
    EXPECT_EQ(BoundedFile::read(dir.filePath("absent"), 1024).status, Status::missing);
    EXPECT_EQ(BoundedFile::read(plain + "/below", 1024).status, Status::missing);
    EXPECT_EQ(BoundedFile::describe(Status::notRegular), "not_regular");
}

// A file that grew after its size was taken was cut at the limit and passed for whole. The kernel's own
// files are the steady case of it: their size says 0 whatever they hold.
TEST(BoundedFile, AFileThatGrowsWhileReadIsReadWholeOrNotAtAll) {
    const QString growing = QStringLiteral("/proc/self/status");
    if (!QFile::exists(growing))
        GTEST_SKIP() << "no /proc";
    const BoundedFile::Contents whole = BoundedFile::read(growing, qint64(64) * 1024);
    EXPECT_EQ(whole.status, Status::read);
    EXPECT_TRUE(whole.bytes.startsWith("Name:")) << whole.bytes.left(64).toStdString();
    EXPECT_GT(whole.bytes.size(), 16);

    const BoundedFile::Contents cut = BoundedFile::read(growing, 16);
    EXPECT_EQ(cut.status, Status::tooLarge);
    EXPECT_EQ(cut.bytes, QByteArray());
}
