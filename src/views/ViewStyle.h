#pragma once

#include "views/CalendarView.h"

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QPixmap>

// Fonts, colours and images of the popover: the system UI font at fixed pixel sizes, label colours from the
// palette, and our own SVG symbols tinted to the colour they are drawn in.
namespace ViewStyle {

QFont font(int pixelSize, QFont::Weight weight = QFont::Normal);
QColor color(Ink ink, const QPalette& palette);
// The named symbol (e.g. "chevron.left") in `color`, `side` pixels square.
QPixmap symbol(const QString& name, const QColor& color, int side, qreal devicePixelRatio);
// The named image asset (e.g. "MondrelLogo") at `side` pixels square, its corners rounded by `radius`.
QPixmap image(const QString& name, int side, qreal radius, qreal devicePixelRatio);

} // namespace ViewStyle
