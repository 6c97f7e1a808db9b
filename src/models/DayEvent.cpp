#include "models/DayEvent.h"

#include <QSet>
#include <algorithm>
#include <charconv>
#include <cmath>

DayEvent::DayEvent(QString id, QString title, QString timeLabel, bool isAllDay, QColor color,
                   Instant sortDate, std::optional<QString> dedupKey)
    : id_(std::move(id)), title_(std::move(title)), timeLabel_(std::move(timeLabel)), isAllDay_(isAllDay),
      color_(color), sortDate_(sortDate), dedupKey_(std::move(dedupKey)) {}

QString DayEvent::makeDedupKey(const QString& externalIdentifier, Instant start) {
    const double seconds = std::trunc(start.secondsSince1970());
    char digits[24];
    const auto written = std::to_chars(digits, digits + sizeof digits, qint64(seconds));
    QString key;
    key.reserve(externalIdentifier.size() + 1 + (written.ptr - digits));
    key += externalIdentifier;
    key += u'|';
    key += QLatin1StringView(digits, written.ptr - digits);
    return key;
}

QList<DayEvent> DayEvent::merged(const QList<DayEvent>& primary, const QList<DayEvent>& secondary) {
    QSet<QString> primaryKeys;
    for (const DayEvent& event : primary)
        if (event.dedupKey_)
            primaryKeys.insert(*event.dedupKey_);

    QList<DayEvent> result = primary;
    for (const DayEvent& event : secondary)
        if (!event.dedupKey_ || !primaryKeys.contains(*event.dedupKey_))
            result.append(event);
    sortInDayOrder(result);
    return result;
}

void DayEvent::sortInDayOrder(QList<DayEvent>& events) {
    stableSortInDayOrder(events,
                         [](const DayEvent& e) { return DayOrderKey(e.isAllDay_, e.sortDate_, e.title_); });
}

DayOrderKey::DayOrderKey(bool isAllDay, Instant start, const QString& title)
    : isAllDay_(isAllDay), start_(start) {
    // Text below U+0300, where the combining marks begin, is in normal form C already.
    if (std::all_of(title.cbegin(), title.cend(), [](QChar c) { return c.unicode() < 0x300; })) {
        title_.reserve(size_t(title.size()));
        for (QChar c : title)
            title_.push_back(char32_t(c.unicode()));
        return;
    }
    const QList<uint> scalars = title.normalized(QString::NormalizationForm_C).toUcs4();
    title_.assign(scalars.begin(), scalars.end());
}
