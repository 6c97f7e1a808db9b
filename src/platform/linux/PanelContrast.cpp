#include "platform/linux/PanelContrast.h"

#include <QHash>
#include <QImage>

#include <algorithm>
#include <cmath>

namespace {

double linear(double channel) {
    return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

double luminance(const QColor& color) {
    const QColor rgb = color.toRgb();
    return 0.2126 * linear(rgb.redF()) + 0.7152 * linear(rgb.greenF()) + 0.0722 * linear(rgb.blueF());
}

QColor starkerOf(const QColor& against) {
    const QColor black(Qt::black);
    const QColor white(Qt::white);
    return PanelContrast::ratio(black, against) >= PanelContrast::ratio(white, against) ? black : white;
}

} // namespace

double PanelContrast::ratio(const QColor& first, const QColor& second) {
    const double a = luminance(first);
    const double b = luminance(second);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

QColor PanelContrast::inkOn(const QColor& panel, const QColor& preferred) {
    return ratio(preferred, panel) >= kLegible ? preferred : starkerOf(panel);
}

QColor PanelContrast::outlineFor(const QColor& ink) {
    return starkerOf(ink);
}

QColor PanelContrast::dominantColour(const QImage& image) {
    const QImage pixels = image.convertToFormat(QImage::Format_RGB32);
    QHash<QRgb, int> counts;
    QRgb best = 0;
    int bestCount = 0;
    for (int y = 0; y < pixels.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
        for (int x = 0; x < pixels.width(); ++x) {
            const int count = ++counts[line[x]];
            if (count > bestCount) {
                best = line[x];
                bestCount = count;
            }
        }
    }
    return bestCount > 0 ? QColor::fromRgb(best) : QColor();
}
