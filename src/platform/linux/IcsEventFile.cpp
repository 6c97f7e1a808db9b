#include "platform/linux/IcsEventFile.h"

#include "platform/EventStore.h"

#include <QDate>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <unordered_map>
#include <unordered_set>

#include <libical/ical.h>
#include <unicode/timezone.h>

namespace {

constexpr long long kDay = 86400;
// Wall time and UTC differ by at most 14 hours: a day of margin finds every floating candidate.
constexpr long long kFloatingMargin = kDay;
// The longest that each occurrence of a recurring event may last.
constexpr long long kLongestOccurrenceDays = 366;
constexpr long long kStretch = IcsEventFile::kStretch;
// Steps of a rule within one stretch, also those that fall before it or are excluded.
constexpr int kMostStepsPerStretch = 4 * IcsEventFile::kMostOccurrencesPerStretch;

using Root = std::shared_ptr<icalcomponent>;

long long floorDiv(long long a, long long b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// A time as written, with the zone it was resolved to (none when floating).
struct ZonedTime {
    icaltimetype wall;
    const icaltimezone* zone = nullptr;
    long long basis = 0;
};

long long basisOf(const icaltimetype& wall, const icaltimezone* zone) {
    if (zone)
        return icaltime_as_timet_with_zone(wall, zone);
    icaltimetype plain = wall;
    plain.zone = nullptr;
    return icaltime_as_timet(plain);
}

icaltimetype wallAt(long long basis, const ZonedTime& like) {
    icaltimetype wall = icaltime_from_timet_with_zone(time_t(basis), like.wall.is_date, like.zone);
    wall.zone = like.zone;
    return wall;
}

int dayNumber(const icaltimetype& wall) {
    return wall.year * 10000 + wall.month * 100 + wall.day;
}

const icaltimezone* builtinZone(const QByteArray& id) {
    if (icaltimezone* zone = icaltimezone_get_builtin_timezone(id.constData()))
        return zone;
    return icaltimezone_get_builtin_timezone_from_tzid(id.constData());
}

// The system's zone of that name first: a file's own VTIMEZONE is often an outdated copy of it. Only names
// the system does not know are taken from the file, then as Windows names.
const icaltimezone* resolveZone(icalcomponent* root, const char* tzid) {
    if (const icaltimezone* zone = builtinZone(QByteArray(tzid)))
        return zone;
    if (icalcomponent_isa(root) == ICAL_VCALENDAR_COMPONENT)
        if (icaltimezone* zone = icalcomponent_get_timezone(root, tzid))
            return zone;
    UErrorCode status = U_ZERO_ERROR;
    icu::UnicodeString olson;
    icu::TimeZone::getIDForWindowsID(icu::UnicodeString::fromUTF8(tzid), nullptr, olson, status);
    if (U_FAILURE(status) || olson.isEmpty())
        return nullptr;
    std::string id;
    olson.toUTF8String(id);
    return builtinZone(QByteArray::fromStdString(id));
}

class Reader {
public:
    Reader(icalcomponent* root, QStringList& problems) : root_(root), problems_(problems) {}

    // Unknown zones fall back to floating time, which the store reads in the user's zone.
    std::optional<ZonedTime> time(icalproperty* property, icaltimetype value) const {
        if (icaltime_is_null_time(value) || !icaltime_is_valid_time(value))
            return std::nullopt;
        const icaltimezone* zone = nullptr;
        if (!value.is_date) {
            if (icaltime_is_utc(value)) {
                zone = icaltimezone_get_utc_timezone();
            } else if (icalparameter* tzid =
                           icalproperty_get_first_parameter(property, ICAL_TZID_PARAMETER)) {
                const char* id = icalparameter_get_tzid(tzid);
                zone = id ? resolveZone(root_, id) : nullptr;
                if (!zone)
                    note(QStringLiteral("unknown_tzid:") + QString::fromUtf8(id ? id : ""));
            }
        }
        value.zone = zone;
        return ZonedTime{value, zone, basisOf(value, zone)};
    }

    std::optional<ZonedTime> time(icalcomponent* event, icalproperty_kind kind) const {
        icalproperty* property = icalcomponent_get_first_property(event, kind);
        if (!property)
            return std::nullopt;
        icalvalue* value = icalproperty_get_value(property);
        if (!value)
            return std::nullopt;
        return time(property, icalvalue_get_datetime(value));
    }

    void note(const QString& problem) const {
        if (!problems_.contains(problem))
            problems_.append(problem);
    }

private:
    icalcomponent* root_;
    QStringList& problems_;
};

std::optional<QString> text(const char* value) {
    if (!value)
        return std::nullopt;
    return QString::fromUtf8(value);
}

IcsTiming timingOf(icalcomponent* event, const ZonedTime& start, const Reader& reader) {
    IcsTiming timing;
    timing.start = start.basis;
    timing.floating = !start.zone;
    timing.isAllDay = start.wall.is_date;
    const std::optional<ZonedTime> end = reader.time(event, ICAL_DTEND_PROPERTY);
    icalproperty* duration = icalcomponent_get_first_property(event, ICAL_DURATION_PROPERTY);
    if (timing.isAllDay) {
        // An all-day event ends at the midnight that starts its DTEND date, and lasts at least one day.
        long long days = 1;
        if (end)
            days = floorDiv(basisOf(end->wall, nullptr) - start.basis, kDay);
        else if (duration)
            days = (icaldurationtype_as_int(icalproperty_get_duration(duration)) + kDay - 1) / kDay;
        timing.length = std::max(1LL, days);
        return timing;
    }
    long long seconds = 0;
    if (end && bool(end->zone) == bool(start.zone))
        seconds = end->basis - start.basis;
    else if (end)
        seconds = basisOf(end->wall, nullptr) - basisOf(start.wall, nullptr);
    else if (duration)
        seconds = icaldurationtype_as_int(icalproperty_get_duration(duration));
    timing.length = std::max(0LL, seconds);
    return timing;
}

std::pair<Instant, Instant> instantsOf(const IcsTiming& timing, long long start, const Calendar& calendar) {
    if (!timing.floating) {
        const Instant at = Instant::fromSecondsSince1970(double(start));
        return {at, at.addingSeconds(double(timing.length))};
    }
    const long long days = floorDiv(start, kDay);
    const long long seconds = start - days * kDay;
    const QDate date = QDate::fromJulianDay(days + 2440588);
    if (timing.isAllDay) {
        std::optional<Instant> midnight = calendar.date(date.year(), date.month(), date.day());
        if (!midnight)
            midnight = calendar.startOfDay(calendar.date(date.year(), date.month(), date.day(), 12)
                                               .value_or(Instant::fromSecondsSince1970(double(start))));
        const Instant end = calendar.addingDays(int(timing.length), *midnight)
                                .value_or(midnight->addingSeconds(double(timing.length * kDay)));
        return {*midnight, end};
    }
    const Instant at = calendar
                           .date(date.year(), date.month(), date.day(), int(seconds / 3600),
                                 int(seconds / 60 % 60), int(seconds % 60))
                           .value_or(Instant::fromSecondsSince1970(double(start)));
    return {at, at.addingSeconds(double(timing.length))};
}

// The last start of a counted daily or weekly rule that repeats one fixed step, found without walking
// the rule: its COUNT then says no more than an UNTIL would, and the rule can be expanded stretch by
// stretch. Nothing for every other counted rule.
std::optional<icaltimetype> lastOfFixedStep(const icalrecurrencetype& rule, const icaltimetype& start) {
    if (rule.count <= 0 || (rule.rscale && *rule.rscale))
        return std::nullopt;
    const bool weekly = rule.freq == ICAL_WEEKLY_RECURRENCE;
    if (!weekly && rule.freq != ICAL_DAILY_RECURRENCE)
        return std::nullopt;
    auto empty = [](const short* list) { return list[0] == ICAL_RECURRENCE_ARRAY_MAX; };
    if (!empty(rule.by_second) || !empty(rule.by_minute) || !empty(rule.by_hour) ||
        !empty(rule.by_month_day) || !empty(rule.by_year_day) || !empty(rule.by_week_no) ||
        !empty(rule.by_month) || !empty(rule.by_set_pos))
        return std::nullopt;
    // A weekly rule may name the start's own weekday, and nothing else.
    if (!empty(rule.by_day) &&
        (!weekly || rule.by_day[1] != ICAL_RECURRENCE_ARRAY_MAX ||
         icalrecurrencetype_day_position(rule.by_day[0]) != 0 ||
         int(icalrecurrencetype_day_day_of_week(rule.by_day[0])) != icaltime_day_of_week(start)))
        return std::nullopt;
    const long long days = (long long)(rule.count - 1) * std::max<int>(1, rule.interval) * (weekly ? 7 : 1);
    if (days > 1'000'000)
        return std::nullopt;
    icaltimetype last = start;
    icaltime_adjust(&last, int(days), 0, 0, 0);
    return last;
}

// The content without its logical lines (a line with its folded continuations) that are longer than
// kLongestLine. Copies only when there is something to leave out.
QByteArray withoutOverlongLines(const QByteArray& content, QStringList& problems) {
    const char* data = content.constData();
    const qsizetype size = content.size();
    QByteArray kept;
    bool dropped = false;
    qsizetype copiedUpTo = 0;
    for (qsizetype begin = 0; begin < size;) {
        qsizetype end = begin;
        do {
            const void* newline = std::memchr(data + end, '\n', size_t(size - end));
            end = newline ? qsizetype(static_cast<const char*>(newline) - data) + 1 : size;
        } while (end < size && (data[end] == ' ' || data[end] == '\t'));
        if (end - begin > IcsEventFile::kLongestLine) {
            if (!dropped)
                kept.reserve(size - (end - begin));
            kept.append(data + copiedUpTo, begin - copiedUpTo);
            copiedUpTo = end;
            dropped = true;
        }
        begin = end;
    }
    if (!dropped)
        return content;
    kept.append(data + copiedUpTo, size - copiedUpTo);
    problems.append(QStringLiteral("line_too_long"));
    return kept;
}

// Whether libical expands the rule in bounded time. It walks HOURLY, MINUTELY and SECONDLY rules one step
// at a time, testing every step against the rule's date parts, and stops only at a match or in the year
// 2582: a date part that matches rarely or never (BYMONTHDAY=30 with BYMONTH=2) keeps it walking for
// minutes or hours, and a SECONDLY rule walks millions of steps through every stretch of weeks.
bool isExpandable(const icalrecurrencetype& rule) {
    if (rule.freq == ICAL_SECONDLY_RECURRENCE)
        return false;
    if (rule.freq != ICAL_MINUTELY_RECURRENCE && rule.freq != ICAL_HOURLY_RECURRENCE)
        return true;
    return rule.by_month[0] == ICAL_RECURRENCE_ARRAY_MAX &&
           rule.by_month_day[0] == ICAL_RECURRENCE_ARRAY_MAX &&
           rule.by_year_day[0] == ICAL_RECURRENCE_ARRAY_MAX &&
           rule.by_week_no[0] == ICAL_RECURRENCE_ARRAY_MAX;
}

} // namespace

std::pair<long long, long long> IcsTiming::reach(long long occurrenceStart) const {
    const long long margin = floating ? kFloatingMargin : 0;
    // All-day lengths are days of local time: a day may have 25 hours.
    const long long seconds = isAllDay ? length * kDay + 3600 : length;
    return {occurrenceStart - margin, occurrenceStart + seconds + margin + 1};
}

std::pair<Instant, Instant> IcsTiming::instants(long long occurrenceStart, const Calendar& calendar) const {
    return instantsOf(*this, occurrenceStart, calendar);
}

// The occurrences of a VEVENT with RRULE or RDATE, less EXDATEs and the instances that detached
// occurrences replace.
class RecurringSeries {
public:
    RecurringSeries(Root root, std::optional<icalrecurrencetype> rule, ZonedTime start)
        : root_(std::move(root)), rule_(rule), start_(start) {
        if (!rule_ || rule_->count <= 0)
            return;
        // A counted rule with a fixed step is expanded like a rule that ends: stretch by stretch.
        if (const std::optional<icaltimetype> last = lastOfFixedStep(*rule_, start_.wall)) {
            icaltimetype wall = *last;
            wall.zone = start_.zone;
            lastStart_ = basisOf(wall, start_.zone);
            rule_->count = 0;
        }
    }

    void addDate(const ZonedTime& date) {
        extraDates_.push_back(date);
        earliestStart_ = std::min(earliestStart_, date.basis);
    }
    void exclude(const ZonedTime& date) {
        if (date.wall.is_date && !start_.wall.is_date)
            excludedDays_.insert(dayNumber(date.wall));
        else
            excludedStarts_.insert(date.basis);
    }
    void replaceInstance(long long basis) { replacedStarts_.insert(basis); }

    // Appends the starts within the stretch, ascending; false when the limits cut the series off there.
    bool appendStarts(long long stretch, std::vector<long long>& out) const {
        auto found = stretches_.find(stretch);
        if (found == stretches_.end())
            found = stretches_.emplace(stretch, expand(stretch * kStretch, (stretch + 1) * kStretch)).first;
        out.insert(out.end(), found->second.starts.begin(), found->second.starts.end());
        return !found->second.cutOff;
    }

private:
    struct Stretch {
        std::vector<long long> starts;
        bool cutOff = false;
    };
    using Iterator = std::unique_ptr<icalrecur_iterator, decltype(&icalrecur_iterator_free)>;

    bool isExcluded(long long basis, const icaltimetype& wall) const {
        return excludedStarts_.count(basis) || replacedStarts_.count(basis) ||
               (!excludedDays_.empty() && excludedDays_.count(dayNumber(wall)));
    }

    // The next instance of `it` in the start's zone; nothing at the rule's end.
    std::optional<std::pair<long long, icaltimetype>> step(icalrecur_iterator* it) const {
        icaltimetype next = icalrecur_iterator_next(it);
        if (icaltime_is_null_time(next))
            return std::nullopt;
        next.zone = start_.zone;
        next.is_date = start_.wall.is_date;
        return std::pair(basisOf(next, start_.zone), next);
    }

    Stretch expand(long long from, long long to) const {
        Stretch stretch;
        auto consider = [&](long long basis, const icaltimetype& wall) {
            if (basis >= from && basis < to && !isExcluded(basis, wall))
                stretch.starts.push_back(basis);
        };
        const bool ruleEnded = ruleEndsBefore_ && from >= *ruleEndsBefore_;
        if (to <= earliestStart_ || (rule_ && ruleEnded)) {
            // Nothing starts before DTSTART and the RDATEs, nor after the rule's end but for RDATEs.
        } else if (!rule_) {
            // Without a usable rule the series is DTSTART plus its RDATEs.
            consider(start_.basis, start_.wall);
        } else if (rule_->count > 0) {
            stretch.cutOff = !walkCountedRuleTo(to);
            auto it = std::lower_bound(walked_.begin(), walked_.end(), from);
            for (; it != walked_.end() && *it < to; ++it)
                stretch.starts.push_back(*it);
        } else if (!lastStart_ || from <= *lastStart_) {
            Iterator it(icalrecur_iterator_new(*rule_, start_.wall), icalrecur_iterator_free);
            if (it && from > start_.basis)
                icalrecur_iterator_set_start(it.get(), wallAt(from, start_));
            long long last = from - 1;
            for (int steps = 0; it; ++steps) {
                const auto next = step(it.get());
                if (!next) {
                    // Finding that out may have taken libical long (a date that never comes): not again.
                    ruleEndsBefore_ = std::min(ruleEndsBefore_.value_or(last + 1), last + 1);
                    break;
                }
                if (next->first >= to || (lastStart_ && next->first > *lastStart_))
                    break;
                if (steps == kMostStepsPerStretch ||
                    stretch.starts.size() > size_t(IcsEventFile::kMostOccurrencesPerStretch)) {
                    stretch.cutOff = true;
                    break;
                }
                last = std::max(last, next->first);
                consider(next->first, next->second);
            }
        }
        for (const ZonedTime& date : extraDates_)
            consider(date.basis, date.wall);
        std::sort(stretch.starts.begin(), stretch.starts.end());
        stretch.starts.erase(std::unique(stretch.starts.begin(), stretch.starts.end()), stretch.starts.end());
        if (stretch.starts.size() > size_t(IcsEventFile::kMostOccurrencesPerStretch)) {
            stretch.starts.resize(IcsEventFile::kMostOccurrencesPerStretch);
            stretch.cutOff = true;
        }
        return stretch;
    }

    // Counted rules must be walked from their first instance; the walk goes only as far as a query needed
    // and goes on from there. False when the walk was cut off.
    bool walkCountedRuleTo(long long to) const {
        if (!walker_ && !walkEnded_)
            walker_ = Iterator(icalrecur_iterator_new(*rule_, start_.wall), icalrecur_iterator_free);
        while (walker_ && walkedUpTo_ < to) {
            const auto next = step(walker_.get());
            if (!next || walkedSteps_ == IcsEventFile::kLongestCountedWalk) {
                walkCutOff_ = next.has_value();
                walker_.reset();
                walkEnded_ = true;
                break;
            }
            ++walkedSteps_;
            walkedUpTo_ = next->first;
            if (!isExcluded(next->first, next->second))
                walked_.insert(std::upper_bound(walked_.begin(), walked_.end(), next->first), next->first);
        }
        return !walkCutOff_ || to <= walkedUpTo_;
    }

    // Keeps the file's VTIMEZONEs, which the start's zone may point into, and the rule's texts alive.
    Root root_;
    std::optional<icalrecurrencetype> rule_;
    ZonedTime start_;
    // The last start of a counted rule that is expanded like a rule with an end.
    std::optional<long long> lastStart_;
    std::vector<ZonedTime> extraDates_;
    // Nothing starts before DTSTART and the RDATEs: an event that lasts for ages (a mistyped DTEND) must not
    // send a lookup through every stretch since the beginning of time.
    long long earliestStart_ = start_.basis;
    std::unordered_set<long long> excludedStarts_;
    std::unordered_set<int> excludedDays_;
    std::unordered_set<long long> replacedStarts_;
    mutable std::unordered_map<long long, Stretch> stretches_;
    // Where the rule has no more instances, once libical has said so.
    mutable std::optional<long long> ruleEndsBefore_;
    // The walk of a counted rule so far.
    mutable Iterator walker_{nullptr, icalrecur_iterator_free};
    mutable std::vector<long long> walked_;
    mutable long long walkedUpTo_ = std::numeric_limits<long long>::min();
    mutable int walkedSteps_ = 0;
    mutable bool walkEnded_ = false;
    mutable bool walkCutOff_ = false;
};

IcsEventFile::IcsEventFile() = default;
IcsEventFile::IcsEventFile(IcsEventFile&&) noexcept = default;
IcsEventFile& IcsEventFile::operator=(IcsEventFile&&) noexcept = default;
IcsEventFile::~IcsEventFile() = default;

IcsEventFile IcsEventFile::parse(const QByteArray& content, QStringList& problems) {
    icalerror_set_errors_are_fatal(0);
    IcsEventFile file;
    auto records = std::make_shared<std::vector<IcsEventRecord>>();
    file.records_ = records;
    const QByteArray usable = withoutOverlongLines(content, problems);
    Root root(icalparser_parse_string(usable.constData()), icalcomponent_free);
    const icalcomponent_kind kind = root ? icalcomponent_isa(root.get()) : ICAL_NO_COMPONENT;
    if (kind != ICAL_VCALENDAR_COMPONENT && kind != ICAL_VEVENT_COMPONENT) {
        problems.append(QStringLiteral("unparsable"));
        return file;
    }
    const Reader reader(root.get(), problems);

    std::vector<icalcomponent*> events;
    if (kind == ICAL_VEVENT_COMPONENT)
        events.push_back(root.get());
    for (icalcomponent* c = icalcomponent_get_first_component(root.get(), ICAL_VEVENT_COMPONENT); c;
         c = icalcomponent_get_next_component(root.get(), ICAL_VEVENT_COMPONENT))
        events.push_back(c);

    struct Master {
        icalcomponent* event;
        ZonedTime start;
        IcsEventDetails details;
    };
    std::vector<Master> masters;
    std::unordered_map<std::string, std::vector<long long>> replacedByUid;
    for (icalcomponent* event : events) {
        const std::optional<ZonedTime> start = reader.time(event, ICAL_DTSTART_PROPERTY);
        if (!start) {
            reader.note(QStringLiteral("missing_dtstart"));
            continue;
        }
        IcsEventDetails details;
        details.uid = text(icalcomponent_get_uid(event));
        details.title = text(icalcomponent_get_summary(event));
        details.isAllDay = start->wall.is_date;
        const std::optional<ZonedTime> recurrenceId = reader.time(event, ICAL_RECURRENCEID_PROPERTY);
        const bool recurs = icalcomponent_get_first_property(event, ICAL_RRULE_PROPERTY) ||
                            icalcomponent_get_first_property(event, ICAL_RDATE_PROPERTY);
        if (recurrenceId) {
            char* idText = icaltime_as_ical_string_r(recurrenceId->wall);
            details.recurrenceId = QString::fromUtf8(idText);
            icalmemory_free_buffer(idText);
            replacedByUid[details.uid.value_or(QString()).toStdString()].push_back(recurrenceId->basis);
        }
        if (recurs && !recurrenceId)
            masters.push_back({event, *start, std::move(details)});
        else
            records->push_back({timingOf(event, *start, reader), std::move(details)});
    }

    for (Master& master : masters) {
        std::optional<icalrecurrencetype> rule;
        if (icalproperty* rrule = icalcomponent_get_first_property(master.event, ICAL_RRULE_PROPERTY))
            rule = icalproperty_get_rrule(rrule);
        if (rule && !isExpandable(*rule)) {
            reader.note(QStringLiteral("unsupported_rrule"));
            rule.reset();
        }
        IcsTiming timing = timingOf(master.event, master.start, reader);
        // Occurrences that each last for ages (a mistyped DTEND) would all overlap every later day, and the
        // lookup of a day would go back through every one of them.
        const long long longest = timing.isAllDay ? kLongestOccurrenceDays : kLongestOccurrenceDays * kDay;
        if (timing.length > longest) {
            reader.note(QStringLiteral("overlong_occurrences"));
            timing.length = longest;
        }
        auto series = std::make_unique<RecurringSeries>(root, rule, master.start);
        for (icalproperty* p = icalcomponent_get_first_property(master.event, ICAL_RDATE_PROPERTY); p;
             p = icalcomponent_get_next_property(master.event, ICAL_RDATE_PROPERTY)) {
            const icaldatetimeperiodtype value = icalproperty_get_rdate(p);
            const icaltimetype at = icaltime_is_null_time(value.time) ? value.period.start : value.time;
            if (const std::optional<ZonedTime> date = reader.time(p, at))
                series->addDate(*date);
        }
        for (icalproperty* p = icalcomponent_get_first_property(master.event, ICAL_EXDATE_PROPERTY); p;
             p = icalcomponent_get_next_property(master.event, ICAL_EXDATE_PROPERTY))
            if (const std::optional<ZonedTime> date = reader.time(p, icalproperty_get_exdate(p)))
                series->exclude(*date);
        const auto replaced = replacedByUid.find(master.details.uid.value_or(QString()).toStdString());
        if (replaced != replacedByUid.end())
            for (long long basis : replaced->second)
                series->replaceInstance(basis);
        records->push_back({timing, std::move(master.details)});
        file.series_.push_back(std::move(series));
    }
    return file;
}

void IcsEventFile::appendStarts(size_t series, long long stretch, std::vector<long long>& out,
                                QStringList& problems) const {
    if (!series_.at(series)->appendStarts(stretch, out) &&
        !problems.contains(QStringLiteral("too_many_occurrences")))
        problems.append(QStringLiteral("too_many_occurrences"));
}

std::pair<long long, long long> IcsEventFile::stretchesFor(long long from, long long to, long long before) {
    // Floating times are read in the user's zone, at most a day from UTC.
    return {floorDiv(from - before, kStretch), floorDiv(to + kFloatingMargin, kStretch)};
}

std::optional<std::pair<long long, long long>> IcsEventFile::singlesSpan() const {
    std::optional<std::pair<long long, long long>> span;
    for (size_t i = 0; i < singleCount(); ++i) {
        const IcsTiming& timing = (*records_)[i].timing;
        const auto [from, to] = timing.reach(timing.start);
        span =
            span ? std::pair(std::min(span->first, from), std::max(span->second, to)) : std::pair(from, to);
    }
    return span;
}

void IcsEventFile::appendOccurrences(Instant rangeStart, Instant rangeEnd, const Calendar& calendar,
                                     std::vector<IcsOccurrence>& out) const {
    const long long from = (long long)std::floor(rangeStart.secondsSince1970());
    const long long to = (long long)std::ceil(rangeEnd.secondsSince1970()) + 1;
    auto consider = [&](const IcsEventRecord& record, long long start) {
        const std::pair<long long, long long> reach = record.timing.reach(start);
        if (reach.first >= to || reach.second <= from)
            return;
        const auto [eventStart, eventEnd] = record.timing.instants(start, calendar);
        if (occurrenceOverlaps(eventStart, eventEnd, rangeStart, rangeEnd))
            out.push_back({eventStart, eventEnd, &record.details});
    };
    const size_t singles = singleCount();
    for (size_t i = 0; i < singles; ++i)
        consider((*records_)[i], (*records_)[i].timing.start);
    std::vector<long long> starts;
    QStringList problems;
    for (size_t series = 0; series < series_.size(); ++series) {
        const IcsEventRecord& record = (*records_)[singles + series];
        const auto [first, last] = stretchesFor(from, to, record.timing.reach(0).second);
        starts.clear();
        for (long long stretch = first; stretch <= last; ++stretch)
            appendStarts(series, stretch, starts, problems);
        for (long long start : starts)
            consider(record, start);
    }
}
