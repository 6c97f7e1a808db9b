#include "utilities/CurrentCalendar.h"

#include "utilities/IcuText.h"
#include "utilities/PosixZoneRule.h"

#include <QHash>
#include <QTimeZone>
#include <unicode/basictz.h>
#include <unicode/calendar.h>
#include <unicode/dtfmtsym.h>
#include <unicode/gregocal.h>
#include <unicode/rbtz.h>
#include <unicode/simpletz.h>
#include <unicode/tzrule.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <map>
#include <mutex>

namespace {

QString pinnedLocale;
QString pinnedZone;

QString localeFromEnvironment() {
    for (const char* name : {"LC_ALL", "LC_TIME", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value) {
            QString locale = QString::fromLocal8Bit(value);
            locale = locale.section(u'.', 0, 0).section(u'@', 0, 0);
            if (locale == u"C" || locale == u"POSIX")
                return QStringLiteral("en_US_POSIX");
            return locale;
        }
    }
    return QStringLiteral("en_US_POSIX");
}

// Transitions are listed between these years; before them the first offsets hold, after them the zone's
// recurring rule.
constexpr int kFirstRuleYear = 1900;
constexpr int kLastRuleYear = 2100;

// ICU rules for the recurring rule of a zoneinfo file, from `startYear` on. Daylight offsets that lie below
// the standard one (Dublin's winter) are turned round: ICU expects no negative daylight saving.
std::array<std::unique_ptr<icu::AnnualTimeZoneRule>, 2> annualRules(const PosixZoneRule& zone,
                                                                    int startYear) {
    auto dateRule = [](const PosixZoneRule::Change& change) {
        const int32_t millis = change.secondsOfDay * 1000;
        if (!change.weekday)
            return icu::DateTimeRule(change.month - 1, change.day, millis, icu::DateTimeRule::WALL_TIME);
        const int week = change.day == 5 ? -1 : change.day;
        return icu::DateTimeRule(change.month - 1, week, *change.weekday + 1, millis,
                                 icu::DateTimeRule::WALL_TIME);
    };
    const PosixZoneRule::Daylight& daylight = *zone.daylight;
    const int raw = std::min(zone.standardOffset, daylight.offset);
    auto rule = [&](const QString& name, int offset, const PosixZoneRule::Change& change) {
        return std::make_unique<icu::AnnualTimeZoneRule>(toIcu(name), raw * 1000, (offset - raw) * 1000,
                                                         dateRule(change), startYear,
                                                         icu::AnnualTimeZoneRule::MAX_YEAR);
    };
    return {rule(daylight.name, daylight.offset, daylight.start),
            rule(zone.standardName, zone.standardOffset, daylight.end)};
}

// The first year from which every listed change is one of the rule's own, two a year: the year from which
// the rule may stand for the list. The year after the last change when it reproduces none.
int yearRuleReproduces(const std::vector<QTimeZone::OffsetData>& changes, const PosixZoneRule& rule) {
    const auto probes = annualRules(rule, kFirstRuleYear);
    auto isTheRules = [&](const QTimeZone::OffsetData& change) {
        for (size_t i = 0; i < probes.size(); ++i) {
            const icu::AnnualTimeZoneRule& probe = *probes[i];
            const icu::AnnualTimeZoneRule& before = *probes[1 - i];
            UDate start = 0;
            if (probe.getRawOffset() + probe.getDSTSavings() == change.offsetFromUtc * 1000 &&
                probe.getStartInYear(change.atUtc.date().year(), before.getRawOffset(),
                                     before.getDSTSavings(), start))
                return start == double(change.atUtc.toMSecsSinceEpoch());
        }
        return false;
    };
    size_t first = changes.size();
    while (first > 0 && isTheRules(changes[first - 1]))
        --first;
    if (first == changes.size())
        return changes.empty() ? kFirstRuleYear : changes.back().atUtc.date().year() + 1;
    const int year = changes[first].atUtc.date().year();
    const bool wholeYear = first + 1 < changes.size() && changes[first + 1].atUtc.date().year() == year;
    return wholeYear ? year : year + 1;
}

std::unique_ptr<icu::BasicTimeZone> buildZone(const QString& id) {
    const QTimeZone zone(id.toUtf8());
    const icu::UnicodeString icuId = toIcu(id);
    if (!zone.isValid())
        return std::make_unique<icu::SimpleTimeZone>(0, icuId);

    const QDateTime from(QDate(kFirstRuleYear, 1, 1), QTime(0, 0), Qt::UTC);
    const QDateTime to(QDate(kLastRuleYear, 12, 31), QTime(0, 0), Qt::UTC);
    const auto transitions = zone.transitions(from, to);
    // Before its first transition a zone keeps the offsets that transition replaces; Qt reports no data
    // there.
    auto initial = zone.offsetData(from);
    if (!initial.atUtc.isValid())
        initial =
            transitions.isEmpty() ? zone.offsetData(QDateTime::currentDateTimeUtc()) : transitions.first();
    if (!initial.atUtc.isValid())
        return std::make_unique<icu::SimpleTimeZone>(
            zone.offsetFromUtc(QDateTime::currentDateTimeUtc()) * 1000, icuId);
    auto* initialRule =
        new icu::InitialTimeZoneRule(icuId, initial.standardTimeOffset * 1000,
                                     (initial.offsetFromUtc - initial.standardTimeOffset) * 1000);
    auto result = std::make_unique<icu::RuleBasedTimeZone>(icuId, initialRule);

    std::vector<QTimeZone::OffsetData> changes;
    for (const auto& t : transitions)
        if (t.offsetFromUtc != (changes.empty() ? initial.offsetFromUtc : changes.back().offsetFromUtc))
            changes.push_back(t);

    // Qt lists no transition after 2037: the zone's recurring rule carries on as ICU final rules. ICU looks a
    // time up by going back through the listed transitions from the last one, and through final rules
    // slower still: the rule takes over for the last two listed years, where it reproduces them, so that
    // the years before them cost no more to look up than they did without it.
    UErrorCode status = U_ZERO_ERROR;
    int listedBeforeYear = kLastRuleYear + 1;
    const std::optional<PosixZoneRule> recurring = PosixZoneRule::ofSystemZone(id);
    if (recurring && recurring->daylight) {
        const int lastListedYear = changes.empty() ? kFirstRuleYear : changes.back().atUtc.date().year();
        listedBeforeYear = std::max(yearRuleReproduces(changes, *recurring), lastListedYear - 1);
        for (auto& rule : annualRules(*recurring, listedBeforeYear))
            result->addTransitionRule(rule.release(), status);
    }

    // One rule per distinct (raw, daylight) pair, holding every instant at which that pair starts.
    std::map<std::pair<int, int>, std::vector<UDate>> starts;
    for (const auto& t : changes) {
        if (t.atUtc.date().year() >= listedBeforeYear)
            break;
        starts[{t.standardTimeOffset, t.offsetFromUtc - t.standardTimeOffset}].push_back(
            double(t.atUtc.toMSecsSinceEpoch()));
    }
    for (const auto& [offsets, times] : starts) {
        auto* rule =
            new icu::TimeArrayTimeZoneRule(icuId, offsets.first * 1000, offsets.second * 1000, times.data(),
                                           int32_t(times.size()), icu::DateTimeRule::UTC_TIME);
        result->addTransitionRule(rule, status);
    }
    result->complete(status);
    if (U_FAILURE(status))
        return std::make_unique<icu::SimpleTimeZone>(0, icuId);
    return result;
}

// Shares one immutable set of rules between every calendar and formatter: copying the rules themselves
// costs far more than the arithmetic done with them. It derives from RuleBasedTimeZone only because ICU's
// calendar resolves skipped wall times just for the zone classes it knows; every call is delegated.
class SharedRulesTimeZone final : public icu::RuleBasedTimeZone {
public:
    explicit SharedRulesTimeZone(std::shared_ptr<const icu::BasicTimeZone> rules)
        : icu::RuleBasedTimeZone(rulesId(*rules), new icu::InitialTimeZoneRule(rulesId(*rules), 0, 0)),
          rules_(std::move(rules)) {}
    SharedRulesTimeZone(const SharedRulesTimeZone& other) : SharedRulesTimeZone(other.rules_) {}

    SharedRulesTimeZone* clone() const override { return new SharedRulesTimeZone(*this); }
    bool operator==(const icu::TimeZone& other) const override {
        const auto* shared = dynamic_cast<const SharedRulesTimeZone*>(&other);
        return shared && *shared->rules_ == *rules_;
    }
    int32_t getOffset(uint8_t era, int32_t year, int32_t month, int32_t day, uint8_t dayOfWeek,
                      int32_t millis, UErrorCode& status) const override {
        return rules_->getOffset(era, year, month, day, dayOfWeek, millis, status);
    }
    int32_t getOffset(uint8_t era, int32_t year, int32_t month, int32_t day, uint8_t dayOfWeek,
                      int32_t millis, int32_t monthLength, UErrorCode& status) const override {
        return rules_->getOffset(era, year, month, day, dayOfWeek, millis, monthLength, status);
    }
    void getOffset(UDate date, UBool local, int32_t& raw, int32_t& dst, UErrorCode& status) const override {
        rules_->getOffset(date, local, raw, dst, status);
    }
    void getOffsetFromLocal(UDate date, UTimeZoneLocalOption nonExisting, UTimeZoneLocalOption duplicated,
                            int32_t& raw, int32_t& dst, UErrorCode& status) const override {
        rules_->getOffsetFromLocal(date, nonExisting, duplicated, raw, dst, status);
    }
    void setRawOffset(int32_t) override {} // the system's rules are not ours to change
    int32_t getRawOffset() const override { return rules_->getRawOffset(); }
    UBool useDaylightTime() const override { return rules_->useDaylightTime(); }
    UBool inDaylightTime(UDate date, UErrorCode& status) const override {
        return rules_->inDaylightTime(date, status);
    }
    UBool hasSameRules(const icu::TimeZone& other) const override { return rules_->hasSameRules(other); }
    int32_t getDSTSavings() const override { return rules_->getDSTSavings(); }
    UBool getNextTransition(UDate base, UBool inclusive, icu::TimeZoneTransition& result) const override {
        return rules_->getNextTransition(base, inclusive, result);
    }
    UBool getPreviousTransition(UDate base, UBool inclusive, icu::TimeZoneTransition& result) const override {
        return rules_->getPreviousTransition(base, inclusive, result);
    }
    int32_t countTransitionRules(UErrorCode& status) const override {
        return rules_->countTransitionRules(status);
    }
    void getTimeZoneRules(const icu::InitialTimeZoneRule*& initial, const icu::TimeZoneRule* rules[],
                          int32_t& count, UErrorCode& status) const override {
        rules_->getTimeZoneRules(initial, rules, count, status);
    }
    UClassID getDynamicClassID() const override {
        static char classId = 0;
        return &classId;
    }

private:
    static icu::UnicodeString rulesId(const icu::TimeZone& zone) {
        icu::UnicodeString id;
        return zone.getID(id);
    }
    std::shared_ptr<const icu::BasicTimeZone> rules_;
};

icu::Locale localeNamed(const QString& name) {
    return icu::Locale::createCanonical(name.toUtf8().constData());
}

} // namespace

std::unique_ptr<icu::TimeZone> systemTimeZone(const QString& id) {
    static std::mutex mutex;
    static QHash<QString, std::shared_ptr<const icu::BasicTimeZone>> cache;
    std::lock_guard lock(mutex);
    auto& rules = cache[id];
    if (!rules)
        rules = buildZone(id);
    return std::make_unique<SharedRulesTimeZone>(rules);
}

QString CurrentCalendar::localeName() {
    return pinnedLocale.isEmpty() ? localeFromEnvironment() : pinnedLocale;
}

QString CurrentCalendar::timeZoneId() {
    if (!pinnedZone.isEmpty())
        return pinnedZone;
    const QByteArray id = QTimeZone::systemTimeZoneId();
    return id.isEmpty() ? QStringLiteral("UTC") : QString::fromUtf8(id);
}

ScopedCalendarPin::ScopedCalendarPin(const QString& localeName, const QString& timeZoneId)
    : previousLocale_(pinnedLocale), previousZone_(pinnedZone) {
    pinnedLocale = localeName;
    pinnedZone = timeZoneId;
}

ScopedCalendarPin::~ScopedCalendarPin() {
    pinnedLocale = previousLocale_;
    pinnedZone = previousZone_;
}

Calendar::Calendar(std::unique_ptr<icu::Calendar> calendar, QString localeName, QString timeZoneId)
    : calendar_(std::move(calendar)), localeName_(std::move(localeName)), timeZoneId_(std::move(timeZoneId)) {
    calendar_->setLenient(true);
    calendar_->setSkippedWallTimeOption(UCAL_WALLTIME_NEXT_VALID);
    calendar_->setRepeatedWallTimeOption(UCAL_WALLTIME_FIRST);
}

Calendar Calendar::current() {
    const QString locale = CurrentCalendar::localeName();
    const QString zone = CurrentCalendar::timeZoneId();
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Calendar> cal(
        icu::Calendar::createInstance(systemTimeZone(zone).release(), localeNamed(locale), status));
    if (U_FAILURE(status) || !cal) {
        status = U_ZERO_ERROR;
        cal.reset(new icu::GregorianCalendar(systemTimeZone(zone).release(), localeNamed(locale), status));
    }
    return Calendar(std::move(cal), locale, zone);
}

Calendar Calendar::gregorian() {
    const QString zone = CurrentCalendar::timeZoneId();
    UErrorCode status = U_ZERO_ERROR;
    auto cal = std::make_unique<icu::GregorianCalendar>(systemTimeZone(zone).release(),
                                                        icu::Locale("en_US_POSIX"), status);
    return Calendar(std::move(cal), QStringLiteral("en_US_POSIX"), zone);
}

Calendar Calendar::iso8601() {
    Calendar cal = gregorian();
    cal.calendar_->setFirstDayOfWeek(UCAL_MONDAY);
    cal.calendar_->setMinimalDaysInFirstWeek(4);
    return cal;
}

Calendar::Calendar(const Calendar& other)
    : calendar_(other.calendar_->clone()), localeName_(other.localeName_), timeZoneId_(other.timeZoneId_) {}

Calendar& Calendar::operator=(const Calendar& other) {
    if (this != &other)
        *this = Calendar(other);
    return *this;
}

Calendar::Calendar(Calendar&&) noexcept = default;
Calendar& Calendar::operator=(Calendar&&) noexcept = default;
Calendar::~Calendar() = default;

int Calendar::firstWeekday() const {
    return calendar_->getFirstDayOfWeek();
}

void Calendar::setFirstWeekday(int weekday) {
    calendar_->setFirstDayOfWeek(UCalendarDaysOfWeek(weekday));
}

Calendar Calendar::withFirstWeekday(int weekday) const {
    Calendar copy(*this);
    copy.setFirstWeekday(weekday);
    return copy;
}

icu::Locale Calendar::icuLocale() const {
    return localeNamed(localeName_);
}

icu::Calendar& Calendar::at(Instant t) const {
    UErrorCode status = U_ZERO_ERROR;
    calendar_->setTime(t.millisecondsSince1970(), status);
    return *calendar_;
}

int Calendar::field(Instant t, int icuField) const {
    UErrorCode status = U_ZERO_ERROR;
    const int value = at(t).get(UCalendarDateFields(icuField), status);
    return U_FAILURE(status) ? 0 : value;
}

int Calendar::weekday(Instant t) const {
    return field(t, UCAL_DAY_OF_WEEK);
}
int Calendar::day(Instant t) const {
    return field(t, UCAL_DATE);
}
int Calendar::month(Instant t) const {
    return field(t, UCAL_MONTH) + 1;
}
int Calendar::year(Instant t) const {
    return field(t, UCAL_YEAR);
}
int Calendar::hour(Instant t) const {
    return field(t, UCAL_HOUR_OF_DAY);
}
int Calendar::minute(Instant t) const {
    return field(t, UCAL_MINUTE);
}
int Calendar::weekOfYear(Instant t) const {
    return field(t, UCAL_WEEK_OF_YEAR);
}

namespace {
std::optional<Instant> timeOf(const icu::Calendar& cal) {
    UErrorCode status = U_ZERO_ERROR;
    const UDate ms = cal.getTime(status);
    if (U_FAILURE(status))
        return std::nullopt;
    return Instant::fromSecondsSince1970(ms / 1000.0);
}

void setWallTime(icu::Calendar& cal, int hour, int minute, int second) {
    cal.set(UCAL_HOUR_OF_DAY, hour);
    cal.set(UCAL_MINUTE, minute);
    cal.set(UCAL_SECOND, second);
    cal.set(UCAL_MILLISECOND, 0);
}
} // namespace

Instant Calendar::startOfDay(Instant t) const {
    icu::Calendar& cal = at(t);
    setWallTime(cal, 0, 0, 0);
    return timeOf(cal).value_or(t);
}

std::optional<Instant> Calendar::startOfDayAfter(int days, Instant dayStart) const {
    UErrorCode status = U_ZERO_ERROR;
    icu::Calendar& cal = at(dayStart);
    cal.add(UCAL_DATE, days, status);
    if (U_FAILURE(status))
        return std::nullopt;
    // Adding days keeps the wall time: from a midnight it mostly lands on one. Where one of the two days
    // begins with a clock change instead, the other day's start is looked up.
    if (cal.get(UCAL_MILLISECONDS_IN_DAY, status) != 0)
        setWallTime(cal, 0, 0, 0);
    return timeOf(cal);
}

std::optional<Instant> Calendar::firstOfMonth(Instant t) const {
    icu::Calendar& cal = at(t);
    cal.set(UCAL_DATE, 1);
    setWallTime(cal, 0, 0, 0);
    return timeOf(cal);
}

std::optional<Instant> Calendar::addingDays(int days, Instant t) const {
    UErrorCode status = U_ZERO_ERROR;
    at(t).add(UCAL_DATE, days, status);
    if (U_FAILURE(status))
        return std::nullopt;
    return timeOf(*calendar_);
}

std::optional<Instant> Calendar::addingMonths(int months, Instant t) const {
    UErrorCode status = U_ZERO_ERROR;
    at(t).add(UCAL_MONTH, months, status);
    if (U_FAILURE(status))
        return std::nullopt;
    return timeOf(*calendar_);
}

std::optional<Instant> Calendar::date(int year, int month, int day, int hour, int minute, int second) const {
    icu::Calendar& cal = *calendar_;
    cal.clear();
    cal.setLenient(false);
    cal.set(year, month - 1, day, hour, minute, second);
    auto result = timeOf(cal);
    cal.setLenient(true);
    return result;
}

namespace {
// The fields that name a month whatever the calendar type (leap months included), plus the day.
std::array<int, 5> monthAndDay(icu::Calendar& cal) {
    UErrorCode status = U_ZERO_ERROR;
    std::array<int, 5> key{};
    const std::array fields{UCAL_ERA, UCAL_YEAR, UCAL_MONTH, UCAL_IS_LEAP_MONTH, UCAL_DATE};
    for (size_t i = 0; i < fields.size(); ++i)
        key[i] = cal.get(fields[i], status);
    return key;
}
} // namespace

bool Calendar::isSameDay(Instant a, Instant b) const {
    return monthAndDay(at(a)) == monthAndDay(at(b));
}

bool Calendar::isSameMonth(Instant a, Instant b) const {
    const auto first = monthAndDay(at(a));
    const auto second = monthAndDay(at(b));
    return std::equal(first.begin(), first.end() - 1, second.begin());
}

std::optional<Instant> Calendar::nextTime(Instant after, int hour, int minute, int second) const {
    // Today's match may already have passed; a skipped time moves at most one day further.
    const Instant dayStart = startOfDay(after);
    for (int offset = 0; offset <= 2; ++offset) {
        const auto day = addingDays(offset, dayStart);
        if (!day)
            return std::nullopt;
        icu::Calendar& cal = at(*day);
        setWallTime(cal, hour, minute, second);
        const auto candidate = timeOf(cal);
        if (!candidate)
            return std::nullopt;
        if (*candidate > after)
            return candidate;
    }
    return std::nullopt;
}

Instant Calendar::fromWallTime(Instant wallAsUtc) const {
    const UDate wall = wallAsUtc.millisecondsSince1970();
    const auto* zone = dynamic_cast<const icu::BasicTimeZone*>(&calendar_->getTimeZone());
    UErrorCode status = U_ZERO_ERROR;
    int32_t raw = 0;
    int32_t dst = 0;
    if (zone)
        zone->getOffsetFromLocal(wall, UCAL_TZ_LOCAL_FORMER, UCAL_TZ_LOCAL_FORMER, raw, dst, status);
    else
        calendar_->getTimeZone().getOffset(wall, true, raw, dst, status);
    if (U_FAILURE(status))
        return wallAsUtc;
    return wallAsUtc.addingSeconds(-(raw + dst) / 1000.0);
}

QStringList Calendar::veryShortWeekdaySymbols() const {
    UErrorCode status = U_ZERO_ERROR;
    icu::DateFormatSymbols symbols(icuLocale(), calendar_->getType(), status);
    int32_t count = 0;
    const icu::UnicodeString* names =
        symbols.getWeekdays(count, icu::DateFormatSymbols::FORMAT, icu::DateFormatSymbols::NARROW);
    QStringList result;
    for (int i = 1; i < count && result.size() < 7; ++i)
        result << fromIcu(names[i]);
    return result;
}
