#pragma once

#include "models/DayEvent.h"
#include "platform/EventStore.h"
#include "utilities/DateFormats.h"
#include "utilities/Log.h"

#include <QColor>
#include <QCoro/QCoroTask>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

#include <unicode/timezone.h>

class UserDefaults;

// The single access point to the user's local calendars: authorization, the calendar groups that the
// settings list, the user's excluded calendars, and the events of one day. Lives on the main thread.
class CalendarEventsService : public QObject {
    Q_OBJECT
public:
    struct CalendarInfo {
        QString id;
        QString title;
        QColor color;
    };

    // The calendars of one source; sources delegated to the user are marked " (shared)".
    struct CalendarGroup {
        QString id;
        QString title;
        QList<CalendarInfo> calendars;
    };

    static inline const QString kExcludedCalendarIDsKey = QStringLiteral("mondrel.excludedCalendarIDs");

    CalendarEventsService(std::unique_ptr<EventStore> store, UserDefaults& defaults,
                          QObject* parent = nullptr);
    ~CalendarEventsService() override;

    EventAuthorizationStatus authorization() const { return authorization_; }
    // Grows by one at the end of every refresh of the sources.
    int changeToken() const { return changeToken_; }
    const QList<CalendarGroup>& calendarGroups() const { return calendarGroups_; }
    bool hasIncludedCalendars() const { return hasIncludedCalendars_; }

    // Asks for full access, then refreshes. Never fails: a failed request is logged.
    QCoro::Task<> requestAccess();

    bool isCalendarIncluded(const QString& calendarIdentifier) const;
    void setCalendar(const QString& calendarIdentifier, bool included);

    // The events of the day that `day` lies on, from every calendar the user did not exclude, in day order.
    QList<DayEvent> events(Instant day) const;

signals:
    void authorizationChanged();
    void changeTokenChanged();
    // Emitted on every refresh, changed or not.
    void calendarGroupsChanged();
    void hasIncludedCalendarsChanged();

private:
    struct LabelledStore {
        QString label;
        EventStore* store;
    };

    QList<LabelledStore> stores() const;
    void refreshSources();
    void clearSources();
    void updateDelegateStore();
    void handleStoreChange();
    void readAuthorization();
    void setAuthorization(EventAuthorizationStatus status);
    void setHasIncludedCalendars(bool value);
    void increaseChangeToken();
    QSet<QString> excludedCalendarIDs() const;
    void storeExcludedCalendarIDs(const QSet<QString>& identifiers);
    const DateFormatter& timeFormat(const Calendar& calendar) const;
    // The start in the time format, which `timeFormat` gave for this query, in `zone`, the format's.
    QString formattedTime(const DateFormatter& format, const icu::TimeZone& zone, Instant start) const;
    // The offset of `zone`, the format's, from UTC at `millis` since 1970, in milliseconds.
    std::optional<int32_t> utcOffset(const icu::TimeZone& zone, double millis) const;

    EventAuthorizationStatus authorization_ = EventAuthorizationStatus::notDetermined;
    int changeToken_ = 0;
    QList<CalendarGroup> calendarGroups_;
    bool hasIncludedCalendars_ = false;
    std::unique_ptr<EventStore> store_;
    std::unique_ptr<EventStore> delegateStore_;
    QSet<QString> delegateSourceIDs_;
    UserDefaults& defaults_;
    Log log_{QStringLiteral("events")};

    // The time format of the locale and zone it was built for; rebuilt when either changes.
    mutable std::optional<DateFormatter> timeFormat_;
    mutable QString timeFormatCalendarKey_;
    // Time labels by minute of the local day, in that format; null where none was made yet.
    static constexpr qint64 kMinutesPerDay = 1440;
    mutable std::vector<QString> timeLabels_;
    // The offset of the format's zone over [from, to), a stretch between two of its clock changes.
    struct OffsetSpan {
        double from = 0;
        double to = 0;
        int32_t offset = 0;
    };
    mutable OffsetSpan offsetSpan_;
};
