#include "platform/linux/VdirIndex.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <cmath>

#include <sys/stat.h>

namespace {

const QString kDisplayName = QStringLiteral("displayname");
const QString kColor = QStringLiteral("color");

QStringList subdirectories(const QString& path) {
    return QDir(path).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

// A metadata file's first line; nothing when the file is missing or unreadable.
std::optional<QString> readMetadata(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QString text = QString::fromUtf8(file.read(64 * 1024));
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

} // namespace

VdirIndex::VdirIndex(QString root, ReportedFiles reported)
    : root_(std::move(root)), reported_(std::move(reported)) {}

EventCalendar VdirIndex::readCalendarInfo(const QString& identifier, const QString& path,
                                          const std::optional<EventSource>& source) {
    EventCalendar info;
    info.calendarIdentifier = identifier;
    info.title = titleOf(path);
    info.source = source;
    if (const std::optional<QString> color = readMetadata(path + u'/' + kColor))
        info.color = parseColor(*color);
    return info;
}

bool VdirIndex::rescan() {
    QSet<QString> known;
    for (const auto& [identifier, calendar] : calendars_)
        known.insert(identifier);
    // New calendars are read whole as they are found.
    bool changed = rescanStructure();
    for (auto& [identifier, calendar] : calendars_)
        if (known.contains(identifier))
            changed |= scanFiles(calendar);
    // Forget the reports about files that are gone, or no longer in a calendar.
    for (auto it = reported_.begin(); it != reported_.end();) {
        const QFileInfo file(it.key());
        if (calendarsByPath_.contains(file.path()) && file.isFile())
            ++it;
        else
            it = reported_.erase(it);
    }
    return changed;
}

VdirIndex::Layout VdirIndex::layoutOf(const QString& root) {
    // A directory of the root that holds directories is a source; its directories are its calendars.
    Layout layout;
    for (const QString& top : subdirectories(root)) {
        const QString topPath = root + u'/' + top;
        const QStringList children = subdirectories(topPath);
        if (children.isEmpty()) {
            layout.calendars[top] = {topPath, QString()};
            continue;
        }
        layout.sourcePaths.append(topPath);
        for (const QString& child : children)
            layout.calendars[top + u'/' + child] = {topPath + u'/' + child, top};
    }
    return layout;
}

QStringList VdirIndex::directoriesIn(const QString& root) {
    const Layout layout = layoutOf(root);
    QStringList paths{root};
    paths += layout.sourcePaths;
    for (const auto& [identifier, place] : layout.calendars)
        paths.append(place.path);
    return paths;
}

bool VdirIndex::rescanStructure() {
    const Layout layout = layoutOf(root_);
    QHash<QString, EventSource> sources;
    for (const QString& path : layout.sourcePaths) {
        const QString name = QDir(path).dirName();
        sources.insert(name, {name, titleOf(path)});
    }

    bool changed = layout.sourcePaths != sourcePaths_;
    sourcePaths_ = layout.sourcePaths;
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
        std::optional<EventSource> source;
        if (!place.source.isEmpty())
            source = sources.value(place.source);
        const EventCalendar info = readCalendarInfo(identifier, place.path, source);
        auto existing = calendars_.find(identifier);
        if (existing == calendars_.end()) {
            CalendarEntry& calendar = calendars_[identifier];
            calendar.path = place.path;
            calendar.info = info;
            calendarsByPath_.insert(place.path, identifier);
            scanFiles(calendar);
            changed = true;
            continue;
        }
        EventCalendar& known = existing->second.info;
        const bool sameSource =
            known.source.has_value() == info.source.has_value() &&
            (!info.source || (known.source->sourceIdentifier == info.source->sourceIdentifier &&
                              known.source->title == info.source->title));
        if (known.title != info.title || known.color != info.color || !sameSource) {
            known = info;
            changed = true;
        }
    }
    return changed;
}

bool VdirIndex::scanFiles(CalendarEntry& calendar) {
    bool changed = false;
    QSet<QString> present;
    for (const QString& name : QDir(calendar.path).entryList(QDir::Files | QDir::Hidden, QDir::Name)) {
        if (!isEventFile(name))
            continue;
        present.insert(name);
        changed |= refreshFile(calendar, name);
    }
    for (auto it = calendar.files.begin(); it != calendar.files.end();) {
        if (present.contains(it->first)) {
            ++it;
            continue;
        }
        it = calendar.files.erase(it);
        calendar.lookup.reset();
        changed = true;
    }
    return changed;
}

bool VdirIndex::refreshEntry(const QString& calendarDirectory, const QString& name) {
    const auto identifier = calendarsByPath_.constFind(calendarDirectory);
    if (identifier == calendarsByPath_.cend())
        return false;
    CalendarEntry& calendar = calendars_.at(*identifier);
    if (name == kDisplayName || name == kColor) {
        const EventCalendar info = readCalendarInfo(*identifier, calendar.path, calendar.info.source);
        if (info.title == calendar.info.title && info.color == calendar.info.color)
            return false;
        calendar.info = info;
        return true;
    }
    return isEventFile(name) && refreshFile(calendar, name);
}

bool VdirIndex::refreshFile(CalendarEntry& calendar, const QString& name) {
    const QString path = calendar.path + u'/' + name;
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0 || !S_ISREG(status.st_mode)) {
        reported_.remove(path);
        if (calendar.files.erase(name) == 0)
            return false;
        calendar.lookup.reset();
        return true;
    }

    const FileIdentity identity{status.st_mtim.tv_sec * 1'000'000'000LL + status.st_mtim.tv_nsec,
                                (unsigned long long)status.st_ino, (long long)status.st_size};
    const auto known = calendar.files.find(name);
    if (known != calendar.files.end() && known->second.identity == identity)
        return false;

    QStringList problems;
    QFile file(path);
    std::optional<IcsEventFile> events;
    if (file.open(QIODevice::ReadOnly))
        events = IcsEventFile::parse(file.readAll(), problems);
    else
        problems.append(QStringLiteral("unreadable"));
    if (problems.isEmpty()) {
        reported_.remove(path);
    } else if (const auto reported = reported_.constFind(path);
               reported == reported_.cend() || *reported != identity) {
        // Files that could not be read at all are read again by every rescan; their report is not repeated.
        warnings_.append(QStringLiteral("calendar_file_problem file=%1/%2 problems=%3")
                             .arg(calendar.info.calendarIdentifier, name, problems.join(u',')));
        reported_.insert(path, identity);
    }
    calendar.lookup.reset();
    if (!events)
        return calendar.files.erase(name) > 0;
    calendar.files.insert_or_assign(name, IndexedFile{identity, std::move(*events)});
    return true;
}

QStringList VdirIndex::directories() const {
    QStringList paths{root_};
    paths += sourcePaths_;
    for (const auto& [identifier, calendar] : calendars_)
        paths.append(calendar.path);
    return paths;
}

QList<EventCalendar> VdirIndex::calendars() const {
    QList<EventCalendar> list;
    for (const auto& [identifier, calendar] : calendars_)
        list.append(calendar.info);
    return list;
}

const VdirIndex::Lookup& VdirIndex::lookupOf(const CalendarEntry& calendar) {
    if (calendar.lookup)
        return *calendar.lookup;
    Lookup& lookup = calendar.lookup.emplace();
    int order = 0;
    for (const auto& entry : calendar.files) {
        if (entry.second.events.recurs())
            lookup.recurring.emplace_back(order, &entry);
        else if (const auto span = entry.second.events.singlesSpan()) {
            lookup.spans.push_back({span->first, span->second, order, &entry});
            lookup.widest = std::max(lookup.widest, span->second - span->first);
        }
        ++order;
    }
    std::sort(lookup.spans.begin(), lookup.spans.end(),
              [](const Lookup::Span& a, const Lookup::Span& b) { return a.from < b.from; });
    return lookup;
}

void VdirIndex::prepareLookups() const {
    for (const auto& [identifier, calendar] : calendars_)
        lookupOf(calendar);
}

QList<StoredEvent> VdirIndex::events(Instant start, Instant end,
                                     const std::optional<QStringList>& calendarIdentifiers) const {
    const Calendar userCalendar = Calendar::current();
    QList<StoredEvent> result;
    std::vector<IcsOccurrence> occurrences;
    for (const auto& [identifier, calendar] : calendars_) {
        if (calendarIdentifiers && !calendarIdentifiers->contains(identifier))
            continue;
        // Candidate files, visited in file-name order.
        const Lookup& lookup = lookupOf(calendar);
        const long long from = (long long)std::floor(start.secondsSince1970());
        const long long to = (long long)std::ceil(end.secondsSince1970()) + 1;
        std::vector<std::pair<int, FileMap::const_pointer>> candidates = lookup.recurring;
        auto span = std::lower_bound(lookup.spans.begin(), lookup.spans.end(), from - lookup.widest,
                                     [](const Lookup::Span& s, long long value) { return s.from < value; });
        for (; span != lookup.spans.end() && span->from < to; ++span)
            if (span->to > from)
                candidates.emplace_back(span->order, span->file);
        std::sort(candidates.begin(), candidates.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& candidate : candidates) {
            const QString& name = candidate.second->first;
            const IcsEventFile& events = candidate.second->second.events;
            occurrences.clear();
            events.appendOccurrences(start, end, userCalendar, occurrences);
            for (const IcsOccurrence& occurrence : occurrences) {
                const IcsEventDetails& details = *occurrence.details;
                StoredEvent event;
                event.startDate = occurrence.start;
                event.endDate = occurrence.end;
                event.title = details.title;
                event.isAllDay = details.isAllDay;
                event.calendar = calendar.info;
                if (details.uid) {
                    QString eventIdentifier = identifier + u'/' + *details.uid;
                    if (details.recurrenceId)
                        eventIdentifier += u'/' + *details.recurrenceId;
                    event.eventIdentifier = eventIdentifier;
                }
                event.calendarItemIdentifier = identifier + u'/' + name;
                event.calendarItemExternalIdentifier = details.uid;
                result.append(std::move(event));
            }
        }
    }
    return result;
}
