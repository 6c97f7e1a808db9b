#include "utilities/Instant.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

TEST(Instant, ConvertsBetweenReferenceDates) {
    const Instant t = Instant::fromSecondsSince1970(978307200.0);
    EXPECT_EQ(t.secondsSince2001(), 0.0);
    EXPECT_EQ(Instant::fromSecondsSince2001(1.5).secondsSince1970(), 978307201.5);
}

TEST(Instant, ShortestTextAddsPointZeroOnlyToWholeNumbers) {
    EXPECT_EQ(shortestRoundTripText(12), "12.0");
    EXPECT_EQ(shortestRoundTripText(-3600), "-3600.0");
    EXPECT_EQ(shortestRoundTripText(0.25), "0.25");
    EXPECT_EQ(shortestRoundTripText(0.1 + 0.2), "0.30000000000000004");
    EXPECT_EQ(shortestRoundTripText(1e21), "1e+21");
}
