#include "views/DayEventsSectionWidget.h"

#include "ViewFixture.h"
#include "support/QtPrinters.h"

#include <QCoreApplication>
#include <QListView>
#include <QScrollBar>

namespace {

// The day list alone, as wide as in the popover, over the scripted database.
class DayEventsSectionWidgetTest : public ViewFixture {
protected:
    DayEventsSectionWidgetTest() {
        grantCalendarAccess();
        home = store->contents.calendars.first();
    }

    void addEvent(const QString& id, const QString& title, Instant start) {
        StoredEvent event;
        event.startDate = start;
        event.endDate = start.addingSeconds(30 * 60.0);
        event.title = title;
        event.calendar = home;
        event.eventIdentifier = id;
        event.calendarItemIdentifier = id;
        store->contents.events.append(event);
    }
    // A day of `count` meetings a quarter of an hour apart from 07:00.
    void fillDay(int dayOfMonth, int count) {
        for (int i = 0; i < count; ++i)
            addEvent(QStringLiteral("d%1-%2").arg(dayOfMonth).arg(i), QStringLiteral("Meeting %1").arg(i),
                     at(2026, 12, dayOfMonth, 7).addingSeconds(i * 15 * 60.0));
    }
    void storeChanged() {
        store->notifyChanged();
        QCoreApplication::processEvents();
    }
    static QString topRow(QListView& list) { return list.indexAt(QPoint(1, 1)).data().toString(); }

    EventCalendar home;
};

TEST_F(DayEventsSectionWidgetTest, AScrolledListKeepsItsPlaceWhileTheDayChangesUnderIt) {
    fillDay(7, 30);
    fillDay(8, 30);
    storeChanged();
    DayEventsSection section(environment(), day(2026, 12, 7));
    DayEventsSectionWidget widget(section);
    widget.setFixedWidth(276);
    widget.show();
    QCoreApplication::processEvents();
    auto* list = widget.findChild<QListView*>();
    ASSERT_TRUE(list);
    EXPECT_EQ(list->height(), DayEventsSection::kMaximumListHeight);
    QScrollBar* bar = list->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 200);

    bar->setValue(200);
    const QString top = topRow(*list);
    EXPECT_NE(top, "Meeting 0");
    // A file added at the end, one renamed in view, and an unrelated Google fetch.
    addEvent(QStringLiteral("late"), QStringLiteral("Late meeting"), at(2026, 12, 7, 23));
    store->contents.events[12].title = QStringLiteral("Renamed");
    storeChanged();
    google.ensureCoverage(day(2026, 12, 7));
    QCoreApplication::processEvents();
    EXPECT_EQ(bar->value(), 200);
    EXPECT_EQ(topRow(*list), top);
    EXPECT_EQ(list->model()->rowCount(), 31);
    EXPECT_EQ(list->model()->index(12, 0).data().toString(), "Renamed");

    // Another day starts at its top, as when it is opened fresh.
    section.setDay(day(2026, 12, 8));
    QCoreApplication::processEvents();
    EXPECT_EQ(bar->value(), 0);
    EXPECT_EQ(topRow(*list), "Meeting 0");
}

} // namespace
