#include "services/google/InternetDateTime.h"

#include <QDate>
#include <QDateTime>
#include <QTimeZone>
#include <cmath>

namespace {

constexpr qint64 kUnixEpochJulianDay = 2440588;

// Reads `count` decimal digits at `at`; -1 when one of them is not a digit.
int digits(QStringView text, qsizetype at, int count) {
    int value = 0;
    for (int i = 0; i < count; ++i) {
        const char16_t c = text[at + i].unicode();
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c - u'0');
    }
    return value;
}

} // namespace

namespace InternetDateTime {

// Hand-written rather than a general ISO parser: it must refuse what the API never sends (no zone, no
// colon in the offset) and it runs for every fetched event.
std::optional<Instant> parse(QStringView text) {
    if (text.size() < 20 || text[4] != u'-' || text[7] != u'-' || text[10] != u'T' || text[13] != u':' ||
        text[16] != u':')
        return std::nullopt;
    const int year = digits(text, 0, 4), month = digits(text, 5, 2), day = digits(text, 8, 2);
    const int hour = digits(text, 11, 2), minute = digits(text, 14, 2), second = digits(text, 17, 2);
    if (year < 0 || month < 0 || day < 0 || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
        second < 0 || second > 59)
        return std::nullopt;
    const QDate date(year, month, day);
    if (!date.isValid())
        return std::nullopt;

    qsizetype at = 19;
    double fraction = 0;
    if (text[at] == u'.') {
        double scale = 0.1;
        ++at;
        const qsizetype firstDigit = at;
        while (at < text.size() && text[at] >= u'0' && text[at] <= u'9') {
            fraction += scale * (text[at].unicode() - u'0');
            scale /= 10;
            ++at;
        }
        if (at == firstDigit)
            return std::nullopt;
    }
    if (at >= text.size())
        return std::nullopt;

    int offsetSeconds = 0;
    if (text[at] == u'Z') {
        if (at + 1 != text.size())
            return std::nullopt;
    } else if (text[at] == u'+' || text[at] == u'-') {
        if (at + 6 != text.size() || text[at + 3] != u':')
            return std::nullopt;
        const int offsetHours = digits(text, at + 1, 2), offsetMinutes = digits(text, at + 4, 2);
        if (offsetHours < 0 || offsetHours > 23 || offsetMinutes < 0 || offsetMinutes > 59)
            return std::nullopt;
        offsetSeconds = (offsetHours * 3600 + offsetMinutes * 60) * (text[at] == u'-' ? -1 : 1);
    } else {
        return std::nullopt;
    }

    const qint64 days = date.toJulianDay() - kUnixEpochJulianDay;
    const double seconds =
        double(days * 86400 + qint64(hour) * 3600 + qint64(minute) * 60 + second - offsetSeconds) + fraction;
    return Instant::fromSecondsSince1970(seconds);
}

QString format(Instant instant) {
    const qint64 seconds = qint64(std::floor(instant.secondsSince1970()));
    return QDateTime::fromSecsSinceEpoch(seconds, QTimeZone::utc())
        .toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss'Z'"));
}

} // namespace InternetDateTime
