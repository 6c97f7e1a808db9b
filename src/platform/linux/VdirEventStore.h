#pragma once

#include "platform/EventStore.h"
#include "platform/MainQueue.h"
#include "platform/linux/InotifyWatcher.h"
#include "platform/linux/VdirIndex.h"

#include <QFutureWatcher>
#include <QSet>
#include <memory>
#include <set>
#include <stop_token>

class QThreadPool;

// The user's local calendars in a vdir tree, the format CalDAV sync tools and terminal calendars write: a
// directory per source holding a directory per calendar holding one .ics file per event.
//
// The tree is first read the moment it is first asked for. Everything happens on a worker, one piece of
// work at a time: the sources and calendars are found there (a calendar's folder may hold a million
// entries), the event files are parsed there, changed files are read again there, and the recurring
// events of a stretch of time that a query reaches for the first time are expanded there, in slices short
// enough that a change of a file waits for little (VdirIndex::kSliceMilliseconds). Each piece ends with a
// snapshot that the main thread swaps in and announces as a change; until then queries answer from the
// previous one (no calendars and no events at first, and without the recurring events of a stretch not
// yet expanded). A burst of changes on disk becomes one change notice. A query lists at most
// VdirSnapshot::kMostListed occurrences.
class VdirEventStore final : public EventStore {
    Q_OBJECT
public:
    // Changes that arrive within this many seconds of each other are reported together...
    static constexpr double kCoalescingDelay = 0.1;
    // ...but no later than this many seconds after the first of them.
    static constexpr double kLongestDelay = 1.0;

    // `$MONDREL_CALENDAR_DIR`, else `$XDG_DATA_HOME/mondrel/calendars`; always absolute.
    static QString standardRoot();

    // The work is done on `pool`, Qt's global pool when none is given.
    VdirEventStore(const QString& root, MainQueue& queue, QObject* parent = nullptr,
                   QThreadPool* pool = nullptr);
    ~VdirEventStore() override;

    const QString& root() const { return root_; }
    // Whether changes on disk wait to be read (tests).
    bool hasPendingChanges() const { return pending_.anyChange(); }
    // Whether the worker has work of this store in hand.
    bool isLoading() const { return busy_; }

    EventAuthorizationStatus authorizationStatus() const override;
    // Creates a missing root (mode 0700): this store never asks the user anything.
    QCoro::Task<EventAccessResult> requestFullAccess() override;
    void reset() override;
    // There are no delegated sources in a vdir tree.
    QList<EventSource> delegateSources() const override { return {}; }
    std::unique_ptr<EventStore> storeLimitedTo(const QList<EventSource>& sources) const override;
    QList<EventCalendar> eventCalendars() const override;
    QList<StoredEvent> events(Instant start, Instant end,
                              const std::optional<QStringList>& calendarIdentifiers) const override;

private:
    struct PendingWork {
        bool everything = false;
        bool structure = false;
        QSet<std::pair<QString, QString>> entries;
        bool largeFiles = false;
        std::vector<std::pair<long long, long long>> ranges;
        // Stretches asked for wait to be expanded.
        bool expansion = false;
        bool anyChange() const { return everything || structure || !entries.isEmpty(); }
    };
    // A piece of work done: the index goes back and forth with it.
    struct Outcome {
        std::shared_ptr<VdirIndex> index;
        // Of a layout read: it, and the work that waits for it.
        std::optional<VdirLayout> layout;
        VdirIndex::Request rest;
        std::shared_ptr<const VdirSnapshot> snapshot;
        bool changed = false;
        bool largeFilesLeft = false;
        bool expansionLeft = false;
        QStringList warnings;
        VdirIndex::ReportedFiles reported;
        QHash<QString, QList<VdirIndex::Link>> links;
    };
    static Outcome work(std::shared_ptr<VdirIndex> index, const VdirIndex::Request& request);

    // Reads the layout and starts the first reading, once.
    void start() const;
    // Reads the layout on the worker; its hand-over starts `request` over it.
    void startLayoutWork(VdirIndex::Request request) const;
    void takeLayout(VdirLayout layout);
    // Watches the folders of the event files' link targets too.
    void takeLinks(QHash<QString, QList<VdirIndex::Link>> links);
    void startWork(VdirIndex::Request request) const;
    void startPendingWork() const;
    // The directories to watch besides `directories`: the root's parent while the root cannot be read.
    QStringList watchList(QStringList directories) const;
    void finishWork();
    void noteChange(const QString& directory, const QString& name, bool isDirectory);
    void noteEverythingChanged();
    void scheduleApply();
    void applyWhenQuiet();
    void applyChanges();

    QString root_;
    // Empty when the root has no parent to watch.
    QString parent_;
    // The root followed by "/.".
    QByteArray rootSelf_;
    MainQueue& queue_;
    QThreadPool* pool_;
    // The first reading starts from const queries.
    mutable bool started_ = false;
    mutable bool busy_ = false;
    // Whether the hand-over of the work in flight is announced even when it changed nothing: the first
    // reading, and one that follows a change of access.
    mutable bool announce_ = false;
    // Here between pieces of work; with the worker during one.
    mutable std::shared_ptr<VdirIndex> index_;
    mutable std::shared_ptr<const VdirSnapshot> snapshot_;
    // The layout last read, whose calendars are listed until the first snapshot arrives.
    mutable VdirLayout layout_;
    mutable InotifyWatcher watcher_;
    // The event files that are links, by the folder of their targets.
    QHash<QString, QList<VdirIndex::Link>> links_;
    mutable QFutureWatcher<Outcome> worker_;
    // The skipped entries of the layout last read, logged once each.
    mutable QSet<QString> loggedSkips_;
    // Access to the root when its layout was last read.
    mutable EventAuthorizationStatus readStatus_ = EventAuthorizationStatus::notDetermined;
    // Survives a reset, so that a new reading does not report unchanged bad files again.
    VdirIndex::ReportedFiles reported_;
    mutable PendingWork pending_;
    // Stretches asked for and not yet handed over, so that repeated queries ask once.
    mutable std::set<long long> requestedStretches_;
    // The start of the last query that left occurrences out, and how many.
    mutable std::pair<double, size_t> lastCut_;
    MainQueue::Handle applyHandle_;
    // When the last change was noted, and when the coalescing timer was last set.
    Instant lastChange_;
    Instant timerSetAt_;
    MainQueue::Handle burstDeadline_;
    // The changes' delay ran out while the worker was busy: they are read as soon as it is done.
    bool applyDue_ = false;
    // Ends the work in flight when the store goes: the pool is waited for when the program ends.
    std::stop_source stop_;
};
