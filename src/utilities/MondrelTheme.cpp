#include "utilities/MondrelTheme.h"

const QColor& MondrelTheme::accent() {
    static const QColor color = QColor::fromRgbF(1.0f, 0.31f, 0.37f, 1.0f);
    return color;
}

const QColor& MondrelTheme::onAccent() {
    static const QColor color(Qt::white);
    return color;
}
