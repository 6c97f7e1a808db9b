#pragma once

#include "platform/EventStore.h"
#include "platform/linux/IcsEventFile.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <map>
#include <optional>

// The parsed contents of a vdir tree: sources, calendars and their event files. A file is parsed again
// only when its identity (mtime, inode, size) changes. Every update answers whether anything changed.
class VdirIndex {
public:
    explicit VdirIndex(QString root);

    const QString& root() const { return root_; }

    // Reads the tree afresh, keeping the parse of every file that did not change.
    bool rescan();
    // Finds added, removed and renamed sources and calendars, and rereads their titles and colours.
    bool rescanStructure();
    // Rereads one entry of a calendar directory: an event file or a metadata file.
    bool refreshEntry(const QString& calendarDirectory, const QString& name);
    bool isCalendarDirectory(const QString& path) const { return calendarsByPath_.contains(path); }

    // The root, the sources and the calendars.
    QStringList directories() const;
    QList<EventCalendar> calendars() const;
    QList<StoredEvent> events(Instant start, Instant end,
                              const std::optional<QStringList>& calendarIdentifiers) const;

private:
    struct FileIdentity {
        long long mtimeNanoseconds = 0;
        unsigned long long inode = 0;
        long long size = 0;
        bool operator==(const FileIdentity&) const = default;
    };
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
};
