#include "utilities/BoundedFile.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Closes the descriptor when the read is done.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int get() const { return fd_; }

private:
    int fd_;
};

} // namespace

BoundedFile::Contents BoundedFile::read(const QString& path, qint64 limit) {
    const Descriptor fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0)
        return {errno == ENOENT || errno == ENOTDIR ? Status::missing : Status::unreadable, {}};
    struct stat status {};
    if (::fstat(fd.get(), &status) != 0)
        return {Status::unreadable, {}};
    if (S_ISDIR(status.st_mode))
        return {Status::directory, {}};
    if (!S_ISREG(status.st_mode))
        return {Status::notRegular, {}};
    if (status.st_size > limit)
        return {Status::tooLarge, {}};
    // A file that grows meanwhile is read only up to the limit, and one byte further: a file that grew past
    // the limit is as large as one that was larger from the start, never passed off cut short.
    QByteArray bytes(qsizetype(std::min<qint64>(status.st_size, limit)), Qt::Uninitialized);
    qsizetype filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            if (bytes.size() > limit)
                return {Status::tooLarge, {}};
            bytes.resize(qsizetype(std::min<qint64>(limit + 1, qint64(bytes.size()) + 4096)));
        }
        const ssize_t got = ::read(fd.get(), bytes.data() + filled, size_t(bytes.size() - filled));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return {Status::unreadable, {}};
        if (got == 0)
            break;
        filled += got;
    }
    bytes.truncate(filled);
    return {Status::read, std::move(bytes)};
}

QString BoundedFile::describe(Status status) {
    switch (status) {
    case Status::read:
        return QStringLiteral("read");
    case Status::missing:
        return QStringLiteral("missing");
    case Status::directory:
        return QStringLiteral("directory");
    case Status::notRegular:
        return QStringLiteral("not_regular");
    case Status::unreadable:
        return QStringLiteral("unreadable");
    case Status::tooLarge:
        return QStringLiteral("too_large");
    }
    return {};
}
