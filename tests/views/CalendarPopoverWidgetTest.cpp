#include "views/CalendarPopoverWidget.h"

#include "ViewFixture.h"
#include "app/SettingsPresenter.h"
#include "support/MainThreadWatch.h"
#include "support/QtPrinters.h"
#include "support/VdirTree.h"
#include "utilities/MondrelTheme.h"
#include "views/CalendarViewWidget.h"
#include "views/Controls.h"
#include "views/DayEventsSection.h"
#include "views/DayEventsSectionWidget.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QListView>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

namespace {

// The popover drawn offscreen over a real vdir tree; the images stay in the build folder for a person to
// look at.
class CalendarPopoverWidgetTest : public ViewFixture {
protected:
    CalendarPopoverWidgetTest() : ViewFixture(Store::vdir) {}

    void write(const QString& relativePath, const QByteArray& content) {
        const QString path = calendarFolder() + u'/' + relativePath;
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    void writeEvent(const QString& calendar, const QString& uid, const QString& summary, const QString& start,
                    const QString& end) {
        write(calendar + u'/' + uid + QStringLiteral(".ics"),
              QStringLiteral("BEGIN:VCALENDAR\nVERSION:2.0\nPRODID:-//test//EN\nBEGIN:VEVENT\nUID:%1\n"
                             "SUMMARY:%2\n%3\n%4\nEND:VEVENT\nEND:VCALENDAR\n")
                  .arg(uid, summary, start, end)
                  .toUtf8());
    }

    static QImage render(QWidget& widget) {
        widget.show();
        QCoreApplication::processEvents();
        return widget.grab().toImage();
    }
    static void keep(const QImage& image, const QString& name) {
        const QString path = QCoreApplication::applicationDirPath() + u'/' + name;
        EXPECT_TRUE(image.save(path)) << path.toStdString();
    }
    template <typename Button> static Button* buttonTitled(const QWidget& parent, const QString& text) {
        for (Button* button : parent.findChildren<Button*>())
            if (button->text() == text && button->isVisible())
                return button;
        return nullptr;
    }
    static bool isAccent(QColor color) {
        const QColor accent = MondrelTheme::accent();
        return qAbs(color.red() - accent.red()) <= 2 && qAbs(color.green() - accent.green()) <= 2 &&
               qAbs(color.blue() - accent.blue()) <= 2;
    }

    // What the day list draws now: the titles of the rows a person can see, and the line shown instead.
    struct DrawnDay {
        QStringList titles;
        QString message;
    };
    static DrawnDay drawnDay(CalendarPopoverWidget& popover) {
        // A layout request climbs one level of the widget tree per turn of the loop.
        for (int turn = 0; turn < 3; ++turn)
            QCoreApplication::processEvents();
        DrawnDay drawn;
        auto* section = popover.findChild<DayEventsSectionWidget*>();
        if (!section || !section->isVisible())
            return drawn;
        const QRect shown = popover.rect();
        const auto onScreen = [&](const QWidget* widget) {
            return widget->isVisible() && widget->height() > 0 &&
                   shown.intersects(QRect(widget->mapTo(&popover, QPoint(0, 0)), widget->size()));
        };
        const QLabel* heading = section->findChild<QLabel*>();
        for (const QLabel* label : section->findChildren<QLabel*>())
            if (label != heading && onScreen(label) && !label->text().isEmpty())
                drawn.message = label->text();
        auto* list = section->findChild<QListView*>();
        if (!list || !onScreen(list->viewport()))
            return drawn;
        const QRect viewport = list->viewport()->rect();
        for (int row = 0; row < list->model()->rowCount(); ++row) {
            const QModelIndex index = list->model()->index(row, 0);
            const QRect drawnRect = list->visualRect(index);
            if (drawnRect.height() > 0 && viewport.intersects(drawnRect))
                drawn.titles << index.data().toString();
        }
        return drawn;
    }
    void expectDrawsDescription(CalendarPopoverWidget& popover, const QStringList& titles, const char* step) {
        SCOPED_TRACE(step);
        const DrawnDay drawn = drawnDay(popover);
        EXPECT_EQ(drawn.titles, titles);
        EXPECT_EQ(drawn.message, titles.isEmpty() ? QStringLiteral("Nothing scheduled.") : QString());
        // The window takes the size its content asks for.
        EXPECT_EQ(popover.size(), popover.sizeHint());
    }
    void selectByJump(CalendarViewWidget& calendar, const QString& text) {
        auto* field = calendar.findChild<QLineEdit*>();
        ASSERT_TRUE(field);
        field->selectAll();
        QTest::keyClicks(field, text);
        QTest::keyClick(field, Qt::Key_Return);
    }
    // Waits for the local calendars to read the change just written.
    void awaitStoreChange() {
        QSignalSpy refreshed(eventsService.get(), &CalendarEventsService::changeTokenChanged);
        VdirTree::settle(*vdirStore, queue);
        if (refreshed.isEmpty()) {
            ASSERT_TRUE(refreshed.wait(5000));
        }
    }
    // Half an hour from `start` (local "yyyyMMddThhmm") in the work calendar.
    void writeMeeting(const QString& uid, const QString& title, const QString& start) {
        const QDateTime from = QDateTime::fromString(start, QStringLiteral("yyyyMMdd'T'hhmm"));
        const auto line = [](const char* name, const QDateTime& at) {
            return QStringLiteral("%1;TZID=Europe/Berlin:%2").arg(name, at.toString("yyyyMMdd'T'hhmmss"));
        };
        writeEvent("work", uid, title, line("DTSTART", from), line("DTEND", from.addSecs(1800)));
    }
    void writeWorkDays() {
        write("work/color", "#34C759\n");
        writeMeeting("standup", "Standup", "20261207T0930");
        writeMeeting("review", "Design review", "20261207T1600");
        writeMeeting("planning", "Planning", "20261208T1100");
        writeMeeting("tomorrow", "Dentist", "20261208T0800");
        writeMeeting("xmas", "Christmas lunch", "20271225T1200");
    }
};

TEST_F(CalendarPopoverWidgetTest, SignedInShowsTheMonthAndTheDaysEvents) {
    write("personal/displayname", "Personal\n");
    write("personal/color", "#3478F6\n");
    write("work/color", "#34C759\n");
    writeEvent("personal", "holiday", "Office closed", "DTSTART;VALUE=DATE:20261207",
               "DTEND;VALUE=DATE:20261208");
    writeEvent("work", "standup", "Standup", "DTSTART;TZID=Europe/Berlin:20261207T093000",
               "DTEND;TZID=Europe/Berlin:20261207T094500");
    writeEvent("personal", "lunch", "Lunch with a friend who likes very long restaurant names",
               "DTSTART;TZID=Europe/Berlin:20261207T123000", "DTEND;TZID=Europe/Berlin:20261207T133000");
    writeEvent("work", "review", "Design review", "DTSTART;TZID=Europe/Berlin:20261207T160000",
               "DTEND;TZID=Europe/Berlin:20261207T170000");
    startLocalCalendars();
    defaults.setBool(CalendarView::kShowWeekNumbersKey, true);
    signIn();

    CalendarPopoverWidget popover(environment());
    const QImage image = render(popover);
    keep(image, QStringLiteral("popover-signed-in.png"));
    EXPECT_EQ(image.width(), 300);
    EXPECT_EQ(popover.width(), 300);

    ASSERT_TRUE(popover.calendar());
    const DayCellButton* today = popover.calendar()->cellOf(day(2026, 12, 7));
    ASSERT_TRUE(today);
    // Inside the filled circle, clear of the number.
    const QPoint inside = today->mapTo(&popover, QPoint(6, today->height() / 2));
    EXPECT_TRUE(isAccent(image.pixelColor(inside))) << image.pixelColor(inside).name().toStdString();
    const DayCellButton* other = popover.calendar()->cellOf(day(2026, 12, 8));
    const QPoint outside = other->mapTo(&popover, QPoint(6, other->height() / 2));
    EXPECT_FALSE(isAccent(image.pixelColor(outside)));

    const QStringList shown = drawnDay(popover).titles;
    EXPECT_TRUE(shown.contains("Office closed")) << shown.join(", ").toStdString();
    EXPECT_TRUE(shown.contains("Design review"));
}

TEST_F(CalendarPopoverWidgetTest, ClicksAndReturnDriveTheMonth) {
    startLocalCalendars();
    signIn();
    CalendarPopoverWidget popover(environment());
    render(popover);
    CalendarViewWidget* calendar = popover.calendar();
    ASSERT_TRUE(calendar);

    DayCellButton* ninth = calendar->cellOf(day(2026, 12, 9));
    QTest::mouseClick(ninth, Qt::LeftButton);
    EXPECT_EQ(calendar->view().selectedDay(), day(2026, 12, 9));
    EXPECT_EQ(ninth->cell().background, DayCellDescription::Background::ring);

    TextButton* title = buttonTitled<TextButton>(*calendar, QStringLiteral("December 2026"));
    ASSERT_TRUE(title);
    QTest::mouseClick(title, Qt::LeftButton, Qt::ShiftModifier);
    EXPECT_EQ(title->text(), "December 2026");
    QTest::mouseClick(title, Qt::LeftButton, Qt::AltModifier | Qt::ShiftModifier);
    EXPECT_EQ(title->text(), "December 2025");
    QTest::mouseClick(title, Qt::LeftButton, Qt::AltModifier);
    EXPECT_EQ(title->text(), "December 2026");

    QLineEdit* field = calendar->findChild<QLineEdit*>();
    ASSERT_TRUE(field);
    QTest::keyClicks(field, QStringLiteral("not a date"));
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_TRUE(calendar->view().jumpFailed());
    keep(render(popover), QStringLiteral("popover-jump-failed.png"));
    field->selectAll();
    QTest::keyClicks(field, QStringLiteral("2027-02-14"));
    EXPECT_FALSE(calendar->view().jumpFailed());
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(field->text(), QString());
    EXPECT_EQ(calendar->view().selectedDay(), day(2027, 2, 14));
    ASSERT_TRUE(calendar->cellOf(day(2027, 2, 14)));
}

TEST_F(CalendarPopoverWidgetTest, SignedOutShowsThePromptAtTheSameWidth) {
    startLocalCalendars();
    makeDelegate();
    signIn();
    CalendarPopoverWidget popover(environment());
    render(popover);
    ASSERT_TRUE(popover.calendar());

    signOut();
    EXPECT_FALSE(popover.calendar()) << "the route replaces the content at once";
    const QImage image = render(popover);
    keep(image, QStringLiteral("popover-signed-out.png"));
    EXPECT_EQ(image.width(), 300);

    AccentButton* signInButton = buttonTitled<AccentButton>(popover, QStringLiteral("Sign in"));
    ASSERT_TRUE(signInButton);
    QTest::mouseClick(signInButton, Qt::LeftButton);
    EXPECT_EQ(gatesMade, 1);
}

TEST_F(CalendarPopoverWidgetTest, ShowMyEventsAsksForAccessAndThePromptFollows) {
    useLocalCalendars(); // no calendar folder yet
    signIn();
    CalendarPopoverWidget popover(environment());
    render(popover);
    TextButton* showMyEvents = buttonTitled<TextButton>(popover, QStringLiteral("Show my events"));
    ASSERT_TRUE(showMyEvents);

    QTest::mouseClick(showMyEvents, Qt::LeftButton);
    EXPECT_TRUE(QFileInfo(calendarFolder()).isDir()) << "access on Linux is a folder of our own";
    QDeadlineTimer deadline(5000);
    while (!buttonTitled<TextButton>(popover, QStringLiteral("Open Mondrel Settings")) &&
           !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    // An empty folder holds no calendar to include.
    TextButton* openSettings = buttonTitled<TextButton>(popover, QStringLiteral("Open Mondrel Settings"));
    ASSERT_TRUE(openSettings);
    QTest::mouseClick(openSettings, Qt::LeftButton);
    EXPECT_EQ(settingsOpened, 1);
    SettingsPresenter::setOpenAction({});
}

TEST_F(CalendarPopoverWidgetTest, TheDayListDrawsTheListedDayAfterEveryClickAndJump) {
    writeWorkDays();
    startLocalCalendars();
    signIn();
    CalendarPopoverWidget popover(environment());
    // The window is sized and placed before it shows, and keeps that size once shown.
    popover.adjustSize();
    const QSize placed = popover.size();
    render(popover);
    EXPECT_EQ(popover.size(), placed);
    CalendarViewWidget* calendar = popover.calendar();
    ASSERT_TRUE(calendar);
    const QStringList today{"Standup", "Design review"};
    const QStringList tomorrow{"Dentist", "Planning"};
    expectDrawsDescription(popover, today, "first open");

    QTest::mouseClick(calendar->cellOf(day(2026, 12, 9)), Qt::LeftButton);
    expectDrawsDescription(popover, {}, "a day without events");
    QTest::mouseClick(calendar->cellOf(day(2026, 12, 8)), Qt::LeftButton);
    expectDrawsDescription(popover, tomorrow, "another day");
    keep(render(popover), QStringLiteral("popover-second-day.png"));
    QTest::mouseClick(calendar->cellOf(day(2026, 12, 7)), Qt::LeftButton);
    expectDrawsDescription(popover, today, "back to the first day");

    selectByJump(*calendar, QStringLiteral("tomorrow"));
    expectDrawsDescription(popover, tomorrow, "jump to tomorrow");
    selectByJump(*calendar, QStringLiteral("2027-12-25"));
    expectDrawsDescription(popover, {"Christmas lunch"}, "jump a year ahead");
    selectByJump(*calendar, QStringLiteral("garbage"));
    EXPECT_TRUE(calendar->view().jumpFailed());
    expectDrawsDescription(popover, {"Christmas lunch"}, "a jump that finds no date");
    QTest::mouseClick(buttonTitled<TextButton>(popover, QStringLiteral("Today")), Qt::LeftButton);
    expectDrawsDescription(popover, today, "Today");

    popover.hide();
    render(popover);
    expectDrawsDescription(popover, today, "opened again");
}

TEST_F(CalendarPopoverWidgetTest, TheOpenDayListFollowsFilesAddedChangedAndRemoved) {
    writeWorkDays();
    startLocalCalendars();
    signIn();
    CalendarPopoverWidget popover(environment());
    render(popover);
    QTest::mouseClick(popover.calendar()->cellOf(day(2026, 12, 8)), Qt::LeftButton);
    expectDrawsDescription(popover, {"Dentist", "Planning"}, "before");

    writeMeeting("call", "Call the bank", "20261208T0930");
    awaitStoreChange();
    expectDrawsDescription(popover, {"Dentist", "Call the bank", "Planning"}, "a file added");

    writeMeeting("planning", "Planning, moved", "20261208T0700");
    awaitStoreChange();
    expectDrawsDescription(popover, {"Planning, moved", "Dentist", "Call the bank"}, "a file changed");

    for (const char* uid : {"tomorrow", "planning", "call"})
        ASSERT_TRUE(QFile::remove(calendarFolder() + QStringLiteral("/work/%1.ics").arg(uid)));
    awaitStoreChange();
    expectDrawsDescription(popover, {}, "every file removed");
}

TEST_F(CalendarPopoverWidgetTest, AClickBeforeTheFolderIsReadDrawsTheDayOnceItIs) {
    writeWorkDays();
    signIn();
    useLocalCalendars();
    QSignalSpy refreshed(eventsService.get(), &CalendarEventsService::changeTokenChanged);
    CalendarPopoverWidget popover(environment());
    render(popover);
    if (refreshed.isEmpty()) {
        ASSERT_TRUE(refreshed.wait(5000));
    }
    expectDrawsDescription(popover, {"Standup", "Design review"}, "after the folder was read");
}

TEST_F(CalendarPopoverWidgetTest, AScrolledDayListKeepsItsPlaceWhenFilesChange) {
    for (const QString& date : {QStringLiteral("20261207"), QStringLiteral("20261208")})
        for (int i = 0; i < 30; ++i)
            writeMeeting(date + QString::number(i), QStringLiteral("Meeting %1").arg(i),
                         date + QTime(7, 0).addSecs(i * 900).toString("'T'hhmm"));
    startLocalCalendars();
    signIn();
    CalendarPopoverWidget popover(environment());
    render(popover);
    auto* list = popover.findChild<QListView*>();
    ASSERT_TRUE(list);
    EXPECT_EQ(list->height(), DayEventsSection::kMaximumListHeight);
    QScrollBar* bar = list->verticalScrollBar();
    bar->setValue(200);
    const auto topRow = [list] { return list->indexAt(QPoint(1, 1)).data().toString(); };
    const QString top = topRow();
    EXPECT_NE(top, "Meeting 0");

    // A file added at the end and one in view renamed.
    writeMeeting("late", "Late meeting", "20261207T2300");
    writeMeeting("2026120712", "Renamed", "20261207T1000");
    awaitStoreChange();
    EXPECT_EQ(bar->value(), 200);
    EXPECT_EQ(topRow(), top);
    EXPECT_EQ(list->model()->rowCount(), 31);
    EXPECT_EQ(list->model()->index(12, 0).data().toString(), "Renamed");

    // Another day starts at its top, as when it is opened fresh.
    QTest::mouseClick(popover.calendar()->cellOf(day(2026, 12, 8)), Qt::LeftButton);
    EXPECT_EQ(bar->value(), 0);
    EXPECT_EQ(topRow(), "Meeting 0");
}

} // namespace

// On a short screen the day list gives up height, never the grid or the footer: within the limit the
// popover keeps its jump field whole, tells the tallest it can become (placed for that, it grows and
// shrinks away from the grid), and where not even a row fits the day's section gives way. A quiet day
// takes less room, never more than that tallest.
TEST_F(CalendarPopoverWidgetTest, AShortScreenShortensTheDayListAndKeepsTheFooter) {
    for (int i = 0; i < 10; ++i)
        writeMeeting(QStringLiteral("busy%1").arg(i), QStringLiteral("Meeting %1").arg(i),
                     QStringLiteral("20261207") + QTime(7, 0).addSecs(i * 1800).toString("'T'hhmm"));
    startLocalCalendars();
    signIn();
    CalendarPopoverWidget popover(environment());
    render(popover);
    auto* list = popover.findChild<QListView*>();
    auto* field = popover.findChild<QLineEdit*>();
    ASSERT_TRUE(list && field);
    const auto settled = [&popover] {
        for (int turn = 0; turn < 3; ++turn)
            QCoreApplication::processEvents();
        popover.adjustSize();
        return popover.height();
    };
    const auto fieldInside = [&] {
        return popover.rect().contains(QRect(field->mapTo(&popover, QPoint(0, 0)), field->size()));
    };
    ASSERT_EQ(list->height(), DayEventsSection::kMaximumListHeight);
    const int full = settled();
    EXPECT_EQ(popover.tallestHeight(), full) << "a day that fills the list is the tallest";

    const int limit = full - 100;
    popover.setHeightLimit(limit);
    EXPECT_EQ(settled(), limit);
    EXPECT_EQ(list->height(), DayEventsSection::kMaximumListHeight - 100) << "the rows scroll";
    EXPECT_TRUE(fieldInside());
    EXPECT_EQ(popover.tallestHeight(), limit);

    QTest::mouseClick(popover.calendar()->cellOf(day(2026, 12, 9)), Qt::LeftButton);
    EXPECT_LT(settled(), limit) << "nothing scheduled";
    EXPECT_EQ(popover.tallestHeight(), limit);
    QTest::mouseClick(popover.calendar()->cellOf(day(2026, 12, 7)), Qt::LeftButton);
    EXPECT_EQ(settled(), limit);

    const int grid = full - DayEventsSection::kMaximumListHeight;
    popover.setHeightLimit(grid - 40);
    EXPECT_FALSE(popover.findChild<DayEventsSectionWidget*>()->isVisible()) << "not a row fits";
    EXPECT_LE(settled(), grid - 40);
    EXPECT_TRUE(fieldInside());
    EXPECT_EQ(popover.tallestHeight(), popover.height());

    popover.setHeightLimit(std::nullopt);
    EXPECT_EQ(settled(), full);
    EXPECT_EQ(list->height(), DayEventsSection::kMaximumListHeight);
}

// One day of 145,000 occurrences held the main thread for a third of a second at every query and more at
// every render: a day lists the first few thousand of them, and says once how many it left out.
TEST_F(CalendarPopoverWidgetTest, ADayOfAHundredThousandEventsIsListedAndDrawnWithoutAStall) {
    constexpr int kFiles = 50;
    constexpr int kEventsPerFile = 2000;
    for (int f = 0; f < kFiles; ++f) {
        QStringList lines;
        for (int i = 0; i < kEventsPerFile; ++i) {
            // Two a second from 06:00 UTC on the popover's today, the earliest in the last file.
            const int number = i * kFiles + (kFiles - 1 - f);
            const QTime start = QTime(6, 0).addSecs(number / 2);
            lines << "BEGIN:VEVENT" << QStringLiteral("UID:crowd-%1-%2").arg(f).arg(i)
                  << QStringLiteral("SUMMARY:Crowd %1").arg(number)
                  << "DTSTART:20261207T" + start.toString("hhmmss") + 'Z' << "DURATION:PT15M"
                  << "END:VEVENT";
        }
        write(QStringLiteral("crowd/%1.ics").arg(f), VdirTree::calendar(lines));
    }
    startLocalCalendars();
    signIn();
    // What is measured is the day, not the making of the window (as long with an empty day).
    CalendarPopoverWidget popover(environment());
    render(popover);

    // Each step on its own: the day query, and a click that draws the day again.
    auto expectQuick = [](const std::function<void()>& step) {
        const MainThreadWatch watch;
        step();
        watch.expectResponsiveAndBounded();
    };
    QList<DayEvent> listed;
    expectQuick([&] { listed = eventsService->events(day(2026, 12, 7)); });
    expectQuick([&] { QTest::mouseClick(popover.calendar()->cellOf(day(2026, 12, 8)), Qt::LeftButton); });
    expectQuick([&] {
        QTest::mouseClick(popover.calendar()->cellOf(day(2026, 12, 7)), Qt::LeftButton);
        QCoreApplication::processEvents();
    });
    const DrawnDay drawn = drawnDay(popover);

    ASSERT_EQ(listed.size(), qsizetype(VdirSnapshot::kMostListed));
    // The earliest of the day, in order.
    EXPECT_EQ(listed.first().title(), "Crowd 0");
    EXPECT_EQ(listed.last().title(), QStringLiteral("Crowd %1").arg(VdirSnapshot::kMostListed - 1));
    ASSERT_FALSE(drawn.titles.isEmpty());
    EXPECT_EQ(drawn.titles.first(), "Crowd 0");
    EXPECT_EQ(log.messages("events").filter("events_left_out"),
              QStringList{QStringLiteral("events_left_out from=2026-12-06T23:00:00Z listed=%1 left_out=%2")
                              .arg(VdirSnapshot::kMostListed)
                              .arg(kFiles * kEventsPerFile - int(VdirSnapshot::kMostListed))});
}
