#include "views/CalendarView.h"

#include "ViewFixture.h"
#include "app/SettingsPresenter.h"
#include "support/QtPrinters.h"

#include <QSignalSpy>

namespace {

using Background = DayCellDescription::Background;

class CalendarViewTest : public ViewFixture {
protected:
    CalendarView view{environment()};

    // Every cell of the grid that is drawn with the given background.
    QList<Instant> cellsWith(Background background) const {
        QList<Instant> result;
        for (const WeekRowDescription& row : view.description().rows)
            for (const DayCellDescription& cell : row.cells)
                if (cell.background == background)
                    result << cell.date;
        return result;
    }
    const DayCellDescription& cellOf(const CalendarViewDescription& description, Instant date) const {
        for (const WeekRowDescription& row : description.rows)
            for (const DayCellDescription& cell : row.cells)
                if (cell.date == date)
                    return cell;
        throw std::runtime_error("no such cell");
    }
};

TEST_F(CalendarViewTest, TodayIsSelectedWhenTheViewFirstAppearsAndAnExistingSelectionIsKept) {
    EXPECT_FALSE(view.description().listedDay);
    view.appear();
    EXPECT_EQ(view.selectedDay(), day(2026, 12, 7));
    EXPECT_EQ(view.description().listedDay, day(2026, 12, 7));
    EXPECT_EQ(cellsWith(Background::filledCircle), QList<Instant>{day(2026, 12, 7)});
    EXPECT_TRUE(cellsWith(Background::ring).isEmpty()) << "today selected shows no ring";

    view.select(day(2026, 12, 20));
    view.appear();
    EXPECT_EQ(view.selectedDay(), day(2026, 12, 20));
}

TEST_F(CalendarViewTest, CellsCarryTheirStylingAndLabels) {
    view.appear();
    view.select(day(2027, 1, 2)); // a trailing day of the next month
    const CalendarViewDescription description = view.description();
    EXPECT_EQ(description.title, "December 2026");
    EXPECT_EQ(description.weekdaySymbols, (QStringList{"S", "M", "T", "W", "T", "F", "S"}));
    ASSERT_EQ(description.rows.size(), 6);

    const DayCellDescription& today = cellOf(description, day(2026, 12, 7));
    EXPECT_EQ(today.ink, Ink::onAccent);
    EXPECT_TRUE(today.bold);
    EXPECT_EQ(today.accessibilityLabel, "Today, Monday, December 7, 2026");

    const DayCellDescription& selected = cellOf(description, day(2027, 1, 2));
    EXPECT_EQ(selected.background, Background::ring);
    EXPECT_EQ(selected.ink, Ink::dimmed) << "a selected day of another month keeps its dimmed number";
    EXPECT_FALSE(selected.bold);
    EXPECT_EQ(selected.text, "2");
    EXPECT_EQ(selected.accessibilityLabel, "Saturday, January 2, 2027");

    EXPECT_EQ(cellOf(description, day(2026, 12, 8)).ink, Ink::primary);
    EXPECT_EQ(description.title, "December 2026") << "selecting never moves the month";
}

TEST_F(CalendarViewTest, NavigationMovesTheMonthButNotTheSelection) {
    view.appear();
    QSignalSpy changes(&view, &CalendarView::changed);
    view.shift(1);
    EXPECT_EQ(view.description().title, "January 2027");
    EXPECT_EQ(view.selectedDay(), day(2026, 12, 7));
    EXPECT_EQ(view.description().listedDay, day(2026, 12, 7)) << "the list keeps the day off the grid";
    EXPECT_TRUE(cellsWith(Background::filledCircle).isEmpty());
    EXPECT_TRUE(view.description().footer.todayEnabled);
    EXPECT_EQ(changes.count(), 1);

    view.shift(-12);
    EXPECT_EQ(view.description().title, "January 2026");
    view.shift(12);
    view.shift(-1);
    EXPECT_EQ(view.description().title, "December 2026");
    EXPECT_EQ(cellsWith(Background::filledCircle), QList<Instant>{day(2026, 12, 7)});
}

TEST_F(CalendarViewTest, TitleClickMovesAYearOnlyWithAlt) {
    view.clickTitle(false, false);
    view.clickTitle(false, true);
    EXPECT_EQ(view.description().title, "December 2026");
    view.clickTitle(true, false);
    EXPECT_EQ(view.description().title, "December 2027");
    view.clickTitle(true, true);
    view.clickTitle(true, true);
    EXPECT_EQ(view.description().title, "December 2025");
}

TEST_F(CalendarViewTest, TodayButtonRestsExactlyWhileTodayIsSelectedInItsMonth) {
    view.appear();
    EXPECT_FALSE(view.description().footer.todayEnabled);

    view.select(day(2026, 12, 9));
    EXPECT_TRUE(view.description().footer.todayEnabled);
    view.showToday();
    EXPECT_FALSE(view.description().footer.todayEnabled);

    view.shift(-1);
    EXPECT_TRUE(view.description().footer.todayEnabled);
    view.showToday();
    EXPECT_EQ(view.description().title, "December 2026");
    EXPECT_EQ(view.selectedDay(), day(2026, 12, 7));
    EXPECT_FALSE(view.description().footer.todayEnabled);
}

TEST_F(CalendarViewTest, MidnightMovesTodayStylingAndWakesTheTodayButton) {
    queue.setWallClock(at(2026, 12, 31, 23, 59));
    CalendarModel lastDay(queue.now(), queue);
    ViewEnvironment env = environment();
    CalendarView lastDayView(ViewEnvironment{env.account, lastDay, env.events, env.google, env.defaults,
                                             env.mainQueue, env.workspace, env.calendarFolder,
                                             env.openSettings});
    lastDayView.appear();
    EXPECT_FALSE(lastDayView.description().footer.todayEnabled);
    QSignalSpy changes(&lastDayView, &CalendarView::changed);

    queue.advance(120);
    EXPECT_GE(changes.count(), 1);
    const CalendarViewDescription description = lastDayView.description();
    EXPECT_EQ(description.title, "December 2026") << "the month stays";
    EXPECT_EQ(lastDayView.selectedDay(), day(2026, 12, 31)) << "the old day stays selected";
    EXPECT_TRUE(description.footer.todayEnabled);
    QList<Instant> today;
    QList<Instant> ringed;
    for (const WeekRowDescription& row : description.rows)
        for (const DayCellDescription& cell : row.cells) {
            if (cell.background == Background::filledCircle)
                today << cell.date;
            if (cell.background == Background::ring)
                ringed << cell.date;
        }
    EXPECT_EQ(today, QList<Instant>{day(2027, 1, 1)}) << "1 January is a trailing cell of the grid";
    EXPECT_EQ(ringed, QList<Instant>{day(2026, 12, 31)});
}

TEST_F(CalendarViewTest, JumpShowsTheMonthSelectsTheDayAndEmptiesTheField) {
    view.appear();
    view.setJumpText(QStringLiteral("  2027-03-15 \n"));
    view.performJump();
    EXPECT_EQ(view.description().title, "March 2027");
    EXPECT_EQ(view.selectedDay(), day(2027, 3, 15));
    EXPECT_EQ(view.jumpText(), QString());
    EXPECT_FALSE(view.jumpFailed());
    EXPECT_EQ(cellsWith(Background::ring), QList<Instant>{day(2027, 3, 15)});

    // Relative words are read against the clock.
    view.setJumpText(QStringLiteral("tomorrow"));
    view.performJump();
    EXPECT_EQ(view.selectedDay(), day(2026, 12, 8));
    EXPECT_EQ(view.description().title, "December 2026");
}

TEST_F(CalendarViewTest, UnreadableJumpTurnsRedUntilTheNextEditAndBlankDoesNothing) {
    view.appear();
    view.setJumpText(QStringLiteral("banana bread"));
    view.performJump();
    EXPECT_TRUE(view.description().footer.jumpFailed);
    EXPECT_EQ(view.description().footer.jumpText, "banana bread") << "kept for correction";
    EXPECT_EQ(view.selectedDay(), day(2026, 12, 7));

    view.setJumpText(QStringLiteral("banana brea"));
    EXPECT_FALSE(view.jumpFailed());

    view.setJumpText(QStringLiteral("nope"));
    view.performJump();
    view.setJumpText(QStringLiteral("   "));
    EXPECT_FALSE(view.jumpFailed());
    view.performJump();
    EXPECT_FALSE(view.jumpFailed()) << "blank text sets no red state";

    view.setJumpText(QStringLiteral("nope"));
    view.performJump();
    QSignalSpy changes(&view, &CalendarView::changed);
    view.setJumpText(QStringLiteral("nope"));
    EXPECT_TRUE(view.jumpFailed()) << "the same text is no edit";
    EXPECT_EQ(changes.count(), 0);
    EXPECT_EQ(view.description().title, "December 2026");
}

TEST_F(CalendarViewTest, WeekNumberColumnFollowsTheSetting) {
    QSignalSpy changes(&view, &CalendarView::changed);
    CalendarViewDescription description = view.description();
    EXPECT_FALSE(description.weekNumberHeading);
    for (const WeekRowDescription& row : description.rows)
        EXPECT_FALSE(row.weekNumber);

    defaults.setBool(CalendarView::kShowWeekNumbersKey, true);
    EXPECT_EQ(changes.count(), 1);
    description = view.description();
    EXPECT_EQ(description.weekNumberHeading, "Wk");
    QStringList numbers;
    for (const WeekRowDescription& row : description.rows)
        numbers << row.weekNumber.value_or("-");
    EXPECT_EQ(numbers, (QStringList{"49", "50", "51", "52", "53", "1"}));

    defaults.setBool(CalendarView::kShowWeekNumbersKey, false);
    EXPECT_EQ(changes.count(), 2);
    EXPECT_FALSE(view.description().weekNumberHeading);
}

TEST_F(CalendarViewTest, FirstWeekdayComesFromTheSettingElseFromTheLocale) {
    EXPECT_FALSE(view.startOnMonday()) << "en_US weeks start on Sunday";
    EXPECT_EQ(view.description().rows.first().cells.first().date, day(2026, 11, 29));

    QSignalSpy changes(&view, &CalendarView::changed);
    defaults.setBool(CalendarView::kStartOnMondayKey, true);
    EXPECT_EQ(changes.count(), 1);
    const CalendarViewDescription description = view.description();
    EXPECT_EQ(description.weekdaySymbols.first(), "M");
    EXPECT_EQ(description.rows.first().cells.first().date, day(2026, 11, 30));

    ScopedCalendarPin german(QStringLiteral("de_DE"), QStringLiteral("Europe/Berlin"));
    defaults.remove(CalendarView::kStartOnMondayKey);
    EXPECT_TRUE(view.startOnMonday());
}

TEST_F(CalendarViewTest, SettingsButtonPresentsTheSettingsWithoutTouchingTheMonth) {
    view.appear();
    QSignalSpy changes(&view, &CalendarView::changed);
    view.openSettings();
    EXPECT_EQ(settingsOpened, 1);
    EXPECT_EQ(changes.count(), 0);
    SettingsPresenter::setOpenAction({});
}

} // namespace
