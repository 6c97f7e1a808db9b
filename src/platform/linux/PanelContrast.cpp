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
    if (image.isNull())
        return {};
    // An even grid of at most kMostSamples pixels: a large or noisy image costs no more than a small one.
    const qint64 pixels = qint64(image.width()) * image.height();
    const int step = std::max(1, int(std::ceil(std::sqrt(double(pixels) / kMostSamples))));
    QHash<QRgb, int> counts;
    QRgb best = 0;
    int bestCount = 0;
    for (int y = step / 2; y < image.height(); y += step)
        for (int x = step / 2; x < image.width(); x += step) {
            const QRgb pixel = image.pixel(x, y) | 0xff000000U;
            const int count = ++counts[pixel];
            if (count > bestCount) {
                best = pixel;
                bestCount = count;
            }
        }
    return bestCount > 0 ? QColor::fromRgb(best) : QColor();
}
