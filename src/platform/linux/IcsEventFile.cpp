#include "platform/linux/IcsEventFile.h"

#include "platform/EventStore.h"
#include "platform/linux/SubDailyRule.h"
#include "platform/linux/WeekNumberRule.h"

#include <QTimeZone>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

#include <libical/ical.h>
#include <unicode/basictz.h>

namespace {

constexpr long long kDay = 86400;
// Wall time and UTC differ by at most 14 hours: a day of margin finds every floating candidate.
constexpr long long kFloatingMargin = kDay;
// The longest that each occurrence of a recurring event may last.
constexpr long long kLongestOccurrenceDays = 366;
constexpr long long kStretch = IcsEventFile::kStretch;
// Steps of a rule within one stretch, also those that fall before it or are excluded.
constexpr int kMostStepsPerStretch = 4 * IcsEventFile::kMostOccurrencesPerStretch;
// A series is split by at most this many detached occurrences with RANGE=THISANDFUTURE, each part walking
// the rule again; later ones stand only for their own instance.
constexpr size_t kMostRanges = 32;

using Root = std::shared_ptr<icalcomponent>;

long long floorDiv(long long a, long long b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// The zone a time was written in; none for floating times. A zone the system knows takes the system's
// rules, read by ICU: libical's own reading of the system's zoneinfo is wrong around many clock changes
// (London in the 1970s, Moscow in the 1980s, Fiji in 2011, Nuuk and St. John's after 2037). Zones that
// only the file defines are read by libical.
struct Zone {
    const icaltimezone* ical = nullptr;
    const icu::BasicTimeZone* system = nullptr;

    explicit operator bool() const { return ical; }
    bool isUtc() const { return ical == icaltimezone_get_utc_timezone(); }

    // Seconds east of UTC at a UTC instant.
    long long offsetAt(long long utc) const {
        if (system) {
            int32_t raw = 0;
            int32_t dst = 0;
            UErrorCode status = U_ZERO_ERROR;
            system->getOffset(double(utc) * 1000, false, raw, dst, status);
            return (raw + dst) / 1000;
        }
        icaltimetype at = icaltime_from_timet_with_zone(time_t(utc), 0, icaltimezone_get_utc_timezone());
        int isDaylight = 0;
        return icaltimezone_get_utc_offset_of_utc_time(const_cast<icaltimezone*>(ical), &at, &isDaylight);
    }

    // The instant of a wall time (seconds since 1970 at which UTC shows it) as RFC 5545 reads it: a time
    // skipped by a clock change with the offset in force before the change, a repeated time at its first
    // occurrence. libical reads the first with the offset after the change and the second at its last
    // occurrence.
    long long instantOf(long long wall) const {
        if (isUtc())
            return wall;
        if (system) {
            int32_t raw = 0;
            int32_t dst = 0;
            UErrorCode status = U_ZERO_ERROR;
            system->getOffsetFromLocal(double(wall) * 1000, UCAL_TZ_LOCAL_FORMER, UCAL_TZ_LOCAL_FORMER, raw,
                                       dst, status);
            return wall - (raw + dst) / 1000;
        }
        // Clock changes are taken to lie more than a day apart.
        const long long before = offsetAt(wall - kDay);
        if (offsetAt(wall - before) == before)
            return wall - before;
        const long long after = offsetAt(wall + kDay);
        if (offsetAt(wall - after) == after)
            return wall - after;
        return wall - before;
    }
};

// A time as written, with the zone it was resolved to.
struct ZonedTime {
    icaltimetype wall;
    Zone zone;
    long long basis = 0;
};

// A wall time as the seconds since 1970 at which UTC shows it.
long long wallSeconds(const icaltimetype& wall) {
    icaltimetype plain = wall;
    plain.zone = nullptr;
    return icaltime_as_timet(plain);
}

icaltimetype floatingWall(long long seconds, bool isDate) {
    icaltimetype wall = icaltime_from_timet_with_zone(time_t(seconds), int(isDate), nullptr);
    wall.zone = nullptr;
    return wall;
}

long long basisOf(const icaltimetype& wall, const Zone& zone) {
    return zone ? zone.instantOf(wallSeconds(wall)) : wallSeconds(wall);
}

// libical takes any digits for a date-time ("20261301T250000") and rolls them over into another date.
bool isRealTime(const icaltimetype& t) {
    if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > icaltime_days_in_month(t.month, t.year))
        return false;
    // A second of 60 is a leap second.
    return t.is_date ||
           (t.hour >= 0 && t.hour < 24 && t.minute >= 0 && t.minute < 60 && t.second >= 0 && t.second <= 60);
}

// The system's rules for a zone it knows, kept like libical's built-in zones: one per zone for the life of
// the process.
const icu::BasicTimeZone* systemRules(const QString& id) {
    static std::mutex mutex;
    static std::unordered_map<QString, std::unique_ptr<icu::TimeZone>> zones;
    std::lock_guard lock(mutex);
    auto [found, added] = zones.try_emplace(id);
    if (added && QTimeZone(id.toUtf8()).isValid())
        found->second = systemTimeZone(id);
    return dynamic_cast<const icu::BasicTimeZone*>(found->second.get());
}

// libical fills its table of built-in zones lazily and adds to it without a lock: files parsed side by side
// must not reach it at the same time. Every lookup goes through here, once per name for the life of the
// process, which also spares each zoned time libical's linear search of the table.
std::optional<Zone> systemZone(const QByteArray& id) {
    static std::mutex mutex;
    static std::unordered_map<QByteArray, std::optional<Zone>> zones;
    std::lock_guard lock(mutex);
    auto [found, added] = zones.try_emplace(id);
    if (!added)
        return found->second;
    icaltimezone* zone = icaltimezone_get_builtin_timezone(id.constData());
    if (!zone)
        zone = icaltimezone_get_builtin_timezone_from_tzid(id.constData());
    if (!zone)
        return std::nullopt;
    const char* location = icaltimezone_get_location(zone);
    const icu::BasicTimeZone* rules = systemRules(QString::fromUtf8(location ? location : id.constData()));
    // A zone that libical reads itself loads its rules lazily too: here, under the lock.
    if (!rules)
        icaltimezone_get_component(zone);
    found->second = Zone{zone, rules};
    return found->second;
}

// The system's zone of that name first: a file's own VTIMEZONE is often an outdated copy of it. Only names
// the system does not know are taken from the file, then as Windows names.
Zone resolveZone(icalcomponent* root, const char* tzid) {
    if (const std::optional<Zone> zone = systemZone(QByteArray(tzid)))
        return *zone;
    if (icalcomponent_isa(root) == ICAL_VCALENDAR_COMPONENT)
        if (icaltimezone* zone = icalcomponent_get_timezone(root, tzid))
            return Zone{zone, nullptr};
    UErrorCode status = U_ZERO_ERROR;
    icu::UnicodeString olson;
    icu::TimeZone::getIDForWindowsID(icu::UnicodeString::fromUTF8(tzid), nullptr, olson, status);
    if (U_FAILURE(status) || olson.isEmpty())
        return {};
    std::string id;
    olson.toUTF8String(id);
    return systemZone(QByteArray::fromStdString(id)).value_or(Zone{});
}

class Reader {
public:
    Reader(icalcomponent* root, QStringList& problems) : root_(root), problems_(problems) {}

    // Unknown zones fall back to floating time, which the store reads in the user's zone.
    std::optional<ZonedTime> time(icalproperty* property, icaltimetype value) const {
        if (icaltime_is_null_time(value))
            return std::nullopt;
        if (!icaltime_is_valid_time(value) || !isRealTime(value)) {
            note(QStringLiteral("invalid_date_time"));
            return std::nullopt;
        }
        Zone zone;
        if (!value.is_date) {
            if (icaltime_is_utc(value)) {
                zone.ical = icaltimezone_get_utc_timezone();
            } else if (icalparameter* tzid =
                           icalproperty_get_first_parameter(property, ICAL_TZID_PARAMETER)) {
                const char* id = icalparameter_get_tzid(tzid);
                zone = id ? resolveZone(root_, id) : Zone{};
                if (!zone)
                    note(QStringLiteral("unknown_tzid:") + QString::fromUtf8(id ? id : ""));
            }
        }
        value.zone = zone.ical;
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

// A floating end of a zoned start, or the other way round, is taken on the same clock as the start.
long long secondsBetween(const ZonedTime& start, const ZonedTime& end) {
    if (bool(end.zone) == bool(start.zone))
        return end.basis - start.basis;
    return wallSeconds(end.wall) - wallSeconds(start.wall);
}

// A DURATION as the seconds the wall clock advances and the exact seconds after that: days and weeks are
// nominal, hours, minutes and seconds exact. Nothing for a negative one.
std::pair<long long, long long> wallAndExact(const icaldurationtype& length) {
    if (length.is_neg)
        return {0, 0};
    return {(7LL * length.weeks + length.days) * kDay,
            3600LL * length.hours + 60LL * length.minutes + length.seconds};
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
            days = floorDiv(wallSeconds(end->wall) - start.basis, kDay);
        else if (duration)
            days = (icaldurationtype_as_int(icalproperty_get_duration(duration)) + kDay - 1) / kDay;
        timing.length = std::max(1LL, days);
        return timing;
    }
    if (end && timing.floating) {
        // A floating end is a wall time like the start: both are read on the user's clock.
        timing.wallLength = std::max(0LL, wallSeconds(end->wall) - wallSeconds(start.wall));
    } else if (end) {
        timing.length = std::max(0LL, secondsBetween(start, *end));
    } else if (duration) {
        std::tie(timing.wallLength, timing.length) = wallAndExact(icalproperty_get_duration(duration));
    }
    return timing;
}

// The timing of an occurrence whose start has the wall time `wall` in `zone`, with its wall-clock length
// resolved there; floating times keep theirs for the user's zone.
IcsTiming resolvedIn(IcsTiming timing, long long wall, const Zone& zone) {
    if (!zone || timing.isAllDay || timing.wallLength == 0)
        return timing;
    timing.length += zone.instantOf(wall + timing.wallLength) - timing.start;
    timing.wallLength = 0;
    return timing;
}

// Occurrences that each last for ages (a mistyped DTEND) would all overlap every later day, and the lookup
// of a day would go back through every one of them. Lengths are days for all-day events, else seconds.
long long cappedLength(long long length, bool isAllDay, const Reader& reader) {
    const long long longest = isAllDay ? kLongestOccurrenceDays : kLongestOccurrenceDays * kDay;
    if (length <= longest)
        return length;
    reader.note(QStringLiteral("overlong_occurrences"));
    return longest;
}

std::pair<Instant, Instant> instantsOf(const IcsTiming& timing, long long start, const Calendar& calendar) {
    if (!timing.floating) {
        const Instant at = Instant::fromSecondsSince1970(double(start));
        return {at, at.addingSeconds(double(timing.length))};
    }
    auto wallTime = [&](long long wall) {
        return calendar.fromWallTime(Instant::fromSecondsSince1970(double(wall)));
    };
    if (timing.isAllDay) {
        // Noon lies on its day whatever clock change the day holds, and the day may not start at midnight.
        auto dayStart = [&](long long midnight) {
            return calendar.startOfDay(wallTime(midnight + kDay / 2));
        };
        return {dayStart(start), dayStart(start + timing.length * kDay)};
    }
    const Instant at = wallTime(start);
    const Instant wallEnd = timing.wallLength == 0 ? at : wallTime(start + timing.wallLength);
    return {at, wallEnd.addingSeconds(double(timing.length))};
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

// How deeply the file's components nest, counting BEGIN and END lines as libical sees them once unfolded.
// libical builds and frees a tree recursively: hundreds of thousands of levels overflow the stack.
int nestingDepth(const QByteArray& content) {
    const char* data = content.constData();
    const qsizetype size = content.size();
    int depth = 0;
    int deepest = 0;
    // The start of the current logical line, unfolded, as far as it tells BEGIN: or END: apart.
    char head[7] = {};
    int headLength = 0;
    auto endLine = [&] {
        if (headLength >= 6 && qstrnicmp(head, "BEGIN:", 6) == 0)
            deepest = std::max(deepest, ++depth);
        else if (headLength >= 4 && qstrnicmp(head, "END:", 4) == 0)
            depth = std::max(0, depth - 1);
        headLength = 0;
    };
    bool lineStart = true;
    for (qsizetype i = 0; i < size && data[i]; ++i) {
        const char c = data[i];
        if (lineStart && c != ' ' && c != '\t')
            endLine();
        // A folded line goes on after its line break and one space or tab.
        if (lineStart && (c == ' ' || c == '\t')) {
            lineStart = false;
            continue;
        }
        lineStart = c == '\n';
        if (c != '\r' && c != '\n' && headLength < 6)
            head[headLength++] = c;
    }
    endLine();
    return deepest;
}

// Whether libical expands the rule in bounded time. It walks HOURLY, MINUTELY and SECONDLY rules one step
// at a time, testing every step against the rule's date parts, and stops only at a match or in the year
// 2582: a date part that matches rarely or never (BYMONTHDAY=30 with BYMONTH=2) keeps it walking for
// minutes or hours, and a SECONDLY rule walks millions of steps through every stretch of weeks. Those
// rules are walked by SubDailyRule instead.
// BYSETPOS means nothing to libical in those rules: they are walked by SubDailyRule too. YEARLY rules
// with BYWEEKNO are walked by WeekNumberRule, which counts weeks of any WKST and takes every week number.
bool isExpandable(const icalrecurrencetype& rule) {
    if (rule.freq == ICAL_YEARLY_RECURRENCE)
        return rule.by_week_no[0] == ICAL_RECURRENCE_ARRAY_MAX || (rule.rscale && *rule.rscale);
    if (rule.freq == ICAL_SECONDLY_RECURRENCE)
        return false;
    if (rule.freq != ICAL_MINUTELY_RECURRENCE && rule.freq != ICAL_HOURLY_RECURRENCE)
        return true;
    return rule.by_month[0] == ICAL_RECURRENCE_ARRAY_MAX &&
           rule.by_month_day[0] == ICAL_RECURRENCE_ARRAY_MAX &&
           rule.by_year_day[0] == ICAL_RECURRENCE_ARRAY_MAX &&
           rule.by_week_no[0] == ICAL_RECURRENCE_ARRAY_MAX && rule.by_set_pos[0] == ICAL_RECURRENCE_ARRAY_MAX;
}

} // namespace

std::pair<long long, long long> IcsTiming::reach(long long occurrenceStart) const {
    const long long margin = floating ? kFloatingMargin : 0;
    // All-day lengths are days of local time: a day may have 25 hours.
    const long long seconds = isAllDay ? length * kDay + 3600 : length + wallLength;
    return {occurrenceStart - margin, occurrenceStart + seconds + margin + 1};
}

std::pair<Instant, Instant> IcsTiming::instants(long long occurrenceStart, const Calendar& calendar) const {
    return instantsOf(*this, occurrenceStart, calendar);
}

IcsTiming IcsEventRecord::timingAt(long long start) const {
    IcsTiming at = timing;
    at.start = start;
    const auto period = std::lower_bound(periods.begin(), periods.end(), start,
                                         [](const Period& p, long long at) { return p.start < at; });
    if (period != periods.end() && period->start == start) {
        at.length = period->length;
        at.wallLength = period->wallLength;
    }
    return at;
}

long long IcsEventRecord::reach() const {
    IcsTiming widest = timing;
    bool nominal = timing.wallLength > 0 || !shiftedLengths.empty();
    for (const Period& period : periods) {
        widest.length = std::max(widest.length, period.length + period.wallLength);
        nominal |= period.wallLength > 0;
    }
    for (const IcsTiming& shifted : shiftedLengths)
        widest.length = std::max(widest.length, shifted.length + shifted.wallLength);
    // Days in a zone last up to two hours more than their nominal length.
    if (!timing.floating && nominal)
        widest.length += 2LL * 3600;
    return widest.reach(0).second;
}

// The occurrences of a VEVENT with RRULE or RDATE, less EXDATEs and the instances that detached
// occurrences replace.
class RecurringSeries {
public:
    RecurringSeries(Root root, std::optional<icalrecurrencetype> rule, ZonedTime start)
        : root_(std::move(root)), rule_(rule), start_(start) {
        if (!rule_)
            return;
        // The rule runs over wall times (see expand()), but a UNTIL given in UTC bounds instants: a wall
        // time skipped by a clock change may lie after it while a later one lies before. The walk goes a day
        // beyond it, and each instance is held against it.
        if (wallTimesDrift() && !icaltime_is_null_time(rule_->until) && !rule_->until.is_date &&
            icaltime_is_utc(rule_->until)) {
            const long long until = wallSeconds(rule_->until);
            untilInstant_ = until;
            rule_->until = floatingWall(until + start_.zone.offsetAt(until) + kDay, false);
        }
        // A counted rule with a fixed step is expanded like a rule that ends: stretch by stretch.
        if (const std::optional<icaltimetype> last = lastOfFixedStep(*rule_, start_.wall)) {
            lastWall_ = wallSeconds(*last);
            rule_->count = 0;
        }
    }

    void addDate(const ZonedTime& date) {
        extraDates_.push_back(date);
        earliestStart_ = std::min(earliestStart_, date.basis);
    }
    void exclude(const ZonedTime& date) {
        if (date.wall.is_date && !start_.wall.is_date)
            excludedDays_.insert(floorDiv(wallSeconds(date.wall), kDay));
        else
            excludedStarts_.insert(date.basis);
    }
    void replaceInstance(long long basis) { replacedStarts_.insert(basis); }
    // Keeps only the instances that start in [from, to).
    void keepOnly(long long from, long long to) { window_ = {from, to}; }
    // The parsed tree is many times the size of its text: a series keeps it only where a zone of its start
    // or its RDATEs, or its rule, points into it (a zone that only the file defines, an RSCALE).
    void releaseTreeUnlessNeeded() {
        auto fromFile = [](const Zone& zone) { return zone && !zone.system && !zone.isUtc(); };
        const bool needed = fromFile(start_.zone) || (rule_ && rule_->rscale) ||
                            std::any_of(extraDates_.begin(), extraDates_.end(),
                                        [&](const ZonedTime& date) { return fromFile(date.zone); });
        if (!needed)
            root_.reset();
    }
    // The lengths of the occurrences, as the master's record gives them.
    void setLengths(const IcsEventRecord& record) { lengths_ = record; }
    // A detached occurrence that stands for this and every later instance: those move as far on the wall
    // clock as it moved from its RECURRENCE-ID, and take its length.
    void shiftFrom(const ZonedTime& recurrenceId, const ZonedTime& start, const IcsTiming& timing) {
        const long long shift = wallOf(start.basis) - wallOf(recurrenceId.basis);
        shifts_.push_back({recurrenceId.basis, shift, timing});
        std::sort(shifts_.begin(), shifts_.end(),
                  [](const Shift& a, const Shift& b) { return a.from < b.from; });
        // A day more: the instants of wall times a shift apart lie a clock change further or nearer.
        shiftReach_ = std::max(shiftReach_, std::abs(shift) + kDay);
        earliestStart_ = std::min(earliestStart_, start_.basis - shiftReach_);
    }

    // Appends the occurrences within the stretch, ascending; false when the limits cut the series off there.
    bool appendOccurrences(long long stretch, std::vector<IcsTiming>& out) const {
        auto found = stretches_.find(stretch);
        if (found == stretches_.end())
            found = stretches_.emplace(stretch, expand(stretch * kStretch, (stretch + 1) * kStretch)).first;
        out.insert(out.end(), found->second.occurrences.begin(), found->second.occurrences.end());
        return !found->second.cutOff;
    }

private:
    struct Stretch {
        std::vector<IcsTiming> occurrences;
        bool cutOff = false;
    };
    struct Shift {
        long long from;
        long long wall;
        IcsTiming timing;
    };
    using Iterator = std::unique_ptr<icalrecur_iterator, decltype(&icalrecur_iterator_free)>;

    bool isExcluded(long long basis, long long wall) const {
        return excludedStarts_.count(basis) || replacedStarts_.count(basis) ||
               (!excludedDays_.empty() && excludedDays_.count(floorDiv(wall, kDay)));
    }

    // Whether wall time and instant differ in ways that change: zoned times other than UTC.
    bool wallTimesDrift() const { return start_.zone && !start_.zone.isUtc(); }

    // The wall time of an instant in the start's zone, as iterated.
    long long wallOf(long long basis) const {
        constexpr long long kFar = 1LL << 50;
        if (!wallTimesDrift() || basis <= -kFar || basis >= kFar)
            return basis;
        return basis + start_.zone.offsetAt(basis);
    }

    icaltimetype iterationTime(long long wall) const {
        icaltimetype time = floatingWall(wall, start_.wall.is_date);
        time.zone = wallTimesDrift() ? nullptr : start_.zone.ical;
        return time;
    }

    // The length of one step of an HOURLY, MINUTELY or SECONDLY rule; 0 for the others.
    long long subDailyStep() const {
        const long long interval = std::max<long long>(1, rule_->interval);
        switch (rule_->freq) {
        case ICAL_HOURLY_RECURRENCE:
            return 3600 * interval;
        case ICAL_MINUTELY_RECURRENCE:
            return 60 * interval;
        case ICAL_SECONDLY_RECURRENCE:
            return interval;
        default:
            return 0;
        }
    }

    // An iterator that yields every instance from the wall time `wallFrom` on (and maybe a few before).
    // Restarting libical's iterator loses the phase of sub-daily rules with an interval: those start afresh
    // on an instance of the series' own sequence instead.
    Iterator iteratorFrom(long long wallFrom) const {
        const long long firstWall = wallSeconds(start_.wall);
        const icaltimetype first = iterationTime(firstWall);
        if (walksFromStart() || wallFrom <= firstWall)
            return Iterator(icalrecur_iterator_new(*rule_, first), icalrecur_iterator_free);
        if (const long long step = subDailyStep())
            return Iterator(
                icalrecur_iterator_new(
                    *rule_, iterationTime(firstWall + floorDiv(wallFrom - firstWall, step) * step)),
                icalrecur_iterator_free);
        Iterator it(icalrecur_iterator_new(*rule_, first), icalrecur_iterator_free);
        if (it)
            icalrecur_iterator_set_start(it.get(), iterationTime(wallFrom));
        return it;
    }

    // libical's iterator, or the walk of a rule that libical walks wrongly or would be kept busy by.
    struct Walk {
        Iterator ical{nullptr, icalrecur_iterator_free};
        std::optional<SubDailyRule> own;
        std::optional<WeekNumberRule> weeks;
        explicit operator bool() const { return ical || own || weeks; }
    };

    Walk walkFrom(long long wallFrom) const {
        if (isExpandable(*rule_))
            return Walk{iteratorFrom(wallFrom), std::nullopt, std::nullopt};
        Walk walk;
        if (rule_->freq == ICAL_YEARLY_RECURRENCE) {
            // Walked from its start, like every rule with week numbers.
            walk.weeks.emplace(*rule_, wallSeconds(start_.wall));
            return walk;
        }
        walk.own.emplace(*rule_, wallSeconds(start_.wall));
        if (!walksFromStart())
            walk.own->restartAt(wallFrom);
        return walk;
    }

    struct Instance {
        long long basis;
        // The wall time in the start's zone, as iterated.
        long long wall;
    };

    // The next instance of `walk` in the start's zone; nothing at the rule's end (`ended`), or when the walk
    // of a sub-daily rule finds none before the wall time `horizon`.
    std::optional<Instance> step(Walk& walk, long long horizon, bool& ended) const {
        for (;;) {
            long long wall = 0;
            if (walk.own || walk.weeks) {
                const std::optional<long long> next =
                    walk.own ? walk.own->next(horizon) : walk.weeks->next(horizon);
                ended = walk.own ? walk.own->ended() : walk.weeks->ended();
                if (!next)
                    return std::nullopt;
                wall = *next;
            } else {
                icaltimetype next = icalrecur_iterator_next(walk.ical.get());
                ended = icaltime_is_null_time(next);
                if (ended)
                    return std::nullopt;
                next.is_date = start_.wall.is_date;
                wall = wallSeconds(next);
            }
            const long long basis = start_.zone ? start_.zone.instantOf(wall) : wall;
            if (!untilInstant_ || basis <= *untilInstant_)
                return Instance{basis, wall};
        }
    }

    // The occurrence of the instance that starts at `basis`, at the wall time `wall` in `zone`.
    IcsTiming occurrenceAt(long long basis, long long wall, const Zone& zone) const {
        IcsTiming timing = lengths_.timingAt(basis);
        const auto shift = std::upper_bound(shifts_.begin(), shifts_.end(), basis,
                                            [](long long at, const Shift& s) { return at < s.from; });
        if (shift != shifts_.begin()) {
            const Shift& applied = *std::prev(shift);
            wall += applied.wall;
            timing.start = zone ? zone.instantOf(wall) : wall;
            timing.length = applied.timing.length;
            timing.wallLength = applied.timing.wallLength;
        }
        return resolvedIn(timing, wall, zone);
    }

    Stretch expand(long long from, long long to) const {
        Stretch stretch;
        auto consider = [&](long long basis, long long wall, const Zone& zone) {
            if (isExcluded(basis, wall) || basis < window_.first || basis >= window_.second)
                return;
            const IcsTiming occurrence = occurrenceAt(basis, wall, zone);
            if (occurrence.start >= from && occurrence.start < to)
                stretch.occurrences.push_back(occurrence);
        };
        // The rule runs over wall times that become instants one by one: iterated in its zone, libical puts
        // every instance after a skipped hour an hour late. Around a clock change wall-time order and
        // instant order part by up to the skipped time (a whole day at most), so the wall times looked at
        // reach that much beyond the stretch.
        const long long margin = (wallTimesDrift() ? kDay : 0) + shiftReach_;
        const long long wallFrom = wallOf(from) - margin;
        const long long wallTo = wallOf(to) + margin;
        const bool ruleEnded = ruleEndsBefore_ && from >= *ruleEndsBefore_;
        if (to <= earliestStart_ || (rule_ && ruleEnded)) {
            // Nothing starts before DTSTART and the RDATEs, nor after the rule's end but for RDATEs.
        } else if (!rule_) {
            // Without a usable rule the series is DTSTART plus its RDATEs.
            consider(start_.basis, wallSeconds(start_.wall), start_.zone);
        } else if (walksFromStart()) {
            stretch.cutOff = !walkRuleTo(from - shiftReach_, wallTo);
            auto it = std::lower_bound(walked_.begin(), walked_.end(), from - shiftReach_,
                                       [](const Instance& i, long long at) { return i.basis < at; });
            for (; it != walked_.end() && it->basis < to + shiftReach_; ++it)
                consider(it->basis, it->wall, start_.zone);
        } else if (!lastWall_ || wallFrom <= *lastWall_) {
            Walk it = walkFrom(wallFrom);
            long long last = from - 1 + shiftReach_;
            for (int steps = 0; it; ++steps) {
                bool ended = false;
                const auto next = step(it, wallTo, ended);
                if (!next && !ended)
                    break;
                if (!next) {
                    // Finding that out may have taken libical long (a date that never comes): not again.
                    ruleEndsBefore_ = std::min(ruleEndsBefore_.value_or(last + 1), last + 1);
                    break;
                }
                if (next->wall >= wallTo || (lastWall_ && next->wall > *lastWall_))
                    break;
                // Wall times skipped by a clock change give the instants just before it once more, dropped
                // only below: until then a stretch of a rule of one a minute may hold more than the bound.
                if (steps == kMostStepsPerStretch ||
                    stretch.occurrences.size() > 2 * size_t(IcsEventFile::kMostOccurrencesPerStretch)) {
                    stretch.cutOff = true;
                    break;
                }
                last = std::max(last, next->basis + shiftReach_);
                consider(next->basis, next->wall, start_.zone);
            }
        }
        for (const ZonedTime& date : extraDates_)
            consider(date.basis, wallSeconds(date.wall), date.zone);
        auto earlier = [](const IcsTiming& a, const IcsTiming& b) { return a.start < b.start; };
        auto same = [](const IcsTiming& a, const IcsTiming& b) { return a.start == b.start; };
        std::vector<IcsTiming>& found = stretch.occurrences;
        std::stable_sort(found.begin(), found.end(), earlier);
        found.erase(std::unique(found.begin(), found.end(), same), found.end());
        if (found.size() > size_t(IcsEventFile::kMostOccurrencesPerStretch)) {
            found.resize(IcsEventFile::kMostOccurrencesPerStretch);
            stretch.cutOff = true;
        }
        return stretch;
    }

    // Counted rules must be walked from their first instance, and so must week-number rules: restarted
    // elsewhere, libical gives instances on other weekdays around the turns of the years. Other rules give
    // from any restart what the walk from DTSTART gives. The walk goes only as far as a query needed and
    // goes on from there, up to the wall time `wallTo`. False when the walk was cut off.
    bool walksFromStart() const {
        return rule_->count > 0 || rule_->by_week_no[0] != ICAL_RECURRENCE_ARRAY_MAX;
    }
    // Only the instances from `keepFrom` (an instant) on are kept: a series of a million instances would
    // otherwise hold them all. Asked for earlier ones that it passed over, the walk starts again.
    bool walkRuleTo(long long keepFrom, long long wallTo) const {
        if (keepFrom < keptFrom_ && passedOver_) {
            walker_.reset();
            walked_.clear();
            walkedUpTo_ = std::numeric_limits<long long>::min();
            walkedSteps_ = 0;
            walkEnded_ = walkCutOff_ = passedOver_ = false;
        }
        keptFrom_ = std::min(keptFrom_, keepFrom);
        if (!walker_ && !walkEnded_)
            walker_.emplace(walkFrom(std::numeric_limits<long long>::min()));
        while (walker_ && *walker_ && walkedUpTo_ < wallTo) {
            bool ended = false;
            const auto next = step(*walker_, wallTo, ended);
            if (!next && !ended) {
                // Nothing more before `wallTo`: the walk goes on from there when asked.
                walkedUpTo_ = wallTo;
                break;
            }
            if (!next || walkedSteps_ == IcsEventFile::kLongestCountedWalk) {
                walkCutOff_ = next.has_value();
                walker_.reset();
                walkEnded_ = true;
                break;
            }
            ++walkedSteps_;
            walkedUpTo_ = next->wall;
            passedOver_ |= next->basis < keptFrom_;
            if (next->basis >= keptFrom_)
                walked_.insert(std::upper_bound(walked_.begin(), walked_.end(), next->basis,
                                                [](long long at, const Instance& i) { return at < i.basis; }),
                               *next);
        }
        return !walkCutOff_ || wallTo <= walkedUpTo_;
    }

    // Keeps the file's VTIMEZONEs, which the start's zone may point into, and the rule's texts alive.
    Root root_;
    std::optional<icalrecurrencetype> rule_;
    // The last instant that a UNTIL in UTC lets the rule reach.
    std::optional<long long> untilInstant_;
    // The instances this series stands for, by their own starts: the whole series, or the part of it that
    // a detached occurrence with RANGE=THISANDFUTURE describes.
    std::pair<long long, long long> window_{std::numeric_limits<long long>::min(),
                                            std::numeric_limits<long long>::max()};
    ZonedTime start_;
    // The last start, as a wall time, of a counted rule that is expanded like a rule with an end.
    std::optional<long long> lastWall_;
    std::vector<ZonedTime> extraDates_;
    // Nothing starts before DTSTART and the RDATEs: an event that lasts for ages (a mistyped DTEND) must not
    // send a lookup through every stretch since the beginning of time.
    long long earliestStart_ = start_.basis;
    std::unordered_set<long long> excludedStarts_;
    // Days since 1970 of the wall times that EXDATE dates exclude.
    std::unordered_set<long long> excludedDays_;
    std::unordered_set<long long> replacedStarts_;
    IcsEventRecord lengths_;
    std::vector<Shift> shifts_;
    // How far the detached occurrences move the instances after them, at most.
    long long shiftReach_ = 0;
    mutable std::unordered_map<long long, Stretch> stretches_;
    // Where the rule has no more instances, once libical has said so.
    mutable std::optional<long long> ruleEndsBefore_;
    // The walk of a rule walked from its start so far: its starts, and the wall time it has reached.
    mutable std::optional<Walk> walker_;
    mutable std::vector<Instance> walked_;
    mutable long long walkedUpTo_ = std::numeric_limits<long long>::min();
    mutable int walkedSteps_ = 0;
    mutable bool walkEnded_ = false;
    mutable bool walkCutOff_ = false;
    // Where the instances kept begin, and whether the walk left out any before.
    mutable long long keptFrom_ = std::numeric_limits<long long>::max();
    mutable bool passedOver_ = false;
};

IcsEventFile::IcsEventFile() = default;
IcsEventFile::IcsEventFile(IcsEventFile&&) noexcept = default;
IcsEventFile& IcsEventFile::operator=(IcsEventFile&&) noexcept = default;
IcsEventFile::~IcsEventFile() = default;

void IcsEventFile::prepareLibical() {
    static std::once_flag once;
    std::call_once(once, [] {
        icalerror_set_errors_are_fatal(0);
        // Fills the zone table, which icaltimezone_get_utc_timezone() would otherwise fill on any thread.
        icaltimezone_get_builtin_timezones();
        icaltimezone_get_utc_timezone();
    });
}

IcsEventFile IcsEventFile::parse(const QByteArray& content, QStringList& problems) {
    prepareLibical();
    IcsEventFile file;
    auto records = std::make_shared<std::vector<IcsEventRecord>>();
    file.records_ = records;
    if (nestingDepth(content) > kDeepestNesting) {
        problems.append(QStringLiteral("too_deeply_nested"));
        return file;
    }
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
    struct Shifted {
        ZonedTime recurrenceId;
        ZonedTime start;
        IcsTiming timing;
        IcsEventDetails details;
    };
    std::unordered_map<std::string, std::vector<Shifted>> shiftedByUid;
    for (icalcomponent* event : events) {
        const std::optional<ZonedTime> start = reader.time(event, ICAL_DTSTART_PROPERTY);
        if (!start) {
            // A DTSTART that is there but unusable has been reported as such.
            if (!icalcomponent_get_first_property(event, ICAL_DTSTART_PROPERTY))
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
            const std::unique_ptr<char, decltype(&icalmemory_free_buffer)> idText(
                icaltime_as_ical_string_r(recurrenceId->wall), icalmemory_free_buffer);
            details.recurrenceId = QString::fromUtf8(idText.get());
            const std::string uid = details.uid.value_or(QString()).toStdString();
            replacedByUid[uid].push_back(recurrenceId->basis);
            icalproperty* id = icalcomponent_get_first_property(event, ICAL_RECURRENCEID_PROPERTY);
            const icalparameter* range = icalproperty_get_first_parameter(id, ICAL_RANGE_PARAMETER);
            if (range && icalparameter_get_range(range) == ICAL_RANGE_THISANDFUTURE &&
                start->wall.is_date == recurrenceId->wall.is_date)
                shiftedByUid[uid].push_back(
                    {*recurrenceId, *start, timingOf(event, *start, reader), details});
        }
        if (recurs && !recurrenceId)
            masters.push_back({event, *start, std::move(details)});
        else
            records->push_back(
                {resolvedIn(timingOf(event, *start, reader), wallSeconds(start->wall), start->zone),
                 std::move(details),
                 {},
                 {}});
    }

    for (Master& master : masters) {
        std::optional<icalrecurrencetype> rule;
        if (icalproperty* rrule = icalcomponent_get_first_property(master.event, ICAL_RRULE_PROPERTY)) {
            rule = icalproperty_get_rrule(rrule);
            if (!icaltime_is_null_time(rule->until) && !isRealTime(rule->until)) {
                reader.note(QStringLiteral("invalid_date_time"));
                rule.reset();
            }
        }
        // A rule libical cannot walk leaves the event its DTSTART.
        if (rule && isExpandable(*rule) &&
            !std::unique_ptr<icalrecur_iterator, decltype(&icalrecur_iterator_free)>(
                icalrecur_iterator_new(*rule, master.start.wall), icalrecur_iterator_free)) {
            reader.note(QStringLiteral("unsupported_rrule"));
            rule.reset();
        }
        IcsTiming timing = timingOf(master.event, master.start, reader);
        timing.length = cappedLength(timing.length, timing.isAllDay, reader);
        IcsEventRecord record{timing, std::move(master.details), {}, {}};
        std::vector<ZonedTime> dates;
        for (icalproperty* p = icalcomponent_get_first_property(master.event, ICAL_RDATE_PROPERTY); p;
             p = icalcomponent_get_next_property(master.event, ICAL_RDATE_PROPERTY)) {
            const icaldatetimeperiodtype value = icalproperty_get_rdate(p);
            if (!icaltime_is_null_time(value.time)) {
                if (const std::optional<ZonedTime> date = reader.time(p, value.time))
                    dates.push_back(*date);
                continue;
            }
            // A period lasts until its own end, or for its own duration.
            const std::optional<ZonedTime> start = reader.time(p, value.period.start);
            if (!start)
                continue;
            IcsEventRecord::Period period{start->basis, 0, 0};
            if (!icaltime_is_null_time(value.period.end)) {
                const std::optional<ZonedTime> end = reader.time(p, value.period.end);
                if (!end)
                    continue;
                // A floating period ends at a wall time, like a floating DTEND.
                (start->zone ? period.length : period.wallLength) =
                    std::max(0LL, secondsBetween(*start, *end));
            } else {
                std::tie(period.wallLength, period.length) = wallAndExact(value.period.duration);
            }
            dates.push_back(*start);
            // All-day series last whole days whatever a period says.
            if (timing.isAllDay)
                continue;
            const long long capped = cappedLength(period.length + period.wallLength, false, reader);
            if (capped < period.length + period.wallLength)
                period = {period.start, capped, 0};
            record.periods.push_back(period);
        }
        std::sort(record.periods.begin(), record.periods.end(),
                  [](const auto& a, const auto& b) { return a.start < b.start; });
        std::vector<ZonedTime> excluded;
        for (icalproperty* p = icalcomponent_get_first_property(master.event, ICAL_EXDATE_PROPERTY); p;
             p = icalcomponent_get_next_property(master.event, ICAL_EXDATE_PROPERTY))
            if (const std::optional<ZonedTime> date = reader.time(p, icalproperty_get_exdate(p)))
                excluded.push_back(*date);
        const std::string uid = record.details.uid.value_or(QString()).toStdString();
        const auto replaced = replacedByUid.find(uid);
        std::vector<Shifted> ranges;
        if (const auto shifted = shiftedByUid.find(uid); shifted != shiftedByUid.end())
            for (Shifted& from : shifted->second)
                if (from.start.wall.is_date == timing.isAllDay)
                    ranges.push_back(from);
        std::sort(ranges.begin(), ranges.end(), [](const Shifted& a, const Shifted& b) {
            return a.recurrenceId.basis < b.recurrenceId.basis;
        });
        ranges.resize(std::min(ranges.size(), kMostRanges));
        for (Shifted& range : ranges) {
            range.timing.length = cappedLength(range.timing.length, timing.isAllDay, reader);
            record.shiftedLengths.push_back(range.timing);
        }
        // The series up to its first detached range, then one series for each range: the later instances
        // take the properties of the occurrence that describes their range, title and all.
        std::vector<IcsEventRecord> parts{record};
        for (const Shifted& range : ranges) {
            IcsEventRecord& part = parts.emplace_back(record);
            part.details.title = range.details.title;
        }
        for (size_t i = 0; i < parts.size(); ++i) {
            auto series = std::make_unique<RecurringSeries>(root, rule, master.start);
            for (const ZonedTime& date : dates)
                series->addDate(date);
            for (const ZonedTime& date : excluded)
                series->exclude(date);
            if (replaced != replacedByUid.end())
                for (long long basis : replaced->second)
                    series->replaceInstance(basis);
            for (const Shifted& range : ranges)
                series->shiftFrom(range.recurrenceId, range.start, range.timing);
            if (!ranges.empty())
                series->keepOnly(i == 0 ? std::numeric_limits<long long>::min()
                                        : ranges[i - 1].recurrenceId.basis,
                                 i == ranges.size() ? std::numeric_limits<long long>::max()
                                                    : ranges[i].recurrenceId.basis);
            series->setLengths(parts[i]);
            series->releaseTreeUnlessNeeded();
            file.series_.push_back(std::move(series));
        }
        records->insert(records->end(), std::make_move_iterator(parts.begin()),
                        std::make_move_iterator(parts.end()));
    }
    return file;
}

void IcsEventFile::appendOccurrences(size_t series, long long stretch, std::vector<IcsTiming>& out,
                                     QStringList& problems) const {
    if (!series_.at(series)->appendOccurrences(stretch, out) &&
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
