#include "services/CalendarEventsService.h"

#include "utilities/CurrentCalendar.h"
#include "utilities/IcuText.h"
#include "utilities/Localization.h"
#include "utilities/MondrelTheme.h"
#include "utilities/UserDefaults.h"

#include <QHash>
#include <QPointer>
#include <QStringBuilder>
#include <algorithm>
#include <cmath>

#include <unicode/basictz.h>
#include <unicode/calendar.h>
#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/tztrans.h>

namespace {

const QString kDelegateLabel = QStringLiteral("d|");
const QString kNoSourceKey = QStringLiteral("?");
// The earliest date the calendar database knows: events without a start sort before everything.
const Instant kDistantPast = Instant::fromSecondsSince2001(-63114076800.0);

// Titles as the user's locale orders them, ignoring case: "a" equals "A", "e" comes before "é".
class TitleOrder {
public:
    TitleOrder() {
        UErrorCode status = U_ZERO_ERROR;
        collator_.reset(icu::Collator::createInstance(Calendar::current().icuLocale(), status));
        if (U_FAILURE(status))
            collator_.reset();
        if (collator_)
            collator_->setStrength(icu::Collator::SECONDARY);
    }

    bool precedes(const QString& a, const QString& b) const {
        if (!collator_)
            return a.compare(b, Qt::CaseInsensitive) < 0;
        UErrorCode status = U_ZERO_ERROR;
        return collator_->compare(toIcu(a), toIcu(b), status) == UCOL_LESS;
    }

    template <typename T, typename TitleOf> void stableSort(QList<T>& items, TitleOf titleOf) const {
        std::stable_sort(items.begin(), items.end(),
                         [&](const T& a, const T& b) { return precedes(titleOf(a), titleOf(b)); });
    }

private:
    std::unique_ptr<icu::Collator> collator_;
};

bool precedesByCodePoints(const QString& a, const QString& b) {
    return a.toUcs4() < b.toUcs4();
}

QColor displayColor(const std::optional<QColor>& color) {
    return color.value_or(MondrelTheme::accent());
}

} // namespace

CalendarEventsService::CalendarEventsService(std::unique_ptr<EventStore> store, UserDefaults& defaults,
                                             QObject* parent)
    : QObject(parent), store_(std::move(store)), defaults_(defaults) {
    authorization_ = store_->authorizationStatus();
    // Queued so that a store never sees the service refresh (and maybe drop it) while it is still notifying.
    connect(store_.get(), &EventStore::changed, this, &CalendarEventsService::handleStoreChange,
            Qt::QueuedConnection);
    if (authorization_ == EventAuthorizationStatus::fullAccess)
        refreshSources();
}

CalendarEventsService::~CalendarEventsService() = default;

QCoro::Task<> CalendarEventsService::requestAccess() {
    QPointer<CalendarEventsService> self(this);
    EventStore* store = store_.get();
    auto request = store->requestFullAccess();
    const EventAccessResult result = co_await request;
    if (!self)
        co_return;
    if (result.granted)
        store_->reset();
    if (result.error)
        log_.warning(QStringLiteral("calendar access request failed: ") + *result.error);
    readAuthorization();
    refreshSources();
}

bool CalendarEventsService::isCalendarIncluded(const QString& calendarIdentifier) const {
    return !excludedCalendarIDs().contains(calendarIdentifier);
}

void CalendarEventsService::setCalendar(const QString& calendarIdentifier, bool included) {
    QSet<QString> excluded = excludedCalendarIDs();
    if (included)
        excluded.remove(calendarIdentifier);
    else
        excluded.insert(calendarIdentifier);
    storeExcludedCalendarIDs(excluded);
    refreshSources();
}

QList<CalendarEventsService::LabelledStore> CalendarEventsService::stores() const {
    QList<LabelledStore> list{{QString(), store_.get()}};
    if (delegateStore_)
        list.append({kDelegateLabel, delegateStore_.get()});
    return list;
}

void CalendarEventsService::handleStoreChange() {
    readAuthorization();
    refreshSources();
}

void CalendarEventsService::readAuthorization() {
    setAuthorization(store_->authorizationStatus());
}

void CalendarEventsService::refreshSources() {
    if (authorization_ != EventAuthorizationStatus::fullAccess) {
        clearSources();
        return;
    }
    updateDelegateStore();
    const QSet<QString> excluded = excludedCalendarIDs();
    const TitleOrder titleOrder;

    QList<CalendarGroup> groups;
    int total = 0;
    int included = 0;
    for (const LabelledStore& labelled : stores()) {
        // Groups keep the order in which their sources first appear; calendars keep the store's order.
        QList<QString> sourceKeys;
        QHash<QString, QList<EventCalendar>> calendarsBySource;
        for (EventCalendar& calendar : labelled.store->eventCalendars()) {
            const QString key = calendar.source ? calendar.source->sourceIdentifier : kNoSourceKey;
            if (!calendarsBySource.contains(key))
                sourceKeys.append(key);
            calendarsBySource[key].append(std::move(calendar));
        }
        for (const QString& key : sourceKeys) {
            const QList<EventCalendar>& calendars = calendarsBySource[key];
            CalendarGroup group;
            group.id = labelled.label + key;
            const auto& source = calendars.first().source;
            group.title = source ? source->title : localized("Other");
            if (!labelled.label.isEmpty())
                group.title += localized(" (shared)");
            for (const EventCalendar& calendar : calendars) {
                ++total;
                if (!excluded.contains(calendar.calendarIdentifier))
                    ++included;
                group.calendars.append(
                    {calendar.calendarIdentifier, calendar.title, displayColor(calendar.color)});
            }
            titleOrder.stableSort(group.calendars, [](const CalendarInfo& c) { return c.title; });
            groups.append(std::move(group));
        }
    }
    titleOrder.stableSort(groups, [](const CalendarGroup& g) { return g.title; });

    calendarGroups_ = std::move(groups);
    emit calendarGroupsChanged();
    setHasIncludedCalendars(included > 0);
    log_.info(QStringLiteral(
                  "calendar sources refreshed: %1 sources, %2/%3 calendars included, %4 delegate sources")
                  .arg(calendarGroups_.size())
                  .arg(included)
                  .arg(total)
                  .arg(delegateSourceIDs_.size()));
    increaseChangeToken();
}

void CalendarEventsService::clearSources() {
    delegateStore_.reset();
    delegateSourceIDs_.clear();
    calendarGroups_.clear();
    emit calendarGroupsChanged();
    setHasIncludedCalendars(false);
    increaseChangeToken();
}

void CalendarEventsService::updateDelegateStore() {
    const QList<EventSource> sources = store_->delegateSources();
    QSet<QString> identifiers;
    for (const EventSource& source : sources)
        identifiers.insert(source.sourceIdentifier);
    if (identifiers == delegateSourceIDs_)
        return;
    delegateSourceIDs_ = identifiers;
    delegateStore_ = sources.isEmpty() ? nullptr : store_->storeLimitedTo(sources);
    if (delegateStore_)
        connect(delegateStore_.get(), &EventStore::changed, this, &CalendarEventsService::handleStoreChange,
                Qt::QueuedConnection);
}

void CalendarEventsService::setAuthorization(EventAuthorizationStatus status) {
    if (status == authorization_)
        return;
    authorization_ = status;
    emit authorizationChanged();
}

void CalendarEventsService::setHasIncludedCalendars(bool value) {
    if (value == hasIncludedCalendars_)
        return;
    hasIncludedCalendars_ = value;
    emit hasIncludedCalendarsChanged();
}

void CalendarEventsService::increaseChangeToken() {
    ++changeToken_;
    emit changeTokenChanged();
}

QSet<QString> CalendarEventsService::excludedCalendarIDs() const {
    const QStringList stored = defaults_.stringArray(kExcludedCalendarIDsKey).value_or(QStringList());
    return QSet<QString>(stored.begin(), stored.end());
}

void CalendarEventsService::storeExcludedCalendarIDs(const QSet<QString>& identifiers) {
    QStringList sorted(identifiers.begin(), identifiers.end());
    std::sort(sorted.begin(), sorted.end(), precedesByCodePoints);
    defaults_.setStringArray(kExcludedCalendarIDsKey, sorted);
}

QList<DayEvent> CalendarEventsService::events(Instant day) const {
    if (authorization_ != EventAuthorizationStatus::fullAccess)
        return {};
    const Calendar calendar = Calendar::current();
    const Instant dayStart = calendar.startOfDay(day);
    const std::optional<Instant> dayEnd = calendar.startOfDayAfter(1, dayStart);
    if (!dayEnd)
        return {};
    const QSet<QString> excluded = excludedCalendarIDs();

    // The events of all stores and, position by position, their keys.
    QList<StoredEvent> found;
    QStringList keys;
    for (const LabelledStore& labelled : stores()) {
        QStringList calendars;
        // Read through a const list: a store may share it, and a copy for writing costs every calendar.
        const QList<EventCalendar> storeCalendars = labelled.store->eventCalendars();
        for (const EventCalendar& c : storeCalendars)
            if (!excluded.contains(c.calendarIdentifier))
                calendars.append(c.calendarIdentifier);
        if (calendars.isEmpty())
            continue;
        const std::optional<QStringList> only = excluded.isEmpty() ? std::nullopt : std::optional(calendars);
        QList<StoredEvent> events = labelled.store->events(dayStart, *dayEnd, only);
        keys.reserve(keys.size() + events.size());
        for (const StoredEvent& event : std::as_const(events)) {
            const Instant start = event.startDate.value_or(dayStart);
            const QString& identifier =
                event.eventIdentifier ? *event.eventIdentifier : event.calendarItemIdentifier;
            char seconds[kShortestRoundTripTextCapacity];
            const char* secondsEnd = writeShortestRoundTripText(seconds, start.secondsSince2001());
            keys.append(labelled.label % identifier % u'|' %
                        QLatin1StringView(seconds, secondsEnd - seconds));
        }
        if (found.isEmpty())
            found = std::move(events);
        else
            found.append(std::move(events));
    }
    const std::vector<qsizetype> order = dayOrder(found, [](const StoredEvent& event) {
        return DayOrderKey(event.isAllDay, event.startDate.value_or(kDistantPast),
                           event.title.value_or(QString()));
    });

    const QString allDay = localized("All day");
    const QString untitled = localized("Untitled event");
    const DateFormatter& format = timeFormat(calendar);
    const icu::TimeZone& zone = calendar.icuCalendar().getTimeZone();
    QSet<QString> seen;
    seen.reserve(found.size());
    QList<DayEvent> result;
    result.reserve(found.size());
    for (qsizetype position : order) {
        const QString& key = keys.at(position);
        const qsizetype known = seen.size();
        seen.insert(key);
        if (seen.size() == known)
            continue;
        const StoredEvent& event = found.at(position);
        const Instant start = event.startDate.value_or(dayStart);
        const QString title = event.title ? event.title->trimmed() : untitled;
        const QString timeLabel = event.isAllDay ? allDay : formattedTime(format, zone, start);
        const QColor color = displayColor(event.calendar ? event.calendar->color : std::nullopt);
        std::optional<QString> dedupKey;
        if (event.calendarItemExternalIdentifier)
            dedupKey = DayEvent::makeDedupKey(*event.calendarItemExternalIdentifier, start);
        result.append(DayEvent(key, title, timeLabel, event.isAllDay, color, start, std::move(dedupKey)));
    }
    return result;
}

const DateFormatter& CalendarEventsService::timeFormat(const Calendar& calendar) const {
    const QString key = calendar.localeName() + u'|' + calendar.timeZoneId();
    if (!timeFormat_ || key != timeFormatCalendarKey_) {
        timeFormat_ = DateFormatter::fromSkeleton(calendar, DateFormats::kTime);
        timeFormatCalendarKey_ = key;
        timeLabels_.assign(size_t(kMinutesPerDay), QString());
        offsetSpan_ = {};
    }
    return *timeFormat_;
}

QString CalendarEventsService::formattedTime(const DateFormatter& format, const icu::TimeZone& zone,
                                             Instant start) const {
    // Formatting is the costliest step of a day query. The label shows the hour and minute of the wall
    // clock only, so one label serves that minute of every day: a year of days asks for at most 1,440.
    const std::optional<int32_t> offset = utcOffset(zone, start.secondsSince1970() * 1000);
    if (!offset)
        return format.format(start);
    const auto wallMinute = qint64(std::floor((start.secondsSince1970() + *offset / 1000.0) / 60));
    const qint64 minute = (wallMinute % kMinutesPerDay + kMinutesPerDay) % kMinutesPerDay;
    QString& label = timeLabels_[size_t(minute)];
    if (label.isNull())
        label = format.format(start);
    return label;
}

std::optional<int32_t> CalendarEventsService::utcOffset(const icu::TimeZone& zone, double millis) const {
    // The zone looks an offset up by walking back through its clock changes, which costs more than the rest
    // of a label; the offset holds until the next change, and the events of a day rarely span one.
    if (millis >= offsetSpan_.from && millis < offsetSpan_.to)
        return offsetSpan_.offset;
    int32_t raw = 0;
    int32_t dst = 0;
    UErrorCode status = U_ZERO_ERROR;
    zone.getOffset(millis, false, raw, dst, status);
    if (U_FAILURE(status))
        return std::nullopt;
    offsetSpan_ = {millis, millis, raw + dst};
    if (const auto* rules = dynamic_cast<const icu::BasicTimeZone*>(&zone)) {
        icu::TimeZoneTransition change;
        offsetSpan_.from = rules->getPreviousTransition(millis, true, change) ? change.getTime() : -HUGE_VAL;
        offsetSpan_.to = rules->getNextTransition(millis, false, change) ? change.getTime() : HUGE_VAL;
    }
    return offsetSpan_.offset;
}
