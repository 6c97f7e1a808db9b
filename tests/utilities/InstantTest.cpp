#include "utilities/Instant.h"

#include "support/QtPrinters.h"

#include <charconv>
#include <cmath>
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

// Whole numbers skip the general search for the shortest digits; they must still come out as it would
// write them, the exponent form included wherever that is shorter.
TEST(Instant, ShortestTextOfWholeNumbersMatchesTheGeneralSearch) {
    auto general = [](double value) {
        char buffer[kShortestRoundTripTextCapacity];
        char* end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
        QString text = QString::fromLatin1(buffer, end - buffer);
        if (std::isfinite(value) && !text.contains(u'.') && !text.contains(u'e'))
            text += QStringLiteral(".0");
        return text;
    };
    QList<double> values{0.0, -0.0, 9007199254740991.0, 9007199254740992.0, 9007199254740994.0, 1e21};
    for (double significand : {1.0, 2.0, 9.0, 12.0, 105.0, 1234.0, 820540800.0 / 100, 123456789.0}) {
        for (double scale = 1; significand * scale < 1e16; scale *= 10)
            values << significand * scale << -significand * scale << significand * scale + 1;
    }
    for (double value : values)
        EXPECT_EQ(shortestRoundTripText(value), general(value)) << value;
}
