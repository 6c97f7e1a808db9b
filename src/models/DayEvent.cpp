#include "models/DayEvent.h"

#include <QSet>
#include <QStringBuilder>
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
    return externalIdentifier % u'|' % QLatin1StringView(digits, written.ptr - digits);
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
    // Titles are compared only when starts are equal, and most are plain text: those are kept as they are.
    if (std::all_of(title.cbegin(), title.cend(), [](QChar c) { return c.unicode() < 0x300; })) {
        simple_ = title;
        return;
    }
    const QList<uint> scalars = title.normalized(QString::NormalizationForm_C).toUcs4();
    normalized_.assign(scalars.begin(), scalars.end());
}

bool DayOrderKey::titlePrecedes(const DayOrderKey& other) const {
    const size_t common = std::min(titleLength(), other.titleLength());
    for (size_t i = 0; i < common; ++i)
        if (titleAt(i) != other.titleAt(i))
            return titleAt(i) < other.titleAt(i);
    return titleLength() < other.titleLength();
}
