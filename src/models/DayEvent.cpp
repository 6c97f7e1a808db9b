#include "models/DayEvent.h"

#include <QSet>
#include <cmath>

DayEvent::DayEvent(QString id, QString title, QString timeLabel, bool isAllDay, QColor color,
                   Instant sortDate, std::optional<QString> dedupKey)
    : id_(std::move(id)), title_(std::move(title)), timeLabel_(std::move(timeLabel)), isAllDay_(isAllDay),
      color_(color), sortDate_(sortDate), dedupKey_(std::move(dedupKey)) {}

QString DayEvent::makeDedupKey(const QString& externalIdentifier, Instant start) {
    const double seconds = std::trunc(start.secondsSince1970());
    return externalIdentifier + u'|' + QString::number(qint64(seconds));
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
    const QList<uint> scalars = title.normalized(QString::NormalizationForm_C).toUcs4();
    title_.assign(scalars.begin(), scalars.end());
}
