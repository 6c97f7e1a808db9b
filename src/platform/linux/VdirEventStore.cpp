#include "platform/linux/VdirEventStore.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

QString VdirEventStore::standardRoot() {
    const QString configured = qEnvironmentVariable("MONDREL_CALENDAR_DIR");
    if (!configured.isEmpty())
        return configured;
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (dataHome.isEmpty())
        dataHome = QDir::homePath() + QStringLiteral("/.local/share");
    return dataHome + QStringLiteral("/mondrel/calendars");
}

VdirEventStore::VdirEventStore(QString root, MainQueue& queue, QObject* parent)
    : EventStore(parent), root_(QDir::cleanPath(root)), queue_(queue) {
    connect(&watcher_, &InotifyWatcher::changed, this, &VdirEventStore::noteChange);
    connect(&watcher_, &InotifyWatcher::overflowed, this, &VdirEventStore::noteEverythingChanged);
}

VdirEventStore::~VdirEventStore() {
    applyHandle_.cancel();
}

EventAuthorizationStatus VdirEventStore::authorizationStatus() const {
    const QByteArray path = QFile::encodeName(root_);
    struct stat status {};
    if (::stat(path.constData(), &status) != 0)
        return errno == ENOENT ? EventAuthorizationStatus::notDetermined : EventAuthorizationStatus::denied;
    if (S_ISDIR(status.st_mode) && ::access(path.constData(), R_OK | X_OK) == 0)
        return EventAuthorizationStatus::fullAccess;
    return EventAuthorizationStatus::denied;
}

QCoro::Task<EventAccessResult> VdirEventStore::requestFullAccess() {
    if (authorizationStatus() == EventAuthorizationStatus::notDetermined) {
        const QString parent = QFileInfo(root_).path();
        QDir().mkpath(parent);
        if (::mkdir(QFile::encodeName(root_).constData(), 0700) != 0 && errno != EEXIST) {
            const QString reason = QString::fromLocal8Bit(std::strerror(errno));
            co_return EventAccessResult{false, QStringLiteral("could not create %1: %2").arg(root_, reason)};
        }
    }
    co_return EventAccessResult{authorizationStatus() == EventAuthorizationStatus::fullAccess, std::nullopt};
}

void VdirEventStore::reset() {
    applyHandle_.cancel();
    pending_ = {};
    index_.reset();
    watcher_.setDirectories({});
}

std::unique_ptr<EventStore> VdirEventStore::storeLimitedTo(const QList<EventSource>&) const {
    // Never asked: delegateSources() is always empty. An empty tree is the honest answer.
    return std::make_unique<VdirEventStore>(QString(), queue_);
}

QList<EventCalendar> VdirEventStore::eventCalendars() const {
    if (authorizationStatus() != EventAuthorizationStatus::fullAccess)
        return {};
    return loadedIndex().calendars();
}

QList<StoredEvent> VdirEventStore::events(Instant start, Instant end,
                                          const std::optional<QStringList>& calendarIdentifiers) const {
    if (authorizationStatus() != EventAuthorizationStatus::fullAccess)
        return {};
    return loadedIndex().events(start, end, calendarIdentifiers);
}

const VdirIndex& VdirEventStore::loadedIndex() const {
    if (!index_) {
        index_ = std::make_unique<VdirIndex>(root_);
        index_->rescan();
        watcher_.setDirectories(index_->directories());
    }
    return *index_;
}

void VdirEventStore::noteChange(const QString& directory, const QString& name, bool isDirectory) {
    if (!index_)
        return;
    if (isDirectory || name.isEmpty() || !index_->isCalendarDirectory(directory))
        pending_.structure = true;
    else
        pending_.entries.insert({directory, name});
    scheduleApply();
}

void VdirEventStore::noteEverythingChanged() {
    if (!index_)
        return;
    pending_.everything = true;
    scheduleApply();
}

void VdirEventStore::scheduleApply() {
    applyHandle_.cancel();
    applyHandle_ = queue_.postAfter(kCoalescingDelay, [this] { applyChanges(); });
}

void VdirEventStore::applyChanges() {
    const PendingChanges pending = std::exchange(pending_, {});
    if (!index_)
        return;
    bool changed = false;
    if (pending.everything) {
        changed = index_->rescan();
    } else {
        if (pending.structure)
            changed |= index_->rescanStructure();
        for (const auto& [directory, name] : pending.entries)
            changed |= index_->refreshEntry(directory, name);
    }
    if (pending.everything || pending.structure)
        watcher_.setDirectories(index_->directories());
    if (changed)
        emit this->changed();
}
