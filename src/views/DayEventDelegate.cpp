#include "views/DayEventDelegate.h"

#include "views/DayEventListModel.h"
#include "views/DayEventsSection.h"
#include "views/ViewStyle.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

DayEventDelegate::DayEventDelegate(QObject* parent)
    : QStyledItemDelegate(parent), timeFont_(ViewStyle::font(11)), titleFont_(ViewStyle::font(12)) {}

int DayEventDelegate::contentHeight() const {
    return std::max({QFontMetrics(timeFont_).height(), QFontMetrics(titleFont_).height(),
                     DayEventsSection::kDotDiameter});
}

int DayEventDelegate::rowHeight() const {
    return contentHeight() + DayEventsSection::kSpacing;
}

QSize DayEventDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    return {option.rect.width(), rowHeight()};
}

void DayEventDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    const QRect content(option.rect.topLeft(), QSize(option.rect.width(), contentHeight()));
    const QPalette& palette = option.palette;
    painter->save();

    QRect time = content;
    time.setWidth(DayEventsSection::kTimeColumnWidth);
    painter->setFont(timeFont_);
    painter->setPen(ViewStyle::color(Ink::secondary, palette));
    const QString timeLabel = index.data(DayEventListModel::timeLabelRole).toString();
    painter->drawText(time, Qt::AlignLeft | Qt::AlignVCenter,
                      QFontMetrics(timeFont_).elidedText(timeLabel, Qt::ElideRight, time.width()));

    const int diameter = DayEventsSection::kDotDiameter;
    const QRectF dot(time.right() + 1 + DayEventsSection::kRowSpacing,
                     content.top() + (content.height() - diameter) / 2.0, diameter, diameter);
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(index.data(DayEventListModel::colorRole).value<QColor>());
    painter->drawEllipse(dot);

    QRect title = content;
    title.setLeft(int(dot.right()) + DayEventsSection::kRowSpacing);
    painter->setFont(titleFont_);
    painter->setPen(ViewStyle::color(Ink::primary, palette));
    painter->drawText(title, Qt::AlignLeft | Qt::AlignVCenter,
                      QFontMetrics(titleFont_)
                          .elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, title.width()));
    painter->restore();
}
