#include "utilities/PosixZoneRule.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace {
// "month.day.weekday/seconds", the weekday "-" for a day of the month.
std::string describe(const PosixZoneRule::Change& c) {
    return std::to_string(c.month) + "." + std::to_string(c.day) + "." +
           (c.weekday ? std::to_string(*c.weekday) : std::string("-")) + "/" + std::to_string(c.secondsOfDay);
}
} // namespace

TEST(PosixZoneRule, ReadsTheFormsZoneinfoFilesEndWith) {
    const auto berlin = PosixZoneRule::parse("CET-1CEST,M3.5.0,M10.5.0/3");
    ASSERT_TRUE(berlin && berlin->daylight);
    EXPECT_EQ(berlin->standardName, "CET");
    EXPECT_EQ(berlin->standardOffset, 3600);
    EXPECT_EQ(berlin->daylight->name, "CEST");
    EXPECT_EQ(berlin->daylight->offset, 7200);
    EXPECT_EQ(describe(berlin->daylight->start), "3.5.0/7200");
    EXPECT_EQ(describe(berlin->daylight->end), "10.5.0/10800");

    // Quoted names, explicit daylight offsets, times past midnight and before it, minutes in offsets.
    const auto santiago = PosixZoneRule::parse("<-04>4<-03>,M9.1.6/24,M4.1.6/24");
    ASSERT_TRUE(santiago && santiago->daylight);
    EXPECT_EQ(santiago->standardName, "-04");
    EXPECT_EQ(santiago->standardOffset, -4 * 3600);
    EXPECT_EQ(santiago->daylight->offset, -3 * 3600);
    EXPECT_EQ(describe(santiago->daylight->start), "9.1.6/86400");
    const auto nuuk = PosixZoneRule::parse("<-02>2<-01>,M3.5.0/-1,M10.5.0/0");
    ASSERT_TRUE(nuuk && nuuk->daylight);
    EXPECT_EQ(describe(nuuk->daylight->start), "3.5.0/-3600");
    const auto dublin = PosixZoneRule::parse("IST-1GMT0,M10.5.0,M3.5.0/1");
    ASSERT_TRUE(dublin && dublin->daylight);
    EXPECT_EQ(dublin->standardOffset, 3600);
    EXPECT_EQ(dublin->daylight->offset, 0);
    const auto lordHowe = PosixZoneRule::parse("<+1030>-10:30<+11>-11,M10.1.0,M4.1.0");
    ASSERT_TRUE(lordHowe && lordHowe->daylight);
    EXPECT_EQ(lordHowe->standardOffset, 10 * 3600 + 1800);
    const auto gaza = PosixZoneRule::parse("EET-2EEST,M3.4.4/50,M10.4.4/50");
    ASSERT_TRUE(gaza && gaza->daylight);
    EXPECT_EQ(describe(gaza->daylight->end), "10.4.4/180000");
    // Julian days never count 29 February: day 60 is always 1 March.
    const auto julian = PosixZoneRule::parse("XST3XDT,J60/2:30,J300");
    ASSERT_TRUE(julian && julian->daylight);
    EXPECT_EQ(describe(julian->daylight->start), "3.1.-/9000");
    EXPECT_EQ(describe(julian->daylight->end), "10.27.-/7200");

    const auto tehran = PosixZoneRule::parse("<+0330>-3:30");
    ASSERT_TRUE(tehran);
    EXPECT_EQ(tehran->standardOffset, 3 * 3600 + 1800);
    EXPECT_FALSE(tehran->daylight);
}

TEST(PosixZoneRule, RefusesWhatNoAnnualRuleExpresses) {
    for (const char* text :
         {"", "CET", "CET-1CEST", "CET-1CEST,M3.5.0", "EST5EDT,0/0,J365/25", "CET-1CEST,M13.5.0,M10.5.0",
          "CET-1CEST,M3.6.0,M10.5.0", "CET-1CEST,M3.5.7,M10.5.0", "CET-1CEST,M3.5.0/200,M10.5.0",
          "CET-1CEST,M3.5.0,M10.5.0 trailing", "<+03"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(PosixZoneRule::parse(text));
    }
}

TEST(PosixZoneRule, ComesFromTheEndOfTheSystemsZoneinfoFile) {
    const auto sydney = PosixZoneRule::ofSystemZone("Australia/Sydney");
    ASSERT_TRUE(sydney && sydney->daylight);
    EXPECT_EQ(sydney->daylight->name, "AEDT");
    EXPECT_FALSE(PosixZoneRule::ofSystemZone("Mars/Olympus_Mons"));
    EXPECT_FALSE(PosixZoneRule::ofSystemZone("../../etc/passwd"));
    EXPECT_FALSE(PosixZoneRule::ofSystemZone("zone.tab"));
}
