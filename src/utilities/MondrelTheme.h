#pragma once

#include <QColor>

namespace MondrelTheme {
const QColor& accent();
// Text and symbols drawn on an accent fill.
const QColor& onAccent();
} // namespace MondrelTheme
