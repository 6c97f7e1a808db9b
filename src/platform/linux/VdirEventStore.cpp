#include "platform/linux/VdirEventStore.h"

#include "utilities/Log.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

QString VdirEventStore::standardRoot() {
    // A relative folder is taken from the working directory once, here: inotify names what changed by the
    // watched path, and a change under another spelling of the root reads as a new layout.
    QString configured = qEnvironmentVariable("MONDREL_CALENDAR_DIR");
    if (!configured.isEmpty())
        return QDir::cleanPath(QDir::current().absoluteFilePath(configured));
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    // A relative XDG_DATA_HOME is invalid and ignored.
    if (dataHome.isEmpty() || QDir::isRelativePath(dataHome))
        dataHome = QDir::homePath() + QStringLiteral("/.local/share");
    return dataHome + QStringLiteral("/mondrel/calendars");
}

namespace {

constexpr double kDay = 86400;

// Freeing thousands of parsed files takes a while too; the main thread hands what it is done with to a
// worker for that.
template <typename T> void discard(std::shared_ptr<T> data) {
    if (data)
        QThreadPool::globalInstance()->start([data = std::move(data)]() mutable { data.reset(); });
}

// A query's range in whole seconds since 1970.
std::pair<long long, long long> secondsOf(Instant start, Instant end) {
    return {(long long)std::floor(start.secondsSince1970()),
            (long long)std::ceil(end.secondsSince1970()) + 1};
}

} // namespace

VdirEventStore::VdirEventStore(const QString& root, MainQueue& queue, QObject* parent, QThreadPool* pool)
    : EventStore(parent), root_(QDir::cleanPath(root)), queue_(queue),
      pool_(pool ? pool : QThreadPool::globalInstance()) {
    if (const QString above = QFileInfo(root_).path(); above != root_)
        parent_ = above;
    rootSelf_ = QFile::encodeName(root_ + QStringLiteral("/."));
    connect(&watcher_, &InotifyWatcher::changed, this, &VdirEventStore::noteChange);
    connect(&watcher_, &InotifyWatcher::overflowed, this, &VdirEventStore::noteEverythingChanged);
    connect(&worker_, &QFutureWatcherBase::finished, this, &VdirEventStore::finishWork);
}

VdirEventStore::~VdirEventStore() {
    stop_.request_stop();
    applyHandle_.cancel();
    burstDeadline_.cancel();
    discard(std::move(index_));
    discard(std::move(snapshot_));
    // Work in flight finishes on its own; what it holds is freed with the future's last reference.
}

EventAuthorizationStatus VdirEventStore::authorizationStatus() const {
    // Asked at every query: one call answers the usual case, "/." resolving only for a directory.
    if (!root_.isEmpty() && ::access(rootSelf_.constData(), R_OK | X_OK) == 0)
        return EventAuthorizationStatus::fullAccess;
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
    // Work in flight reads the tree afresh and already follows the changes made since it started.
    if (busy_)
        return;
    discard(std::move(index_));
    discard(std::move(snapshot_));
    started_ = false;
    applyHandle_.cancel();
    burstDeadline_.cancel();
    pending_ = {};
    requestedStretches_.clear();
    watcher_.setDirectories({});
}

std::unique_ptr<EventStore> VdirEventStore::storeLimitedTo(const QList<EventSource>&) const {
    // Never asked: delegateSources() is always empty. An empty tree is the honest answer.
    return std::make_unique<VdirEventStore>(QString(), queue_);
}

QList<EventCalendar> VdirEventStore::eventCalendars() const {
    if (authorizationStatus() != EventAuthorizationStatus::fullAccess)
        return {};
    start();
    return snapshot_ ? snapshot_->calendars() : layout_.calendarList();
}

QList<StoredEvent> VdirEventStore::events(Instant start, Instant end,
                                          const std::optional<QStringList>& calendarIdentifiers) const {
    if (authorizationStatus() != EventAuthorizationStatus::fullAccess)
        return {};
    this->start();
    if (!snapshot_)
        return {};
    const std::vector<long long> missing = snapshot_->missingStretches(start, end);
    bool asked = false;
    for (long long stretch : missing)
        asked |= requestedStretches_.insert(stretch).second;
    if (asked) {
        pending_.ranges.push_back(secondsOf(start, end));
        if (!busy_)
            startPendingWork();
    }
    size_t leftOut = 0;
    QList<StoredEvent> events = snapshot_->events(start, end, calendarIdentifiers, &leftOut);
    // Re-renders ask for the same day again and again: its cut is named once.
    const std::pair<double, size_t> cut(start.secondsSince1970(), leftOut);
    if (leftOut > 0 && std::exchange(lastCut_, cut) != cut)
        Log(QStringLiteral("events"))
            .warning(QStringLiteral("events_left_out from=%1 listed=%2 left_out=%3")
                         .arg(start.toDateTime().toString(Qt::ISODate))
                         .arg(events.size())
                         .arg(leftOut));
    return events;
}

void VdirEventStore::start() const {
    if (started_)
        return;
    started_ = true;
    announce_ = true;
    VdirIndex::Request request;
    // The days around today, which the popover shows first.
    const Instant now = queue_.now();
    request.ranges.push_back(secondsOf(now.addingSeconds(-kDay), now.addingSeconds(2 * kDay)));
    index_ = std::make_shared<VdirIndex>(root_, reported_, pool_, stop_.get_token());
    startLayoutWork(std::move(request));
}

void VdirEventStore::startLayoutWork(VdirIndex::Request request) const {
    readStatus_ = authorizationStatus();
    busy_ = true;
    // Listing a folder of a million files takes the main thread's time too: the layout is read by the
    // worker, and the rest of the work waits until its folders are watched.
    worker_.setFuture(QtConcurrent::run(
        pool_, [index = std::move(index_), root = root_, request = std::move(request)]() mutable {
            Outcome outcome;
            outcome.layout = VdirLayout::read(root);
            outcome.rest = std::move(request);
            outcome.index = std::move(index);
            return outcome;
        }));
}

void VdirEventStore::takeLayout(VdirLayout layout) {
    layout_ = std::move(layout);
    // Each entry that cannot be a calendar is named once, until it is mended.
    const Log log(QStringLiteral("events"));
    for (const QString& line : layout_.skipped)
        if (!loggedSkips_.contains(line))
            log.warning(line);
    loggedSkips_ = QSet<QString>(layout_.skipped.cbegin(), layout_.skipped.cend());
    // Watched before the files are read, so that nothing written meanwhile goes unnoticed.
    watcher_.setDirectories(watchList(layout_.directories()));
}

void VdirEventStore::takeLinks(QHash<QString, QList<VdirIndex::Link>> links) {
    const bool moved =
        QSet<QString>(links.keyBegin(), links.keyEnd()) != QSet<QString>(links_.keyBegin(), links_.keyEnd());
    links_ = std::move(links);
    if (moved)
        watcher_.setDirectories(watchList(layout_.directories()));
}

VdirEventStore::Outcome VdirEventStore::work(std::shared_ptr<VdirIndex> index,
                                             const VdirIndex::Request& request) {
    Outcome outcome;
    outcome.changed = index->update(request);
    // Nobody waits for the result of stopped work.
    if (index->stopped())
        return outcome;
    outcome.snapshot = index->snapshot();
    outcome.largeFilesLeft = index->hasLargeFilesToRead();
    outcome.expansionLeft = index->hasStretchesToExpand();
    outcome.warnings = index->takeWarnings();
    outcome.reported = index->reportedFiles();
    outcome.links = index->linksByTargetDirectory();
    outcome.index = std::move(index);
    return outcome;
}

void VdirEventStore::startWork(VdirIndex::Request request) const {
    busy_ = true;
    worker_.setFuture(QtConcurrent::run(pool_, &VdirEventStore::work, std::move(index_), std::move(request)));
}

void VdirEventStore::startPendingWork() const {
    VdirIndex::Request request;
    request.largeFiles = std::exchange(pending_.largeFiles, false);
    request.ranges = std::exchange(pending_.ranges, {});
    if (request.largeFiles || !request.ranges.empty() || std::exchange(pending_.expansion, false))
        startWork(std::move(request));
}

QStringList VdirEventStore::watchList(QStringList directories) const {
    for (auto it = links_.keyBegin(); it != links_.keyEnd(); ++it)
        if (!directories.contains(*it))
            directories.append(*it);
    // A missing or unreadable root cannot be watched itself; its parent sees it come back.
    if (readStatus_ != EventAuthorizationStatus::fullAccess && !parent_.isEmpty())
        directories.append(parent_);
    return directories;
}

void VdirEventStore::finishWork() {
    busy_ = false;
    Outcome outcome = worker_.future().takeResult();
    index_ = std::move(outcome.index);
    if (outcome.layout) {
        takeLayout(std::move(*outcome.layout));
        outcome.rest.layout = layout_;
        startWork(std::move(outcome.rest));
        return;
    }
    discard(std::exchange(snapshot_, std::move(outcome.snapshot)));
    // The reports of a folder of a million bad files are freed elsewhere too.
    discard(std::make_shared<VdirIndex::ReportedFiles>(std::exchange(reported_, outcome.reported)));
    takeLinks(std::move(outcome.links));
    requestedStretches_.clear();
    pending_.largeFiles |= outcome.largeFilesLeft;
    pending_.expansion |= outcome.expansionLeft;
    const Log log(QStringLiteral("events"));
    for (const QString& warning : outcome.warnings)
        log.warning(warning);
    // Changes whose delay ran out meanwhile go first. Those still within it are read when it runs out,
    // the work put off goes on until then. Access may have changed before the watches that would have seen
    // it were in place.
    if (std::exchange(applyDue_, false))
        applyChanges();
    else if (authorizationStatus() != readStatus_ || (pending_.anyChange() && !applyHandle_.isValid()))
        scheduleApply();
    else
        startPendingWork();
    if (std::exchange(announce_, false) || outcome.changed)
        emit changed();
}

void VdirEventStore::noteChange(const QString& directory, const QString& name, bool isDirectory) {
    if (!started_)
        return;
    // The target of a link changed: the link is read again. A folder watched only for its targets says
    // nothing more.
    if (const auto links = links_.constFind(directory); links != links_.cend()) {
        for (const VdirIndex::Link& link : *links)
            if (name.isEmpty() || link.targetName == name)
                pending_.entries.insert({link.calendarPath, link.name});
        scheduleApply();
        if (directory != root_ && directory != parent_ && !layout_.sourcePaths.contains(directory) &&
            !layout_.isCalendarDirectory(directory))
            return;
    }
    // Of the parent's entries only the root matters: made, removed, replaced or given other permissions.
    if (directory == parent_ && name != QFileInfo(root_).fileName())
        return;
    if (directory == parent_ || isDirectory || name.isEmpty() || VdirLayout::isMetadataFile(name) ||
        !layout_.isCalendarDirectory(directory))
        pending_.structure = true;
    else
        pending_.entries.insert({directory, name});
    scheduleApply();
}

void VdirEventStore::noteEverythingChanged() {
    if (!started_)
        return;
    pending_.everything = true;
    scheduleApply();
}

void VdirEventStore::scheduleApply() {
    lastChange_ = queue_.now();
    // One timer per quiet spell, which puts itself off while changes come: re-posting it for each change of
    // a storm cost more than the changes.
    if (!applyHandle_.isValid()) {
        timerSetAt_ = lastChange_;
        applyHandle_ = queue_.postAfter(kCoalescingDelay, [this] { applyWhenQuiet(); });
    }
    // A steady stream of changes never goes quiet: the first change of a burst sets when it is reported.
    if (!burstDeadline_.isValid())
        burstDeadline_ = queue_.postAfter(kLongestDelay, [this] { applyChanges(); });
}

void VdirEventStore::applyWhenQuiet() {
    // Changes since the timer was set: the delay runs again from the last of them.
    if (lastChange_ > timerSetAt_) {
        timerSetAt_ = lastChange_;
        const double since = std::clamp(queue_.now().secondsSince(lastChange_), 0.0, kCoalescingDelay);
        applyHandle_ = queue_.postAfter(kCoalescingDelay - since, [this] { applyWhenQuiet(); });
        return;
    }
    applyChanges();
}

void VdirEventStore::applyChanges() {
    applyHandle_.cancel();
    burstDeadline_.cancel();
    // The hand-over of the work in flight applies what waits.
    if (busy_ || !started_) {
        applyDue_ = busy_;
        return;
    }
    VdirIndex::Request request;
    request.ranges = std::exchange(pending_.ranges, {});
    // Access that came or went changes what the tree holds, and is announced whatever the tree holds.
    announce_ = authorizationStatus() != readStatus_;
    const bool layoutChanged = pending_.everything || pending_.structure || announce_;
    if (!layoutChanged)
        request.entries = pending_.entries;
    // Large files and expansions put off go on after the changes.
    PendingWork later;
    later.largeFiles = pending_.largeFiles;
    later.expansion = pending_.expansion;
    pending_ = std::move(later);
    if (layoutChanged)
        startLayoutWork(std::move(request));
    else
        startWork(std::move(request));
}
