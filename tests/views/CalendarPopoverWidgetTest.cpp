#include "views/CalendarPopoverWidget.h"

#include "ViewFixture.h"
#include "app/SettingsPresenter.h"
#include "utilities/MondrelTheme.h"
#include "views/CalendarViewWidget.h"
#include "views/Controls.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
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

    QStringList shown;
    for (const ElidedLabel* label : popover.findChildren<ElidedLabel*>())
        if (label->isVisible())
            shown << label->text();
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

} // namespace
