#include "platform/linux/VdirEventStore.h"

#include "platform/linux/QtMainQueue.h"
#include "support/CapturingLogSink.h"
#include "support/MainThreadWatch.h"
#include "support/QtPrinters.h"
#include "support/Unprivileged.h"
#include "support/VdirTree.h"
#include "support/VirtualMainQueue.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QThread>
#include <QThreadPool>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray ics(const QStringList& lines) {
    return VdirTree::calendar(lines);
}
QByteArray vevent(const QString& uid, const QString& summary, const QStringList& times) {
    return VdirTree::event(uid, summary, times);
}

// Holds the store's worker (a pool of one thread) until released: work started meanwhile waits.
class WorkerGate {
public:
    explicit WorkerGate(QThreadPool& pool) : pool_(pool) {}
    ~WorkerGate() { release(); }

    void hold() {
        held_ = true;
        pool_.start([this] { open_.acquire(); });
    }
    void release() {
        if (!std::exchange(held_, false))
            return;
        open_.release();
        pool_.waitForDone();
    }

private:
    QThreadPool& pool_;
    QSemaphore open_;
    bool held_ = false;
};

class VdirEventStoreTest : public ::testing::Test {
protected:
    VdirEventStoreTest() { pool_.setMaxThreadCount(1); }

    QString root() const { return tree_.root(); }
    void write(const QString& relativePath, const QByteArray& content) { tree_.write(relativePath, content); }
    void mkdir(const QString& relativePath) { tree_.mkdir(relativePath); }

    // A store that has not been asked anything yet; its notices are counted.
    VdirEventStore& coldStore() {
        if (!store_) {
            store_ = std::make_unique<VdirEventStore>(root(), queue_, nullptr, &pool_);
            QObject::connect(store_.get(), &EventStore::changed, [this] { ++notifications; });
        }
        return *store_;
    }

    // A store that has read its tree, when it may; the notice of that reading is not counted.
    VdirEventStore& store() {
        if (!store_) {
            coldStore();
            if (store_->authorizationStatus() == EventAuthorizationStatus::fullAccess)
                VdirTree::load(*store_);
            notifications = 0;
        }
        return *store_;
    }

    static Instant at(int year, int month, int day, int hour = 0, int minute = 0) {
        return *Calendar::current().date(year, month, day, hour, minute);
    }

    // The events of a range once the store has expanded the recurring events there.
    QList<StoredEvent> events(Instant start, Instant end, const std::optional<QStringList>& calendars) {
        return VdirTree::settledEvents(store(), start, end, calendars);
    }

    // The events of one local day, as "title@start" in the user's zone; `settled` waits for the recurring
    // events there, otherwise the answer is what the store holds now.
    QStringList day(int year, int month, int dayOfMonth, const std::optional<QStringList>& calendars = {},
                    bool settled = true) {
        const Instant start = at(year, month, dayOfMonth);
        const Instant end = *Calendar::current().addingDays(1, start);
        QStringList found;
        const QList<StoredEvent> stored =
            settled ? events(start, end, calendars) : store().events(start, end, calendars);
        for (const StoredEvent& e : stored)
            found << e.title.value_or("?") + u'@' +
                         e.startDate->toDateTime()
                             .toTimeZone(QTimeZone(CurrentCalendar::timeZoneId().toUtf8()))
                             .toString("MM-dd hh:mm");
        return found;
    }

    // The length of the first occurrence in March 2027 of the event with this UID.
    double length(const QString& uid) {
        for (const StoredEvent& e : events(at(2027, 3, 1), at(2027, 4, 1), std::nullopt))
            if (e.calendarItemExternalIdentifier == uid)
                return e.endDate->secondsSince(*e.startDate);
        return -1;
    }

    void settleChanges() { VdirTree::settle(store(), queue_); }

    ScopedCalendarPin pin_{QStringLiteral("en_US"), QStringLiteral("Europe/Berlin")};
    CapturingLogSink log;
    VdirTree tree_;
    VirtualMainQueue queue_;
    // The store's worker: one thread, so that a gate holds it.
    QThreadPool pool_;
    WorkerGate gate_{pool_};
    std::unique_ptr<VdirEventStore> store_;
    int notifications = 0;
};

} // namespace

TEST_F(VdirEventStoreTest, AuthorizationFollowsTheRoot) {
    EXPECT_EQ(store().authorizationStatus(), EventAuthorizationStatus::notDetermined);
    EXPECT_TRUE(store().eventCalendars().isEmpty());

    EventAccessResult result;
    [](VdirEventStore& s, EventAccessResult& out) -> QCoro::Task<> {
        out = co_await s.requestFullAccess();
    }(store(), result);

    EXPECT_TRUE(result.granted);
    EXPECT_EQ(QFileInfo(root()).permissions() & 0x7777, QFile::ReadOwner | QFile::WriteOwner |
                                                            QFile::ExeOwner | QFile::ReadUser |
                                                            QFile::WriteUser | QFile::ExeUser);
    EXPECT_EQ(store().authorizationStatus(), EventAuthorizationStatus::fullAccess);

    VdirEventStore onFile(tree_.scratchPath("plain-file"), queue_);
    QFile(tree_.scratchPath("plain-file")).open(QIODevice::WriteOnly);
    EXPECT_EQ(onFile.authorizationStatus(), EventAuthorizationStatus::denied);
}

TEST_F(VdirEventStoreTest, UnreadableRootIsDenied) {
    MONDREL_RUN_UNPRIVILEGED();
    mkdir({});
    ::chmod(QFile::encodeName(root()).constData(), 0);
    EXPECT_EQ(store().authorizationStatus(), EventAuthorizationStatus::denied);
    ::chmod(QFile::encodeName(root()).constData(), 0700);
}

TEST_F(VdirEventStoreTest, SourcesAndCalendarsComeFromTheDirectoryLayout) {
    write("work/displayname", "Work account\n");
    write("work/team/displayname", "Team\n");
    write("work/team/color", "#12AB34\n");
    write("work/plans/color", "#12AB3480");
    write("loose/color", "red");
    mkdir(".hidden/cal");
    mkdir("work/.git");
    write("home/family/displayname", "Family");

    const QList<EventCalendar> calendars = store().eventCalendars();

    QStringList summary;
    for (const EventCalendar& c : calendars)
        summary << c.calendarIdentifier + u'=' + c.title + u'/' + (c.source ? c.source->title : "-") + u'/' +
                       (c.color ? c.color->name(QColor::HexArgb) : "none");
    EXPECT_EQ(summary, (QStringList{"home/family=Family/home/none", "loose=loose/-/none",
                                    "work/plans=plans/Work account/#8012ab34",
                                    "work/team=Team/Work account/#ff12ab34"}));
    EXPECT_EQ(calendars.first().source->sourceIdentifier, "home");
}

TEST_F(VdirEventStoreTest, BlankDisplayNamesFallBackToDirectoryNames) {
    write("work/displayname", "\n");
    write("work/team/displayname", " \n");
    write("work/team/a.ics", vevent("a", "A", {"DTSTART:20270310T080000Z"}));

    const EventCalendar team = store().eventCalendars().value(0);
    EXPECT_EQ(team.title, "team");
    ASSERT_TRUE(team.source);
    EXPECT_EQ(team.source->title, "work");
}

TEST_F(VdirEventStoreTest, IdentifiesEventsByCalendarUidAndRecurrenceId) {
    write("home/cal/random-name.ics",
          ics({"BEGIN:VEVENT", "UID:series@example", "SUMMARY:Moved",
               "RECURRENCE-ID;TZID=Europe/Berlin:20270315T090000",
               "DTSTART;TZID=Europe/Berlin:20270316T100000", "DURATION:PT1H", "END:VEVENT", "BEGIN:VEVENT",
               "UID:series@example", "SUMMARY:Weekly", "DTSTART;TZID=Europe/Berlin:20270308T090000",
               "DTEND;TZID=Europe/Berlin:20270308T093000", "RRULE:FREQ=WEEKLY", "END:VEVENT"}));

    const QList<StoredEvent> found = events(at(2027, 3, 8), at(2027, 3, 17), std::nullopt);

    ASSERT_EQ(found.size(), 2);
    const StoredEvent& weekly = found.at(0).title == "Weekly" ? found.at(0) : found.at(1);
    const StoredEvent& moved = found.at(0).title == "Moved" ? found.at(0) : found.at(1);
    EXPECT_EQ(weekly.eventIdentifier, "home/cal/series@example");
    EXPECT_EQ(moved.eventIdentifier, "home/cal/series@example/20270315T090000");
    EXPECT_EQ(moved.calendarItemIdentifier, "home/cal/random-name.ics");
    EXPECT_EQ(moved.calendarItemExternalIdentifier, "series@example");
    EXPECT_EQ(*weekly.endDate, at(2027, 3, 8, 9, 30));
    EXPECT_EQ(*moved.endDate, at(2027, 3, 16, 11));
    EXPECT_EQ(moved.calendar->calendarIdentifier, "home/cal");
}

TEST_F(VdirEventStoreTest, RecurrencesHonourExceptionsExdatesAndRdatesForYears) {
    write("cal/standup.ics",
          ics({"BEGIN:VEVENT", "UID:standup", "SUMMARY:Standup", "DTSTART;TZID=Europe/Berlin:20270301T093000",
               "DTEND;TZID=Europe/Berlin:20270301T094500", "RRULE:FREQ=WEEKLY;BYDAY=MO,WE",
               "EXDATE;TZID=Europe/Berlin:20270303T093000", "EXDATE:20270308T083000Z",
               "RDATE;TZID=Europe/Berlin:20270306T120000", "END:VEVENT", "BEGIN:VEVENT", "UID:standup",
               "SUMMARY:Standup (moved)", "RECURRENCE-ID;TZID=Europe/Berlin:20270310T093000",
               "DTSTART;TZID=Europe/Berlin:20270311T150000", "DTEND;TZID=Europe/Berlin:20270311T151500",
               "END:VEVENT"}));

    EXPECT_EQ(day(2027, 3, 1), QStringList{"Standup@03-01 09:30"});
    EXPECT_TRUE(day(2027, 3, 3).isEmpty()); // EXDATE in the event's zone
    EXPECT_EQ(day(2027, 3, 6), QStringList{"Standup@03-06 12:00"});
    EXPECT_TRUE(day(2027, 3, 8).isEmpty());  // EXDATE in UTC
    EXPECT_TRUE(day(2027, 3, 10).isEmpty()); // replaced by the detached occurrence
    EXPECT_EQ(day(2027, 3, 11), QStringList{"Standup (moved)@03-11 15:00"});
    // Summer time keeps the wall time; years later the rule still runs.
    EXPECT_EQ(day(2027, 7, 5), QStringList{"Standup@07-05 09:30"});
    EXPECT_EQ(day(2031, 12, 31), QStringList{"Standup@12-31 09:30"});
    EXPECT_TRUE(day(2031, 12, 30).isEmpty());
}

TEST_F(VdirEventStoreTest, RdatePeriodsKeepTheirOwnLengths) {
    write("cal/periods.ics", vevent("periods", "Periods",
                                    {"DTSTART:20270301T090000Z", "DURATION:PT1H", "RRULE:FREQ=WEEKLY;COUNT=3",
                                     "RDATE;VALUE=PERIOD:20270310T150000Z/20270312T180000Z",
                                     "RDATE;VALUE=PERIOD:20270313T080000Z/PT30M"}));

    // The long period still covers the second day after its start; the rule's own occurrences do not.
    EXPECT_EQ(day(2027, 3, 12), QStringList{"Periods@03-10 16:00"});
    QList<double> lengths;
    for (const StoredEvent& e : events(at(2027, 3, 8), at(2027, 3, 14), std::nullopt))
        lengths << e.endDate->secondsSince(*e.startDate);
    EXPECT_EQ(lengths, (QList<double>{3600, 51 * 3600, 1800}));
}

TEST_F(VdirEventStoreTest, DayByDayQueriesFindWhatOneLongQueryFinds) {
    write("cal/until.ics", vevent("until", "Until",
                                  {"DTSTART;TZID=America/New_York:20260105T080000",
                                   "RRULE:FREQ=WEEKLY;BYDAY=MO,TH;UNTIL=20280101T000000Z"}));
    write("cal/count.ics",
          vevent("count", "Count", {"DTSTART:20260102T120000Z", "RRULE:FREQ=DAILY;INTERVAL=9;COUNT=40"}));
    // Counted rules of a fixed step are expanded like rules with an end, others are walked from the start.
    write("cal/fixed.ics", vevent("fixed", "Fixed",
                                  {"DTSTART;TZID=Europe/Berlin:20270301T093000",
                                   "RRULE:FREQ=WEEKLY;INTERVAL=2;BYDAY=MO;COUNT=10"}));
    write("cal/walked.ics",
          vevent("walked", "Walked", {"DTSTART:20260105T090000Z", "RRULE:FREQ=WEEKLY;BYDAY=MO,WE;COUNT=30"}));

    const auto longQuery = events(at(2026, 1, 1), at(2028, 6, 1), std::nullopt);
    int byDay = 0;
    for (Instant d = at(2026, 1, 1); d < at(2028, 6, 1); d = *Calendar::current().addingDays(1, d))
        byDay += int(events(d, *Calendar::current().addingDays(1, d), std::nullopt).size());

    // Mondays and Thursdays from 5 January 2026 to 30 December 2027: 104 weeks.
    EXPECT_EQ(longQuery.size(), 208 + 40 + 10 + 30);
    // The tenth fortnightly Monday is the last, in summer time as in winter.
    EXPECT_TRUE(day(2027, 7, 5).contains("Fixed@07-05 09:30"));
    EXPECT_FALSE(day(2027, 7, 19).contains("Fixed@07-19 09:30"));
    EXPECT_EQ(byDay, longQuery.size());
}

TEST_F(VdirEventStoreTest, AllDaySpansStartAtLocalMidnight) {
    write("cal/trip.ics",
          vevent("trip", "Trip", {"DTSTART;VALUE=DATE:20270310", "DTEND;VALUE=DATE:20270313"}));
    write("cal/holiday.ics", vevent("holiday", "Holiday", {"DTSTART;VALUE=DATE:20270315"}));

    for (const char* zone : {"Europe/Berlin", "America/New_York"}) {
        SCOPED_TRACE(zone);
        ScopedCalendarPin pin("en_US", zone);
        EXPECT_TRUE(day(2027, 3, 9).isEmpty());
        EXPECT_EQ(day(2027, 3, 10), QStringList{"Trip@03-10 00:00"});
        EXPECT_EQ(day(2027, 3, 12), QStringList{"Trip@03-10 00:00"});
        EXPECT_TRUE(day(2027, 3, 13).isEmpty());
        EXPECT_EQ(day(2027, 3, 15), QStringList{"Holiday@03-15 00:00"});
        EXPECT_TRUE(day(2027, 3, 16).isEmpty());
    }
    const StoredEvent trip = events(at(2027, 3, 10), at(2027, 3, 11), std::nullopt).first();
    EXPECT_TRUE(trip.isAllDay);
    EXPECT_EQ(*trip.endDate, at(2027, 3, 13));
}

// Floating times read in the user's zone are remembered by their timing: timings that share a start but
// differ in kind or length each keep their own end, here on a day of 23 hours.
TEST_F(VdirEventStoreTest, FloatingTimingsThatShareAStartKeepTheirOwnEnds) {
    write("cal/day.ics", vevent("day", "Day", {"DTSTART;VALUE=DATE:20270328", "DTEND;VALUE=DATE:20270329"}));
    write("cal/days.ics",
          vevent("days", "Days", {"DTSTART;VALUE=DATE:20270328", "DTEND;VALUE=DATE:20270330"}));
    write("cal/second.ics", vevent("second", "Second", {"DTSTART:20270328T000000", "DURATION:PT1S"}));
    write("cal/wall.ics", vevent("wall", "Wall", {"DTSTART:20270328T000000", "DTEND:20270328T000001"}));
    write("cal/point.ics", vevent("point", "Point", {"DTSTART:20270328T000000"}));

    EXPECT_EQ(length("day"), 23 * 3600);
    EXPECT_EQ(length("days"), 47 * 3600);
    EXPECT_EQ(length("second"), 1);
    EXPECT_EQ(length("wall"), 1);
    EXPECT_EQ(length("point"), 0);
}

TEST_F(VdirEventStoreTest, TimesAcrossMidnightAndDaylightSavingInTwoZones) {
    // Berlin springs forward on 28 March 2027 at 02:00, New York on 14 March at 02:00.
    write("cal/berlin.ics",
          vevent("berlin", "Berlin night",
                 {"DTSTART;TZID=Europe/Berlin:20270327T230000", "DTEND;TZID=Europe/Berlin:20270328T040000"}));
    write("cal/ny.ics", vevent("ny", "NY night",
                               {"DTSTART;TZID=America/New_York:20270313T220000",
                                "DTEND;TZID=America/New_York:20270314T033000"}));
    write("cal/floating.ics", vevent("floating", "Floating", {"DTSTART:20270314T013000", "DURATION:PT2H"}));

    EXPECT_EQ(day(2027, 3, 28), QStringList{"Berlin night@03-27 23:00"});
    EXPECT_EQ(length("berlin"), 4 * 3600);
    // In Berlin the New York night runs from 04:00 to 08:30 on the 14th.
    EXPECT_EQ(day(2027, 3, 14), (QStringList{"Floating@03-14 01:30", "NY night@03-14 04:00"}));
    EXPECT_TRUE(day(2027, 3, 13).isEmpty());

    ScopedCalendarPin newYork("en_US", "America/New_York");
    EXPECT_EQ(day(2027, 3, 13), QStringList{"NY night@03-13 22:00"});
    EXPECT_EQ(length("ny"), 4.5 * 3600);
    // Floating times are read on the user's clock, whichever zone that is.
    EXPECT_EQ(day(2027, 3, 14), (QStringList{"Floating@03-14 01:30", "NY night@03-13 22:00"}));
    EXPECT_EQ(day(2027, 3, 27), QStringList{"Berlin night@03-27 18:00"});
}

TEST_F(VdirEventStoreTest, BadFilesAreSkippedWithOneWarningEach) {
    write("cal/good.ics", vevent("good", "Good", {"DTSTART:20270310T080000Z"}));
    write("cal/broken.ics", "this is not a calendar");
    write("cal/nostart.ics", vevent("nostart", "No start", {}));
    write("cal/outlook.ics",
          vevent("outlook", "Outlook", {"DTSTART;TZID=W. Europe Standard Time:20270310T120000"}));
    write("cal/mars.ics", vevent("mars", "Mars", {"DTSTART;TZID=Mars/Olympus_Mons:20270310T140000"}));
    write("cal/pending.ics.tmp", vevent("tmp", "Temporary", {"DTSTART:20270310T080000Z"}));
    write("cal/notes.txt", vevent("txt", "Text", {"DTSTART:20270310T080000Z"}));

    EXPECT_EQ(day(2027, 3, 10), (QStringList{"Good@03-10 09:00", "Mars@03-10 14:00", "Outlook@03-10 12:00"}));
    day(2027, 3, 10);

    QStringList warnings = log.messages("events");
    warnings.sort();
    EXPECT_EQ(warnings,
              (QStringList{"calendar_file_problem file=cal/broken.ics problems=unparsable",
                           "calendar_file_problem file=cal/mars.ics problems=unknown_tzid:Mars/Olympus_Mons",
                           "calendar_file_problem file=cal/nostart.ics problems=missing_dtstart"}));
}

TEST_F(VdirEventStoreTest, SystemZonesOutrankTheFilesOwnDefinitions) {
    // Zones that stay at +05:00 for ever: stale for Berlin, the only definition of the file's own zone.
    auto fixedZone = [](const QString& tzid) {
        return QStringList{
            "BEGIN:VTIMEZONE",    "TZID:" + tzid,     "BEGIN:STANDARD", "DTSTART:19700101T000000",
            "TZOFFSETFROM:+0500", "TZOFFSETTO:+0500", "END:STANDARD",   "END:VTIMEZONE"};
    };
    auto eventAtNoon = [](const QString& uid, const QString& tzid) {
        return QStringList{"BEGIN:VEVENT", "UID:" + uid, "SUMMARY:" + uid,
                           "DTSTART;TZID=" + tzid + ":20270310T120000", "END:VEVENT"};
    };
    write("cal/berlin.ics", ics(fixedZone("Europe/Berlin") + eventAtNoon("Berlin", "Europe/Berlin")));
    write("cal/office.ics", ics(fixedZone("Office Time") + eventAtNoon("Office", "Office Time")));
    write("cal/outlook.ics",
          ics(fixedZone("W. Europe Standard Time") + eventAtNoon("Outlook", "W. Europe Standard Time")));

    EXPECT_EQ(day(2027, 3, 10),
              (QStringList{"Berlin@03-10 12:00", "Office@03-10 08:00", "Outlook@03-10 08:00"}));
    EXPECT_TRUE(log.messages("events").isEmpty());
}

TEST_F(VdirEventStoreTest, AnUnchangedBadFileIsReportedOnlyOnce) {
    write("cal/good.ics", vevent("good", "Good", {"DTSTART:20270310T080000Z"}));
    write("cal/broken.ics", "not a calendar");
    write("cal/mars.ics", vevent("mars", "Mars", {"DTSTART;TZID=Mars/Olympus_Mons:20270310T140000"}));
    store();
    const QStringList reported = log.messages("events");
    ASSERT_EQ(reported.size(), 2);

    // Read afresh after a reset, and after a change of the layout.
    store().reset();
    VdirTree::load(store());
    mkdir("other");
    settleChanges();
    EXPECT_EQ(day(2027, 3, 10).size(), 2);
    EXPECT_EQ(log.messages("events"), reported);

    // A bad file that changes is reported again, and once more after it was mended and broken again.
    write("cal/broken.ics", "still not a calendar");
    settleChanges();
    write("cal/mars.ics", vevent("mars", "Mars", {"DTSTART:20270310T140000Z"}));
    settleChanges();
    write("cal/mars.ics", vevent("mars", "Mars", {"DTSTART;TZID=Mars/Olympus_Mons:20270310T140000"}));
    settleChanges();
    store().reset();
    VdirTree::load(store());
    EXPECT_EQ(
        log.messages("events"),
        reported +
            (QStringList{"calendar_file_problem file=cal/broken.ics problems=unparsable",
                         "calendar_file_problem file=cal/mars.ics problems=unknown_tzid:Mars/Olympus_Mons"}));
}

TEST_F(VdirEventStoreTest, ABurstOfChangesOnDiskGivesOneNotice) {
    write("cal/first.ics", vevent("first", "First", {"DTSTART:20270310T080000Z"}));
    write("cal/old-name.ics", vevent("renamed", "Renamed", {"DTSTART:20270310T100000Z"}));
    ASSERT_EQ(day(2027, 3, 10).size(), 2);

    for (int i = 0; i < 30; ++i)
        write(QStringLiteral("cal/new-%1.ics").arg(i),
              vevent(QString::number(i), "New", {"DTSTART:20270310T120000Z"}));
    write("cal/first.ics", vevent("first", "First, edited", {"DTSTART:20270310T080000Z"}));
    QFile::rename(root() + "/cal/old-name.ics", root() + "/cal/new-name.ics");
    write("cal/ignored.ics.tmp", "half written");
    settleChanges();

    EXPECT_EQ(notifications, 1);
    const QList<StoredEvent> found = events(at(2027, 3, 10), at(2027, 3, 11), std::nullopt);
    EXPECT_EQ(found.size(), 32);
    QStringList items;
    for (const StoredEvent& e : found)
        if (e.title != "New")
            items << e.title.value_or("") + u' ' + e.calendarItemIdentifier;
    EXPECT_EQ(items, (QStringList{"First, edited cal/first.ics", "Renamed cal/new-name.ics"}));
}

TEST_F(VdirEventStoreTest, AStreamOfChangesIsAnnouncedWithinASecond) {
    write("cal/0.ics", vevent("0", "Stream", {"DTSTART:20270310T080000Z"}));
    ASSERT_EQ(day(2027, 3, 10).size(), 1);

    // A change every 90 ms: the tree is never quiet for 100 ms.
    QList<int> noticesAfterEachChange;
    for (int i = 1; i <= 13; ++i) {
        write(QStringLiteral("cal/%1.ics").arg(i),
              vevent(QString::number(i), "Stream", {"DTSTART:20270310T080000Z"}));
        VdirTree::noteChanges(store(), queue_, 0.09);
        VdirTree::awaitIdle(store());
        noticesAfterEachChange << notifications;
    }

    EXPECT_EQ(noticesAfterEachChange, (QList<int>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1}));
    EXPECT_EQ(day(2027, 3, 10).size(), 13);
}

TEST_F(VdirEventStoreTest, NewCalendarsAndMetadataChangesAreFollowed) {
    write("home/cal/a.ics", vevent("a", "A", {"DTSTART:20270310T080000Z"}));
    ASSERT_EQ(store().eventCalendars().size(), 1);

    write("home/cal/displayname", "Renamed calendar\n");
    write("home/other/b.ics", vevent("b", "B", {"DTSTART:20270310T090000Z"}));
    settleChanges();

    EXPECT_EQ(notifications, 1);
    const QList<EventCalendar> calendars = store().eventCalendars();
    ASSERT_EQ(calendars.size(), 2);
    EXPECT_EQ(calendars.first().title, "Renamed calendar");
    EXPECT_EQ(day(2027, 3, 10, QStringList{"home/other"}), QStringList{"B@03-10 10:00"});

    // Files written into the new calendar later are seen too: it is watched.
    write("home/other/c.ics", vevent("c", "C", {"DTSTART:20270310T110000Z"}));
    settleChanges();
    EXPECT_EQ(notifications, 2);
    EXPECT_EQ(day(2027, 3, 10, QStringList{"home/other"}).size(), 2);
}

TEST_F(VdirEventStoreTest, ChangesThatTouchNoEventFileRaiseNothing) {
    write("cal/a.ics", vevent("a", "A", {"DTSTART:20270310T080000Z"}));
    store().eventCalendars();
    write("cal/sync.ics.tmp", "partial");
    write("cal/README", "notes");
    settleChanges();
    EXPECT_EQ(notifications, 0);
}

TEST_F(VdirEventStoreTest, QueriesWhileTheTreeIsReadAnswerNothingUntilTheHandOverIsAnnounced) {
    write("home/cal/a.ics", vevent("a", "A", {"DTSTART:20270310T080000Z"}));
    write("home/cal/broken.ics", "not a calendar");

    EXPECT_TRUE(coldStore().events(at(2027, 3, 10), at(2027, 3, 11), std::nullopt).isEmpty());
    EXPECT_TRUE(coldStore().isLoading());
    // Even the calendars wait for the worker: listing their folders may take long.
    EXPECT_TRUE(coldStore().eventCalendars().isEmpty());
    // The reading in flight already sees the tree afresh.
    coldStore().reset();
    EXPECT_TRUE(coldStore().isLoading());
    EXPECT_EQ(notifications, 0);

    ASSERT_TRUE(VdirTree::awaitNotice(coldStore()));
    EXPECT_FALSE(coldStore().isLoading());
    EXPECT_EQ(coldStore().eventCalendars().size(), 1);
    EXPECT_EQ(day(2027, 3, 10), QStringList{"A@03-10 09:00"});
    // Both early queries were answered by one reading, and its warnings reach the log on this thread.
    QCoreApplication::processEvents();
    EXPECT_EQ(notifications, 1);
    EXPECT_EQ(log.messages("events"),
              QStringList{"calendar_file_problem file=home/cal/broken.ics problems=unparsable"});
}

TEST_F(VdirEventStoreTest, ALayoutChangeIsReadInTheBackgroundWhileThePreviousReadingAnswers) {
    write("home/cal/a.ics", vevent("a", "A", {"DTSTART:20270310T080000Z"}));
    ASSERT_EQ(day(2027, 3, 10).size(), 1);

    gate_.hold();
    write("home/other/b.ics", vevent("b", "B", {"DTSTART:20270310T090000Z"}));
    VdirTree::noteChanges(store(), queue_);

    EXPECT_TRUE(store().isLoading());
    EXPECT_EQ(day(2027, 3, 10, {}, false), QStringList{"A@03-10 09:00"});
    EXPECT_EQ(store().eventCalendars().size(), 1);
    gate_.release();
    ASSERT_TRUE(VdirTree::awaitNotice(store()));
    EXPECT_EQ(day(2027, 3, 10), (QStringList{"A@03-10 09:00", "B@03-10 10:00"}));
    EXPECT_EQ(notifications, 1);
}

TEST_F(VdirEventStoreTest, AChangeThatTheReadingMissedIsReadAfterTheHandOver) {
    write("a-cal/x.ics", vevent("x", "Before", {"DTSTART:20270310T080000Z"}));
    coldStore().eventCalendars();
    // The worker has read the layout, then the files; their hand-over waits for this thread.
    pool_.waitForDone();
    QCoreApplication::processEvents();
    ASSERT_TRUE(coldStore().isLoading());
    pool_.waitForDone();
    write("a-cal/x.ics", vevent("x", "After, longer", {"DTSTART:20270310T080000Z"}));

    ASSERT_TRUE(VdirTree::awaitNotice(coldStore()));
    EXPECT_EQ(day(2027, 3, 10, {}, false), QStringList{"Before@03-10 09:00"});
    settleChanges();

    EXPECT_EQ(day(2027, 3, 10), QStringList{"After, longer@03-10 09:00"});
    EXPECT_EQ(notifications, 2);
}

TEST_F(VdirEventStoreTest, ACalendarAddedWhileTheTreeIsReadIsFound) {
    write("a-cal/x.ics", vevent("x", "X", {"DTSTART:20270310T080000Z"}));
    // The layout is read and watched; its files wait.
    gate_.hold();
    coldStore().eventCalendars();
    gate_.release();
    gate_.hold();
    QCoreApplication::processEvents();
    ASSERT_TRUE(coldStore().isLoading());
    write("c-cal/y.ics", vevent("y", "Y", {"DTSTART:20270310T090000Z"}));
    VdirTree::noteChanges(coldStore(), queue_);
    gate_.release();

    ASSERT_TRUE(VdirTree::awaitNotice(coldStore()));
    EXPECT_EQ(day(2027, 3, 10, {}, false), QStringList{"X@03-10 09:00"});
    settleChanges();

    EXPECT_EQ(day(2027, 3, 10), (QStringList{"X@03-10 09:00", "Y@03-10 10:00"}));
    EXPECT_EQ(notifications, 2);
}

TEST_F(VdirEventStoreTest, ChangesLandingWhileTheWorkerIsBusyAreAllReadWithOneNotice) {
    write("cal/a.ics", vevent("a", "A", {"DTSTART:20270310T080000Z"}));
    write("cal/weekly.ics", vevent("w", "Weekly", {"DTSTART:20270301T120000Z", "RRULE:FREQ=WEEKLY;COUNT=3"}));
    ASSERT_EQ(day(2027, 3, 10).size(), 1);
    notifications = 0;

    // A stretch of time that no recurring event reaches keeps the worker busy, and finds nothing to announce.
    gate_.hold();
    EXPECT_TRUE(store().events(at(2031, 6, 1), at(2031, 6, 2), std::nullopt).isEmpty());
    ASSERT_TRUE(store().isLoading());
    write("cal/a.ics", vevent("a", "A, edited", {"DTSTART:20270310T080000Z"}));
    write("cal/b.ics", vevent("b", "B", {"DTSTART:20270310T090000Z"}));
    QFile::remove(root() + "/cal/weekly.ics");
    VdirTree::noteChanges(store(), queue_);
    EXPECT_TRUE(store().hasPendingChanges());
    gate_.release();
    ASSERT_TRUE(VdirTree::awaitIdle(store()));
    settleChanges();

    EXPECT_EQ(day(2027, 3, 10), (QStringList{"A, edited@03-10 09:00", "B@03-10 10:00"}));
    EXPECT_TRUE(day(2027, 3, 8).isEmpty());
    EXPECT_EQ(notifications, 1);
}

TEST_F(VdirEventStoreTest, PathologicalFilesCostOnlyTheirOwnEvents) {
    write("cal/good.ics", vevent("good", "Good", {"DTSTART:20270310T080000Z"}));
    // A description of 300 KB: the line is left out, the event stays.
    write("cal/long-line.ics",
          vevent("long", "Long line",
                 {"DTSTART:20270310T090000Z", "DESCRIPTION:" + QString(qsizetype(300) * 1024, u'x')}));
    write("cal/huge.ics", QByteArray(VdirIndex::kLargestFile + 1, '\n'));
    // One a minute is never cut; twice a minute is.
    write("cal/every-minute.ics",
          vevent("minutes", "Tick", {"DTSTART:20270310T000000Z", "RRULE:FREQ=MINUTELY"}));
    write("cal/counted.ics",
          vevent("counted", "Counted",
                 {"DTSTART:20270301T000000Z", "RRULE:FREQ=MINUTELY;BYSECOND=0,30;COUNT=9000000"}));
    // An export of several thousand events in one file is read, after the others.
    QStringList exported;
    for (int i = 0; i < 4000; ++i)
        exported << "BEGIN:VEVENT" << QStringLiteral("UID:export-%1").arg(i)
                 << QStringLiteral("SUMMARY:Export %1").arg(i)
                 << QStringLiteral("DTSTART:2027%1T100000Z")
                        .arg(QDate(2027, 1, 1).addDays(i % 365).toString("MMdd"))
                 << "DESCRIPTION:An ordinary event of an ordinary export, with a line of text."
                 << "END:VEVENT";
    write("cal/export.ics", ics(exported));
    ASSERT_GT(QFileInfo(root() + "/cal/export.ics").size(), VdirIndex::kLargeFile);
    const QStringList entries = QDir(root() + "/cal").entryList(QDir::AllEntries | QDir::Hidden);

    QStringList titles;
    int ticks = 0;
    int exports = 0;
    // The hours of the others: a whole day of ticks is more than a query lists.
    for (const StoredEvent& e : events(at(2027, 3, 10, 9), at(2027, 3, 10, 11, 1), std::nullopt)) {
        if (e.title == "Tick")
            ++ticks;
        else if (e.title->startsWith("Export"))
            ++exports;
        else if (e.title != "Counted")
            titles << *e.title;
    }
    EXPECT_EQ(titles, (QStringList{"Good", "Long line"}));
    // Every 365th of the export falls on 10 March.
    EXPECT_EQ(exports, 11);
    // Every minute of those two hours, both ends included.
    EXPECT_EQ(ticks, 2 * 60 + 1);

    QStringList warnings = log.messages("events");
    warnings.sort();
    EXPECT_EQ(warnings,
              (QStringList{"calendar_file_problem file=cal/counted.ics problems=too_many_occurrences",
                           "calendar_file_problem file=cal/huge.ics problems=file_too_large",
                           "calendar_file_problem file=cal/long-line.ics problems=line_too_long"}));
    EXPECT_EQ(QDir(root() + "/cal").entryList(QDir::AllEntries | QDir::Hidden), entries);
}

TEST_F(VdirEventStoreTest, AMetadataFileThatIsNoPlainFileIsPassedOver) {
    write("cal/a.ics", vevent("a", "A", {"DTSTART:20270310T080000Z"}));
    ASSERT_EQ(::mkfifo(QFile::encodeName(root() + "/cal/displayname").constData(), 0600), 0);

    // Opening a FIFO for reading would wait for a writer for ever.
    EXPECT_EQ(store().eventCalendars().value(0).title, "cal");
    EXPECT_EQ(day(2027, 3, 10), QStringList{"A@03-10 09:00"});
}

TEST_F(VdirEventStoreTest, AStoreGoneWhileReadingLeavesNothingBehind) {
    // Enough files to be parsed side by side.
    for (int i = 0; i < 80; ++i)
        write(QStringLiteral("cal/%1.ics").arg(i),
              vevent(QString::number(i), "Weekly",
                     {"DTSTART:20260105T080000Z", "RRULE:FREQ=WEEKLY;COUNT=300"}));

    // Gone while the worker reads, and gone after it read but before the hand-over.
    coldStore().eventCalendars();
    store_.reset();
    coldStore().eventCalendars();
    pool_.waitForDone();
    store_.reset();

    pool_.waitForDone();
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    EXPECT_EQ(notifications, 0);
    // What the readings held is freed (the leak checker sees it), and a new store reads the tree afresh.
    VdirTree::load(coldStore());
    EXPECT_EQ(day(2027, 3, 10).size(), 0);
    EXPECT_EQ(day(2026, 1, 5).size(), 80);
}

// With one CPU Qt's pool has one thread, and the worker that reads the tree holds it while the files are
// parsed side by side: the parse must not wait for a thread that never comes.
TEST_F(VdirEventStoreTest, AColdStartOnAPoolOfOneThreadReadsEveryFile) {
    for (int i = 0; i < 100; ++i)
        write(QStringLiteral("cal/%1.ics").arg(i),
              vevent(QString::number(i), "Daily", {"DTSTART:20270310T080000Z", "RRULE:FREQ=DAILY;COUNT=3"}));
    QThreadPool* global = QThreadPool::globalInstance();
    const int threads = global->maxThreadCount();
    global->setMaxThreadCount(1);
    const auto restore = qScopeGuard([&] { global->setMaxThreadCount(threads); });

    VdirEventStore store(root(), queue_);
    VdirTree::load(store);
    EXPECT_EQ(VdirTree::settledEvents(store, at(2027, 3, 11), at(2027, 3, 12), std::nullopt).size(), 100);
}

// A link to a device inside a calendar made that calendar a source of one empty calendar, its events gone
// without a word. Only directories are calendars; whatever else is passed over is named once.
TEST_F(VdirEventStoreTest, OnlyDirectoriesAreCalendarsAndEverythingSkippedIsNamedOnce) {
    MONDREL_RUN_UNPRIVILEGED();
    write("work/a.ics", vevent("a", "A", {"DTSTART:20270310T080000Z"}));
    write("home/b.ics", vevent("b", "B", {"DTSTART:20270310T090000Z"}));
    const QByteArray work = QFile::encodeName(root() + "/work/");
    const QByteArray top = QFile::encodeName(root() + "/");
    ASSERT_EQ(::symlink("/dev/null", work + "device"), 0);
    ASSERT_EQ(::mkfifo(work + "pipe", 0600), 0);
    ASSERT_EQ(::symlink(work + "nowhere", work + "dangling"), 0);
    ASSERT_EQ(::symlink(work + "loop", work + "loop"), 0);
    ASSERT_EQ(::mkdir(top + "caf\xe9", 0700), 0);
    ASSERT_EQ(::mkdir(top + "locked", 0), 0);
    // A link to a directory is one, and plain files beside the calendars are metadata.
    ASSERT_EQ(::symlink(top + "home", top + "linked"), 0);
    write("color", "#FF0000\n");

    QStringList identifiers;
    for (const EventCalendar& calendar : store().eventCalendars())
        identifiers << calendar.calendarIdentifier;
    EXPECT_EQ(identifiers, (QStringList{"home", "linked", "work"}));
    EXPECT_EQ(day(2027, 3, 10), (QStringList{"B@03-10 10:00", "B@03-10 10:00", "A@03-10 09:00"}));

    auto skipped = [&] {
        QStringList lines = log.messages("events").filter("calendar_entry_skipped");
        for (QString& line : lines)
            line = line.mid(line.indexOf("reason="));
        lines.sort();
        return lines;
    };
    const QStringList expected{"reason=dangling_link",   "reason=looping_link",
                               "reason=name_not_utf8",   "reason=not_a_directory",
                               "reason=not_a_directory", "reason=unreadable_folder"};
    EXPECT_EQ(skipped(), expected);
    // A new layout read names nothing again.
    mkdir("later");
    settleChanges();
    EXPECT_EQ(store().eventCalendars().size(), 4);
    EXPECT_EQ(skipped(), expected);
}

// A relative folder made every change read as a new layout: the root is absolute from where it is read.
TEST_F(VdirEventStoreTest, ARelativeCalendarFolderIsTakenFromTheWorkingDirectory) {
    const QByteArray before = qgetenv("MONDREL_CALENDAR_DIR");
    const auto restore = qScopeGuard([&] { qputenv("MONDREL_CALENDAR_DIR", before); });
    qputenv("MONDREL_CALENDAR_DIR", "cals/../calendars");
    EXPECT_EQ(VdirEventStore::standardRoot(), QDir::currentPath() + "/calendars");
}

// Each series stays within its own limit, but thousands of them made millions of occurrences a day: the
// whole tree holds a bounded number per stretch, and says once that it left some out.
TEST_F(VdirEventStoreTest, TheOccurrencesOfAStretchAreBoundedAcrossAllSeries) {
    // What each series puts into the stretch: far below its own bound.
    const int perSeries = 5000;
    const int series = int(VdirIndex::kMostOccurrencesPerStretch / perSeries) + 5;
    // Every ten minutes from 1 March 2027, in the same stretch of seven weeks: no libical walk needed.
    QStringList lines{"BEGIN:VEVENT", "UID:many", "SUMMARY:Many", "DTSTART:20270301T000000Z",
                      "DURATION:PT5M"};
    for (int i = 1; i < perSeries; ++i)
        lines << "RDATE:" + QDateTime(QDate(2027, 3, 1), QTime(0, 0), Qt::UTC)
                                .addSecs(600LL * i)
                                .toString("yyyyMMdd'T'HHmmss'Z'");
    lines << "END:VEVENT";
    const QByteArray content = ics(lines);
    for (int i = 0; i < series; ++i)
        write(QStringLiteral("cal/%1.ics").arg(i, 3, 10, QChar(u'0')), content);

    // Two hours: a whole day of them is more than a query lists.
    const QList<StoredEvent> found = events(at(2027, 3, 10, 10), at(2027, 3, 10, 12), std::nullopt);
    EXPECT_EQ(found.size(), qsizetype(VdirIndex::kMostOccurrencesPerStretch / perSeries) * 12);
    EXPECT_EQ(
        log.messages("events"),
        QStringList{QStringLiteral("calendar_file_problem file=cal/%1.ics problems=too_many_occurrences")
                        .arg(series - 5, 3, 10, QChar(u'0'))});
    // The bound holds whatever stretch the series reach: a later day of theirs has as many.
    EXPECT_EQ(events(at(2027, 3, 20, 10), at(2027, 3, 20, 12), std::nullopt).size(), found.size());
    EXPECT_EQ(log.messages("events").size(), 1);
}

// A change that came while years of recurring events were expanded waited seconds for all of them: the
// expansion goes on in short slices, and a change is read between two of them.
TEST_F(VdirEventStoreTest, AChangeIsReadBetweenTheSlicesOfALongExpansion) {
    for (int i = 0; i < 3000; ++i)
        write(QStringLiteral("cal/%1.ics").arg(i),
              vevent(QString::number(i), "Monthly",
                     {"DTSTART;TZID=Europe/Berlin:20200101T090000", "RRULE:FREQ=MONTHLY"}));
    write("cal/today.ics", vevent("today", "Before", {"DTSTART:20270310T080000Z"}));
    ASSERT_EQ(day(2027, 3, 10), QStringList{"Before@03-10 09:00"});

    const MainThreadWatch watch;
    store().events(at(2020, 1, 1), at(2031, 1, 1), std::nullopt);
    ASSERT_TRUE(store().isLoading());
    write("cal/today.ics", vevent("today", "After", {"DTSTART:20270310T080000Z"}));
    VdirTree::noteChanges(store(), queue_);

    EXPECT_TRUE(runEventsUntil(
        [&] { return day(2027, 3, 10, {}, false) == QStringList{"After@03-10 09:00"}; }, 5000));
    EXPECT_TRUE(store().isLoading()) << "the expansion goes on";
    watch.expectResponsiveAndBounded();
}

namespace {

// The events of 10 March 2027 as "calendar item=title", sorted: what two stores are compared by.
QStringList dayContents(const VdirEventStore& store) {
    const Instant start = *Calendar::current().date(2027, 3, 10);
    QStringList found;
    for (const StoredEvent& e : VdirTree::settledEvents(store, start, start.addingSeconds(86400)))
        found << e.calendarItemIdentifier + u'=' + e.title.value_or("?");
    found.sort();
    return found;
}

// What a store that reads the tree now finds.
QStringList freshContents(const QString& root) {
    VirtualMainQueue queue;
    VdirEventStore fresh(root, queue);
    VdirTree::load(fresh);
    return dayContents(fresh);
}

} // namespace

// Every change of a storm went through its own timer, and the queue was read until empty: a writer that
// never paused held the main thread for seconds. A name swapped between kinds of entry re-read the layout.
TEST_F(VdirEventStoreTest, AStormOfWritesNeverHoldsTheMainThreadAndEndsAsAFreshRead) {
    // In memory where there is a place for it: a disk takes writes too slowly to storm.
    QTemporaryDir inMemory(QStringLiteral("/dev/shm/mondrel-storm-XXXXXX"));
    const QString stormRoot = inMemory.isValid() ? inMemory.path() : root();
    QDir().mkpath(stormRoot + "/cal");
    QtMainQueue realTime;
    VdirEventStore live(stormRoot, realTime, nullptr, &pool_);
    VdirTree::load(live);

    // Writers that together outpace the main thread: its queue of changes never runs dry.
    // They stop on their own clock: a main thread held by the storm would never tell them.
    const QDeadlineTimer end(3000);
    auto storm = [&](int writer) {
        const QByteArray calendar = QFile::encodeName(stormRoot + "/cal/");
        const QByteArray odd = calendar + "odd.ics";
        const QByteArray temporary = calendar + "tmp" + QByteArray::number(writer);
        // Each writer has files of its own, in three versions each.
        std::vector<std::pair<QByteArray, QByteArrayList>> files;
        for (int k = 0; k < 50; ++k) {
            const QString uid = QString::number(writer + 4 * k);
            files.emplace_back(calendar + uid.toUtf8() + ".ics", QByteArrayList{});
            for (const char* title : {"v1", "v2", "v3"})
                files.back().second << vevent(uid, title, {"DTSTART:20270310T080000Z"});
        }
        auto put = [](const QByteArray& path, const QByteArray& content) {
            const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
            if (fd < 0)
                return;
            [[maybe_unused]] const ssize_t written = ::write(fd, content.constData(), size_t(content.size()));
            ::close(fd);
        };
        for (int i = 1; !end.hasExpired(); ++i) {
            const auto& [path, versions] = files[size_t(i % 50)];
            const QByteArray& content = versions[i % 3];
            if (i % 7 == 0) {
                ::unlink(path.constData());
            } else if (i % 3 == 0) {
                put(temporary, content);
                ::rename(temporary.constData(), path.constData());
            } else {
                put(path, content);
            }
            // One name passes through every kind of entry a folder may hold.
            if (writer == 0 && i % 50 == 0) {
                ::unlink(odd.constData());
                ::rmdir(odd.constData());
                switch (i / 50 % 5) {
                case 0:
                    ::mkfifo(odd.constData(), 0600);
                    break;
                case 1:
                    ::symlink("/dev/zero", odd.constData());
                    break;
                case 2:
                    ::symlink(odd.constData(), odd.constData());
                    break;
                case 3:
                    ::mkdir(odd.constData(), 0700);
                    break;
                default:
                    put(odd, versions[0]);
                    break;
                }
            }
        }
    };
    std::vector<std::thread> writers;
    writers.reserve(4);
    for (int writer = 0; writer < 4; ++writer)
        writers.emplace_back(storm, writer);
    {
        const MainThreadWatch watch;
        runEventsUntil([&] { return end.hasExpired(); });
        for (std::thread& writer : writers)
            writer.join();
        watch.expectResponsiveAndBounded();
    }
    // Quiet: what the store still holds of the storm is read.
    auto settled = [&] {
        QElapsedTimer quiet;
        quiet.start();
        runEventsUntil([&] { return quiet.elapsed() > 500; });
        return !live.hasPendingChanges() && !live.isLoading();
    };
    for (int i = 0; i < 20 && !settled(); ++i) {
    }

    EXPECT_EQ(dayContents(live), freshContents(stormRoot));
    // Files deleted while a folder was read are no problem.
    EXPECT_TRUE(log.messages("events").filter("unreadable").isEmpty())
        << log.messages("events").join('\n').toStdString();
}

// Only the names that inotify reports were read again, and a change to a link's target is reported under
// the target's name, or not at all outside the tree: a link showed what its target held once.
TEST_F(VdirEventStoreTest, LinkedEventFilesShowWhatTheirTargetsHoldNow) {
    write("cal/b.ics", vevent("b", "B", {"DTSTART:20270310T080000Z"}));
    QDir().mkpath(tree_.scratchPath("outside"));
    const QString outside = tree_.scratchPath("outside/o.ics");
    auto writeOutside = [&](const QString& title) {
        QFile file(outside);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(vevent("o", title, {"DTSTART:20270310T090000Z"}));
    };
    writeOutside("O");
    const QByteArray calendar = QFile::encodeName(root() + "/cal/");
    ASSERT_EQ(::symlink("b.ics", calendar + "linkb.ics"), 0);
    ASSERT_EQ(::symlink(QFile::encodeName(outside).constData(), calendar + "linko.ics"), 0);
    ASSERT_EQ(dayContents(store()).size(), 3);

    auto expectFresh = [&](const char* step, qsizetype events) {
        settleChanges();
        const QStringList now = dayContents(store());
        EXPECT_EQ(now, freshContents(root())) << step;
        EXPECT_EQ(now.size(), events) << step;
    };
    write("cal/b.ics", vevent("b", "B, edited", {"DTSTART:20270310T080000Z"}));
    expectFresh("edited inside", 3);
    writeOutside("O, edited");
    expectFresh("edited outside", 3);
    ASSERT_TRUE(QFile::rename(outside, outside + ".moved"));
    expectFresh("renamed outside", 2);
    ASSERT_TRUE(QFile::rename(outside + ".moved", outside));
    expectFresh("renamed back", 3);
    ASSERT_TRUE(QFile::rename(root() + "/cal/b.ics", root() + "/cal/c.ics"));
    expectFresh("renamed inside", 2);
    ASSERT_TRUE(QFile::remove(root() + "/cal/c.ics"));
    ASSERT_TRUE(QFile::remove(outside));
    expectFresh("deleted", 0);
}

// Every entry of a calendar's folder was looked at on the main thread, every empty file held more than a
// kilobyte, and each was logged: a folder of a million files froze start-up and every layout change.
TEST_F(VdirEventStoreTest, AFolderOfManyEmptyFilesCostsTheMainThreadNothingAndIsLoggedOnce) {
    if (!qEnvironmentVariableIsSet("MONDREL_STRESS"))
        GTEST_SKIP() << "runs as VdirEventStoreStress.ManyEmptyFiles (label stress)";
    write("cal/a.ics", vevent("a", "A", {"DTSTART:20270310T080000Z"}));
    const QByteArray folder = QFile::encodeName(root() + "/cal/");
    constexpr int kFiles = 200'000;
    for (int i = 0; i < kFiles; ++i)
        ::close(::open(folder + QByteArray::number(i) + ".ics", O_CREAT | O_WRONLY | O_CLOEXEC, 0600));

    const MainThreadWatch watch;
    VdirEventStore& store = coldStore();
    store.eventCalendars();
    ASSERT_TRUE(runEventsUntil([&] { return !store.isLoading(); }, 120'000));
    EXPECT_EQ(day(2027, 3, 10), QStringList{"A@03-10 09:00"});
    write("cal/displayname", "Renamed\n");
    VdirTree::noteChanges(store, queue_);
    ASSERT_TRUE(runEventsUntil([&] { return !store.isLoading(); }, 120'000));
    EXPECT_EQ(store.eventCalendars().value(0).title, "Renamed");
    watch.expectResponsiveAndBounded();

    const QStringList lines = log.messages("events");
    ASSERT_EQ(lines.size(), 1) << lines.join('\n').toStdString();
    EXPECT_TRUE(
        lines[0].startsWith("calendar_file_problem calendar=cal problems=unparsable count=200000 first="))
        << lines[0].toStdString();
}
