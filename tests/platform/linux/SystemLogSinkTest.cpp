#include "platform/linux/SystemLogSink.h"

#include "support/QtPrinters.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
// A datagram socket bound at `path`, as the journal daemon holds one; -1 when it cannot be made.
int bindDatagramSocket(const QString& path) {
    const QByteArray name = path.toLocal8Bit();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}
} // namespace

TEST(SystemLogSink, JournalCountsAsReachableOnlyWhileSomeoneListens) {
    QTemporaryDir dir;
    const QString path = dir.filePath("socket");
    EXPECT_FALSE(journalSocketReachable(path));

    const int listener = bindDatagramSocket(path);
    ASSERT_GE(listener, 0);
    EXPECT_TRUE(journalSocketReachable(path));

    // The daemon is gone but its socket file stays behind.
    ::close(listener);
    ASSERT_TRUE(QFile::exists(path));
    EXPECT_FALSE(journalSocketReachable(path));

    const QString plainFile = dir.filePath("file");
    QFile file(plainFile);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    EXPECT_FALSE(journalSocketReachable(plainFile));
}
