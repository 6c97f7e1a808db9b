#include "utilities/Instant.h"

#include <QHashFunctions>
#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <optional>

Instant Instant::now() {
    using namespace std::chrono;
    const auto us = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
    return fromSecondsSince1970(double(us) / 1e6);
}

QDateTime Instant::toDateTime() const {
    return QDateTime::fromMSecsSinceEpoch(qint64(std::llround(millisecondsSince1970())), Qt::UTC);
}

namespace {

// A whole number of smaller magnitude than 2^53, other than zero, as std::to_chars writes it, with ".0": the
// digits, unless the exponent form is shorter ("1e+09"), when there is nothing. The seconds of times
// are such numbers, and their integer digits come much cheaper than a search for the shortest text.
std::optional<char*> writeWholeNumberText(char* out, double value) {
    constexpr double kExactIntegers = 9007199254740992.0;
    if (!(std::abs(value) < kExactIntegers) || value == 0 || std::trunc(value) != value)
        return std::nullopt;
    char* end = std::to_chars(out, out + kShortestRoundTripTextCapacity, qint64(value)).ptr;
    const char* first = out + (value < 0 ? 1 : 0);
    const ptrdiff_t digits = end - first;
    ptrdiff_t significant = digits;
    while (significant > 1 && first[significant - 1] == '0')
        --significant;
    // The exponent form: the significant digits (a point after the first when there are more), "e+" and
    // two digits, as the exponent is below 16. Ties go to the plain digits.
    const ptrdiff_t exponentForm = (significant > 1 ? significant + 1 : 1) + 4;
    if (exponentForm < digits)
        return std::nullopt;
    *end++ = '.';
    *end++ = '0';
    return end;
}

} // namespace

QString shortestRoundTripText(double value) {
    char buffer[kShortestRoundTripTextCapacity];
    const char* end = writeShortestRoundTripText(buffer, value);
    return QString::fromLatin1(buffer, end - buffer);
}

char* writeShortestRoundTripText(char* out, double value) {
    if (const std::optional<char*> end = writeWholeNumberText(out, value))
        return *end;
    char* end = std::to_chars(out, out + kShortestRoundTripTextCapacity, value).ptr;
    if (std::isfinite(value) && std::none_of(out, end, [](char c) { return c == '.' || c == 'e'; })) {
        *end++ = '.';
        *end++ = '0';
    }
    return end;
}

size_t qHash(Instant instant, size_t seed) noexcept {
    return ::qHash(instant.secondsSince2001(), seed);
}
