#include "models/CalendarModel.h"

#include "support/QtPrinters.h"
#include "support/VirtualMainQueue.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

class CalendarModelTest : public ::testing::Test {
protected:
    Instant local(int y, int m, int d, int h = 0, int min = 0, int s = 0) const {
        return *Calendar::current().date(y, m, d, h, min, s);
    }
    ScopedCalendarPin pin{"en_US", "Europe/Berlin"};
    VirtualMainQueue queue{Instant::fromSecondsSince1970(0)};
};

int countToday(const QList<CalendarWeek>& weeks) {
    int count = 0;
    for (const auto& week : weeks)
        for (const auto& day : week.days)
            count += day.isToday;
    return count;
}

} // namespace

TEST_F(CalendarModelTest, GridAlwaysHasSixFullRowsStartingOnTheFirstWeekday) {
    CalendarModel model(local(2026, 1, 15, 10), queue);
    const Calendar cal = Calendar::current();
    // Every month shape of two years, both week starts.
    for (int month = 0; month < 24; ++month) {
        for (bool monday : {false, true}) {
            const auto weeks = model.weeks(monday);
            ASSERT_EQ(weeks.size(), 6);
            int index = 0;
            Instant previous;
            for (const auto& week : weeks) {
                EXPECT_EQ(week.id, index++);
                ASSERT_EQ(week.days.size(), 7);
                EXPECT_EQ(cal.weekday(week.days.first().date), monday ? 2 : 1);
                for (const auto& day : week.days) {
                    if (previous != Instant()) {
                        EXPECT_EQ(cal.addingDays(1, previous), day.date) << "consecutive days";
                    }
                    previous = day.date;
                    EXPECT_EQ(day.inCurrentMonth, cal.isSameMonth(day.date, model.displayedMonth()));
                    EXPECT_EQ(day.dayNumber, cal.day(day.date));
                }
            }
            // The 1st sits in the first row, after the lead days of the previous month.
            const int lead = (cal.weekday(model.displayedMonth()) - (monday ? 2 : 1) + 7) % 7;
            EXPECT_EQ(weeks[0].days[lead].date, model.displayedMonth());
        }
        model.shift(1);
    }
}

TEST_F(CalendarModelTest, LeadDaysForMonthsStartingOnTheFirstAndLastColumn) {
    // February 2026 starts on a Sunday: no lead with a Sunday start, six with a Monday start.
    CalendarModel model(local(2026, 2, 10), queue);
    auto sunday = model.weeks(false);
    EXPECT_EQ(sunday[0].days[0].date, local(2026, 2, 1));
    EXPECT_TRUE(std::none_of(sunday[4].days.begin(), sunday[4].days.end(),
                             [](const CalendarDay& d) { return d.inCurrentMonth; }));
    EXPECT_EQ(model.weeks(true)[0].days[6].date, local(2026, 2, 1));
    // August 2026 starts on a Saturday: six lead days with a Sunday start.
    model.jumpTo(local(2026, 8, 20));
    EXPECT_EQ(model.weeks(false)[0].days[6].date, local(2026, 8, 1));
}

TEST_F(CalendarModelTest, RowsCarryTheIsoWeekOfTheirThursdayAcrossYearEnds) {
    CalendarModel model(local(2020, 12, 10), queue);
    const auto monday = model.weeks(true);
    EXPECT_EQ(monday[4].days[0].date, local(2020, 12, 28));
    EXPECT_EQ(monday[4].isoWeek, 53);
    EXPECT_EQ(monday[5].isoWeek, 1);

    model.jumpTo(local(2025, 12, 1));
    const auto sunday = model.weeks(false);
    EXPECT_EQ(sunday[4].days[0].date, local(2025, 12, 28));
    EXPECT_EQ(sunday[4].isoWeek, 1);
    EXPECT_EQ(sunday[0].isoWeek, 49);
}

TEST_F(CalendarModelTest, ExactlyOneTodayCellOnlyWhileTodayIsInTheGrid) {
    CalendarModel model(local(2026, 3, 31, 23), queue);
    EXPECT_EQ(countToday(model.weeks(false)), 1);
    model.shift(1); // April's grid starts on 29 March: today is still in it
    EXPECT_EQ(countToday(model.weeks(false)), 1);
    model.shift(1);
    EXPECT_EQ(countToday(model.weeks(true)), 0);
    EXPECT_FALSE(model.isViewingCurrentMonth());
}

TEST_F(CalendarModelTest, NavigationMovesByWholeMonthsAndNotifiesOnlyOnChange) {
    CalendarModel model(local(2026, 12, 7, 9), queue);
    QSignalSpy spy(&model, &CalendarModel::displayedMonthChanged);
    model.goToToday();
    EXPECT_EQ(spy.count(), 0);

    model.shift(1);
    EXPECT_EQ(model.displayedMonth(), local(2027, 1, 1));
    model.jumpTo(local(2024, 3, 1));
    model.shift(-12);
    EXPECT_EQ(model.displayedMonth(), local(2023, 3, 1));
    model.jumpTo(local(2028, 2, 29, 15));
    EXPECT_EQ(model.displayedMonth(), local(2028, 2, 1));
    EXPECT_EQ(spy.count(), 4);
    model.goToToday();
    EXPECT_TRUE(model.isViewingCurrentMonth());
}

TEST_F(CalendarModelTest, HeadingsAndTitleFollowTheLocale) {
    CalendarModel model(local(2026, 12, 7), queue);
    EXPECT_EQ(model.weekdaySymbols(true), QStringList({"M", "T", "W", "T", "F", "S", "S"}));
    EXPECT_EQ(model.weekdaySymbols(false), QStringList({"S", "M", "T", "W", "T", "F", "S"}));
    EXPECT_EQ(model.monthTitle(), "December 2026");
    {
        ScopedCalendarPin german("de_DE", "Europe/Berlin");
        EXPECT_EQ(model.monthTitle(), QString::fromUtf8("Dezember 2026"));
        EXPECT_EQ(model.weekdaySymbols(true).first(), "M");
    }
    ScopedCalendarPin japanese("ja_JP", "Asia/Tokyo");
    model.jumpTo(*Calendar::current().date(2026, 3, 15));
    EXPECT_EQ(model.monthTitle(), QString::fromUtf8("2026年3月"));
}

TEST_F(CalendarModelTest, MidnightTimerTurnsTodayAndRearmsWithoutMovingTheMonth) {
    queue.setWallClock(local(2026, 12, 31, 23, 59, 59));
    CalendarModel model(queue.now(), queue);
    QSignalSpy today(&model, &CalendarModel::todayChanged);

    queue.advance(1.5);
    EXPECT_EQ(today.count(), 0);
    queue.advance(1.0);
    EXPECT_EQ(today.count(), 1);
    EXPECT_EQ(model.today(), local(2027, 1, 1));
    EXPECT_EQ(model.displayedMonth(), local(2026, 12, 1));
    EXPECT_FALSE(model.isViewingCurrentMonth());
    EXPECT_EQ(countToday(model.weeks(false)), 1); // 1 January is a trailing cell of December's grid

    queue.advance(24 * 3600);
    EXPECT_EQ(model.today(), local(2027, 1, 2));
    EXPECT_EQ(queue.pendingCount(), 1u);
}

TEST_F(CalendarModelTest, SuspendOverMidnightTurnsTodayOnWake) {
    queue.setWallClock(local(2026, 6, 10, 22));
    CalendarModel model(queue.now(), queue);
    queue.suspend(10 * 3600); // the monotonic clock stands still while asleep
    EXPECT_EQ(model.today(), local(2026, 6, 11));
}

TEST_F(CalendarModelTest, TimerOfADestroyedModelDoesNothing) {
    queue.setWallClock(local(2026, 6, 10, 23));
    { CalendarModel model(queue.now(), queue); }
    queue.advance(7200);
    EXPECT_EQ(queue.pendingCount(), 0u);
}
