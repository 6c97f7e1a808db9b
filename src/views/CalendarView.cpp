#include "views/CalendarView.h"

#include "models/CalendarModel.h"
#include "utilities/Localization.h"
#include "utilities/UserDefaults.h"

namespace {

constexpr int kMonday = 2;

DayCellDescription dayCell(const CalendarDay& day, bool isSelected) {
    DayCellDescription cell;
    cell.date = day.date;
    cell.text = QString::number(day.dayNumber);
    cell.bold = day.isToday;
    cell.ink = day.isToday ? Ink::onAccent : day.inCurrentMonth ? Ink::primary : Ink::dimmed;
    using Background = DayCellDescription::Background;
    cell.background = day.isToday  ? Background::filledCircle
                      : isSelected ? Background::ring
                                   : Background::none;
    const QString date = CalendarView::accessibilityDate(day.date);
    cell.accessibilityLabel = day.isToday ? QStringLiteral("Today, ") + date : date;
    return cell;
}

} // namespace

CalendarView::CalendarView(const ViewEnvironment& environment, QObject* parent)
    : QObject(parent), environment_(environment) {
    connect(&environment_.calendar, &CalendarModel::displayedMonthChanged, this, &CalendarView::changed);
    connect(&environment_.calendar, &CalendarModel::todayChanged, this, &CalendarView::changed);
    connect(&environment_.defaults, &UserDefaults::changed, this, [this](const QString& key) {
        if (key == kShowWeekNumbersKey || key == kStartOnMondayKey)
            emit changed();
    });
}

bool CalendarView::showWeekNumbers(const UserDefaults& defaults) {
    return defaults.boolValue(kShowWeekNumbersKey, false);
}

bool CalendarView::startOnMonday(const UserDefaults& defaults) {
    if (const std::optional<bool> stored = defaults.boolValue(kStartOnMondayKey))
        return *stored;
    return Calendar::current().firstWeekday() == kMonday;
}

CalendarViewDescription CalendarView::description() const {
    const CalendarModel& model = environment_.calendar;
    const bool monday = startOnMonday();
    const bool weekNumbers = showWeekNumbers();
    const Calendar calendar = Calendar::current();

    CalendarViewDescription description;
    description.leadingButtons = {{QStringLiteral("chevron.left.2"), QStringLiteral("Previous year"), -12},
                                  {QStringLiteral("chevron.left"), QStringLiteral("Previous month"), -1}};
    description.trailingButtons = {{QStringLiteral("chevron.right"), QStringLiteral("Next month"), 1},
                                   {QStringLiteral("chevron.right.2"), QStringLiteral("Next year"), 12}};
    description.title = model.monthTitle();
    description.titleToolTip = localized("Option-click to jump a year forward (Option-Shift-click for back)");
    if (weekNumbers)
        description.weekNumberHeading = localized("Wk");
    description.weekdaySymbols = model.weekdaySymbols(monday);

    const QList<CalendarWeek> weeks = model.weeks(monday);
    description.rows.reserve(weeks.size());
    for (const CalendarWeek& week : weeks) {
        WeekRowDescription row;
        row.id = week.id;
        if (weekNumbers)
            row.weekNumber = QString::number(week.isoWeek);
        row.cells.reserve(week.days.size());
        for (const CalendarDay& day : week.days) {
            const bool isSelected = selectedDay_ && calendar.isSameDay(*selectedDay_, day.date);
            row.cells.append(dayCell(day, isSelected));
        }
        description.rows.append(std::move(row));
    }
    description.listedDay = selectedDay_;
    description.footer = footer();
    return description;
}

void CalendarView::appear() {
    if (!selectedDay_)
        setSelectedDay(environment_.calendar.today());
}

void CalendarView::shift(int months) {
    environment_.calendar.shift(months);
}

void CalendarView::clickTitle(bool option, bool shift) {
    if (option)
        environment_.calendar.shift(shift ? -12 : 12);
}

void CalendarView::select(Instant day) {
    setSelectedDay(day);
}

void CalendarView::setSelectedDay(Instant day) {
    if (selectedDay_ == day)
        return;
    selectedDay_ = day;
    emit changed();
}
