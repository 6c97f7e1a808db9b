#include "views/JumpField.h"

#include "views/ViewStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>

namespace {
constexpr int kIconSide = 13;
constexpr int kCornerRadius = 8;
constexpr int kSpacing = 6;
constexpr int kHorizontalMargin = 8;
constexpr int kVerticalMargin = 6;
} // namespace

JumpField::JumpField(QWidget* parent) : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(kHorizontalMargin, kVerticalMargin, kHorizontalMargin, kVerticalMargin);
    layout->setSpacing(kSpacing);
    icon_ = new QLabel(this);
    icon_->setFixedSize(kIconSide, kIconSide);
    layout->addWidget(icon_, 0, Qt::AlignVCenter);
    edit_ = new QLineEdit(this);
    edit_->setFrame(false);
    edit_->setFont(ViewStyle::font(12));
    edit_->setAttribute(Qt::WA_MacShowFocusRect, false);
    QPalette palette = edit_->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    edit_->setPalette(palette);
    layout->addWidget(edit_, 1, Qt::AlignVCenter);
    renderIcon();
}

void JumpField::setFailed(bool failed) {
    if (failed == failed_)
        return;
    failed_ = failed;
    renderIcon();
    update();
}

void JumpField::renderIcon() {
    QColor ink = ViewStyle::color(failed_ ? Ink::failure : Ink::secondary, palette());
    if (failed_)
        ink.setAlphaF(0.8f);
    icon_->setPixmap(
        ViewStyle::symbol(QStringLiteral("magnifyingglass"), ink, kIconSide, devicePixelRatioF()));
}

void JumpField::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor outline = ViewStyle::color(failed_ ? Ink::failure : Ink::secondary, palette());
    outline.setAlphaF(failed_ ? 0.6f : 0.25f);
    // The outline lies inside the edge.
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath shape;
    shape.addRoundedRect(frame, kCornerRadius, kCornerRadius);
    painter.fillPath(shape, palette().color(QPalette::Base));
    painter.strokePath(shape, QPen(outline, 1));
}
