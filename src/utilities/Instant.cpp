#include "utilities/Instant.h"

#include <QHashFunctions>
#include <algorithm>
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
    QString text;
    appendShortestRoundTripText(text, value);
    return text;
}

void appendShortestRoundTripText(QString& text, double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    text += QLatin1StringView(buffer, result.ptr - buffer);
    if (std::isfinite(value) && std::none_of(buffer, result.ptr, [](char c) { return c == '.' || c == 'e'; }))
        text += QLatin1StringView(".0");
}

size_t qHash(Instant instant, size_t seed) noexcept {
    return ::qHash(instant.secondsSince2001(), seed);
}
