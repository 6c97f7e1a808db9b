#include "utilities/PosixZoneRule.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <cctype>

namespace {

class Cursor {
public:
    explicit Cursor(const QByteArray& text) : text_(text) {}

    bool atEnd() const { return pos_ >= text_.size(); }
    char peek() const { return atEnd() ? '\0' : text_.at(pos_); }
    bool take(char c) {
        if (peek() != c)
            return false;
        ++pos_;
        return true;
    }

    // "<+0330>" or a run of at least three letters.
    std::optional<QString> name() {
        const qsizetype start = pos_;
        if (take('<')) {
            while (!atEnd() && peek() != '>')
                ++pos_;
            if (!take('>') || pos_ - start < 3)
                return std::nullopt;
            return QString::fromLatin1(text_.mid(start + 1, pos_ - start - 2));
        }
        while (std::isalpha(static_cast<unsigned char>(peek())))
            ++pos_;
        if (pos_ - start < 3)
            return std::nullopt;
        return QString::fromLatin1(text_.mid(start, pos_ - start));
    }

    std::optional<int> number(int maxDigits) {
        int value = 0;
        int digits = 0;
        while (digits < maxDigits && std::isdigit(static_cast<unsigned char>(peek()))) {
            value = value * 10 + (peek() - '0');
            ++pos_;
            ++digits;
        }
        return digits ? std::optional(value) : std::nullopt;
    }

    // [+-]hh[:mm[:ss]] in seconds; hours up to 167 as the rule times of newer zoneinfo files allow.
    std::optional<int> duration() {
        int sign = 1;
        if (take('-'))
            sign = -1;
        else
            take('+');
        const auto hours = number(3);
        if (!hours || *hours > 167)
            return std::nullopt;
        int seconds = *hours * 3600;
        for (int unit : {60, 1}) {
            if (!take(':'))
                break;
            const auto part = number(2);
            if (!part || *part > 59)
                return std::nullopt;
            seconds += *part * unit;
        }
        return sign * seconds;
    }

    // "Mm.w.d" or "Jn" (1 to 365, never counting 29 February), with an optional "/time".
    std::optional<PosixZoneRule::Change> change() {
        PosixZoneRule::Change result;
        if (take('M')) {
            const auto month = number(2);
            if (!month || *month < 1 || *month > 12 || !take('.'))
                return std::nullopt;
            const auto week = number(1);
            if (!week || *week < 1 || *week > 5 || !take('.'))
                return std::nullopt;
            const auto weekday = number(1);
            if (!weekday || *weekday > 6)
                return std::nullopt;
            result.month = *month;
            result.day = *week;
            result.weekday = *weekday;
        } else if (take('J')) {
            const auto day = number(3);
            if (!day || *day < 1 || *day > 365)
                return std::nullopt;
            const QDate date = QDate(2001, 1, 1).addDays(*day - 1); // a common year
            result.month = date.month();
            result.day = date.day();
        } else {
            return std::nullopt;
        }
        if (take('/')) {
            const auto time = duration();
            if (!time)
                return std::nullopt;
            result.secondsOfDay = *time;
        }
        return result;
    }

private:
    const QByteArray& text_;
    qsizetype pos_ = 0;
};

} // namespace

std::optional<PosixZoneRule> PosixZoneRule::parse(const QByteArray& text) {
    Cursor in(text);
    PosixZoneRule rule;
    const auto standardName = in.name();
    const auto standardOffset = standardName ? in.duration() : std::nullopt;
    if (!standardOffset)
        return std::nullopt;
    rule.standardName = *standardName;
    rule.standardOffset = -*standardOffset; // POSIX counts west of Greenwich
    if (in.atEnd())
        return rule;

    Daylight daylight;
    const auto daylightName = in.name();
    if (!daylightName)
        return std::nullopt;
    daylight.name = *daylightName;
    daylight.offset = rule.standardOffset + 3600;
    if (in.peek() != ',') {
        const auto offset = in.duration();
        if (!offset)
            return std::nullopt;
        daylight.offset = -*offset;
    }
    const auto start = in.take(',') ? in.change() : std::nullopt;
    const auto end = start && in.take(',') ? in.change() : std::nullopt;
    if (!end || !in.atEnd())
        return std::nullopt;
    daylight.start = *start;
    daylight.end = *end;
    rule.daylight = daylight;
    return rule;
}

std::optional<PosixZoneRule> PosixZoneRule::ofSystemZone(const QString& zoneId) {
    if (zoneId.isEmpty() || zoneId.contains(QStringLiteral("..")))
        return std::nullopt;
    const QString directory = qEnvironmentVariable("TZDIR", QStringLiteral("/usr/share/zoneinfo"));
    QFile file(QDir(directory).filePath(zoneId));
    // Zoneinfo files are a few kilobytes; the rule is the last line of a version 2 or later file.
    constexpr qint64 kLargestFile = 1 << 20;
    if (!file.open(QIODevice::ReadOnly) || file.size() > kLargestFile)
        return std::nullopt;
    const QByteArray content = file.readAll();
    if (!content.startsWith("TZif") || content.size() < 5 || content.at(4) < '2' || !content.endsWith('\n'))
        return std::nullopt;
    const qsizetype lineStart = content.lastIndexOf('\n', content.size() - 2) + 1;
    if (lineStart <= 0)
        return std::nullopt;
    return parse(content.mid(lineStart, content.size() - 1 - lineStart));
}
