#include "views/DayEventListModel.h"

#include <QHash>
#include <algorithm>

namespace {

bool drawsTheSame(const DayEvent& a, const DayEvent& b) {
    return a.title() == b.title() && a.timeLabel() == b.timeLabel() && a.color() == b.color() &&
           a.isAllDay() == b.isAllDay() && a.sortDate() == b.sortDate();
}

QHash<QString, qsizetype> positionsOf(const QList<DayEvent>& events) {
    QHash<QString, qsizetype> positions;
    positions.reserve(events.size());
    for (qsizetype i = 0; i < events.size(); ++i)
        positions.insert(events[i].id(), i);
    return positions;
}

} // namespace

int DayEventListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(events_.size());
}

QVariant DayEventListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const DayEvent& event = events_[index.row()];
    switch (role) {
    case Qt::DisplayRole:
        return event.title();
    case Qt::AccessibleTextRole:
        // The row is read out as one element.
        return event.timeLabel() + QStringLiteral(", ") + event.title();
    case timeLabelRole:
        return event.timeLabel();
    case colorRole:
        return event.color();
    case idRole:
        return event.id();
    default:
        return {};
    }
}

void DayEventListModel::setEvents(const QList<DayEvent>& events) {
    const QHash<QString, qsizetype> wanted = positionsOf(events);
    // Rows are matched by id: a list that repeats one (two files claiming the same event) is shown as it
    // is, starting afresh.
    const bool keyed = wanted.size() == events.size();
    if (!keyed || !keyed_) {
        beginResetModel();
        events_ = events;
        keyed_ = keyed;
        endResetModel();
        return;
    }
    // Each run of rows that come or go costs the view a pass over every row: many runs at once (one of two
    // interleaved calendars switched off) are one change of the whole layout instead.
    if (runsMissing(events_, wanted) + runsMissing(events, positionsOf(events_)) > kMaximumRuns) {
        relayout(events);
        return;
    }
    removeMissing(wanted);
    reorderAsIn(wanted);
    insertAdded(events);
    updateChanged(events);
}

int DayEventListModel::runsMissing(const QList<DayEvent>& events, const QHash<QString, qsizetype>& other) {
    int runs = 0;
    bool inRun = false;
    for (const DayEvent& event : events) {
        const bool missing = !other.contains(event.id());
        runs += missing && !inRun ? 1 : 0;
        inRun = missing;
    }
    return runs;
}

// The rows become `events` in one change of the layout; the view's persistent indexes follow their events,
// and those of events gone become invalid.
void DayEventListModel::relayout(QList<DayEvent> events) {
    emit layoutAboutToBeChanged();
    const QModelIndexList before = persistentIndexList();
    QStringList idsBefore;
    idsBefore.reserve(before.size());
    for (const QModelIndex& index : before)
        idsBefore.append(events_[index.row()].id());
    events_ = std::move(events);
    const QHash<QString, qsizetype> rowOf = positionsOf(events_);
    QModelIndexList after;
    after.reserve(before.size());
    for (const QString& id : idsBefore) {
        const auto row = rowOf.constFind(id);
        after.append(row == rowOf.cend() ? QModelIndex() : index(int(*row)));
    }
    changePersistentIndexList(before, after);
    emit layoutChanged();
}

// Runs of rows whose events are gone leave together, from the end so that earlier rows keep their place.
void DayEventListModel::removeMissing(const QHash<QString, qsizetype>& wanted) {
    qsizetype end = events_.size();
    while (end > 0) {
        if (wanted.contains(events_[end - 1].id())) {
            --end;
            continue;
        }
        qsizetype first = end - 1;
        while (first > 0 && !wanted.contains(events_[first - 1].id()))
            --first;
        beginRemoveRows({}, int(first), int(end - 1));
        events_.remove(first, end - first);
        endRemoveRows();
        end = first;
    }
}

// The rows that stay take the order of the new list.
void DayEventListModel::reorderAsIn(const QHash<QString, qsizetype>& wanted) {
    const auto precedes = [&wanted](const DayEvent& a, const DayEvent& b) {
        return wanted.value(a.id()) < wanted.value(b.id());
    };
    if (std::is_sorted(events_.cbegin(), events_.cend(), precedes))
        return;
    QList<DayEvent> sorted = events_;
    std::stable_sort(sorted.begin(), sorted.end(), precedes);
    relayout(std::move(sorted));
}

// What remains are the new list's events in its order, some missing: each run of missing ones comes in at
// its place.
void DayEventListModel::insertAdded(const QList<DayEvent>& events) {
    if (events_.size() == events.size())
        return;
    qsizetype row = 0;
    qsizetype next = 0;
    while (next < events.size()) {
        if (row < events_.size() && events_[row].id() == events[next].id()) {
            ++row;
            ++next;
            continue;
        }
        qsizetype end = next + 1;
        const QString resume = row < events_.size() ? events_[row].id() : QString();
        while (end < events.size() && !(row < events_.size() && events[end].id() == resume))
            ++end;
        beginInsertRows({}, int(row), int(row + end - next - 1));
        events_.insert(row, end - next, events[next]);
        for (qsizetype i = next; i < end; ++i)
            events_[row + i - next] = events[i];
        endInsertRows();
        row += end - next;
        next = end;
    }
}

// Rows that stay but draw differently are repainted, as one span from the first to the last of them.
void DayEventListModel::updateChanged(const QList<DayEvent>& events) {
    Q_ASSERT(events_.size() == events.size());
    qsizetype first = -1;
    qsizetype last = -1;
    for (qsizetype i = 0; i < events.size(); ++i) {
        if (drawsTheSame(events_[i], events[i]))
            continue;
        events_[i] = events[i];
        if (first < 0)
            first = i;
        last = i;
    }
    if (first >= 0)
        emit dataChanged(index(int(first)), index(int(last)));
}
