#pragma once

#include <QByteArray>
#include <QString>

// Reads a file that someone else may have replaced with anything: only a regular file is read, a FIFO or a
// device never blocks the reader (the file is opened without blocking and checked once open, so a swap
// between a look and the open changes nothing), and never more than a limit is held in memory.
class BoundedFile {
public:
    enum class Status {
        read,
        missing,
        directory,
        // Neither a regular file nor a directory: a FIFO, a device, a socket.
        notRegular,
        unreadable,
        tooLarge,
    };
    struct Contents {
        Status status = Status::missing;
        QByteArray bytes;
    };

    // At most `limit` bytes; a file larger than that when opened is not read at all.
    static Contents read(const QString& path, qint64 limit);
    // The status as a log value ("not_regular", ...).
    static QString describe(Status status);
};
