#include "models/DayEvent.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace {

const Instant kNine = Instant::fromSecondsSince1970(1'800'000'000);

DayEvent event(const QString& id, const QString& title, Instant start, std::optional<QString> key = {},
               bool allDay = false) {
    return DayEvent(id, title, QStringLiteral("9:00 AM"), allDay, Qt::red, start, std::move(key));
}

QStringList ids(const QList<DayEvent>& events) {
    QStringList result;
    for (const DayEvent& e : events)
        result << e.id();
    return result;
}

} // namespace

TEST(DayEventMerge, EmptyListsGiveEmptyOrSortedSecondary) {
    EXPECT_TRUE(DayEvent::merged({}, {}).isEmpty());
    const QList<DayEvent> secondary{event("late", "A", kNine.addingSeconds(60), "k|1"),
                                    event("early", "B", kNine, "k|1")};
    EXPECT_EQ(ids(DayEvent::merged({}, secondary)), (QStringList{"early", "late"}));
}

TEST(DayEventMerge, DropsOnlySecondaryEventsWhoseKeyPrimaryHolds) {
    const QList<DayEvent> primary{event("g1", "Standup", kNine, "uid-1|1800000000"),
                                  event("g2", "Standup", kNine, "uid-1|1800000000"),
                                  event("g3", "Lunch", kNine)};
    // A differing title, label or all-day flag does not save a duplicate.
    const QList<DayEvent> secondary{DayEvent("m1", "Something else", "All day", true, Qt::blue, kNine,
                                             QStringLiteral("uid-1|1800000000")),
                                    event("m2", "Keyless", kNine),
                                    event("m3", "Twin", kNine, "uid-2|1800000000"),
                                    event("m4", "Twin", kNine, "uid-2|1800000000")};

    const QList<DayEvent> result = DayEvent::merged(primary, secondary);

    EXPECT_EQ(ids(result), (QStringList{"m2", "g3", "g1", "g2", "m3", "m4"}));
    EXPECT_EQ(secondary.size(), 4);
    EXPECT_EQ(primary.first().id(), "g1");
}

TEST(DayEventMerge, KeysCompareAsExactStrings) {
    const QList<DayEvent> primary{event("g", "A", kNine, "UID|1")};
    const QList<DayEvent> secondary{event("m", "A", kNine, "uid|1")};
    EXPECT_EQ(DayEvent::merged(primary, secondary).size(), 2);
}

TEST(DayEventOrder, AllDayThenStartThenTitleByCodePoint) {
    const QList<DayEvent> secondary{
        event("timed-early", "x", kNine.addingSeconds(-3600)),
        event("lower-a", "apple", kNine),
        event("upper-z", "Zebra", kNine),
        event("all-day", "Holiday", kNine.addingSeconds(3600), {}, true),
    };
    EXPECT_EQ(ids(DayEvent::merged({}, secondary)),
              (QStringList{"all-day", "timed-early", "upper-z", "lower-a"}));
}

TEST(DayEventOrder, TitlesCompareByScalarValuesAfterNormalisation) {
    // U+FF21 (fullwidth A) sorts before U+1F600 by scalar value, after it by UTF-16 unit.
    const QList<DayEvent> supplementary{event("emoji", QString::fromUcs4(U"\U0001F600"), kNine),
                                        event("fullwidth", QString::fromUcs4(U"\uFF21"), kNine)};
    EXPECT_EQ(ids(DayEvent::merged({}, supplementary)), (QStringList{"fullwidth", "emoji"}));

    // "e" + combining acute equals precomposed "é" after NFC, so neither precedes: input order stays.
    const QList<DayEvent> canonical{event("decomposed",
                                          QString::fromUtf8("Caf"
                                                            "e\u0301"),
                                          kNine),
                                    event("precomposed", QString::fromUtf8("Caf\u00e9"), kNine)};
    EXPECT_EQ(ids(DayEvent::merged({}, canonical)), (QStringList{"decomposed", "precomposed"}));
    const QList<DayEvent> reversed{canonical.at(1), canonical.at(0)};
    EXPECT_EQ(ids(DayEvent::merged({}, reversed)), (QStringList{"precomposed", "decomposed"}));
}

TEST(DayEventOrder, FullTiesKeepPrimaryBeforeSecondary) {
    const QList<DayEvent> primary{event("g", "Same", kNine)};
    const QList<DayEvent> secondary{event("m", "Same", kNine)};
    EXPECT_EQ(ids(DayEvent::merged(primary, secondary)), (QStringList{"g", "m"}));
}

TEST(DayEventDedupKey, TruncatesSecondsSince1970TowardZero) {
    EXPECT_EQ(DayEvent::makeDedupKey("uid", Instant::fromSecondsSince1970(1'800'000'000.9)),
              "uid|1800000000");
    EXPECT_EQ(DayEvent::makeDedupKey("uid", Instant::fromSecondsSince1970(-86'400.5)), "uid|-86400");
    EXPECT_EQ(DayEvent::makeDedupKey("uid", Instant::fromSecondsSince1970(-0.5)), "uid|0");
}
