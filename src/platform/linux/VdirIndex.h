#pragma once

#include "platform/EventStore.h"
#include "platform/linux/IcsEventFile.h"
#include "platform/linux/ProblemTally.h"
#include "platform/linux/VdirSnapshot.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <map>
#include <optional>
#include <set>
#include <stop_token>
#include <unordered_map>
#include <utility>

class QThreadPool;

// Where the sources and calendars of a vdir tree are, with their titles and colours: found from the
// directories and their small metadata files alone, without reading any event (though listing a calendar
// of a million files still takes a while: a worker's job). A directory of the root that holds directories
// is a source and those are its calendars; any other directory of the root is a calendar without a source.
struct VdirLayout {
    struct Place {
        QString path;
        EventCalendar info;
    };
    QString root;
    QStringList sourcePaths;
    // By calendar identifier: the platform order of the calendars.
    std::map<QString, Place> calendars;
    // A log line for each entry that looks like a calendar or a source and cannot be one.
    QStringList skipped;

    static VdirLayout read(const QString& root);
    // The root, the sources and the calendars: what to watch.
    QStringList directories() const;
    QList<EventCalendar> calendarList() const;
    bool isCalendarDirectory(const QString& path) const;
    // A metadata file of a calendar or a source, which the layout reads.
    static bool isMetadataFile(const QString& name);
};

// The parsed event files of a vdir tree. A file is parsed again only when its identity (mtime, inode,
// size) changes. Not thread-safe: one thread at a time may use an index, and handing it to another thread
// is fine; the snapshots it builds may be read anywhere.
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

    // Files larger than this are left out with a warning: four times a large export of several thousand
    // events, and parsed in about half a second.
    static constexpr long long kLargestFile = 16LL * 1024 * 1024;
    // Files larger than this are read after all the others have been handed over.
    static constexpr long long kLargeFile = 512LL * 1024;

    // The recurring events of the whole tree yield at most about this many occurrences in one stretch of
    // seven weeks (each series at most IcsEventFile::kMostOccurrencesPerStretch): three times what 100,000
    // events of a busy calendar hold, and a bound on memory and on the time of a day's query whatever the
    // files say (20,000 series every 15 minutes would be 100 million).
    static constexpr size_t kMostOccurrencesPerStretch = 200'000;

    // An update that reads no layout reads large files and expands recurring events for about this long,
    // and leaves the rest for the next: a change of a file waits for no more than that.
    static constexpr int kSliceMilliseconds = 20;
    // A long expansion is handed over in parts of this many stretches, the earliest first.
    static constexpr size_t kStretchesPerPass = 8;

    // What one update does, in this order.
    struct Request {
        // Reads every calendar of this layout afresh, keeping the parse of every file that did not change.
        std::optional<VdirLayout> layout;
        // Rereads these event files, as (calendar directory, file name).
        QSet<std::pair<QString, QString>> entries;
        // Reads the large files put off so far.
        bool largeFiles = false;
        // Expands the recurring events for these ranges (seconds since 1970) and those asked for earlier:
        // all of them with a layout, otherwise for a slice of time and only when no file is read.
        std::vector<std::pair<long long, long long>> ranges;
    };

    // `reported` carries what an earlier reading of the tree reported. Files are parsed side by side on
    // `pool`, Qt's global pool when none is given, with the updating thread taking part. Once `stop` is
    // requested, work in hand ends at the next file and leaves the index unfit for further use.
    explicit VdirIndex(QString root, ReportedFiles reported = {}, QThreadPool* pool = nullptr,
                       std::stop_token stop = {});

    // An event file that is a symbolic link, by where its target is (or would be).
    struct Link {
        QString targetName;
        QString calendarPath;
        QString name;
    };
    // Changes to a link's target are reported under the target's name, or not at all outside the tree:
    // what to watch, and which links to read again.
    QHash<QString, QList<Link>> linksByTargetDirectory() const;

    // Answers whether anything that queries see changed.
    bool update(const Request& request);
    // Whether large files wait to be read.
    bool hasLargeFilesToRead() const { return !largeFiles_.isEmpty(); }
    // Whether recurring events wait to be expanded for stretches asked for.
    bool hasStretchesToExpand() const { return !wantedStretches_.empty(); }
    bool stopped() const { return stop_.stop_requested(); }
    // Builds what queries read, expanding the recurring events of new files where the last one had
    // expanded them. What a few changed files or newly expanded stretches add is laid over the previous
    // snapshot, which shares the rest.
    std::shared_ptr<const VdirSnapshot> snapshot();

    // The log lines about bad files met since the last call, for the owner to log on its own thread.
    QStringList takeWarnings() { return warnings_.take(); }
    const ReportedFiles& reportedFiles() const { return reported_; }

private:
    struct IndexedFile {
        FileIdentity identity;
        IcsEventFile events;
        std::shared_ptr<VdirSnapshot::File> view;
        // Its slot in the snapshots; none until a snapshot holds it.
        int slot = -1;
    };
    struct LinkTarget {
        QString directory;
        QString name;
    };
    static LinkTarget linkTarget(const QByteArray& link);
    struct CalendarEntry {
        QString path;
        EventCalendar info;
        std::map<QString, IndexedFile> files;
        // The files that held no event when last read, by name.
        QHash<QString, FileIdentity> barren;
        // The event files that are symbolic links, by name.
        QHash<QString, LinkTarget> links;
    };

    // Numbers of occurrences, by stretch: few per file, so kept in a plain list.
    using StretchCounts = std::vector<std::pair<long long, size_t>>;
    static void addCount(StretchCounts& counts, long long stretch, size_t count);

    // Counts the occurrences of each stretch across the series of the tree, visited in the tree's order, and
    // expands no series of a stretch that is full.
    class SeriesBound {
    public:
        // Appends the occurrences of `series` within `stretches`, adding their number per stretch to `held`;
        // false when the bound left some out.
        bool appendOccurrences(const IcsEventFile& events, size_t series,
                               const std::vector<long long>& stretches, std::vector<IcsTiming>& out,
                               QStringList& problems, StretchCounts* held = nullptr);
        bool cutAny() const { return reported_; }

    private:
        std::unordered_map<long long, size_t> held_;
        bool reported_ = false;
    };

    // A file to parse, and what parsing it gave.
    struct Reading {
        CalendarEntry* calendar;
        QString name;
        FileIdentity identity;
        std::optional<IcsEventFile> events;
        QStringList problems;
    };

    // What the series of a file in a slot account for: their reach and their occurrences per stretch.
    struct SlotUse {
        std::optional<long long> reach;
        StretchCounts held;
    };
    // A file's occurrences, ready for a layer.
    struct Expansion {
        std::vector<std::pair<IcsTiming, int>> occurrences;
        SlotUse use;
        QStringList problems;
    };

    bool applyLayout(const VdirLayout& layout);
    // Drops a file from its calendar, freeing its slot at the next snapshot.
    bool forget(CalendarEntry& calendar, const QString& name);
    // Builds one layer of every file's occurrences, in fresh slots.
    void rebuild();
    // Lays the files changed and the stretches expanded since the last snapshot over it; false, changing
    // nothing, when only a rebuild gives what a rebuild would.
    bool layChanges();
    static Expansion expandFile(const IcsEventFile& events, const std::vector<long long>& stretches,
                                SeriesBound& bound);
    void setUse(int slot, SlotUse use);
    void pushLayer(std::shared_ptr<const VdirSnapshot::Layer> layer);
    bool scanFiles(CalendarEntry& calendar, std::vector<Reading>& readings);
    // Reads and takes these readings, then clears them.
    bool readBatch(std::vector<Reading>& readings);
    // Files waiting to be read are read once there are this many.
    static constexpr size_t kReadingBatch = 4096;
    // Rereads a file that changed: at once, or by adding it to `readings` when given.
    bool refreshFile(CalendarEntry& calendar, const QString& name, bool readLarge,
                     std::vector<Reading>* readings = nullptr);
    // Parsing touches nothing but the reading itself.
    static void read(Reading& reading);
    void readAll(std::vector<Reading>& readings);
    // Puts what a reading gave into the index; answers whether anything changed.
    bool take(Reading& reading);
    // Notes the stretches that these ranges need and that are not expanded yet.
    void want(const std::vector<std::pair<long long, long long>>& ranges);
    // Expands the stretches wanted until `deadline`; answers whether those it finished hold occurrences.
    bool expandWanted(const QDeadlineTimer& deadline);
    void report(const CalendarEntry& calendar, const QString& name, const QStringList& problems,
                const FileIdentity& identity);
    // How far ahead of a range the start of a recurring occurrence that overlaps it may lie.
    long long seriesReach() const;

    QString root_;
    QThreadPool* pool_;
    std::stop_token stop_;
    // Ordered by identifier: the platform order of the calendars.
    std::map<QString, CalendarEntry> calendars_;
    QHash<QString, QString> calendarsByPath_;
    // Large files put off, as (calendar directory, file name).
    QSet<std::pair<QString, QString>> largeFiles_;
    std::set<long long> stretches_;
    // Stretches asked for and not expanded yet. Those of the pass in hand are expanded up to the file named
    // by the cursor (calendar identifier, file name), with what they held so far.
    std::set<long long> wantedStretches_;
    std::vector<long long> passStretches_;
    std::pair<QString, QString> expansionCursor_;
    SeriesBound expansionBound_;
    bool expansionFound_ = false;
    // The sizes of the last snapshot's tiers.
    std::vector<size_t> tierSizes_;

    // What the next snapshot starts from.
    bool rebuild_ = true;
    unsigned generation_ = 0;
    std::vector<std::shared_ptr<const VdirSnapshot::Layer>> layers_;
    VdirSnapshot::SlotTable slots_;
    int slotCount_ = 0;
    // By slot, of the files that have series.
    std::unordered_map<int, SlotUse> seriesUses_;
    std::vector<int> freeSlots_;
    // Files read since the last snapshot, as (calendar identifier, file name); slots of files gone since.
    std::vector<std::pair<QString, QString>> changedFiles_;
    std::vector<int> releasedSlots_;
    std::set<long long> laidStretches_;
    // The series' reach of each file that has series; the occurrences of all series per stretch.
    std::multiset<long long> reaches_;
    std::map<long long, size_t> held_;
    // Whether the bound across series left occurrences out of the last snapshot.
    bool boundCut_ = false;
    ProblemTally warnings_;
    ReportedFiles reported_;
};
