#include "services/google/InternetDateTime.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace {

Instant utc(int y, int mo, int d, int h, int mi, int s) {
    return Instant::fromDateTime(QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC));
}

} // namespace

TEST(InternetDateTimeTest, ReadsZuluOffsetsAndFractions) {
    EXPECT_EQ(InternetDateTime::parse(u"2026-03-18T09:15:00Z"), utc(2026, 3, 18, 9, 15, 0));
    EXPECT_EQ(InternetDateTime::parse(u"2026-03-18T10:15:00+01:00"), utc(2026, 3, 18, 9, 15, 0));
    EXPECT_EQ(InternetDateTime::parse(u"2026-03-18T04:45:00-04:30"), utc(2026, 3, 18, 9, 15, 0));
    EXPECT_EQ(InternetDateTime::parse(u"2026-12-31T23:59:59+23:59"), utc(2026, 12, 31, 0, 0, 59));
    const auto fraction = InternetDateTime::parse(u"2026-03-18T09:15:00.250Z");
    ASSERT_TRUE(fraction);
    EXPECT_DOUBLE_EQ(fraction->secondsSince1970(), utc(2026, 3, 18, 9, 15, 0).secondsSince1970() + 0.25);
    EXPECT_EQ(InternetDateTime::parse(u"2024-02-29T00:00:00Z"), utc(2024, 2, 29, 0, 0, 0));
}

TEST(InternetDateTimeTest, RefusesImpossibleTimesAndLooseForms) {
    for (const char16_t* text : {
             u"2026-03-18T09:15:60Z",       // second 60
             u"2026-03-18T24:00:00Z",       // hour 24
             u"2026-03-18T09:60:00Z",       // minute 60
             u"2026-03-18T09:15:00Zjunk",   // text after Z
             u"2026-03-18T09:15:00Z ",      // even a space
             u"2026-03-18T09:15:00+24:00",  // offset of a day
             u"2026-03-18T09:15:00-99:00",  // and more
             u"2026-03-18T09:15:00+01:60",  // offset minutes
             u"2026-03-18T09:15:00+0100",   // offset without colon
             u"2026-03-18T09:15:00+01:00x", // text after the offset
             u"2026-03-18T09:15:00.Z",      // "." without digits
             u"2026-03-18T09:15:00.",       // ...at the end
             u"2026-03-18T09:15:00",        // no zone
             u"2026-02-29T09:15:00Z",       // no such day
             u"2026-13-01T09:15:00Z",       // no such month
             u"2026-03-18 09:15:00Z",       // space for T
             u"2026-03-18T9:15:00Z",        // one-digit hour
             u"+026-03-18T09:15:00Z",       // sign in the year
             u"2026-03-18T09:15:0xZ",       // letter among digits
             u"",
         })
        EXPECT_FALSE(InternetDateTime::parse(QStringView(text))) << QString::fromUtf16(text).toStdString();
}

TEST(InternetDateTimeTest, WritesWhatItReads) {
    const Instant instant = utc(2031, 7, 4, 23, 5, 9);
    EXPECT_EQ(InternetDateTime::format(instant), QStringLiteral("2031-07-04T23:05:09Z"));
    EXPECT_EQ(InternetDateTime::parse(InternetDateTime::format(instant)), instant);
    // A long fraction is read, not refused, and goes no further than the second.
    const QString longFraction = QStringLiteral("2026-03-18T09:15:00.") + QString(5000, u'9') + u'Z';
    const auto read = InternetDateTime::parse(longFraction);
    ASSERT_TRUE(read);
    EXPECT_NEAR(read->secondsSince1970(), utc(2026, 3, 18, 9, 15, 1).secondsSince1970(), 1e-6);
}
