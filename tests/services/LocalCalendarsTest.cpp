#include "platform/linux/VdirEventStore.h"
#include "services/CalendarEventsService.h"

#include "support/CapturingLogSink.h"
#include "support/QtPrinters.h"
#include "support/Unprivileged.h"
#include "support/VdirTree.h"
#include "support/VirtualMainQueue.h"
#include "utilities/UserDefaults.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// The service over a real vdir tree, as the program runs it.
class LocalCalendarsTest : public ::testing::Test {
protected:
    QString root() const { return tree_.root(); }
    void write(const QString& relativePath, const QByteArray& content) { tree_.write(relativePath, content); }
    static QByteArray event(const QString& uid, const QString& summary, const QString& start) {
        return VdirTree::event(uid, summary, {start});
    }

    CalendarEventsService& service() {
        if (!service_) {
            auto store = std::make_unique<VdirEventStore>(root(), queue_);
            store_ = store.get();
            service_ = std::make_unique<CalendarEventsService>(std::move(store), defaults_);
        }
        return *service_;
    }
    // The service once its store has read the tree and the service has refreshed from that reading.
    CalendarEventsService& loadedService() {
        CalendarEventsService& created = service();
        QSignalSpy refreshed(&created, &CalendarEventsService::changeTokenChanged);
        EXPECT_TRUE(refreshed.wait(5000));
        return created;
    }
    QStringList titles(const QList<DayEvent>& events) {
        QStringList result;
        for (const DayEvent& e : events)
            result << e.timeLabel() + u' ' + e.title();
        return result;
    }

    ScopedCalendarPin pin_{QStringLiteral("en_US"), QStringLiteral("Europe/Berlin")};
    CapturingLogSink log;
    VdirTree tree_;
    UserDefaults defaults_{tree_.scratchPath(QStringLiteral("defaults.json"))};
    VirtualMainQueue queue_;
    VdirEventStore* store_ = nullptr;
    std::unique_ptr<CalendarEventsService> service_;
    const Instant march10_ = *Calendar::current().date(2027, 3, 10, 12);
};

} // namespace

TEST_F(LocalCalendarsTest, AccessRequestCreatesTheTreeAndRefreshes) {
    EXPECT_EQ(service().authorization(), EventAuthorizationStatus::notDetermined);

    service().requestAccess();

    EXPECT_TRUE(QFileInfo(root()).isDir());
    EXPECT_EQ(service().authorization(), EventAuthorizationStatus::fullAccess);
    EXPECT_EQ(service().changeToken(), 1);
    EXPECT_EQ(
        log.messages("events"),
        QStringList{"calendar sources refreshed: 0 sources, 0/0 calendars included, 0 delegate sources"});
}

TEST_F(LocalCalendarsTest, DayListComesFromTheTreeAndFollowsIt) {
    write("work/displayname", "Work\n");
    write("work/team/color", "#336699\n");
    write("work/team/standup.ics",
          event("standup-uid", " Standup ", "DTSTART;TZID=Europe/Berlin:20270310T093000"));
    write("holidays/day.ics", event("holiday-uid", "Holiday", "DTSTART;VALUE=DATE:20270310"));
    loadedService().setCalendar("nothing", false);

    ASSERT_EQ(service().calendarGroups().size(), 2);
    EXPECT_EQ(service().calendarGroups().at(0).title, "Other");
    EXPECT_EQ(service().calendarGroups().at(1).id, "work");
    const QList<DayEvent> events = service().events(march10_);
    EXPECT_EQ(titles(events), (QStringList{"All day Holiday", "9:30\u202fAM Standup"}));
    const Instant standup = *Calendar::current().date(2027, 3, 10, 9, 30);
    EXPECT_EQ(events.at(1).id(),
              "work/team/standup-uid|" + shortestRoundTripText(standup.secondsSince2001()));
    EXPECT_EQ(events.at(1).dedupKey(), "standup-uid|" + QString::number(qint64(standup.secondsSince1970())));
    EXPECT_EQ(events.at(1).color(), QColor("#336699"));

    const int token = service().changeToken();
    write("work/team/review.ics", event("review-uid", "Review", "DTSTART:20270310T150000Z"));
    VdirTree::settle(*store_, queue_);

    EXPECT_EQ(service().changeToken(), token + 1);
    EXPECT_EQ(titles(service().events(march10_)),
              (QStringList{"All day Holiday", "9:30\u202fAM Standup", "4:00\u202fPM Review"}));

    service().setCalendar("holidays", false);
    EXPECT_EQ(titles(service().events(march10_)),
              (QStringList{"9:30\u202fAM Standup", "4:00\u202fPM Review"}));
}

TEST_F(LocalCalendarsTest, TheDayFillsInOnceTheTreeHasBeenRead) {
    write("holidays/day.ics", event("holiday-uid", "Holiday", "DTSTART;VALUE=DATE:20270310"));

    // Reading the tree does not hold up the first refresh or the first day query: even the calendars come
    // with the reading, since listing their folders may take long.
    EXPECT_TRUE(service().calendarGroups().isEmpty());
    EXPECT_EQ(service().changeToken(), 1);
    EXPECT_TRUE(service().events(march10_).isEmpty());

    QSignalSpy refreshed(&service(), &CalendarEventsService::changeTokenChanged);
    ASSERT_TRUE(refreshed.wait(5000));
    EXPECT_EQ(service().changeToken(), 2);
    ASSERT_EQ(service().calendarGroups().size(), 1);
    EXPECT_EQ(service().calendarGroups().first().calendars.first().id, "holidays");
    EXPECT_TRUE(service().hasIncludedCalendars());
    EXPECT_EQ(titles(service().events(march10_)), QStringList{"All day Holiday"});
    EXPECT_EQ(
        log.messages("events"),
        (QStringList{"calendar sources refreshed: 0 sources, 0/0 calendars included, 0 delegate sources",
                     "calendar sources refreshed: 1 sources, 1/1 calendars included, 0 delegate sources"}));
}

TEST_F(LocalCalendarsTest, AccessFollowsTheRootGoingAndComingBack) {
    QDir().mkpath(root());
    loadedService();
    ASSERT_EQ(service().authorization(), EventAuthorizationStatus::fullAccess);

    QDir().rmdir(root());
    VdirTree::settle(*store_, queue_);
    EXPECT_EQ(service().authorization(), EventAuthorizationStatus::notDetermined);

    // A plain file in its place is no tree to read.
    QFile(root()).open(QIODevice::WriteOnly);
    VdirTree::settle(*store_, queue_);
    EXPECT_EQ(service().authorization(), EventAuthorizationStatus::denied);
    QFile::remove(root());
    VdirTree::settle(*store_, queue_);
    EXPECT_EQ(service().authorization(), EventAuthorizationStatus::notDetermined);

    // Made again, the tree is read and watched again.
    QDir().mkpath(root());
    VdirTree::settle(*store_, queue_);
    EXPECT_EQ(service().authorization(), EventAuthorizationStatus::fullAccess);
    write("holidays/day.ics", event("holiday-uid", "Holiday", "DTSTART;VALUE=DATE:20270310"));
    VdirTree::settle(*store_, queue_);
    EXPECT_EQ(titles(service().events(march10_)), QStringList{"All day Holiday"});
}

TEST_F(LocalCalendarsTest, AccessFollowsTheRootsPermissions) {
    MONDREL_RUN_UNPRIVILEGED();
    QDir().mkpath(root());
    loadedService();

    ::chmod(QFile::encodeName(root()).constData(), 0);
    VdirTree::settle(*store_, queue_);
    EXPECT_EQ(service().authorization(), EventAuthorizationStatus::denied);

    ::chmod(QFile::encodeName(root()).constData(), 0700);
    VdirTree::settle(*store_, queue_);
    EXPECT_EQ(service().authorization(), EventAuthorizationStatus::fullAccess);
}
