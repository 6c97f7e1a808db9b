#include "platform/linux/VdirEventStore.h"
#include "platform/linux/WeekNumberRule.h"
#include "utilities/DateFormats.h"

#include "support/CapturingLogSink.h"
#include "support/QtPrinters.h"
#include "support/VdirTree.h"
#include "support/VirtualMainQueue.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <cctype>
#include <set>

#include <libical/ical.h>

// Each ics-samples/NAME.ics is read as one file of a calendar of the local store, and what the store's day
// queries find is compared with
// ics-samples/NAME.expected. That file's first line names the user's zone and the window asked for, as
// local dates or date-times, and optionally the problems the reader must report:
//   # zone=Europe/Berlin from=2026-03-27 to=2026-04-01 problems=invalid_date_time
// Every further line is one occurrence, in start order (then in text order): local start and end with their
// offsets, "all-day" or "timed", and the title:
//   2026-03-29T03:30+02:00|2026-03-29T04:30+02:00|timed|Floating in the gap
// Adding a case is adding those two files.

namespace {

QString samplesDirectory() {
    return QStringLiteral(MONDREL_ICS_SAMPLES);
}

std::vector<std::string> sampleNames() {
    std::vector<std::string> names;
    for (const QString& file : QDir(samplesDirectory()).entryList({QStringLiteral("*.ics")}, QDir::Files))
        names.push_back(QFileInfo(file).completeBaseName().toStdString());
    return names;
}

QByteArray readSample(const QString& name) {
    QFile file(QDir(samplesDirectory()).filePath(name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
    return file.readAll();
}

struct Expectation {
    QString zone;
    QString from;
    QString to;
    QStringList problems;
    QStringList occurrences;
};

Expectation readExpectation(const QString& name) {
    QStringList lines = QString::fromUtf8(readSample(name + QStringLiteral(".expected"))).split(u'\n');
    Expectation expected;
    const QString header = lines.isEmpty() ? QString() : lines.takeFirst();
    static const QRegularExpression setting(QStringLiteral("(\\w+)=(\\S+)"));
    for (auto it = setting.globalMatch(header); it.hasNext();) {
        const auto match = it.next();
        const QString value = match.captured(2);
        if (match.captured(1) == u"zone")
            expected.zone = value;
        else if (match.captured(1) == u"from")
            expected.from = value;
        else if (match.captured(1) == u"to")
            expected.to = value;
        else if (match.captured(1) == u"problems")
            expected.problems = value.split(u',');
    }
    for (const QString& line : lines)
        if (!line.trimmed().isEmpty())
            expected.occurrences << line.trimmed();
    return expected;
}

// "2026-03-27" or "2026-03-27T06:00" in the pinned zone.
Instant localTime(const QString& text) {
    QDate date = QDate::fromString(text, Qt::ISODate);
    QTime time(0, 0);
    if (text.contains(u'T')) {
        const QDateTime parsed = QDateTime::fromString(text, Qt::ISODate);
        date = parsed.date();
        time = parsed.time();
    }
    const auto at =
        Calendar::gregorian().date(date.year(), date.month(), date.day(), time.hour(), time.minute());
    EXPECT_TRUE(at) << text.toStdString();
    return at.value_or(Instant());
}

// What the store finds in one range, as expected lines.
std::set<std::pair<Instant, QString>> occurrences(const VdirEventStore& store, Instant from, Instant to) {
    const DateFormatter format =
        DateFormatter::fixedPattern(Calendar::gregorian(), QStringLiteral("yyyy-MM-dd'T'HH:mmxxx"));
    std::set<std::pair<Instant, QString>> lines;
    for (const StoredEvent& e : VdirTree::settledEvents(store, from, to))
        lines.emplace(*e.startDate,
                      QStringList{format.format(*e.startDate), format.format(*e.endDate),
                                  e.isAllDay ? QStringLiteral("all-day") : QStringLiteral("timed"),
                                  e.title.value_or(QString())}
                          .join(u'|'));
    return lines;
}

QString joined(const std::set<std::pair<Instant, QString>>& lines) {
    QStringList list;
    for (const auto& [start, line] : lines)
        list << line;
    return list.join(u'\n');
}

class IcsEventFileSamples : public ::testing::TestWithParam<std::string> {};

} // namespace

TEST_P(IcsEventFileSamples, OccurrencesAreTheExpectedOnes) {
    const QString name = QString::fromStdString(GetParam());
    const Expectation expected = readExpectation(name);
    ASSERT_FALSE(expected.zone.isEmpty()) << "no zone in the header of " << GetParam() << ".expected";
    ScopedCalendarPin pin(QStringLiteral("en_US"), expected.zone);
    const Instant from = localTime(expected.from);
    const Instant to = localTime(expected.to);
    CapturingLogSink log;
    VdirTree tree;
    tree.write(QStringLiteral("cal/") + name + QStringLiteral(".ics"),
               readSample(name + QStringLiteral(".ics")));
    VirtualMainQueue queue;

    VdirEventStore whole(tree.root(), queue);
    VdirTree::load(whole);
    const QString lines = joined(occurrences(whole, from, to));
    EXPECT_EQ(lines.toStdString(), expected.occurrences.join(u'\n').toStdString());
    QStringList problems;
    static const QRegularExpression reported(
        QStringLiteral("^calendar_file_problem file=\\S+ problems=(\\S+)$"));
    for (const QString& message : log.messages(QStringLiteral("events")))
        if (const auto match = reported.match(message); match.hasMatch())
            problems += match.captured(1).split(u',');
    EXPECT_EQ(problems.join(u',').toStdString(), expected.problems.join(u',').toStdString());

    // Day by day, from a store that reads the file afresh, finds the same.
    VdirEventStore daily(tree.root(), queue);
    VdirTree::load(daily);
    const Calendar calendar = Calendar::current();
    std::set<std::pair<Instant, QString>> byDay;
    for (Instant day = calendar.startOfDay(from); day < to;) {
        const Instant next = calendar.startOfDayAfter(1, day).value_or(to);
        byDay.merge(occurrences(daily, std::max(day, from), std::min(next, to)));
        day = next;
    }
    EXPECT_EQ(joined(byDay).toStdString(), lines.toStdString());
}

INSTANTIATE_TEST_SUITE_P(Samples, IcsEventFileSamples, ::testing::ValuesIn(sampleNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return name;
                         });

namespace {

// Every start of the rule from DTSTART on, up to `until`, as libical's one walk from DTSTART gives them; for
// week numbers of a year, which libical counts wrongly, as the reader's own one walk gives them.
std::vector<long long> fullWalk(const QByteArray& rule, const QByteArray& dtstart, long long until) {
    const icalrecurrencetype recurrence = icalrecurrencetype_from_string(rule.constData());
    const icaltimetype start = icaltime_from_string(dtstart.constData());
    if (recurrence.freq == ICAL_YEARLY_RECURRENCE && recurrence.by_week_no[0] != ICAL_RECURRENCE_ARRAY_MAX) {
        WeekNumberRule weeks(recurrence, icaltime_as_timet_with_zone(start, icaltimezone_get_utc_timezone()));
        std::vector<long long> starts;
        while (const std::optional<long long> next = weeks.next(until))
            starts.push_back(*next);
        return starts;
    }
    std::unique_ptr<icalrecur_iterator, decltype(&icalrecur_iterator_free)> it(
        icalrecur_iterator_new(recurrence, start), icalrecur_iterator_free);
    std::vector<long long> starts;
    for (icaltimetype next = icalrecur_iterator_next(it.get()); !icaltime_is_null_time(next);
         next = icalrecur_iterator_next(it.get())) {
        const long long at = icaltime_as_timet_with_zone(next, icaltimezone_get_utc_timezone());
        if (at >= until)
            break;
        starts.push_back(at);
    }
    return starts;
}

} // namespace

// The worker expands a series stretch by stretch, each on its own, in any order: together they must give
// what one walk from DTSTART gives, for rules with every rule part.
TEST(IcsEventFileExpansion, StretchByStretchEqualsTheWalkFromDtstart) {
    const QByteArray dtstart = "20241229T093000Z"; // a Sunday in the last days of an ISO year
    const long long first = icaltime_as_timet_with_zone(icaltime_from_string(dtstart.constData()),
                                                        icaltimezone_get_utc_timezone());
    const long long until = first + 10LL * 366 * 86400;
    for (const QByteArray rule : {
             "FREQ=YEARLY;BYWEEKNO=1,20,-1;BYDAY=MO,SU",
             "FREQ=YEARLY;BYWEEKNO=53;BYDAY=TH,SU",
             "FREQ=YEARLY;BYWEEKNO=-1;BYDAY=MO,FR;WKST=SU;INTERVAL=2",
             "FREQ=YEARLY;BYWEEKNO=2,52;BYDAY=SU;WKST=MO",
             "FREQ=YEARLY;BYYEARDAY=1,100,-1",
             "FREQ=YEARLY;BYYEARDAY=-366,366",
             "FREQ=YEARLY;BYMONTH=2;BYMONTHDAY=-1",
             "FREQ=YEARLY;INTERVAL=3;BYMONTH=3;BYDAY=-1SU",
             "FREQ=YEARLY;BYDAY=20MO,-1FR",
             "FREQ=YEARLY;BYMONTH=1,12;BYDAY=MO,SU;BYSETPOS=1,-1",
             "FREQ=MONTHLY;BYDAY=-1FR",
             "FREQ=MONTHLY;INTERVAL=2;BYDAY=2TU,-2WE",
             "FREQ=MONTHLY;BYMONTHDAY=-3,15,31;BYSETPOS=1",
             "FREQ=MONTHLY;BYDAY=MO,TU,WE,TH,FR;BYSETPOS=-1",
             "FREQ=MONTHLY;INTERVAL=5;BYMONTHDAY=29,30",
             "FREQ=MONTHLY;COUNT=40;BYDAY=1MO",
             "FREQ=WEEKLY;INTERVAL=3;BYDAY=SA,SU;WKST=SU",
             "FREQ=WEEKLY;INTERVAL=2;UNTIL=20300101T000000Z",
             "FREQ=WEEKLY;INTERVAL=2;BYDAY=MO,SU;WKST=MO;COUNT=200",
             "FREQ=DAILY;INTERVAL=5;BYMONTH=1,7",
             "FREQ=DAILY;INTERVAL=3;BYMONTHDAY=1,2,3,4,5;BYDAY=MO,TU",
             "FREQ=DAILY;BYHOUR=9,21;BYMINUTE=30;BYSECOND=0,30;UNTIL=20280101T000000Z",
             "FREQ=HOURLY;INTERVAL=5;BYDAY=MO",
             "FREQ=MINUTELY;INTERVAL=7;BYHOUR=9;COUNT=3000",
             // Sub-daily rules with date parts, walked without libical (from a DTSTART that matches them:
             // libical leaves out one that does not). libical's own walk of them takes long: they end early.
             "FREQ=HOURLY;INTERVAL=5;BYMONTH=1,7,12;BYDAY=MO,SU;BYMINUTE=30,45",
             "FREQ=MINUTELY;INTERVAL=11;BYMONTH=12,6;BYMONTHDAY=29;BYHOUR=9,10;UNTIL=20270101T000000Z",
             "FREQ=SECONDLY;INTERVAL=45;BYMINUTE=30;BYHOUR=9;UNTIL=20250110T000000Z",
             "FREQ=SECONDLY;INTERVAL=7;BYMINUTE=30;BYHOUR=9;BYDAY=SU,MO,TU;COUNT=20",
         }) {
        SCOPED_TRACE(rule.constData());
        QStringList problems;
        const IcsEventFile file =
            IcsEventFile::parse("BEGIN:VCALENDAR\nVERSION:2.0\nBEGIN:VEVENT\nUID:p\nDTSTART:" + dtstart +
                                    "\nRRULE:" + rule + "\nEND:VEVENT\nEND:VCALENDAR\n",
                                problems);
        ASSERT_EQ(file.seriesCount(), 1u);
        std::vector<IcsTiming> found;
        // Later stretches first: no stretch may lean on one expanded before it.
        for (long long stretch = (until - 1) / IcsEventFile::kStretch;
             stretch >= first / IcsEventFile::kStretch; --stretch) {
            std::vector<IcsTiming> occurrences;
            file.appendOccurrences(0, stretch, occurrences, problems);
            found.insert(found.begin(), occurrences.begin(), occurrences.end());
        }
        std::vector<long long> starts;
        for (const IcsTiming& timing : found)
            if (timing.start < until)
                starts.push_back(timing.start);
        EXPECT_EQ(starts, fullWalk(rule, dtstart, until));
        EXPECT_TRUE(problems.isEmpty()) << problems.join(u',').toStdString();
    }
}
