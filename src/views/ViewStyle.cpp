#include "views/ViewStyle.h"

#include "utilities/MondrelTheme.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QSvgRenderer>

// Outside any namespace, as the resource initialiser must be.
static void initAssets() {
    Q_INIT_RESOURCE(mondrel);
}

namespace {

// The assets live in a static library: their resource must be registered before the first lookup.
void ensureAssets() {
    static const bool registered = [] {
        initAssets();
        return true;
    }();
    Q_UNUSED(registered);
}

QPixmap render(const QString& path, int side, qreal devicePixelRatio) {
    ensureAssets();
    const int pixels = qCeil(side * devicePixelRatio);
    QPixmap pixmap(pixels, pixels);
    pixmap.fill(Qt::transparent);
    QSvgRenderer renderer(path);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(0, 0, pixels, pixels));
    painter.end();
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}

} // namespace

QFont ViewStyle::font(int pixelSize, QFont::Weight weight) {
    QFont font = QApplication::font();
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

QColor ViewStyle::color(Ink ink, const QPalette& palette) {
    switch (ink) {
    case Ink::primary:
        return palette.color(QPalette::Active, QPalette::Text);
    case Ink::secondary:
        return palette.color(QPalette::Active, QPalette::PlaceholderText);
    case Ink::tertiary:
        return palette.color(QPalette::Disabled, QPalette::Text);
    case Ink::dimmed: {
        QColor color = palette.color(QPalette::Active, QPalette::PlaceholderText);
        color.setAlphaF(color.alphaF() * 0.5f);
        return color;
    }
    case Ink::onAccent:
        return MondrelTheme::onAccent();
    case Ink::accent:
        return MondrelTheme::accent();
    case Ink::failure:
        return QColor(224, 27, 36);
    }
    return palette.color(QPalette::Text);
}

QPixmap ViewStyle::symbol(const QString& name, const QColor& color, int side, qreal devicePixelRatio) {
    QPixmap pixmap = render(QStringLiteral(":/assets/%1.svg").arg(name), side, devicePixelRatio);
    QPainter painter(&pixmap);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(QRectF(0, 0, side, side), color);
    return pixmap;
}

QPixmap ViewStyle::image(const QString& name, int side, qreal radius, qreal devicePixelRatio) {
    const QPixmap full = render(QStringLiteral(":/assets/%1.svg").arg(name), side, devicePixelRatio);
    QPixmap rounded(full.size());
    rounded.fill(Qt::transparent);
    rounded.setDevicePixelRatio(devicePixelRatio);
    QPainter painter(&rounded);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath clip;
    clip.addRoundedRect(QRectF(0, 0, side, side), radius, radius);
    painter.setClipPath(clip);
    painter.drawPixmap(0, 0, full);
    return rounded;
}
