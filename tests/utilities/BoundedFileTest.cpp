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
