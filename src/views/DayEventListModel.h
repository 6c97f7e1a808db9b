#pragma once

#include "models/DayEvent.h"

#include <QAbstractListModel>
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
    void removeMissing(const QList<DayEvent>& events);
    void reorderAsIn(const QList<DayEvent>& events);
    void insertAdded(const QList<DayEvent>& events);
    void updateChanged(const QList<DayEvent>& events);

    QList<DayEvent> events_;
    // Every row's id is its own.
    bool keyed_ = true;
};
