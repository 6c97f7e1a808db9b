#include "platform/linux/IcsEventFile.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace {

QByteArray eventWithRule(const QByteArray& rule, const QByteArray& end = "20260302T100000Z") {
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:r\r\nDTSTART:20260302T090000Z\r\nDTEND:" +
           end + "\r\nRRULE:" + rule + "\r\nSUMMARY:Rule\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
}

class IcsEventFileLimitsTest : public ::testing::Test {
protected:
    // The occurrences of the file's events that start within `days` days from the date, as the store's
    // worker expands them stretch by stretch.
    std::vector<std::pair<Instant, Instant>> occurrences(const IcsEventFile& file, int year, int month,
                                                         int day, int days) {
        const long long from = (long long)calendar.date(year, month, day)->secondsSince1970();
        const long long to = from + days * 86400LL;
        std::vector<IcsTiming> found;
        for (size_t single = 0; single < file.singleCount(); ++single)
            found.push_back((*file.records())[single].timing);
        QStringList problems;
        for (size_t series = 0; series < file.seriesCount(); ++series)
            for (long long stretch = from / IcsEventFile::kStretch;
                 stretch <= (to - 1) / IcsEventFile::kStretch; ++stretch)
                file.appendOccurrences(series, stretch, found, problems);
        std::vector<std::pair<Instant, Instant>> result;
        for (const IcsTiming& timing : found)
            if (timing.start >= from && timing.start < to)
                result.push_back(timing.instants(timing.start, calendar));
        return result;
    }
    std::vector<Instant> starts(const IcsEventFile& file, int year, int month, int day, int days) {
        std::vector<Instant> result;
        for (const auto& [start, end] : occurrences(file, year, month, day, days))
            result.push_back(start);
        return result;
    }

    ScopedCalendarPin pin{QStringLiteral("en_US"), QStringLiteral("UTC")};
    Calendar calendar = Calendar::current();
};

// libical walks such rules step by step until it finds a match, or until the year 2582: hours of a worker
// thread for one file. They are walked without it, passing over what cannot match.
TEST_F(IcsEventFileLimitsTest, SubDailyRulesThatStarveLibicalAreExpanded) {
    for (const QByteArray& rule : {QByteArrayLiteral("FREQ=SECONDLY;BYMONTH=2;BYMONTHDAY=30"),
                                   QByteArrayLiteral("FREQ=HOURLY;BYMONTH=2;BYMONTHDAY=30"),
                                   QByteArrayLiteral("FREQ=SECONDLY;BYSECOND=60"),
                                   QByteArrayLiteral("FREQ=HOURLY;BYWEEKNO=53;BYMONTH=6"),
                                   QByteArrayLiteral("FREQ=MINUTELY;BYYEARDAY=366;COUNT=5000")}) {
        QStringList problems;
        const IcsEventFile file = IcsEventFile::parse(eventWithRule(rule), problems);
        EXPECT_TRUE(problems.isEmpty()) << rule.constData();
        EXPECT_EQ(starts(file, 2026, 3, 2, 1), std::vector<Instant>{*calendar.date(2026, 3, 2, 9)});
        EXPECT_TRUE(starts(file, 2026, 3, 3, 60).empty());
        EXPECT_TRUE(starts(file, 2027, 6, 1, 1).empty());
    }

    QStringList problems;
    // The first leap day of the year after DTSTART: 2028-12-31, a minute at a time, as far as COUNT goes.
    const IcsEventFile leapDay =
        IcsEventFile::parse(eventWithRule("FREQ=MINUTELY;BYYEARDAY=366;COUNT=1000"), problems);
    const std::vector<Instant> minutes = starts(leapDay, 2028, 12, 31, 1);
    ASSERT_EQ(minutes.size(), 999u);
    EXPECT_EQ(minutes.front(), *calendar.date(2028, 12, 31, 0, 0));
    EXPECT_EQ(minutes.back(), *calendar.date(2028, 12, 31, 16, 38));
    // Seconds on a grid of 90 from 09:00:00, in minutes 0 and 30 of hour 10.
    const IcsEventFile seconds =
        IcsEventFile::parse(eventWithRule("FREQ=SECONDLY;INTERVAL=90;BYHOUR=10;BYMINUTE=0,30"), problems);
    EXPECT_EQ(starts(seconds, 2026, 3, 9, 1),
              (std::vector<Instant>{*calendar.date(2026, 3, 9, 10, 0), *calendar.date(2026, 3, 9, 10, 30)}));
    // Minutes on a grid of 7 from 09:00, in hour 23 of a month's last day.
    const IcsEventFile minutely =
        IcsEventFile::parse(eventWithRule("FREQ=MINUTELY;INTERVAL=7;BYMONTHDAY=-1;BYHOUR=23"), problems);
    const std::vector<Instant> lastDay = starts(minutely, 2026, 3, 31, 1);
    ASSERT_EQ(lastDay.size(), 9u);
    EXPECT_EQ(lastDay.front(), *calendar.date(2026, 3, 31, 23, 2));
    EXPECT_EQ(lastDay.back(), *calendar.date(2026, 3, 31, 23, 58));
    EXPECT_TRUE(starts(minutely, 2026, 4, 1, 29).empty());
    EXPECT_TRUE(problems.isEmpty());

    // Every second fills a stretch's limit (in less than two days), and says so.
    const IcsEventFile everySecond = IcsEventFile::parse(eventWithRule("FREQ=SECONDLY"), problems);
    EXPECT_EQ(starts(everySecond, 2026, 3, 2, 2).size(), size_t(IcsEventFile::kMostOccurrencesPerStretch));

    const IcsEventFile hourly =
        IcsEventFile::parse(eventWithRule("FREQ=HOURLY;INTERVAL=6;BYDAY=MO"), problems);
    EXPECT_EQ(starts(hourly, 2026, 3, 9, 1).size(), 4u);
}

// Once libical has said that a rule has no more instances, later days are not asked again; earlier ones
// still are.
TEST_F(IcsEventFileLimitsTest, TheEndOfARuleIsRememberedWithoutHidingEarlierInstances) {
    QStringList problems;
    const IcsEventFile ended =
        IcsEventFile::parse(eventWithRule("FREQ=DAILY;UNTIL=20260310T090000Z"), problems);
    EXPECT_TRUE(starts(ended, 2026, 6, 1, 1).empty());
    EXPECT_TRUE(starts(ended, 2026, 9, 1, 1).empty());
    EXPECT_EQ(starts(ended, 2026, 3, 10, 1), std::vector<Instant>{*calendar.date(2026, 3, 10, 9)});
    EXPECT_EQ(starts(ended, 2026, 3, 1, 20).size(), 9u);
    EXPECT_TRUE(problems.isEmpty());
}

// Each detached range walks the series' rule once more, and each year of week numbers is a set held whole:
// a file of many ranges, or of every second of every week, costs no more than a bounded number of walks.
TEST_F(IcsEventFileLimitsTest, RangesAndSetsOfWeekNumbersAreBounded) {
    QByteArray content = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:r\r\nSUMMARY:Daily\r\n"
                         "DTSTART:20260302T090000Z\r\nRRULE:FREQ=DAILY\r\nEND:VEVENT\r\n";
    for (int day = 3; day < 3 + 40; ++day) {
        const QByteArray date = QDate(2026, 3, 1).addDays(day - 1).toString("yyyyMMdd").toLatin1();
        content += "BEGIN:VEVENT\r\nUID:r\r\nSUMMARY:Range\r\nRECURRENCE-ID;RANGE=THISANDFUTURE:" + date +
                   "T090000Z\r\nDTSTART:" + date + "T100000Z\r\nEND:VEVENT\r\n";
    }
    QStringList problems;
    const IcsEventFile ranges = IcsEventFile::parse(content + "END:VCALENDAR\r\n", problems);
    EXPECT_EQ(ranges.seriesCount(), 33u);
    EXPECT_EQ(starts(ranges, 2026, 4, 20, 1), std::vector<Instant>{*calendar.date(2026, 4, 20, 10)});

    QByteArray weeks = "FREQ=YEARLY;BYWEEKNO=";
    for (int week = 1; week <= 53; ++week)
        weeks += QByteArray::number(week) + (week < 53 ? "," : ";BYMINUTE=");
    for (int minute = 0; minute < 60; ++minute)
        weeks += QByteArray::number(minute) + (minute < 59 ? "," : ";BYSECOND=");
    for (int second = 0; second < 60; ++second)
        weeks += QByteArray::number(second) + (second < 59 ? "," : ";BYHOUR=9;BYDAY=MO,TU,WE,TH,FR,SA,SU");
    const IcsEventFile everySecond = IcsEventFile::parse(eventWithRule(weeks), problems);
    EXPECT_EQ(starts(everySecond, 2026, 3, 2, 1).size(), 3600u);
    EXPECT_TRUE(problems.isEmpty());
}

// A mistyped end made every occurrence last for millennia, so that each day's lookup went back through all
// of them. Each occurrence of a recurring event now lasts at most a year.
TEST_F(IcsEventFileLimitsTest, OccurrencesOfARecurringEventLastAtMostAYear) {
    QStringList problems;
    const IcsEventFile file = IcsEventFile::parse(eventWithRule("FREQ=DAILY", "20540518T010400Z"), problems);
    EXPECT_EQ(problems, QStringList{QStringLiteral("overlong_occurrences")});
    const auto found = occurrences(file, 2026, 3, 5, 1);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].second.secondsSince(found[0].first), 366 * 86400.0);
}

// libical builds and frees a tree recursively: 300,000 nested components, 6 MB, overflowed the stack at
// every start. A file nested deeper than any calendar is refused whole, however its lines are folded.
TEST_F(IcsEventFileLimitsTest, DeeplyNestedComponentsAreRefusedBeforeLibicalSeesThem) {
    const QByteArray event =
        "BEGIN:VEVENT\r\nUID:n\r\nDTSTART:20260302T090000Z\r\nSUMMARY:Nested\r\n"
        "BEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER:-PT5M\r\nEND:VALARM\r\nEND:VEVENT\r\n";
    auto nested = [&](int depth, const QByteArray& begin) {
        QByteArray content = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\n" + event;
        for (int i = 0; i < depth; ++i)
            content += begin + QByteArray::number(i) + "\r\n";
        for (int i = depth - 1; i >= 0; --i)
            content += "END:X-N" + QByteArray::number(i) + "\r\n";
        return content + "END:VCALENDAR\r\n";
    };

    for (const QByteArray& begin : {QByteArrayLiteral("BEGIN:X-N"), QByteArrayLiteral("BEG\r\n IN:X-N"),
                                    QByteArrayLiteral("begin:x-n")}) {
        QStringList problems;
        const QByteArray content = nested(300000, begin);
        const IcsEventFile file = IcsEventFile::parse(content, problems);
        EXPECT_EQ(problems, QStringList{QStringLiteral("too_deeply_nested")}) << begin.constData();
        EXPECT_EQ(file.records()->size(), 0u);
    }

    // As deep as the limit allows, with the calendar around, is still read.
    QStringList problems;
    const IcsEventFile file =
        IcsEventFile::parse(nested(IcsEventFile::kDeepestNesting - 1, "BEGIN:X-N"), problems);
    EXPECT_TRUE(problems.isEmpty()) << problems.join(u',').toStdString();
    EXPECT_EQ(starts(file, 2026, 3, 2, 1), std::vector<Instant>{*calendar.date(2026, 3, 2, 9)});
    problems.clear();
    IcsEventFile::parse(nested(IcsEventFile::kDeepestNesting, "BEGIN:X-N"), problems);
    EXPECT_EQ(problems, QStringList{QStringLiteral("too_deeply_nested")});
}

} // namespace
