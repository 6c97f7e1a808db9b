#include "platform/linux/VdirEventStore.h"

#include "utilities/Log.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

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

namespace {

// Runs on a worker thread; the index and its libical trees stay there until the result is taken.
std::unique_ptr<VdirIndex> readIndex(const QString& root, const VdirIndex::ReportedFiles& reported) {
    auto index = std::make_unique<VdirIndex>(root, reported);
    index->rescan();
    index->prepareLookups();
    return index;
}

// Freeing thousands of parsed files takes a while too; the main thread hands a reading it is done with to a
// worker for that.
void discard(std::unique_ptr<VdirIndex> index) {
    if (!index)
        return;
    QThreadPool::globalInstance()->start(
        [index = std::shared_ptr<VdirIndex>(std::move(index))]() mutable { index.reset(); });
}

} // namespace

VdirEventStore::VdirEventStore(QString root, MainQueue& queue, QObject* parent)
    : EventStore(parent), root_(QDir::cleanPath(root)), queue_(queue) {
    if (const QString above = QFileInfo(root_).path(); above != root_)
        parent_ = above;
    connect(&watcher_, &InotifyWatcher::changed, this, &VdirEventStore::noteChange);
    connect(&watcher_, &InotifyWatcher::overflowed, this, &VdirEventStore::noteEverythingChanged);
    connect(&loader_, &QFutureWatcherBase::finished, this, &VdirEventStore::finishLoading);
}

VdirEventStore::~VdirEventStore() {
    applyHandle_.cancel();
    burstDeadline_.cancel();
    // A reading in flight finishes on its own; its index is freed with the future's last reference.
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
    discard(std::move(index_));
    // A reading in flight reads the tree afresh and already follows the changes made since it started.
    if (loading_)
        return;
    applyHandle_.cancel();
    burstDeadline_.cancel();
    pending_ = {};
    watcher_.setDirectories({});
}

std::unique_ptr<EventStore> VdirEventStore::storeLimitedTo(const QList<EventSource>&) const {
    // Never asked: delegateSources() is always empty. An empty tree is the honest answer.
    return std::make_unique<VdirEventStore>(QString(), queue_);
}

QList<EventCalendar> VdirEventStore::eventCalendars() const {
    if (authorizationStatus() != EventAuthorizationStatus::fullAccess)
        return {};
    const VdirIndex* index = currentIndex();
    return index ? index->calendars() : QList<EventCalendar>();
}

QList<StoredEvent> VdirEventStore::events(Instant start, Instant end,
                                          const std::optional<QStringList>& calendarIdentifiers) const {
    if (authorizationStatus() != EventAuthorizationStatus::fullAccess)
        return {};
    const VdirIndex* index = currentIndex();
    return index ? index->events(start, end, calendarIdentifiers) : QList<StoredEvent>();
}

const VdirIndex* VdirEventStore::currentIndex() const {
    if (!index_ && !loading_)
        startLoading();
    return index_.get();
}

void VdirEventStore::startLoading() const {
    loading_ = true;
    readStatus_ = authorizationStatus();
    // Watched before they are read, so that nothing written meanwhile goes unnoticed.
    watcher_.setDirectories(watchList(VdirIndex::directoriesIn(root_)));
    loader_.setFuture(QtConcurrent::run(readIndex, root_, reported_));
}

QStringList VdirEventStore::watchList(QStringList directories) const {
    // A missing or unreadable root cannot be watched itself; its parent sees it come back.
    if (readStatus_ != EventAuthorizationStatus::fullAccess && !parent_.isEmpty())
        directories.append(parent_);
    return directories;
}

void VdirEventStore::finishLoading() {
    loading_ = false;
    discard(std::exchange(index_, loader_.future().takeResult()));
    watcher_.setDirectories(watchList(index_->directories()));
    logProblems();
    // What changed while the tree was read may have been read before the change; access may have changed
    // before the watches that would have seen it were in place.
    if (pending_.any() || authorizationStatus() != readStatus_)
        scheduleApply();
    emit changed();
}

void VdirEventStore::noteChange(const QString& directory, const QString& name, bool isDirectory) {
    if (!index_ && !loading_)
        return;
    // Of the parent's entries only the root matters: made, removed, replaced or given other permissions.
    if (directory == parent_ && name != QFileInfo(root_).fileName())
        return;
    if (directory == parent_ || isDirectory || name.isEmpty())
        pending_.structure = true;
    else
        pending_.entries.insert({directory, name});
    scheduleApply();
}

void VdirEventStore::noteEverythingChanged() {
    if (!index_ && !loading_)
        return;
    pending_.everything = true;
    scheduleApply();
}

void VdirEventStore::scheduleApply() {
    applyHandle_.cancel();
    applyHandle_ = queue_.postAfter(kCoalescingDelay, [this] { applyChanges(); });
    // A steady stream of changes never goes quiet: the first change of a burst sets when it is reported.
    if (!burstDeadline_.isValid())
        burstDeadline_ = queue_.postAfter(kLongestDelay, [this] { applyChanges(); });
}

void VdirEventStore::applyChanges() {
    applyHandle_.cancel();
    burstDeadline_.cancel();
    // The hand-over of a reading in flight applies what waits.
    if (loading_ || !index_)
        return;
    const PendingChanges pending = std::exchange(pending_, {});
    // Access that came or went changes what the tree holds; the hand-over of the new reading announces it.
    bool structural = pending.everything || pending.structure || authorizationStatus() != readStatus_;
    for (const auto& [directory, name] : pending.entries)
        structural |= !index_->isCalendarDirectory(directory);
    // A new calendar may hold thousands of files: layout changes are read whole, off the main thread.
    if (structural) {
        startLoading();
        return;
    }
    bool changed = false;
    for (const auto& [directory, name] : pending.entries)
        changed |= index_->refreshEntry(directory, name);
    logProblems();
    if (changed)
        emit this->changed();
}

void VdirEventStore::logProblems() {
    const Log log(QStringLiteral("events"));
    for (const QString& warning : index_->takeWarnings())
        log.warning(warning);
    reported_ = index_->reportedFiles();
}
