#include "platform/linux/VdirIndex.h"

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

// The names in a directory, "." and ".." left out: nothing is looked up for them.
std::vector<QByteArray> entryNames(const QByteArray& path) {
    std::vector<QByteArray> names;
    const std::unique_ptr<DIR, DirectoryCloser> dir(::opendir(path.constData()));
    if (!dir)
        return names;
    while (const dirent* entry = ::readdir(dir.get())) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            names.push_back(name);
    }
    return names;
}

// The directories of `path` by name, links to directories among them. What else a folder holds besides plain
// files (the metadata) and hidden entries would hide a calendar's events without a word: each is named in
// `skipped`, as a log line.
QStringList subdirectories(const QString& path, QStringList& skipped) {
    const QByteArray encoded = QFile::encodeName(path);
    QStringList names;
    for (const QByteArray& name : entryNames(encoded)) {
        if (name.startsWith('.'))
            continue;
        const QByteArray full = encoded + '/' + name;
        auto skip = [&](const char* reason) {
            skipped.append(QStringLiteral("calendar_entry_skipped path=%1 reason=%2")
                               .arg(QFile::decodeName(full), QLatin1StringView(reason)));
        };
        struct stat status {};
        if (::stat(full.constData(), &status) != 0) {
            const int error = errno;
            struct stat link {};
            if (::lstat(full.constData(), &link) == 0 && S_ISLNK(link.st_mode))
                skip(error == ELOOP ? "looping_link" : "dangling_link");
            else
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
    for (const QString& top : subdirectories(root, layout.skipped)) {
        const QString topPath = root + u'/' + top;
        const QStringList children = subdirectories(topPath, layout.skipped);
        if (children.isEmpty()) {
            add(top, topPath, std::nullopt);
            continue;
        }
        layout.sourcePaths.append(topPath);
        const EventSource source{top, titleOf(topPath)};
        for (const QString& child : children)
            add(top + u'/' + child, topPath + u'/' + child, source);
    }
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
    const QString relative = QDir(root).relativeFilePath(path);
    return calendars.count(relative) && calendars.at(relative).path == path;
}

bool VdirLayout::isMetadataFile(const QString& name) {
    return name == kDisplayName || name == kColor;
}

VdirIndex::VdirIndex(QString root, ReportedFiles reported, QThreadPool* pool)
    : root_(std::move(root)), pool_(pool ? pool : QThreadPool::globalInstance()),
      reported_(std::move(reported)) {}

bool VdirIndex::update(const Request& request) {
    bool changed = false;
    if (request.layout)
        changed |= applyLayout(*request.layout);
    for (const auto& [directory, name] : request.entries) {
        const auto identifier = calendarsByPath_.constFind(directory);
        if (identifier != calendarsByPath_.cend() && isEventFile(name))
            changed |= refreshFile(calendars_.at(*identifier), name, false);
    }
    if (request.largeFiles) {
        for (const auto& [directory, name] : std::exchange(largeFiles_, {})) {
            const auto identifier = calendarsByPath_.constFind(directory);
            if (identifier != calendarsByPath_.cend())
                changed |= refreshFile(calendars_.at(*identifier), name, true);
        }
    }
    changed |= expand(request.ranges);
    return changed;
}

bool VdirIndex::applyLayout(const VdirLayout& layout) {
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
    readAll(readings);
    for (Reading& reading : readings)
        changed |= take(reading);
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
    for (const QByteArray& encoded : entryNames(QFile::encodeName(calendar.path))) {
        if (!encoded.endsWith(".ics"))
            continue;
        const QString name = QFile::decodeName(encoded);
        present.insert(name);
        changed |= refreshFile(calendar, name, false, &readings);
    }
    for (auto it = calendar.files.begin(); it != calendar.files.end();) {
        if (present.contains(it->first)) {
            ++it;
            continue;
        }
        it = calendar.files.erase(it);
        changed = true;
    }
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
    warnings_.append(QStringLiteral("calendar_file_problem file=%1/%2 problems=%3")
                         .arg(calendar.info.calendarIdentifier, name, problems.join(u',')));
    reported_.insert(path, identity);
}

bool VdirIndex::refreshFile(CalendarEntry& calendar, const QString& name, bool readLarge,
                            std::vector<Reading>* readings) {
    const QString path = calendar.path + u'/' + name;
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0 || !S_ISREG(status.st_mode)) {
        reported_.remove(path);
        largeFiles_.remove({calendar.path, name});
        return calendar.files.erase(name) > 0;
    }

    const FileIdentity identity{status.st_mtim.tv_sec * 1'000'000'000LL + status.st_mtim.tv_nsec,
                                (unsigned long long)status.st_ino, (long long)status.st_size};
    const auto known = calendar.files.find(name);
    if (known != calendar.files.end() && known->second.identity == identity)
        return false;
    if (identity.size > kLargestFile) {
        report(calendar, name, {QStringLiteral("file_too_large")}, identity);
        return calendar.files.erase(name) > 0;
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
    else
        reading.problems.append(QStringLiteral("unreadable"));
}

void VdirIndex::readAll(std::vector<Reading>& readings) {
    // Each file is parsed into a tree of its own, so files are parsed side by side when there are many.
    const int helpers = std::min(pool_->maxThreadCount() - 1, int(readings.size() / 32));
    if (helpers <= 0) {
        for (Reading& reading : readings)
            read(reading);
        return;
    }
    IcsEventFile::prepareLibical();
    std::atomic<size_t> next = 0;
    auto readRest = [&] {
        for (size_t i = next++; i < readings.size(); i = next++)
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
    if (!events)
        return calendar.files.erase(name) > 0;

    auto view = std::make_shared<VdirSnapshot::File>();
    const QString& identifier = calendar.info.calendarIdentifier;
    view->itemIdentifier = identifier + u'/' + name;
    view->records = events->records();
    calendar.files.insert_or_assign(name, IndexedFile{reading.identity, std::move(*events), std::move(view)});
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

bool VdirIndex::expand(const std::vector<std::pair<long long, long long>>& ranges) {
    if (ranges.empty())
        return false;
    const long long reach = seriesReach();
    std::vector<long long> added;
    for (const auto& [from, to] : ranges) {
        const auto [first, last] = IcsEventFile::stretchesFor(from, to, reach);
        for (long long stretch = first; stretch <= last; ++stretch)
            if (stretches_.insert(stretch).second)
                added.push_back(stretch);
    }
    // Whether any series has occurrences there; expanded now, they are remembered for the snapshot.
    bool found = false;
    std::vector<IcsTiming> occurrences;
    SeriesBound bound;
    for (auto& [identifier, calendar] : calendars_)
        for (auto& [name, file] : calendar.files) {
            QStringList problems;
            for (size_t series = 0; series < file.events.seriesCount(); ++series) {
                occurrences.clear();
                bound.appendOccurrences(file.events, series, added, occurrences, problems);
                found |= !occurrences.empty();
            }
            if (!problems.isEmpty())
                report(calendar, name, problems, file.identity);
        }
    return found;
}

bool VdirIndex::SeriesBound::appendOccurrences(const IcsEventFile& events, size_t series,
                                               const std::vector<long long>& stretches,
                                               std::vector<IcsTiming>& out, QStringList& problems) {
    bool cut = false;
    for (long long stretch : stretches) {
        size_t& held = held_[stretch];
        if (held >= kMostOccurrencesPerStretch) {
            cut = true;
            continue;
        }
        const size_t before = out.size();
        events.appendOccurrences(series, stretch, out, problems);
        held += out.size() - before;
    }
    // Named once, with the first file that the bound cuts.
    if (cut && !std::exchange(reported_, true) && !problems.contains(QStringLiteral("too_many_occurrences")))
        problems.append(QStringLiteral("too_many_occurrences"));
    return !cut;
}

std::shared_ptr<const VdirSnapshot> VdirIndex::snapshot() {
    auto snapshot = std::make_shared<VdirSnapshot>();
    // A change leaves the tiers about as large as they were.
    for (size_t i = 0; i < snapshot->tiers_.size() && i < tierSizes_.size(); ++i)
        snapshot->tiers_[i].occurrences.reserve(tierSizes_[i]);
    snapshot->stretches_ = stretches_;
    snapshot->seriesReach_ = seriesReach();
    std::vector<IcsTiming> occurrences;
    const std::vector<long long> stretches(stretches_.begin(), stretches_.end());
    SeriesBound bound;
    int calendarIndex = 0;
    for (auto& [identifier, calendar] : calendars_) {
        snapshot->calendars_.append(calendar.info);
        for (auto& [name, file] : calendar.files) {
            const int fileIndex = int(snapshot->files_.size());
            snapshot->files_.push_back(file.view);
            snapshot->fileCalendars_.push_back(calendarIndex);
            auto add = [&](const IcsTiming& timing, int record) {
                const auto [from, to] = timing.reach(timing.start);
                snapshot->add({from, to, timing, fileIndex, record});
            };
            const std::vector<IcsEventRecord>& records = *file.events.records();
            const size_t singles = file.events.singleCount();
            for (size_t i = 0; i < singles; ++i)
                add(records[i].timing, int(i));
            QStringList problems;
            for (size_t series = 0; series < file.events.seriesCount(); ++series) {
                snapshot->hasSeries_ = true;
                occurrences.clear();
                bound.appendOccurrences(file.events, series, stretches, occurrences, problems);
                for (const IcsTiming& occurrence : occurrences)
                    add(occurrence, int(singles + series));
            }
            if (!problems.isEmpty())
                report(calendar, name, problems, file.identity);
        }
        ++calendarIndex;
    }
    for (VdirSnapshot::Tier& tier : snapshot->tiers_) {
        std::sort(tier.occurrences.begin(), tier.occurrences.end(),
                  [](const VdirSnapshot::Occurrence& a, const VdirSnapshot::Occurrence& b) {
                      return a.from < b.from;
                  });
        // The snapshot lives until the next change: what the growth left spare would stay with it.
        if (tier.occurrences.capacity() > tier.occurrences.size() + tier.occurrences.size() / 8)
            tier.occurrences.shrink_to_fit();
    }
    tierSizes_.clear();
    for (const VdirSnapshot::Tier& tier : snapshot->tiers_)
        tierSizes_.push_back(tier.occurrences.size());
    return snapshot;
}
