#include "platform/linux/VdirIndex.h"

#include "platform/linux/ProblemTally.h"
#include "utilities/BoundedFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSemaphore>
#include <QStringDecoder>
#include <QThreadPool>
#include <algorithm>
#include <atomic>
#include <cstdlib>

#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kDisplayName = QStringLiteral("displayname");
const QString kColor = QStringLiteral("color");

struct DirectoryCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

struct DirectoryEntry {
    QByteArray name;
    // The kind that the directory itself records (DT_REG, ...), DT_UNKNOWN where it records none.
    unsigned char type;
};

// The entries of a directory, "." and ".." left out: nothing is looked up for them.
std::vector<DirectoryEntry> entriesOf(const QByteArray& path) {
    std::vector<DirectoryEntry> entries;
    const std::unique_ptr<DIR, DirectoryCloser> dir(::opendir(path.constData()));
    if (!dir)
        return entries;
    while (const dirent* entry = ::readdir(dir.get())) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            entries.push_back({name, entry->d_type});
    }
    return entries;
}

// The directories of `path` by name, links to directories among them. What else a folder holds besides plain
// files (the metadata) and hidden entries would hide a calendar's events without a word: each is noted in
// `skipped`. Only what the directory does not say itself is looked up: a calendar may hold a million files.
QStringList subdirectories(const QString& path, ProblemTally& skipped) {
    const QByteArray encoded = QFile::encodeName(path);
    QStringList names;
    for (const DirectoryEntry& entry : entriesOf(encoded)) {
        const QByteArray& name = entry.name;
        if (name.startsWith('.') || entry.type == DT_REG)
            continue;
        const QByteArray full = encoded + '/' + name;
        auto skip = [&](const char* reason) {
            const QLatin1StringView why(reason);
            skipped.add(
                QStringLiteral("calendar_entry_skipped"),
                QStringLiteral("folder=%1 reason=%2").arg(path, why), QFile::decodeName(name),
                QStringLiteral("calendar_entry_skipped path=%1 reason=%2").arg(QFile::decodeName(full), why));
        };
        if (entry.type != DT_DIR && entry.type != DT_LNK && entry.type != DT_UNKNOWN) {
            skip("not_a_directory");
            continue;
        }
        struct stat status {};
        if (::stat(full.constData(), &status) != 0) {
            const int error = errno;
            struct stat link {};
            if (::lstat(full.constData(), &link) == 0 && S_ISLNK(link.st_mode))
                skip(error == ELOOP ? "looping_link" : "dangling_link");
            // An entry gone since the listing is no problem.
            else if (error != ENOENT)
                skip("unreadable");
            continue;
        }
        if (S_ISREG(status.st_mode))
            continue;
        if (!S_ISDIR(status.st_mode)) {
            skip("not_a_directory");
            continue;
        }
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString decoded = utf8(name);
        if (utf8.hasError()) {
            skip("name_not_utf8");
            continue;
        }
        if (::access(full.constData(), R_OK | X_OK) != 0) {
            skip("unreadable_folder");
            continue;
        }
        names.append(decoded);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A metadata file's first line; nothing when the file is missing, unreadable or not a regular file (a FIFO
// would block the reader).
std::optional<QString> readMetadata(const QString& path) {
    const BoundedFile::Contents contents = BoundedFile::read(path, qint64(64) * 1024);
    if (contents.status != BoundedFile::Status::read)
        return std::nullopt;
    QString text = QString::fromUtf8(contents.bytes);
    while (text.endsWith(u'\n') || text.endsWith(u'\r'))
        text.chop(1);
    return text;
}

// A source's or calendar's title: its `displayname`, or the directory's name when that is missing or blank.
QString titleOf(const QString& directory) {
    const std::optional<QString> text = readMetadata(directory + u'/' + kDisplayName);
    return text && !text->trimmed().isEmpty() ? *text : QDir(directory).dirName();
}

std::optional<QColor> parseColor(const QString& text) {
    static const QRegularExpression pattern(QStringLiteral("^#([0-9A-Fa-f]{6})([0-9A-Fa-f]{2})?$"));
    const QRegularExpressionMatch match = pattern.match(text.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    const uint rgb = match.captured(1).toUInt(nullptr, 16);
    const int alpha = match.captured(2).isEmpty() ? 255 : match.captured(2).toInt(nullptr, 16);
    return QColor(int(rgb >> 16) & 0xff, int(rgb >> 8) & 0xff, int(rgb) & 0xff, alpha);
}

bool isEventFile(const QString& name) {
    return name.endsWith(QStringLiteral(".ics"));
}

bool sameCalendar(const EventCalendar& a, const EventCalendar& b) {
    const bool sameSource = a.source.has_value() == b.source.has_value() &&
                            (!a.source || (a.source->sourceIdentifier == b.source->sourceIdentifier &&
                                           a.source->title == b.source->title));
    return a.calendarIdentifier == b.calendarIdentifier && a.title == b.title && a.color == b.color &&
           sameSource;
}

} // namespace

VdirLayout VdirLayout::read(const QString& root) {
    VdirLayout layout;
    layout.root = root;
    auto add = [&](const QString& identifier, const QString& path, const std::optional<EventSource>& source) {
        Place& place = layout.calendars[identifier];
        place.path = path;
        place.info.calendarIdentifier = identifier;
        place.info.title = titleOf(path);
        place.info.source = source;
        if (const std::optional<QString> color = readMetadata(path + u'/' + kColor))
            place.info.color = parseColor(*color);
    };
    ProblemTally skipped;
    for (const QString& top : subdirectories(root, skipped)) {
        const QString topPath = root + u'/' + top;
        const QStringList children = subdirectories(topPath, skipped);
        if (children.isEmpty()) {
            add(top, topPath, std::nullopt);
            continue;
        }
        layout.sourcePaths.append(topPath);
        const EventSource source{top, titleOf(topPath)};
        for (const QString& child : children)
            add(top + u'/' + child, topPath + u'/' + child, source);
    }
    layout.skipped = skipped.take();
    return layout;
}

QStringList VdirLayout::directories() const {
    QStringList paths{root};
    paths += sourcePaths;
    for (const auto& [identifier, place] : calendars)
        paths.append(place.path);
    return paths;
}

QList<EventCalendar> VdirLayout::calendarList() const {
    QList<EventCalendar> list;
    for (const auto& [identifier, place] : calendars)
        list.append(place.info);
    return list;
}

bool VdirLayout::isCalendarDirectory(const QString& path) const {
    // Asked for every change that inotify reports, under the very names the layout gave it: plain string
    // work, where QDir took milliseconds at times.
    if (path.size() <= root.size() + 1 || !path.startsWith(root) || path[root.size()] != u'/')
        return false;
    const auto place = calendars.find(path.mid(root.size() + 1));
    return place != calendars.end() && place->second.path == path;
}

bool VdirLayout::isMetadataFile(const QString& name) {
    return name == kDisplayName || name == kColor;
}

VdirIndex::VdirIndex(QString root, ReportedFiles reported, QThreadPool* pool, std::stop_token stop)
    : root_(std::move(root)), pool_(pool ? pool : QThreadPool::globalInstance()), stop_(std::move(stop)),
      reported_(std::move(reported)) {}

bool VdirIndex::update(const Request& request) {
    const QDeadlineTimer deadline(request.layout ? QDeadlineTimer(QDeadlineTimer::Forever)
                                                 : QDeadlineTimer(kSliceMilliseconds));
    bool changed = false;
    if (request.layout)
        changed |= applyLayout(*request.layout);
    for (const auto& [directory, name] : request.entries) {
        if (stopped())
            return changed;
        const auto identifier = calendarsByPath_.constFind(directory);
        if (identifier != calendarsByPath_.cend() && isEventFile(name))
            changed |= refreshFile(calendars_.at(*identifier), name, false);
    }
    // At least one large file each time, however long the files above took.
    for (bool first = true;
         request.largeFiles && !largeFiles_.isEmpty() && !stopped() && (first || !deadline.hasExpired());
         first = false) {
        const auto [directory, name] = *largeFiles_.cbegin();
        largeFiles_.erase(largeFiles_.cbegin());
        const auto identifier = calendarsByPath_.constFind(directory);
        if (identifier != calendarsByPath_.cend())
            changed |= refreshFile(calendars_.at(*identifier), name, true);
    }
    want(request.ranges);
    // Files read and stretches expanded in one update would have the snapshot built anew.
    if (request.layout || (request.entries.isEmpty() && !request.largeFiles))
        changed |= expandWanted(deadline);
    return changed;
}

bool VdirIndex::applyLayout(const VdirLayout& layout) {
    rebuild_ = true;
    bool changed = false;
    std::vector<Reading> readings;
    for (auto it = calendars_.begin(); it != calendars_.end();) {
        if (layout.calendars.count(it->first)) {
            ++it;
            continue;
        }
        calendarsByPath_.remove(it->second.path);
        it = calendars_.erase(it);
        changed = true;
    }
    for (const auto& [identifier, place] : layout.calendars) {
        if (stopped())
            return changed;
        auto [entry, added] = calendars_.try_emplace(identifier);
        CalendarEntry& calendar = entry->second;
        if (added || calendar.path != place.path || !sameCalendar(calendar.info, place.info)) {
            calendarsByPath_.remove(calendar.path);
            calendar.path = place.path;
            calendar.info = place.info;
            calendarsByPath_.insert(place.path, identifier);
            changed = true;
        }
        changed |= scanFiles(calendar, readings);
    }
    changed |= readBatch(readings);
    // Forget the reports about files that are gone, or no longer in a calendar.
    for (auto it = reported_.begin(); it != reported_.end();) {
        const QFileInfo file(it.key());
        if (calendarsByPath_.contains(file.path()) && file.isFile())
            ++it;
        else
            it = reported_.erase(it);
    }
    for (auto it = largeFiles_.begin(); it != largeFiles_.end();) {
        if (calendarsByPath_.contains(it->first))
            ++it;
        else
            it = largeFiles_.erase(it);
    }
    return changed;
}

bool VdirIndex::scanFiles(CalendarEntry& calendar, std::vector<Reading>& readings) {
    bool changed = false;
    QSet<QString> present;
    // Names only: the one look at each file is refreshFile()'s.
    for (const DirectoryEntry& entry : entriesOf(QFile::encodeName(calendar.path))) {
        if (stopped())
            return changed;
        if (!entry.name.endsWith(".ics"))
            continue;
        const QString name = QFile::decodeName(entry.name);
        present.insert(name);
        changed |= refreshFile(calendar, name, false, &readings);
        // Read in batches: what a folder of a million files waits for is never held all at once.
        if (readings.size() >= kReadingBatch)
            changed |= readBatch(readings);
    }
    for (auto it = calendar.barren.begin(); it != calendar.barren.end();)
        it = present.contains(it.key()) ? std::next(it) : calendar.barren.erase(it);
    for (auto it = calendar.links.begin(); it != calendar.links.end();)
        it = present.contains(it.key()) ? std::next(it) : calendar.links.erase(it);
    for (auto it = calendar.files.begin(); it != calendar.files.end();) {
        if (present.contains(it->first)) {
            ++it;
            continue;
        }
        if (it->second.slot >= 0)
            releasedSlots_.push_back(it->second.slot);
        it = calendar.files.erase(it);
        changed = true;
    }
    return changed;
}

VdirIndex::LinkTarget VdirIndex::linkTarget(const QByteArray& link) {
    // The file at the end of the chain; where there is none, the place the link names, so that a target
    // made there later is seen.
    if (const std::unique_ptr<char, decltype(&std::free)> real(::realpath(link.constData(), nullptr),
                                                               &std::free);
        real) {
        const QFileInfo target(QFile::decodeName(real.get()));
        return {target.path(), target.fileName()};
    }
    const QFileInfo named(QFileInfo(QFile::decodeName(link)).symLinkTarget());
    return {named.absoluteDir().canonicalPath(), named.fileName()};
}

QHash<QString, QList<VdirIndex::Link>> VdirIndex::linksByTargetDirectory() const {
    QHash<QString, QList<Link>> links;
    for (const auto& [identifier, calendar] : calendars_)
        for (auto it = calendar.links.cbegin(); it != calendar.links.cend(); ++it)
            if (!it->directory.isEmpty())
                links[it->directory].append({it->name, calendar.path, it.key()});
    return links;
}

bool VdirIndex::readBatch(std::vector<Reading>& readings) {
    readAll(readings);
    bool changed = false;
    if (stopped())
        return changed;
    for (Reading& reading : readings)
        changed |= take(reading);
    readings.clear();
    return changed;
}

void VdirIndex::report(const CalendarEntry& calendar, const QString& name, const QStringList& problems,
                       const FileIdentity& identity) {
    const QString path = calendar.path + u'/' + name;
    if (problems.isEmpty()) {
        reported_.remove(path);
        return;
    }
    const auto reported = reported_.constFind(path);
    if (reported != reported_.cend() && *reported == identity)
        return;
    const QString& identifier = calendar.info.calendarIdentifier;
    const QString listed = problems.join(u',');
    warnings_.add(
        QStringLiteral("calendar_file_problem"),
        QStringLiteral("calendar=%1 problems=%2").arg(identifier, listed), name,
        QStringLiteral("calendar_file_problem file=%1/%2 problems=%3").arg(identifier, name, listed));
    reported_.insert(path, identity);
}

bool VdirIndex::refreshFile(CalendarEntry& calendar, const QString& name, bool readLarge,
                            std::vector<Reading>* readings) {
    const QString path = calendar.path + u'/' + name;
    const QByteArray encoded = QFile::encodeName(path);
    struct stat status {};
    bool found = ::lstat(encoded.constData(), &status) == 0;
    if (found && S_ISLNK(status.st_mode)) {
        calendar.links.insert(name, linkTarget(encoded));
        found = ::stat(encoded.constData(), &status) == 0;
    } else {
        calendar.links.remove(name);
    }
    if (!found || !S_ISREG(status.st_mode)) {
        reported_.remove(path);
        calendar.barren.remove(name);
        largeFiles_.remove({calendar.path, name});
        return forget(calendar, name);
    }

    const FileIdentity identity{status.st_mtim.tv_sec * 1'000'000'000LL + status.st_mtim.tv_nsec,
                                (unsigned long long)status.st_ino, (long long)status.st_size};
    const auto known = calendar.files.find(name);
    if (known != calendar.files.end() && known->second.identity == identity)
        return false;
    if (known == calendar.files.end() && calendar.barren.value(name) == identity)
        return false;
    if (identity.size > kLargestFile) {
        report(calendar, name, {QStringLiteral("file_too_large")}, identity);
        return forget(calendar, name);
    }
    if (identity.size > kLargeFile && !readLarge) {
        largeFiles_.insert({calendar.path, name});
        return false;
    }

    Reading reading{&calendar, name, identity, std::nullopt, {}};
    if (readings) {
        readings->push_back(std::move(reading));
        return false;
    }
    read(reading);
    return take(reading);
}

void VdirIndex::read(Reading& reading) {
    // A file swapped for a FIFO since it was looked at would block the worker for ever.
    const BoundedFile::Contents contents =
        BoundedFile::read(reading.calendar->path + u'/' + reading.name, kLargestFile);
    if (contents.status == BoundedFile::Status::read)
        reading.events = IcsEventFile::parse(contents.bytes, reading.problems);
    else if (contents.status == BoundedFile::Status::tooLarge)
        reading.problems.append(QStringLiteral("file_too_large"));
    // A file removed or swapped for something else since it was looked at is no problem: the change is
    // read on its own.
    else if (contents.status == BoundedFile::Status::unreadable)
        reading.problems.append(QStringLiteral("unreadable"));
}

void VdirIndex::readAll(std::vector<Reading>& readings) {
    // Each file is parsed into a tree of its own, so files are parsed side by side when there are many.
    const int helpers = std::min(pool_->maxThreadCount() - 1, int(readings.size() / 32));
    if (helpers <= 0) {
        for (size_t i = 0; i < readings.size() && !stopped(); ++i)
            read(readings[i]);
        return;
    }
    IcsEventFile::prepareLibical();
    std::atomic<size_t> next = 0;
    auto readRest = [&] {
        for (size_t i = next++; i < readings.size() && !stopped(); i = next++)
            read(readings[i]);
    };
    // This thread reads too. It may itself hold the pool's only thread (one CPU): helpers that have not
    // started once it is done are taken back, and only those that run are waited for.
    QSemaphore finished;
    std::vector<std::unique_ptr<QRunnable>> tasks;
    for (int i = 0; i < helpers; ++i) {
        tasks.emplace_back(QRunnable::create([&] {
            readRest();
            finished.release();
        }));
        tasks.back()->setAutoDelete(false);
        pool_->start(tasks.back().get());
    }
    readRest();
    int running = 0;
    for (const std::unique_ptr<QRunnable>& task : tasks)
        running += pool_->tryTake(task.get()) ? 0 : 1;
    finished.acquire(running);
}

bool VdirIndex::take(Reading& reading) {
    CalendarEntry& calendar = *reading.calendar;
    const QString& name = reading.name;
    // Files that could not be read at all are read again by every rescan; their report is not repeated.
    report(calendar, name, reading.problems, reading.identity);
    std::optional<IcsEventFile>& events = reading.events;
    // A file that holds no event costs no more than its identity, kept so that it is not read again.
    if (!events || events->records()->empty()) {
        calendar.barren.insert(name, reading.identity);
        return forget(calendar, name);
    }
    calendar.barren.remove(name);

    auto view = std::make_shared<VdirSnapshot::File>();
    const QString& identifier = calendar.info.calendarIdentifier;
    view->itemIdentifier = identifier + u'/' + name;
    view->records = events->records();
    const auto known = calendar.files.find(name);
    const int slot = known != calendar.files.end() ? known->second.slot : -1;
    calendar.files.insert_or_assign(name,
                                    IndexedFile{reading.identity, std::move(*events), std::move(view), slot});
    changedFiles_.emplace_back(identifier, name);
    return true;
}

bool VdirIndex::forget(CalendarEntry& calendar, const QString& name) {
    const auto known = calendar.files.find(name);
    if (known == calendar.files.end())
        return false;
    if (known->second.slot >= 0)
        releasedSlots_.push_back(known->second.slot);
    calendar.files.erase(known);
    return true;
}

long long VdirIndex::seriesReach() const {
    long long reach = 0;
    for (const auto& [identifier, calendar] : calendars_)
        for (const auto& [name, file] : calendar.files)
            for (size_t i = file.events.singleCount(); i < file.events.records()->size(); ++i)
                reach = std::max(reach, (*file.events.records())[i].reach());
    return reach;
}

void VdirIndex::want(const std::vector<std::pair<long long, long long>>& ranges) {
    if (ranges.empty())
        return;
    const long long reach = seriesReach();
    for (const auto& [from, to] : ranges) {
        const auto [first, last] = IcsEventFile::stretchesFor(from, to, reach);
        for (long long stretch = first; stretch <= last; ++stretch)
            if (!stretches_.count(stretch))
                wantedStretches_.insert(stretch);
    }
}

bool VdirIndex::expandWanted(const QDeadlineTimer& deadline) {
    bool found = false;
    // Each call expands one file at least, so that slices always get somewhere.
    bool progressed = false;
    std::vector<IcsTiming> occurrences;
    while (!wantedStretches_.empty() || !passStretches_.empty()) {
        // A pass takes some of the stretches wanted and goes through the files once: each series expands
        // them in one go, much faster than one stretch after the other.
        if (passStretches_.empty()) {
            auto last = wantedStretches_.cbegin();
            std::advance(last, std::min(wantedStretches_.size(), kStretchesPerPass));
            passStretches_.assign(wantedStretches_.cbegin(), last);
            expansionCursor_ = {};
            expansionBound_ = {};
            expansionFound_ = false;
        }
        for (auto calendar = calendars_.lower_bound(expansionCursor_.first); calendar != calendars_.end();
             ++calendar) {
            auto& files = calendar->second.files;
            auto file = calendar->first == expansionCursor_.first ? files.lower_bound(expansionCursor_.second)
                                                                  : files.begin();
            for (; file != files.end(); ++file) {
                if (file->second.events.seriesCount() == 0)
                    continue;
                if (stopped() || (progressed && deadline.hasExpired())) {
                    expansionCursor_ = {calendar->first, file->first};
                    return found;
                }
                progressed = true;
                QStringList problems;
                for (size_t series = 0; series < file->second.events.seriesCount(); ++series) {
                    occurrences.clear();
                    expansionBound_.appendOccurrences(file->second.events, series, passStretches_,
                                                      occurrences, problems);
                    expansionFound_ |= !occurrences.empty();
                }
                if (!problems.isEmpty())
                    report(calendar->second, file->first, problems, file->second.identity);
            }
        }
        for (long long stretch : passStretches_) {
            stretches_.insert(stretch);
            wantedStretches_.erase(stretch);
        }
        passStretches_.clear();
        // Whether any series has occurrences there; expanded now, they are remembered for the snapshot.
        found |= expansionFound_;
    }
    return found;
}

bool VdirIndex::SeriesBound::appendOccurrences(const IcsEventFile& events, size_t series,
                                               const std::vector<long long>& stretches,
                                               std::vector<IcsTiming>& out, QStringList& problems,
                                               StretchCounts* held) {
    bool cut = false;
    for (long long stretch : stretches) {
        size_t& total = held_[stretch];
        if (total >= kMostOccurrencesPerStretch) {
            cut = true;
            continue;
        }
        const size_t before = out.size();
        events.appendOccurrences(series, stretch, out, problems);
        total += out.size() - before;
        if (held && out.size() > before)
            addCount(*held, stretch, out.size() - before);
    }
    // Named once, with the first file that the bound cuts.
    if (cut && !std::exchange(reported_, true) && !problems.contains(QStringLiteral("too_many_occurrences")))
        problems.append(QStringLiteral("too_many_occurrences"));
    return !cut;
}

namespace {

// Ranks leave room for this many bits of files added between two others before the slots are laid anew.
constexpr int kRankGap = 32;
// More files than this changed at once are laid anew with all the others.
constexpr size_t kMostLaidFiles = 512;

} // namespace

std::shared_ptr<const VdirSnapshot> VdirIndex::snapshot() {
    if (rebuild_ || !layChanges())
        rebuild();
    rebuild_ = false;
    // A whole reading changes every file: what that took is not kept.
    changedFiles_ = {};
    releasedSlots_.clear();
    laidStretches_ = stretches_;

    auto snapshot = std::make_shared<VdirSnapshot>();
    for (const auto& [identifier, calendar] : calendars_)
        snapshot->calendars_.append(calendar.info);
    snapshot->slots_ = slots_;
    slots_.share();
    snapshot->layers_ = layers_;
    snapshot->stretches_ = stretches_;
    snapshot->hasSeries_ = !reaches_.empty();
    snapshot->seriesReach_ = reaches_.empty() ? 0 : std::max(0LL, *reaches_.rbegin());
    return snapshot;
}

VdirIndex::Expansion VdirIndex::expandFile(const IcsEventFile& events,
                                           const std::vector<long long>& stretches, SeriesBound& bound) {
    Expansion expansion;
    const std::vector<IcsEventRecord>& records = *events.records();
    const size_t singles = events.singleCount();
    expansion.occurrences.reserve(singles);
    for (size_t i = 0; i < singles; ++i)
        expansion.occurrences.emplace_back(records[i].timing, int(i));
    std::vector<IcsTiming> occurrences;
    for (size_t series = 0; series < events.seriesCount(); ++series) {
        occurrences.clear();
        bound.appendOccurrences(events, series, stretches, occurrences, expansion.problems,
                                &expansion.use.held);
        for (const IcsTiming& occurrence : occurrences)
            expansion.occurrences.emplace_back(occurrence, int(singles + series));
        expansion.use.reach = std::max(expansion.use.reach.value_or(0), records[singles + series].reach());
    }
    return expansion;
}

void VdirIndex::addCount(StretchCounts& counts, long long stretch, size_t count) {
    const auto known =
        std::find_if(counts.begin(), counts.end(), [&](const auto& c) { return c.first == stretch; });
    if (known != counts.end())
        known->second += count;
    else
        counts.emplace_back(stretch, count);
}

void VdirIndex::setUse(int slot, SlotUse use) {
    if (const auto known = seriesUses_.find(slot); known != seriesUses_.end()) {
        reaches_.erase(reaches_.find(*known->second.reach));
        for (const auto& [stretch, count] : known->second.held)
            held_[stretch] -= count;
        seriesUses_.erase(known);
    }
    if (!use.reach)
        return;
    reaches_.insert(*use.reach);
    for (const auto& [stretch, count] : use.held)
        held_[stretch] += count;
    seriesUses_.emplace(slot, std::move(use));
}

void VdirIndex::rebuild() {
    ++generation_;
    slots_ = {};
    seriesUses_.clear();
    freeSlots_.clear();
    reaches_.clear();
    held_.clear();
    auto layer = std::make_shared<VdirSnapshot::Layer>();
    layer->generation = generation_;
    // A change leaves the tiers about as large as they were.
    for (size_t i = 0; i < layer->tiers.size() && i < tierSizes_.size(); ++i)
        layer->tiers[i].occurrences.reserve(tierSizes_[i]);
    const std::vector<long long> stretches(stretches_.begin(), stretches_.end());
    SeriesBound bound;
    int calendarIndex = 0;
    int slot = 0;
    for (auto& [identifier, calendar] : calendars_) {
        for (auto& [name, file] : calendar.files) {
            if (stopped())
                return;
            file.slot = slot;
            slots_.edit(size_t(slot)) = {file.view, (unsigned long long)(slot + 1) << kRankGap, generation_,
                                         calendarIndex};
            Expansion expansion = expandFile(file.events, stretches, bound);
            for (const auto& [timing, record] : expansion.occurrences) {
                const auto [from, to] = timing.reach(timing.start);
                layer->add({from, to, timing, slot, record});
            }
            if (!expansion.problems.isEmpty())
                report(calendar, name, expansion.problems, file.identity);
            setUse(slot, std::move(expansion.use));
            ++slot;
        }
        ++calendarIndex;
    }
    slotCount_ = slot;
    layer->sort();
    layer->shrink();
    tierSizes_.clear();
    for (const VdirSnapshot::Tier& tier : layer->tiers)
        tierSizes_.push_back(tier.occurrences.size());
    boundCut_ = bound.cutAny();
    layers_ = {std::move(layer)};
}

bool VdirIndex::layChanges() {
    std::vector<long long> newStretches;
    for (long long stretch : stretches_)
        if (!laidStretches_.count(stretch))
            newStretches.push_back(stretch);
    std::sort(changedFiles_.begin(), changedFiles_.end());
    changedFiles_.erase(std::unique(changedFiles_.begin(), changedFiles_.end()), changedFiles_.end());
    const bool filesChanged = !changedFiles_.empty() || !releasedSlots_.empty();
    // Where the bound across series cut, or may cut now, which series it cuts depends on all of them.
    if ((filesChanged && (!newStretches.empty() || boundCut_)) ||
        changedFiles_.size() + releasedSlots_.size() > kMostLaidFiles)
        return false;

    using Calendars = std::map<QString, CalendarEntry>;
    using Files = std::map<QString, IndexedFile>;
    struct Change {
        Calendars::iterator calendar;
        Files::iterator file;
        Expansion expansion;
        unsigned long long rank = 0;
    };
    std::vector<Change> changes;
    std::map<long long, size_t> held = held_;
    auto uncount = [&](int slot) {
        if (const auto use = seriesUses_.find(slot); use != seriesUses_.end())
            for (const auto& [stretch, occurrences] : use->second.held)
                held[stretch] -= occurrences;
    };
    for (int slot : releasedSlots_)
        uncount(slot);
    const std::vector<long long> stretches(stretches_.begin(), stretches_.end());
    // In the store's order: calendars, then files by name.
    for (const auto& [identifier, name] : changedFiles_) {
        const auto calendar = calendars_.find(identifier);
        if (calendar == calendars_.end())
            continue;
        const auto file = calendar->second.files.find(name);
        if (file == calendar->second.files.end())
            continue;
        SeriesBound bound;
        Change change{calendar, file, expandFile(file->second.events, stretches, bound)};
        if (file->second.slot >= 0)
            uncount(file->second.slot);
        for (const auto& [stretch, occurrences] : change.expansion.use.held)
            held[stretch] += occurrences;
        changes.push_back(std::move(change));
    }
    for (const auto& [stretch, occurrences] : held)
        if (occurrences >= kMostOccurrencesPerStretch)
            return false;

    // A new file's rank lies between those of the files around it; where there is no room, all are laid anew.
    std::unordered_map<const IndexedFile*, unsigned long long> newRanks;
    auto rankOf = [&](const IndexedFile& file) -> std::optional<unsigned long long> {
        if (file.slot >= 0)
            return slots_[size_t(file.slot)].rank;
        const auto found = newRanks.find(&file);
        return found != newRanks.end() ? std::optional(found->second) : std::nullopt;
    };
    for (Change& change : changes) {
        if (const std::optional<unsigned long long> rank = rankOf(change.file->second)) {
            change.rank = *rank;
            continue;
        }
        unsigned long long lower = 0;
        for (auto [calendar, file] = std::pair(change.calendar, change.file);;) {
            if (file == calendar->second.files.begin()) {
                if (calendar == calendars_.begin())
                    break;
                --calendar;
                file = calendar->second.files.end();
                continue;
            }
            if (const std::optional<unsigned long long> rank = rankOf((--file)->second)) {
                lower = *rank;
                break;
            }
        }
        std::optional<unsigned long long> upper;
        for (auto [calendar, file] = std::pair(change.calendar, std::next(change.file)); !upper;) {
            if (file == calendar->second.files.end()) {
                if (++calendar == calendars_.end())
                    break;
                file = calendar->second.files.begin();
                continue;
            }
            upper = rankOf((file++)->second);
        }
        // After the last file: as far on as the ranks of a rebuild lie apart.
        if (!upper)
            upper = lower + (2ULL << kRankGap) < lower ? std::numeric_limits<unsigned long long>::max()
                                                       : lower + (2ULL << kRankGap);
        if (*upper - lower < 2)
            return false;
        change.rank = lower + (*upper - lower) / 2;
        newRanks.emplace(&change.file->second, change.rank);
    }

    const unsigned generation = ++generation_;
    for (int slot : releasedSlots_) {
        setUse(slot, {});
        slots_.edit(size_t(slot)) = {};
        freeSlots_.push_back(slot);
    }
    auto layer = std::make_shared<VdirSnapshot::Layer>();
    layer->generation = generation;
    auto add = [&layer](const IcsTiming& timing, int slot, int record) {
        const auto [from, to] = timing.reach(timing.start);
        layer->add({from, to, timing, slot, record});
    };
    for (Change& change : changes) {
        IndexedFile& file = change.file->second;
        if (file.slot < 0) {
            file.slot = freeSlots_.empty() ? slotCount_++ : freeSlots_.back();
            if (!freeSlots_.empty())
                freeSlots_.pop_back();
        }
        const int calendarIndex = int(std::distance(calendars_.begin(), change.calendar));
        slots_.edit(size_t(file.slot)) = {file.view, change.rank, generation, calendarIndex};
        for (const auto& [timing, record] : change.expansion.occurrences)
            add(timing, file.slot, record);
        if (!change.expansion.problems.isEmpty())
            report(change.calendar->second, change.file->first, change.expansion.problems, file.identity);
        setUse(file.slot, std::move(change.expansion.use));
    }
    // The series of every file in the stretches expanded since: counted in the store's order, as a rebuild
    // counts them.
    if (!newStretches.empty()) {
        SeriesBound bound;
        std::vector<IcsTiming> occurrences;
        for (auto& [identifier, calendar] : calendars_)
            for (auto& [name, file] : calendar.files) {
                if (file.events.seriesCount() == 0 || file.slot < 0)
                    continue;
                QStringList problems;
                StretchCounts added;
                for (size_t series = 0; series < file.events.seriesCount(); ++series) {
                    occurrences.clear();
                    bound.appendOccurrences(file.events, series, newStretches, occurrences, problems, &added);
                    for (const IcsTiming& occurrence : occurrences)
                        add(occurrence, file.slot, int(file.events.singleCount() + series));
                }
                for (const auto& [stretch, occurrences] : added) {
                    addCount(seriesUses_[file.slot].held, stretch, occurrences);
                    held_[stretch] += occurrences;
                }
                if (!problems.isEmpty())
                    report(calendar, name, problems, file.identity);
            }
        boundCut_ |= bound.cutAny();
    }
    layer->sort();
    layer->shrink();
    if (layer->size() > 0)
        pushLayer(std::move(layer));
    return true;
}

void VdirIndex::pushLayer(std::shared_ptr<const VdirSnapshot::Layer> layer) {
    layers_.push_back(std::move(layer));
    // A layer is merged into the one below while that is not much larger: a query looks at few layers, and
    // an occurrence is merged a few times over many changes. What changed since is dropped then.
    while (layers_.size() >= 2 && layers_[layers_.size() - 2]->size() <= 2 * layers_.back()->size()) {
        const VdirSnapshot::Layer& older = *layers_[layers_.size() - 2];
        const VdirSnapshot::Layer& newer = *layers_.back();
        auto merged = std::make_shared<VdirSnapshot::Layer>();
        merged->generation = newer.generation;
        for (size_t t = 0; t < merged->tiers.size(); ++t) {
            const auto& a = older.tiers[t].occurrences;
            const auto& b = newer.tiers[t].occurrences;
            auto& out = merged->tiers[t].occurrences;
            out.reserve(a.size() + b.size());
            for (size_t i = 0, j = 0; i < a.size() || j < b.size();) {
                const bool fromOlder = j == b.size() || (i < a.size() && a[i].from <= b[j].from);
                const VdirSnapshot::Occurrence& o = fromOlder ? a[i++] : b[j++];
                if (slots_[size_t(o.file)].since <= (fromOlder ? older.generation : newer.generation))
                    out.push_back(o);
            }
            merged->tiers[t].widest = std::max(older.tiers[t].widest, newer.tiers[t].widest);
        }
        merged->shrink();
        layers_.pop_back();
        layers_.back() = std::move(merged);
    }
}
