#pragma once

#include "models/DayEvent.h"

#include <QAbstractListModel>
#include <QHash>
#include <QList>

// The day list's rows, one per event, keyed by the event's id. A new list updates, inserts, removes and
// reorders rows in place, so that a view keeps its scroll position and the rows that stay keep their
// indexes.
class DayEventListModel final : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role { timeLabelRole = Qt::UserRole, colorRole, idRole };

    using QAbstractListModel::QAbstractListModel;

    void setEvents(const QList<DayEvent>& events);
    const QList<DayEvent>& events() const { return events_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    static constexpr int kMaximumRuns = 16;

    // How many runs of consecutive events of `events` `other` lacks.
    static int runsMissing(const QList<DayEvent>& events, const QHash<QString, qsizetype>& other);
    void relayout(QList<DayEvent> events);
    void removeMissing(const QHash<QString, qsizetype>& wanted);
    void reorderAsIn(const QHash<QString, qsizetype>& wanted);
    void insertAdded(const QList<DayEvent>& events);
    void updateChanged(const QList<DayEvent>& events);

    QList<DayEvent> events_;
    // Every row's id is its own.
    bool keyed_ = true;
};
