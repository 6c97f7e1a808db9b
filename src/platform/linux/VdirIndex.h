#pragma once

#include "platform/EventStore.h"
#include "platform/linux/IcsEventFile.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <map>
#include <optional>
#include <utility>

// The parsed contents of a vdir tree: sources, calendars and their event files. A file is parsed again
// only when its identity (mtime, inode, size) changes. Every update answers whether anything changed.
// Not thread-safe: one thread at a time may use an index, and handing it to another thread is fine.
class VdirIndex {
public:
    struct FileIdentity {
        long long mtimeNanoseconds = 0;
        unsigned long long inode = 0;
        long long size = 0;
        bool operator==(const FileIdentity&) const = default;
    };
    // The identities of the bad files already reported, by path: an unchanged one is not reported again.
    using ReportedFiles = QHash<QString, FileIdentity>;

    // `reported` carries what an earlier reading of the tree reported.
    explicit VdirIndex(QString root, ReportedFiles reported = {});

    // The directories that `directories()` of a fresh index of `root` would list, found without reading any
    // file: what to watch before the tree is read.
    static QStringList directoriesIn(const QString& root);

    const QString& root() const { return root_; }

    // Reads the tree afresh, keeping the parse of every file that did not change.
    bool rescan();
    // Rereads one entry of a calendar directory: an event file or a metadata file.
    bool refreshEntry(const QString& calendarDirectory, const QString& name);
    bool isCalendarDirectory(const QString& path) const { return calendarsByPath_.contains(path); }

    // Builds what queries find their candidate files with, which they otherwise build on first use.
    void prepareLookups() const;

    // The root, the sources and the calendars.
    QStringList directories() const;
    QList<EventCalendar> calendars() const;
    QList<StoredEvent> events(Instant start, Instant end,
                              const std::optional<QStringList>& calendarIdentifiers) const;

    // The log lines about bad files met since the last call, for the owner to log on its own thread.
    QStringList takeWarnings() { return std::exchange(warnings_, {}); }
    const ReportedFiles& reportedFiles() const { return reported_; }

private:
    // Where the sources and calendars are, by the directory layout alone.
    struct Layout {
        struct Place {
            QString path;
            // The directory name of the calendar's source; empty for a calendar without one.
            QString source;
        };
        QStringList sourcePaths;
        // By calendar identifier.
        std::map<QString, Place> calendars;
    };
    static Layout layoutOf(const QString& root);
    // Finds added, removed and renamed sources and calendars, and rereads their titles and colours.
    bool rescanStructure();

    struct IndexedFile {
        FileIdentity identity;
        IcsEventFile events;
    };
    using FileMap = std::map<QString, IndexedFile>;
    // Where to look for a range without visiting every file: non-recurring files by the span of time
    // they cover, recurring ones always. Rebuilt after any change of the calendar's files.
    struct Lookup {
        struct Span {
            long long from;
            long long to;
            int order;
            FileMap::const_pointer file;
        };
        std::vector<Span> spans;
        long long widest = 0;
        std::vector<std::pair<int, FileMap::const_pointer>> recurring;
    };
    struct CalendarEntry {
        QString path;
        EventCalendar info;
        FileMap files;
        mutable std::optional<Lookup> lookup;
    };

    static const Lookup& lookupOf(const CalendarEntry& calendar);

    bool scanFiles(CalendarEntry& calendar);
    bool refreshFile(CalendarEntry& calendar, const QString& name);
    static EventCalendar readCalendarInfo(const QString& identifier, const QString& path,
                                          const std::optional<EventSource>& source);

    QString root_;
    QStringList sourcePaths_;
    // Ordered by identifier: the platform order of the calendars.
    std::map<QString, CalendarEntry> calendars_;
    QHash<QString, QString> calendarsByPath_;
    QStringList warnings_;
    ReportedFiles reported_;
};
