#include "platform/linux/InotifyWatcher.h"

#include <QFile>
#include <QSocketNotifier>

#include <sys/inotify.h>
#include <unistd.h>

namespace {
// Writes are seen when the writer closes the file, never half done; atomic writers rename into place.
constexpr uint32_t kMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE | IN_ATTRIB |
                           IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
} // namespace

InotifyWatcher::InotifyWatcher(QObject* parent) : QObject(parent) {
    fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0)
        return;
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &InotifyWatcher::readEvents);
}

InotifyWatcher::~InotifyWatcher() {
    if (fd_ >= 0)
        ::close(fd_);
}

void InotifyWatcher::setDirectories(const QStringList& paths) {
    if (fd_ < 0)
        return;
    QHash<int, QString> watched;
    for (const QString& path : paths) {
        const int wd = inotify_add_watch(fd_, QFile::encodeName(path).constData(), kMask);
        if (wd >= 0)
            watched.insert(wd, path);
    }
    for (auto it = paths_.cbegin(); it != paths_.cend(); ++it)
        if (!watched.contains(it.key()))
            inotify_rm_watch(fd_, it.key());
    paths_ = std::move(watched);
}

void InotifyWatcher::readEvents() {
    // One buffer per turn of the event loop: a writer that never pauses would otherwise keep this thread
    // here for as long as it writes. What is left wakes the notifier again at once.
    alignas(inotify_event) char buffer[4096];
    const ssize_t length = ::read(fd_, buffer, sizeof buffer);
    for (ssize_t offset = 0; offset < length;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
        offset += ssize_t(sizeof(inotify_event) + event->len);
        if (event->mask & IN_Q_OVERFLOW) {
            emit overflowed();
            continue;
        }
        if (event->mask & IN_IGNORED) {
            paths_.remove(event->wd);
            continue;
        }
        const QString directory = paths_.value(event->wd);
        if (directory.isEmpty())
            continue;
        const bool itself = event->mask & (IN_DELETE_SELF | IN_MOVE_SELF);
        const QString name = itself || event->len == 0 ? QString() : QFile::decodeName(event->name);
        emit changed(directory, name, event->mask & IN_ISDIR);
    }
}
