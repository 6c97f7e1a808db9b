#include "support/GoogleTestSupport.h"

#include "services/google/GoogleEventConverter.h"
#include "utilities/MondrelTheme.h"

namespace {

GEventTime dateTime(const QString& text) {
    return {std::nullopt, text};
}
GEventTime date(const QString& text) {
    return {text, std::nullopt};
}

GEvent event(const QString& id, std::optional<GEventTime> start, std::optional<GEventTime> end,
             const QString& summary = QStringLiteral("Meeting")) {
    GEvent e;
    e.id = id;
    e.summary = summary;
    e.start = std::move(start);
    e.end = std::move(end);
    return e;
}

GCalendarEvents onCalendar(QList<GEvent> events, const QString& id = QStringLiteral("cal"),
                           std::optional<QString> color = QStringLiteral("#3366CC")) {
    GCalendarListEntry calendar;
    calendar.id = id;
    calendar.backgroundColor = std::move(color);
    return {calendar, std::move(events)};
}

class GoogleEventConverterTest : public ::testing::Test {
protected:
    Instant day(int y, int m, int d) const { return *calendar().date(y, m, d); }
    Calendar calendar() const { return Calendar::current(); }
    // "10:00 PM" as ICU writes it (with a narrow no-break space).
    QString timeText(int hour, int minute) const {
        QString text = DateFormatter::fromSkeleton(calendar(), DateFormats::kTime)
                           .format(*calendar().date(2026, 3, 1, hour, minute));
        EXPECT_EQ(QString(text).replace(QChar(0x202F), u' '), QStringLiteral("%1:%2 %3")
                                                                  .arg(hour % 12 == 0 ? 12 : hour % 12)
                                                                  .arg(minute, 2, 10, QChar(u'0'))
                                                                  .arg(hour < 12 ? "AM" : "PM"));
        return text;
    }

    GoogleEventConverter::EventsByDay convert(const QList<GCalendarEvents>& byCalendar) const {
        return GoogleEventConverter(calendar()).eventsByDay(byCalendar, window);
    }
    QStringList idsOn(const GoogleEventConverter::EventsByDay& days, Instant dayStart) const {
        QStringList ids;
        for (const DayEvent& e : days.value(dayStart))
            ids << e.id().section(u'|', 2, 2);
        return ids;
    }
    QList<Instant> daysOf(const GoogleEventConverter::EventsByDay& days, const QString& eventID) const {
        QList<Instant> result;
        for (auto it = days.begin(); it != days.end(); ++it)
            for (const DayEvent& e : it.value())
                if (e.id().section(u'|', 2, 2) == eventID)
                    result << it.key();
        std::sort(result.begin(), result.end());
        return result;
    }

    ScopedCalendarPin pin{QStringLiteral("en_US"), QStringLiteral("Europe/Berlin")};
    DateInterval window{day(2026, 2, 15), day(2026, 4, 15)};
};

TEST_F(GoogleEventConverterTest, AllDaySpansEndTheDayBeforeTheirEndDateAndComeFirst) {
    const auto days = convert({onCalendar({
        event(QStringLiteral("early"), dateTime(QStringLiteral("2026-03-17T07:00:00+01:00")),
              dateTime(QStringLiteral("2026-03-17T08:00:00+01:00"))),
        event(QStringLiteral("span"), date(QStringLiteral("2026-03-17")), date(QStringLiteral("2026-03-19"))),
        event(QStringLiteral("open"), date(QStringLiteral("2026-03-20")), std::nullopt),
    })});

    EXPECT_EQ(daysOf(days, QStringLiteral("span")), (QList<Instant>{day(2026, 3, 17), day(2026, 3, 18)}));
    EXPECT_EQ(daysOf(days, QStringLiteral("open")), QList<Instant>{day(2026, 3, 20)});
    EXPECT_EQ(idsOn(days, day(2026, 3, 17)), (QStringList{"span", "early"}));
    const DayEvent span = days.value(day(2026, 3, 18)).first();
    EXPECT_TRUE(span.isAllDay());
    EXPECT_EQ(span.timeLabel(), QStringLiteral("All day"));
    EXPECT_EQ(span.sortDate(), day(2026, 3, 17));
}

TEST_F(GoogleEventConverterTest, TimedEventsCoverEveryDayTheyTouchButNotAMidnightEnd) {
    const auto days = convert({onCalendar({
        event(QStringLiteral("night"), dateTime(QStringLiteral("2026-03-10T22:00:00+01:00")),
              dateTime(QStringLiteral("2026-03-11T02:00:00+01:00"))),
        event(QStringLiteral("morning"), dateTime(QStringLiteral("2026-03-11T09:00:00+01:00")),
              dateTime(QStringLiteral("2026-03-11T10:00:00+01:00"))),
        event(QStringLiteral("tomidnight"), dateTime(QStringLiteral("2026-03-12T09:00:00+01:00")),
              dateTime(QStringLiteral("2026-03-13T00:00:00+01:00"))),
        event(QStringLiteral("backwards"), dateTime(QStringLiteral("2026-03-14T09:00:00+01:00")),
              dateTime(QStringLiteral("2026-03-13T09:00:00+01:00"))),
        event(QStringLiteral("badend"), dateTime(QStringLiteral("2026-03-15T09:00:00+01:00")),
              dateTime(QStringLiteral("tomorrow"))),
    })});

    EXPECT_EQ(daysOf(days, QStringLiteral("night")), (QList<Instant>{day(2026, 3, 10), day(2026, 3, 11)}));
    EXPECT_EQ(idsOn(days, day(2026, 3, 11)), (QStringList{"night", "morning"}));
    const DayEvent secondNight = days.value(day(2026, 3, 11)).first();
    EXPECT_EQ(secondNight.timeLabel(), timeText(22, 0));
    EXPECT_FALSE(secondNight.isAllDay());
    EXPECT_EQ(daysOf(days, QStringLiteral("tomidnight")), QList<Instant>{day(2026, 3, 12)});
    EXPECT_EQ(daysOf(days, QStringLiteral("backwards")), QList<Instant>{day(2026, 3, 14)});
    EXPECT_EQ(daysOf(days, QStringLiteral("badend")), QList<Instant>{day(2026, 3, 15)});
}

TEST_F(GoogleEventConverterTest, EventsAreClippedToTheWindowWhoseEndDayCounts) {
    const auto days = convert({onCalendar({
        event(QStringLiteral("before"), date(QStringLiteral("2026-02-10")),
              date(QStringLiteral("2026-02-17"))),
        event(QStringLiteral("after"), dateTime(QStringLiteral("2026-04-13T12:00:00+02:00")),
              dateTime(QStringLiteral("2026-04-20T12:00:00+02:00"))),
        event(QStringLiteral("outside"), date(QStringLiteral("2026-01-05")),
              date(QStringLiteral("2026-01-06"))),
    })});

    EXPECT_EQ(daysOf(days, QStringLiteral("before")), (QList<Instant>{day(2026, 2, 15), day(2026, 2, 16)}));
    EXPECT_EQ(daysOf(days, QStringLiteral("after")),
              (QList<Instant>{day(2026, 4, 13), day(2026, 4, 14), day(2026, 4, 15)}));
    EXPECT_TRUE(daysOf(days, QStringLiteral("outside")).isEmpty());
    EXPECT_EQ(days.value(day(2026, 2, 15)).first().sortDate(), day(2026, 2, 10))
        << "the start is not clipped";
}

TEST_F(GoogleEventConverterTest, StartsComeFromDateTimeFirstAndUnreadableStartsDropTheEvent) {
    GEventTime both{QStringLiteral("2026-03-02"), QStringLiteral("2026-03-03T10:00:00+01:00")};
    GEventTime badDateTime{QStringLiteral("2026-03-04"), QStringLiteral("2026-03-04 10:00")};
    const auto days = convert({onCalendar({
        event(QStringLiteral("both"), both, std::nullopt),
        event(QStringLiteral("bad"), badDateTime, std::nullopt),
        event(QStringLiteral("nostart"), std::nullopt, date(QStringLiteral("2026-03-05"))),
        event(QStringLiteral("emptystart"), GEventTime{}, std::nullopt),
        event(QStringLiteral("fraction"), dateTime(QStringLiteral("2026-03-06T09:30:00.250Z")), std::nullopt),
    })});

    ASSERT_EQ(daysOf(days, QStringLiteral("both")), QList<Instant>{day(2026, 3, 3)});
    const DayEvent mixed = days.value(day(2026, 3, 3)).first();
    EXPECT_TRUE(mixed.isAllDay());
    EXPECT_EQ(mixed.timeLabel(), QStringLiteral("All day"));
    EXPECT_TRUE(daysOf(days, QStringLiteral("bad")).isEmpty());
    EXPECT_TRUE(daysOf(days, QStringLiteral("nostart")).isEmpty());
    EXPECT_TRUE(daysOf(days, QStringLiteral("emptystart")).isEmpty());
    EXPECT_EQ(days.value(day(2026, 3, 6)).first().timeLabel(), timeText(10, 30));
}

TEST_F(GoogleEventConverterTest, StatusTitleIdentityAndDedupKey) {
    GEvent cancelled = event(QStringLiteral("x"), date(QStringLiteral("2026-03-09")), std::nullopt);
    cancelled.status = QStringLiteral("cancelled");
    GEvent tentative = event(QStringLiteral("t"), date(QStringLiteral("2026-03-09")), std::nullopt,
                             QStringLiteral("  Lunch \n"));
    tentative.status = QStringLiteral("Cancelled");
    tentative.iCalUID = QStringLiteral("uid@example.com");
    GEvent untitled = event(QStringLiteral("u"), dateTime(QStringLiteral("2026-03-09T12:00:00.900Z")),
                            std::nullopt, QStringLiteral(" \t "));
    untitled.summary = QStringLiteral(" \t ");

    const auto days = convert({onCalendar({cancelled, tentative, untitled})});
    const QList<DayEvent> list = days.value(day(2026, 3, 9));

    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list[0].title(), QStringLiteral("Lunch"));
    EXPECT_EQ(list[0].id(),
              QStringLiteral("g|cal|t|") + shortestRoundTripText(day(2026, 3, 9).secondsSince2001()));
    EXPECT_TRUE(list[0].id().endsWith(QStringLiteral(".0")));
    EXPECT_EQ(list[0].dedupKey(),
              QStringLiteral("uid@example.com|%1").arg(qint64(day(2026, 3, 9).secondsSince1970())));
    EXPECT_EQ(list[1].title(), QStringLiteral("Untitled event"));
    EXPECT_FALSE(list[1].dedupKey()) << "without an iCalUID no event of the other source may be dropped";
}

TEST_F(GoogleEventConverterTest, EventsWithoutIdGetAFreshIdentityPerDayAndRebuild) {
    GEvent anonymous =
        event(QString(), date(QStringLiteral("2026-03-09")), date(QStringLiteral("2026-03-11")));
    anonymous.id.reset();
    GCalendarEvents pair = onCalendar({anonymous});
    pair.calendar.id.reset();

    const auto first = convert({pair});
    const auto second = convert({pair});

    const QString a = first.value(day(2026, 3, 9)).first().id();
    const QString b = first.value(day(2026, 3, 10)).first().id();
    EXPECT_TRUE(a.startsWith(QStringLiteral("g|?|")));
    EXPECT_NE(a.section(u'|', 2, 2), b.section(u'|', 2, 2));
    EXPECT_NE(a, second.value(day(2026, 3, 9)).first().id());
    EXPECT_EQ(a.section(u'|', 2, 2), a.section(u'|', 2, 2).toUpper());
}

TEST_F(GoogleEventConverterTest, CalendarColourOrAccentAndStableOrderAcrossCalendars) {
    const GEvent first = event(QStringLiteral("first"), date(QStringLiteral("2026-03-09")), std::nullopt,
                               QStringLiteral("Same"));
    const GEvent second = event(QStringLiteral("second"), date(QStringLiteral("2026-03-09")), std::nullopt,
                                QStringLiteral("Same"));
    const GEvent third = event(QStringLiteral("third"), date(QStringLiteral("2026-03-09")), std::nullopt,
                               QStringLiteral("Same"));

    const auto days = convert({onCalendar({first}, QStringLiteral("red"), QStringLiteral(" ff0000 ")),
                               onCalendar({second}, QStringLiteral("none"), std::nullopt),
                               onCalendar({third}, QStringLiteral("bad"), QStringLiteral("#FFF"))});
    const QList<DayEvent> list = days.value(day(2026, 3, 9));

    ASSERT_EQ(list.size(), 3);
    EXPECT_EQ(list[0].id().section(u'|', 2, 2), QStringLiteral("first"));
    EXPECT_EQ(list[0].color(), QColor(255, 0, 0));
    EXPECT_EQ(list[1].id().section(u'|', 2, 2), QStringLiteral("second"));
    EXPECT_EQ(list[1].color(), MondrelTheme::accent());
    EXPECT_EQ(list[2].color(), MondrelTheme::accent());
}

TEST(GoogleEventDays, ADayThatBeginsAfterMidnightDoesNotShiftTheDaysAfterIt) {
    // Santiago skipped 2022-09-11 00:00-01:00: that day begins at 01:00, the next one at 00:00 again.
    ScopedCalendarPin pin(QStringLiteral("es_CL"), QStringLiteral("America/Santiago"));
    const Calendar calendar = Calendar::current();
    GEvent span =
        event(QStringLiteral("span"), date(QStringLiteral("2022-09-10")), date(QStringLiteral("2022-09-13")));
    GEvent night = event(QStringLiteral("night"), dateTime(QStringLiteral("2022-09-10T22:00:00-04:00")),
                         dateTime(QStringLiteral("2022-09-12T09:00:00-03:00")));

    const auto days = GoogleEventConverter(calendar).eventsByDay(
        {onCalendar({span, night})}, GoogleCalendarService::window(*calendar.date(2022, 9, 20)));

    for (int d = 10; d <= 12; ++d) {
        const QList<DayEvent> list = days.value(calendar.startOfDay(*calendar.date(2022, 9, d, 12)));
        EXPECT_EQ(list.size(), 2) << "September " << d;
    }
    EXPECT_EQ(days.size(), 3);
}

TEST(GoogleEventLabels, FollowTheLocaleOfEachRebuild) {
    const QList<GCalendarEvents> fetched = {onCalendar(
        {event(QStringLiteral("e"), dateTime(QStringLiteral("2026-03-10T14:30:00+01:00")), std::nullopt)})};
    auto labelIn = [&](const QString& locale) {
        ScopedCalendarPin pin(locale, QStringLiteral("Europe/Berlin"));
        const Calendar calendar = Calendar::current();
        const auto days = GoogleEventConverter(calendar).eventsByDay(
            fetched, GoogleCalendarService::window(*calendar.date(2026, 3, 10)));
        return days.value(*calendar.date(2026, 3, 10))
            .value(0, DayEvent({}, {}, {}, false, {}, {}, {}))
            .timeLabel();
    };

    EXPECT_EQ(labelIn(QStringLiteral("de_DE")), QStringLiteral("14:30"));
    EXPECT_TRUE(labelIn(QStringLiteral("en_US")).startsWith(QStringLiteral("2:30")));
}

TEST(GoogleEventColour, ParsesSixHexDigitsWithOptionalHashLikeAnUnsignedIntegerParse) {
    EXPECT_EQ(GoogleEventConverter::color(QStringLiteral("#FF0000")), QColor(255, 0, 0));
    EXPECT_EQ(GoogleEventConverter::color(QStringLiteral("\n ff0000 ")), QColor(255, 0, 0));
    EXPECT_EQ(GoogleEventConverter::color(QStringLiteral("#3366cc")), QColor(0x33, 0x66, 0xCC));
    EXPECT_EQ(GoogleEventConverter::color(QStringLiteral("+0000F")), QColor(0, 0, 0x0F));
    EXPECT_EQ(GoogleEventConverter::color(QStringLiteral("-00000")), QColor(0, 0, 0));
    EXPECT_EQ(GoogleEventConverter::color(QStringLiteral("-000000")), std::nullopt) << "seven characters";
    EXPECT_EQ(GoogleEventConverter::color(QStringLiteral("#-00000")), QColor(0, 0, 0));
    for (const char* bad : {"#FFF", "##FF0000", "#FF00001", "GGGGGG", "-00001", "", "#"})
        EXPECT_EQ(GoogleEventConverter::color(QString::fromLatin1(bad)), std::nullopt) << bad;
}

TEST(GoogleEventTime, AllDayDatesAreLocalMidnight) {
    ScopedCalendarPin pin(QStringLiteral("en_US"), QStringLiteral("America/New_York"));
    const GoogleEventConverter converter(Calendar::current());
    EXPECT_EQ(converter.parse(GEventTime{QStringLiteral("2026-03-08"), std::nullopt}),
              Instant::fromSecondsSince1970(1'772'946'000)); // 05:00 UTC
    EXPECT_EQ(converter.parse(GEventTime{QStringLiteral("2026-3-8x"), std::nullopt}), std::nullopt);
    EXPECT_EQ(converter.parse(std::nullopt), std::nullopt);
}

} // namespace
