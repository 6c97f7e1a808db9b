#pragma once

#include "platform/EventStore.h"
#include "platform/MainQueue.h"
#include "platform/linux/InotifyWatcher.h"
#include "platform/linux/VdirIndex.h"

#include <QFutureWatcher>
#include <QSet>
#include <memory>

// The user's local calendars in a vdir tree, the format CalDAV sync tools and terminal calendars write: a
// directory per source holding a directory per calendar holding one .ics file per event. The tree is read
// on a worker thread when it is first asked for, and read again there when its layout changes; until a
// reading is handed back, queries answer from the previous one (nothing at first) and the hand-over is
// announced as a change, as is any change of access to the root. Changes of single files are read on the
// main thread; a burst of changes becomes one change notice.
class VdirEventStore final : public EventStore {
    Q_OBJECT
public:
    // Changes that arrive within this many seconds of each other are reported together...
    static constexpr double kCoalescingDelay = 0.1;
    // ...but no later than this many seconds after the first of them.
    static constexpr double kLongestDelay = 1.0;

    // `$MONDREL_CALENDAR_DIR`, else `$XDG_DATA_HOME/mondrel/calendars`.
    static QString standardRoot();

    VdirEventStore(QString root, MainQueue& queue, QObject* parent = nullptr);
    ~VdirEventStore() override;

    const QString& root() const { return root_; }
    // Whether changes on disk wait to be read (tests).
    bool hasPendingChanges() const { return pending_.any(); }
    // Whether the tree is being read on a worker thread.
    bool isLoading() const { return loading_; }

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
    struct PendingChanges {
        bool everything = false;
        bool structure = false;
        QSet<std::pair<QString, QString>> entries;
        bool any() const { return everything || structure || !entries.isEmpty(); }
    };

    // The index to answer from, when there is one; starts the first reading otherwise.
    const VdirIndex* currentIndex() const;
    void startLoading() const;
    // The directories to watch besides `directories`: the root's parent while the root cannot be read.
    QStringList watchList(QStringList directories) const;
    void finishLoading();
    void noteChange(const QString& directory, const QString& name, bool isDirectory);
    void noteEverythingChanged();
    void scheduleApply();
    void applyChanges();
    void logProblems();

    QString root_;
    // Empty when the root has no parent to watch.
    QString parent_;
    MainQueue& queue_;
    std::unique_ptr<VdirIndex> index_;
    // The first reading starts from const queries.
    mutable InotifyWatcher watcher_;
    mutable QFutureWatcher<std::unique_ptr<VdirIndex>> loader_;
    mutable bool loading_ = false;
    // Access to the root when the tree was last read.
    mutable EventAuthorizationStatus readStatus_ = EventAuthorizationStatus::notDetermined;
    // Survives a reset, so that a new reading does not report unchanged bad files again.
    VdirIndex::ReportedFiles reported_;
    PendingChanges pending_;
    MainQueue::Handle applyHandle_;
    MainQueue::Handle burstDeadline_;
};
