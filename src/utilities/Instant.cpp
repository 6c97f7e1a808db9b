#include "utilities/Instant.h"

#include <QHashFunctions>
#include <charconv>
#include <chrono>
#include <cmath>

Instant Instant::now() {
    using namespace std::chrono;
    const auto us = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
    return fromSecondsSince1970(double(us) / 1e6);
}

QDateTime Instant::toDateTime() const {
    return QDateTime::fromMSecsSinceEpoch(qint64(std::llround(millisecondsSince1970())), Qt::UTC);
}

QString shortestRoundTripText(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    QString text = QString::fromLatin1(buffer, int(result.ptr - buffer));
    if (std::isfinite(value) && !text.contains(u'.') && !text.contains(u'e'))
        text += QStringLiteral(".0");
    return text;
}

size_t qHash(Instant instant, size_t seed) noexcept {
    return ::qHash(instant.secondsSince2001(), seed);
}
