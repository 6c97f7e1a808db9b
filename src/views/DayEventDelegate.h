#pragma once

#include <QFont>
#include <QStyledItemDelegate>

// Paints one row of the day list from a DayEventListModel: the time in its 58-pixel column, the calendar's
// dot, then the title on one line, cut with an ellipsis where it does not fit. Every row is equally tall,
// the gap to the next row included.
class DayEventDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit DayEventDelegate(QObject* parent = nullptr);

    // The drawn part of a row, without the gap below it.
    int contentHeight() const;
    // A row with the gap to the next one.
    int rowHeight() const;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    QFont timeFont_;
    QFont titleFont_;
};
