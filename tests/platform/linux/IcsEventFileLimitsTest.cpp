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
    std::vector<Instant> starts(const IcsEventFile& file, int year, int month, int day, int days) {
        const Instant from = *calendar.date(year, month, day);
        std::vector<IcsOccurrence> occurrences;
        file.appendOccurrences(from, from.addingSeconds(days * 86400.0), calendar, occurrences);
        std::vector<Instant> result;
        result.reserve(occurrences.size());
        for (const IcsOccurrence& occurrence : occurrences)
            result.push_back(occurrence.start);
        return result;
    }

    ScopedCalendarPin pin{QStringLiteral("en_US"), QStringLiteral("UTC")};
    Calendar calendar = Calendar::current();
};

// libical walks such rules step by step until it finds a match, or until the year 2582: hours of a worker
// thread for one file. The event keeps its first occurrence and the file says what was left out.
TEST_F(IcsEventFileLimitsTest, SubDailyRulesThatCanStarveAreNotExpanded) {
    for (const QByteArray& rule :
         {QByteArrayLiteral("FREQ=SECONDLY;BYMONTH=2;BYMONTHDAY=30"),
          QByteArrayLiteral("FREQ=HOURLY;BYMONTH=2;BYMONTHDAY=30"),
          QByteArrayLiteral("FREQ=MINUTELY;BYYEARDAY=366"),
          QByteArrayLiteral("FREQ=HOURLY;BYWEEKNO=53;BYMONTH=6"), QByteArrayLiteral("FREQ=SECONDLY")}) {
        QStringList problems;
        const IcsEventFile file = IcsEventFile::parse(eventWithRule(rule), problems);
        EXPECT_EQ(problems, QStringList{QStringLiteral("unsupported_rrule")}) << rule.constData();
        EXPECT_EQ(starts(file, 2026, 3, 2, 1), std::vector<Instant>{*calendar.date(2026, 3, 2, 9)});
        EXPECT_TRUE(starts(file, 2026, 3, 3, 60).empty());
    }

    QStringList problems;
    const IcsEventFile hourly =
        IcsEventFile::parse(eventWithRule("FREQ=HOURLY;INTERVAL=6;BYDAY=MO"), problems);
    EXPECT_TRUE(problems.isEmpty());
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

// A mistyped end made every occurrence last for millennia, so that each day's lookup went back through all
// of them. Each occurrence of a recurring event now lasts at most a year.
TEST_F(IcsEventFileLimitsTest, OccurrencesOfARecurringEventLastAtMostAYear) {
    QStringList problems;
    const IcsEventFile file = IcsEventFile::parse(eventWithRule("FREQ=DAILY", "20540518T010400Z"), problems);
    EXPECT_EQ(problems, QStringList{QStringLiteral("overlong_occurrences")});
    const Instant day = *calendar.date(2026, 3, 5);
    std::vector<IcsOccurrence> occurrences;
    file.appendOccurrences(day, day.addingSeconds(86400), calendar, occurrences);
    ASSERT_EQ(occurrences.size(), 4u);
    for (const IcsOccurrence& occurrence : occurrences)
        EXPECT_EQ(occurrence.end.secondsSince(occurrence.start), 366 * 86400.0);
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
