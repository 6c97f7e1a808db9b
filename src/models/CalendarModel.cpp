#include "models/CalendarModel.h"

#include "utilities/DateFormats.h"

#include <QPointer>

namespace {
constexpr int kSunday = 1;
constexpr int kMonday = 2;
constexpr int kThursday = 5;
constexpr int kRows = 6;
constexpr int kColumns = 7;

Calendar gridCalendar(bool startOnMonday) {
    return Calendar::current().withFirstWeekday(startOnMonday ? kMonday : kSunday);
}
} // namespace

CalendarModel::CalendarModel(Instant now, MainQueue& queue, QObject* parent)
    : QObject(parent), queue_(queue) {
    const Calendar calendar = Calendar::current();
    today_ = calendar.startOfDay(now);
    displayedMonth_ = firstOfMonth(now, calendar);
    scheduleMidnightRefresh();
}

Instant CalendarModel::firstOfMonth(Instant date, const Calendar& calendar) {
    return calendar.firstOfMonth(date).value_or(calendar.startOfDay(date));
}

QList<CalendarWeek> CalendarModel::weeks(bool startOnMonday) const {
    const Calendar cal = gridCalendar(startOnMonday);
    // ISO 8601 is Gregorian: it also answers the Gregorian weekday of the anchor.
    const Calendar iso = Calendar::iso8601();
    const Instant first = displayedMonth_;
    const int lead = (cal.weekday(first) - cal.firstWeekday() + 7) % 7;
    const auto gridStart = cal.addingDays(-lead, first);
    if (!gridStart)
        return {};

    QList<CalendarWeek> rows;
    for (int r = 0; r < kRows; ++r) {
        CalendarWeek week{r, 0, {}};
        for (int k = 0; k < kColumns; ++k) {
            const auto moved = cal.addingDays(kColumns * r + k, *gridStart);
            if (!moved)
                continue;
            const Instant d = cal.startOfDay(*moved);
            week.days.append(
                CalendarDay{d, d, cal.day(d), cal.isSameMonth(d, first), cal.isSameDay(d, today_)});
        }
        if (!week.days.isEmpty()) {
            auto anchor = std::find_if(week.days.begin(), week.days.end(), [&](const CalendarDay& day) {
                return iso.weekday(day.date) == kThursday;
            });
            if (anchor == week.days.end())
                anchor = week.days.begin();
            week.isoWeek = iso.weekOfYear(anchor->date);
        }
        rows.append(week);
    }
    return rows;
}

QStringList CalendarModel::weekdaySymbols(bool startOnMonday) const {
    const Calendar cal = gridCalendar(startOnMonday);
    QStringList symbols = cal.veryShortWeekdaySymbols();
    QStringList result;
    if (symbols.size() != kColumns)
        return symbols;
    for (int i = 0; i < kColumns; ++i)
        result << symbols.at((cal.firstWeekday() - 1 + i) % kColumns);
    return result;
}

QString CalendarModel::monthTitle() const {
    const Calendar cal = Calendar::current();
    return DateFormatter::fromSkeleton(cal, DateFormats::kMonthTitle).format(displayedMonth_);
}

bool CalendarModel::isViewingCurrentMonth() const {
    return Calendar::current().isSameMonth(displayedMonth_, today_);
}

void CalendarModel::shift(int months) {
    const Calendar cal = Calendar::current();
    if (const auto moved = cal.addingMonths(months, displayedMonth_))
        setDisplayedMonth(firstOfMonth(*moved, cal));
}

void CalendarModel::goToToday() {
    setDisplayedMonth(firstOfMonth(today_, Calendar::current()));
}

void CalendarModel::jumpTo(Instant date) {
    setDisplayedMonth(firstOfMonth(date, Calendar::current()));
}

void CalendarModel::setDisplayedMonth(Instant month) {
    if (month == displayedMonth_)
        return;
    displayedMonth_ = month;
    emit displayedMonthChanged();
}

void CalendarModel::setToday(Instant day) {
    if (day == today_)
        return;
    today_ = day;
    emit todayChanged();
}

void CalendarModel::scheduleMidnightRefresh() {
    midnightTimer_.cancel();
    const auto next = Calendar::current().nextTime(queue_.now(), 0, 0, 1);
    if (!next)
        return;
    QPointer<CalendarModel> model(this);
    midnightTimer_ = queue_.postAtWallClock(*next, [model, &queue = queue_] {
        queue.post([model] {
            if (!model)
                return;
            model->setToday(Calendar::current().startOfDay(model->queue_.now()));
            model->scheduleMidnightRefresh();
        });
    });
}
