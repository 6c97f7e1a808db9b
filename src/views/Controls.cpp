#include "views/Controls.h"

#include "views/ViewStyle.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>

namespace {
constexpr double kDisabledOpacity = 0.5;
constexpr double kRingWidth = 1.5;
constexpr int kSpinnerSpokes = 8;
constexpr int kSpinnerInterval = 100;
} // namespace

TextButton::TextButton(const QFont& font, Ink ink, QWidget* parent) : QAbstractButton(parent), ink_(ink) {
    setFont(font);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
}

void TextButton::setInk(Ink ink) {
    ink_ = ink;
    update();
}

QSize TextButton::sizeHint() const {
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(text()) + 2, metrics.height()};
}

void TextButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!isEnabled())
        painter.setOpacity(kDisabledOpacity);
    painter.setPen(ViewStyle::color(ink_, palette()));
    painter.drawText(rect(), Qt::AlignCenter, text());
}

void TextButton::mouseReleaseEvent(QMouseEvent* event) {
    clickModifiers_ = event->modifiers();
    QAbstractButton::mouseReleaseEvent(event);
}

void TextButton::keyReleaseEvent(QKeyEvent* event) {
    clickModifiers_ = event->modifiers();
    QAbstractButton::keyReleaseEvent(event);
}

SymbolButton::SymbolButton(const QString& symbol, int symbolSide, int frameSide, Ink ink, QWidget* parent)
    : QAbstractButton(parent), symbol_(symbol), symbolSide_(symbolSide), frameSide_(frameSide), ink_(ink) {
    setFixedSize(frameSide, frameSide);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
}

void SymbolButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QPixmap pixmap =
        ViewStyle::symbol(symbol_, ViewStyle::color(ink_, palette()), symbolSide_, devicePixelRatioF());
    const QPointF origin((width() - symbolSide_) / 2.0, (height() - symbolSide_) / 2.0);
    painter.drawPixmap(origin, pixmap);
}

DayCellButton::DayCellButton(QWidget* parent) : QAbstractButton(parent) {
    setFixedSize(CalendarView::kCell, CalendarView::kCell);
    setFocusPolicy(Qt::TabFocus);
}

void DayCellButton::setCell(const DayCellDescription& cell) {
    cell_ = cell;
    setText(cell.text);
    setAccessibleName(cell.accessibilityLabel);
    QFont face = ViewStyle::font(13, cell.bold ? QFont::Bold : QFont::Normal);
    setFont(face);
    update();
}

void DayCellButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = rect();
    switch (cell_.background) {
    case DayCellDescription::Background::filledCircle:
        painter.setPen(Qt::NoPen);
        painter.setBrush(ViewStyle::color(Ink::accent, palette()));
        painter.drawEllipse(frame);
        break;
    case DayCellDescription::Background::ring: {
        // The stroke lies inside the circle's edge.
        const double inset = kRingWidth / 2;
        painter.setPen(QPen(ViewStyle::color(Ink::accent, palette()), kRingWidth));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(frame.adjusted(inset, inset, -inset, -inset));
        break;
    }
    case DayCellDescription::Background::none:
        break;
    }
    painter.setPen(ViewStyle::color(cell_.ink, palette()));
    painter.drawText(frame, Qt::AlignCenter, text());
}

AccentButton::AccentButton(int cornerRadius, int minimumHeight, QWidget* parent)
    : QAbstractButton(parent), cornerRadius_(cornerRadius), minimumHeight_(minimumHeight) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize AccentButton::sizeHint() const {
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(text()) + 2 * cornerRadius_, qMax(minimumHeight_, metrics.height())};
}

void AccentButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled())
        painter.setOpacity(kDisabledOpacity);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), cornerRadius_, cornerRadius_);
    painter.fillPath(shape, ViewStyle::color(Ink::accent, palette()));
    painter.setPen(ViewStyle::color(Ink::onAccent, palette()));
    painter.drawText(rect(), Qt::AlignCenter, text());
}

ElidedLabel::ElidedLabel(const QFont& font, Ink ink, QWidget* parent) : QWidget(parent), ink_(ink) {
    setFont(font);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

void ElidedLabel::setText(const QString& text) {
    if (text == text_)
        return;
    text_ = text;
    updateToolTip();
    updateGeometry();
    update();
}

void ElidedLabel::setElideMode(Qt::TextElideMode mode) {
    elideMode_ = mode;
    update();
}

void ElidedLabel::setAlignment(Qt::Alignment alignment) {
    alignment_ = alignment;
    update();
}

void ElidedLabel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    updateToolTip();
}

void ElidedLabel::updateToolTip() {
    setToolTip(fontMetrics().horizontalAdvance(text_) > width() ? text_ : QString());
}

QSize ElidedLabel::sizeHint() const {
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(text_), metrics.height()};
}

QSize ElidedLabel::minimumSizeHint() const {
    return {0, QFontMetrics(font()).height()};
}

void ElidedLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(ViewStyle::color(ink_, palette()));
    const QString shown = fontMetrics().elidedText(text_, elideMode_, width());
    painter.drawText(rect(), int(alignment_), shown);
}

BusyIndicator::BusyIndicator(int side, QWidget* parent) : QWidget(parent) {
    setFixedSize(side, side);
}

void BusyIndicator::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPointF centre = QRectF(rect()).center();
    const double outer = width() / 2.0;
    QColor ink = ViewStyle::color(Ink::secondary, palette());
    for (int i = 0; i < kSpinnerSpokes; ++i) {
        // The spoke at the current step is the darkest; the others fade behind it.
        const int age = (step_ - i + kSpinnerSpokes) % kSpinnerSpokes;
        ink.setAlphaF(float(1.0 - 0.8 * age / kSpinnerSpokes));
        painter.setPen(QPen(ink, outer / 4, Qt::SolidLine, Qt::RoundCap));
        painter.save();
        painter.translate(centre);
        painter.rotate(360.0 * i / kSpinnerSpokes);
        painter.drawLine(QPointF(0, -outer / 2), QPointF(0, -outer + outer / 8));
        painter.restore();
    }
}

void BusyIndicator::timerEvent(QTimerEvent*) {
    step_ = (step_ + 1) % kSpinnerSpokes;
    update();
}

void BusyIndicator::showEvent(QShowEvent*) {
    if (!timer_)
        timer_ = startTimer(kSpinnerInterval);
}

void BusyIndicator::hideEvent(QHideEvent*) {
    if (timer_)
        killTimer(timer_);
    timer_ = 0;
}

Divider::Divider(QWidget* parent) : QWidget(parent) {
    setFixedHeight(1);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void Divider::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QColor line = ViewStyle::color(Ink::secondary, palette());
    line.setAlphaF(0.35f);
    painter.fillRect(rect(), line);
}

QLabel* makeLabel(const QFont& font, Ink ink, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, ViewStyle::color(ink, palette));
    label->setPalette(palette);
    return label;
}
