#pragma once

#include "utilities/Instant.h"

#include <QColor>
#include <QList>
#include <QString>
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

// One event occurrence on one day, as the day list draws it: one row with time label, colour dot and title.
// Immutable once built; the merge compares only `dedupKey`, the day order only isAllDay, sortDate and title.
class DayEvent {
public:
    DayEvent(QString id, QString title, QString timeLabel, bool isAllDay, QColor color, Instant sortDate,
             std::optional<QString> dedupKey);

    // Identity of the row within one producer's list for one day; each producer has its own form.
    const QString& id() const { return id_; }
    const QString& title() const { return title_; }
    const QString& timeLabel() const { return timeLabel_; }
    bool isAllDay() const { return isAllDay_; }
    const QColor& color() const { return color_; }
    Instant sortDate() const { return sortDate_; }
    // The same real occurrence gets the same key from every producer: external id, "|", whole seconds
    // since 1970.
    const std::optional<QString>& dedupKey() const { return dedupKey_; }

    static QString makeDedupKey(const QString& externalIdentifier, Instant start);

    // Every event of `primary`, then those of `secondary` whose dedupKey `primary` does not hold, in day
    // order. Ties keep that sequence.
    static QList<DayEvent> merged(const QList<DayEvent>& primary, const QList<DayEvent>& secondary);

    // Stable sort into day order.
    static void sortInDayOrder(QList<DayEvent>& events);

private:
    QString id_;
    QString title_;
    QString timeLabel_;
    bool isAllDay_;
    QColor color_;
    Instant sortDate_;
    std::optional<QString> dedupKey_;
};

// The order of a day's events: all-day ones first, then by start, then by title compared by Unicode scalar
// values after NFC normalisation (not locale-aware, case-sensitive). Titles are normalised once per key,
// not per comparison.
class DayOrderKey {
public:
    DayOrderKey(bool isAllDay, Instant start, const QString& title);

    bool precedes(const DayOrderKey& other) const {
        if (isAllDay_ != other.isAllDay_)
            return isAllDay_;
        if (start_ != other.start_)
            return start_ < other.start_;
        // Below U+0300 a title is in normal form C and its UTF-16 units are its scalar values.
        if (simple_ && other.simple_)
            return *simple_ < *other.simple_;
        return titlePrecedes(other);
    }

private:
    size_t titleLength() const { return simple_ ? size_t(simple_->size()) : normalized_.size(); }
    char32_t titleAt(size_t i) const {
        return simple_ ? char32_t(simple_->at(qsizetype(i)).unicode()) : normalized_[i];
    }
    bool titlePrecedes(const DayOrderKey& other) const;

    bool isAllDay_;
    Instant start_;
    // The title when it lies below U+0300, else its scalar values in normal form C.
    std::optional<QString> simple_;
    std::u32string normalized_;
};

// The positions of `items` in day order by the key that `keyOf` gives for each; equal keys keep their order.
template <typename T, typename KeyOf> std::vector<qsizetype> dayOrder(const QList<T>& items, KeyOf keyOf) {
    std::vector<DayOrderKey> keys;
    keys.reserve(size_t(items.size()));
    for (const T& item : items)
        keys.push_back(keyOf(item));
    std::vector<qsizetype> order(size_t(items.size()));
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = qsizetype(i);
    std::stable_sort(order.begin(), order.end(),
                     [&](qsizetype a, qsizetype b) { return keys[size_t(a)].precedes(keys[size_t(b)]); });
    return order;
}

// Stable-sorts `items` into day order by the key that `keyOf` gives for each.
template <typename T, typename KeyOf> void stableSortInDayOrder(QList<T>& items, KeyOf keyOf) {
    QList<T> sorted;
    sorted.reserve(items.size());
    for (qsizetype i : dayOrder(items, keyOf))
        sorted.append(std::move(items[i]));
    items = std::move(sorted);
}
