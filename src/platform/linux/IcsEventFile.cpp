#include "platform/linux/IcsEventFile.h"

#include "platform/EventStore.h"

#include <QDate>
#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <unordered_set>

#include <libical/ical.h>
#include <unicode/timezone.h>

namespace {

constexpr long long kDay = 86400;
// Wall time and UTC differ by at most 14 hours: a day of margin finds every floating candidate.
constexpr long long kFloatingMargin = kDay;
// Recurrences are expanded in stretches of about seven weeks and remembered per stretch.
constexpr long long kWindow = 1LL << 22;
// A guard against rules that never reach the end of a stretch.
constexpr int kMaxSteps = 200'000;
// The longest that each occurrence of a recurring event may last.
constexpr long long kLongestOccurrenceDays = 366;

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

// The span of start times, in basis seconds, that may hold an occurrence overlapping the range.
std::pair<long long, long long> candidateStarts(const IcsTiming& timing, Instant rangeStart,
                                                Instant rangeEnd) {
    const long long margin = timing.floating ? kFloatingMargin : 0;
    // All-day lengths are days of local time: a day may have 25 hours.
    const long long length = timing.isAllDay ? timing.length * kDay + 3600 : timing.length;
    return {(long long)std::floor(rangeStart.secondsSince1970()) - length - margin,
            (long long)std::ceil(rangeEnd.secondsSince1970()) + 1 + margin};
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

// The occurrences of a VEVENT with RRULE or RDATE, less EXDATEs and the instances that detached
// occurrences replace.
class RecurringSeries {
public:
    RecurringSeries(Root root, std::optional<icalrecurrencetype> rule, ZonedTime start, IcsTiming timing,
                    IcsEventDetails details)
        : root_(std::move(root)), rule_(rule), start_(start), timing_(timing), details_(std::move(details)) {}

    const IcsTiming& timing() const { return timing_; }
    const IcsEventDetails& details() const { return details_; }

    void addDate(const ZonedTime& date) { extraDates_.push_back(date); }
    void exclude(const ZonedTime& date) {
        if (date.wall.is_date && !start_.wall.is_date)
            excludedDays_.insert(dayNumber(date.wall));
        else
            excludedStarts_.insert(date.basis);
    }
    void replaceInstance(long long basis) { replacedStarts_.insert(basis); }

    // Counted rules must be walked from their first instance, so they are walked once, whole, as soon as
    // the series is complete: while the file is read, not while a day is queried.
    void walkCountedRule() {
        if (rule_ && rule_->count > 0)
            all_ = expand(start_.basis, std::numeric_limits<long long>::max());
    }

    // Appends the starts in [from, to), ascending.
    void appendStarts(long long from, long long to, std::vector<long long>& out) const {
        if (all_) {
            appendSlice(*all_, from, to, out);
            return;
        }
        for (long long w = floorDiv(from, kWindow); w <= floorDiv(to - 1, kWindow); ++w) {
            auto found = windows_.find(w);
            if (found == windows_.end())
                found = windows_.emplace(w, expand(w * kWindow, (w + 1) * kWindow)).first;
            appendSlice(found->second, from, to, out);
        }
    }

private:
    static void appendSlice(const std::vector<long long>& starts, long long from, long long to,
                            std::vector<long long>& out) {
        auto it = std::lower_bound(starts.begin(), starts.end(), from);
        for (; it != starts.end() && *it < to; ++it)
            out.push_back(*it);
    }

    bool isExcluded(long long basis, const icaltimetype& wall) const {
        return excludedStarts_.count(basis) || replacedStarts_.count(basis) ||
               (!excludedDays_.empty() && excludedDays_.count(dayNumber(wall)));
    }

    std::vector<long long> expand(long long from, long long to) const {
        std::vector<long long> starts;
        auto consider = [&](long long basis, const icaltimetype& wall) {
            if (basis >= from && basis < to && !isExcluded(basis, wall))
                starts.push_back(basis);
        };
        const bool ruleEnded = ruleEndsBefore_ && from >= *ruleEndsBefore_;
        icalrecur_iterator* it = rule_ && !ruleEnded ? icalrecur_iterator_new(*rule_, start_.wall) : nullptr;
        if (it) {
            if (rule_->count == 0 && from > start_.basis)
                icalrecur_iterator_set_start(it, wallAt(from, start_));
            long long last = from - 1;
            for (int step = 0; step < kMaxSteps; ++step) {
                icaltimetype next = icalrecur_iterator_next(it);
                if (icaltime_is_null_time(next)) {
                    // Finding that out may have taken libical long (a date that never comes): not again.
                    ruleEndsBefore_ = std::min(ruleEndsBefore_.value_or(last + 1), last + 1);
                    break;
                }
                next.zone = start_.zone;
                next.is_date = start_.wall.is_date;
                const long long basis = basisOf(next, start_.zone);
                if (basis >= to)
                    break;
                last = std::max(last, basis);
                consider(basis, next);
            }
            icalrecur_iterator_free(it);
        } else if (!ruleEnded) {
            // Without a usable rule the series is DTSTART plus its RDATEs.
            consider(start_.basis, start_.wall);
        }
        for (const ZonedTime& date : extraDates_)
            consider(date.basis, date.wall);
        std::sort(starts.begin(), starts.end());
        starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
        return starts;
    }

    // Keeps the file's VTIMEZONEs, which the start's zone may point into, alive.
    Root root_;
    std::optional<icalrecurrencetype> rule_;
    ZonedTime start_;
    IcsTiming timing_;
    IcsEventDetails details_;
    std::vector<ZonedTime> extraDates_;
    std::unordered_set<long long> excludedStarts_;
    std::unordered_set<int> excludedDays_;
    std::unordered_set<long long> replacedStarts_;
    mutable std::unordered_map<long long, std::vector<long long>> windows_;
    // Where the rule has no more instances, once libical has said so.
    mutable std::optional<long long> ruleEndsBefore_;
    std::optional<std::vector<long long>> all_;
};

IcsEventFile::IcsEventFile() = default;
IcsEventFile::IcsEventFile(IcsEventFile&&) noexcept = default;
IcsEventFile& IcsEventFile::operator=(IcsEventFile&&) noexcept = default;
IcsEventFile::~IcsEventFile() = default;

IcsEventFile IcsEventFile::parse(const QByteArray& content, QStringList& problems) {
    icalerror_set_errors_are_fatal(0);
    IcsEventFile file;
    Root root(icalparser_parse_string(content.constData()), icalcomponent_free);
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
            file.singles_.push_back({timingOf(event, *start, reader), std::move(details)});
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
        auto series = std::make_unique<RecurringSeries>(root, rule, master.start, timing, master.details);
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
        series->walkCountedRule();
        file.series_.push_back(std::move(series));
    }
    return file;
}

std::optional<std::pair<long long, long long>> IcsEventFile::singlesSpan() const {
    std::optional<std::pair<long long, long long>> span;
    for (const Single& single : singles_) {
        // The candidate starts of a range of no length at t are the starts that may overlap t.
        const IcsTiming& t = single.timing;
        const long long margin = t.floating ? kFloatingMargin : 0;
        const long long length = t.isAllDay ? t.length * kDay + 3600 : t.length;
        const long long from = t.start - margin;
        const long long to = t.start + length + margin + 1;
        span =
            span ? std::pair(std::min(span->first, from), std::max(span->second, to)) : std::pair(from, to);
    }
    return span;
}

void IcsEventFile::appendOccurrences(Instant rangeStart, Instant rangeEnd, const Calendar& calendar,
                                     std::vector<IcsOccurrence>& out) const {
    auto consider = [&](const IcsTiming& timing, long long start, const IcsEventDetails& details) {
        const auto [from, to] = instantsOf(timing, start, calendar);
        if (occurrenceOverlaps(from, to, rangeStart, rangeEnd))
            out.push_back({from, to, &details});
    };
    for (const Single& single : singles_) {
        const auto [from, to] = candidateStarts(single.timing, rangeStart, rangeEnd);
        if (single.timing.start >= from && single.timing.start < to)
            consider(single.timing, single.timing.start, single.details);
    }
    std::vector<long long> starts;
    for (const auto& series : series_) {
        const auto [from, to] = candidateStarts(series->timing(), rangeStart, rangeEnd);
        starts.clear();
        series->appendStarts(from, to, starts);
        for (long long start : starts)
            consider(series->timing(), start, series->details());
    }
}
