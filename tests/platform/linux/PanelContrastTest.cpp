#include "platform/linux/PanelContrast.h"
#include "platform/linux/QtStatusItem.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

namespace {

TEST(PanelContrastTest, RatiosFollowTheRelativeLuminanceOfBothColours) {
    EXPECT_DOUBLE_EQ(PanelContrast::ratio(Qt::white, Qt::black), 21);
    EXPECT_DOUBLE_EQ(PanelContrast::ratio(QColor(0x30, 0x30, 0x30), QColor(0x30, 0x30, 0x30)), 1);
    EXPECT_NEAR(PanelContrast::ratio(Qt::red, Qt::white), 4.0, 0.01) << "green weighs most, red less";
    EXPECT_NEAR(PanelContrast::ratio(Qt::black, Qt::green), 15.3, 0.01);
}

// The desktop's text colour is kept where it stands out from the panel: a dark style's white text on a
// light panel, or a light style's black text on a dark one, is not.
TEST(PanelContrastTest, InkStandsOutFromThePanel) {
    const QColor dark(0x30, 0x30, 0x30);
    const QColor light(0xef, 0xef, 0xef);
    EXPECT_EQ(PanelContrast::inkOn(dark, Qt::black), QColor(Qt::white));
    EXPECT_EQ(PanelContrast::inkOn(light, Qt::white), QColor(Qt::black));
    EXPECT_EQ(PanelContrast::inkOn(dark, QColor(0xdd, 0xdd, 0xdd)), QColor(0xdd, 0xdd, 0xdd));
    EXPECT_EQ(PanelContrast::inkOn(Qt::white, QColor(0x76, 0x76, 0x76)), QColor(0x76, 0x76, 0x76));
    EXPECT_EQ(PanelContrast::inkOn(Qt::white, QColor(0x77, 0x77, 0x77)), QColor(Qt::black))
        << "just under 4.5";
    for (const QColor& panel : {QColor(Qt::black), dark, QColor(0x77, 0x77, 0x77), QColor(0x3d, 0xae, 0xe9),
                                QColor(0x80, 0x00, 0x80), light, QColor(Qt::white)})
        EXPECT_GE(PanelContrast::ratio(PanelContrast::inkOn(panel, panel), panel), 4.5)
            << panel.name().toStdString();

    EXPECT_EQ(PanelContrast::outlineFor(Qt::white), QColor(Qt::black));
    EXPECT_EQ(PanelContrast::outlineFor(Qt::black), QColor(Qt::white));
    EXPECT_EQ(PanelContrast::outlineFor(QColor(0x77, 0x77, 0x77)), QColor(Qt::black));
}

TEST(PanelContrastTest, ThePanelIsTheColourOfMostPixels) {
    EXPECT_FALSE(PanelContrast::dominantColour(QImage()).isValid());
    QImage panel(160, 28, QImage::Format_ARGB32_Premultiplied);
    panel.fill(QColor(0x2f, 0x2f, 0x2f));
    QPainter painter(&panel);
    // Icons of other programs, larger together than any one colour of them, and antialiased edges.
    painter.fillRect(0, 0, 40, 28, Qt::white);
    painter.fillRect(40, 0, 40, 28, Qt::red);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::yellow);
    painter.drawEllipse(QPointF(120, 14), 9.5, 9.5);
    painter.end();
    EXPECT_EQ(PanelContrast::dominantColour(panel), QColor(0x2f, 0x2f, 0x2f));
}

// A panel window of any size, noisy as a wallpaper behind a transparent panel, is judged by an even grid
// of pixels, and the grab it is judged from stays a small square around the icon, inside the panel.
TEST(PanelContrastTest, TheSampleStaysSmallWhateverThePanel) {
    QImage noisy(2048, 2048, QImage::Format_RGB32);
    quint32 seed = 1;
    for (int y = 0; y < noisy.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(noisy.scanLine(y));
        for (int x = 0; x < noisy.width(); ++x) {
            seed = seed * 1664525U + 1013904223U;
            line[x] = (seed >> 24) < 100 ? qRgb(0x30, 0x30, 0x30) : (seed | 0xff000000U);
        }
    }
    EXPECT_EQ(PanelContrast::dominantColour(noisy), QColor(0x30, 0x30, 0x30));

    const QRectF huge(0, 0, 4096, 4096);
    const QRect around = QtStatusItem::panelSampleRegion(QRectF(2000, 2000, 4096, 4096), huge);
    EXPECT_LE(around.width(), 48);
    EXPECT_LE(around.height(), 48);
    EXPECT_TRUE(huge.toAlignedRect().contains(around));
    EXPECT_EQ(QtStatusItem::panelSampleRegion(QRectF(1257, 773, 22, 26), QRectF(1120, 772, 160, 28)),
              QRect(1249, 772, 31, 28))
        << "the icon and a margin, inside the panel that ends at 1280";
    EXPECT_TRUE(QtStatusItem::panelSampleRegion(QRectF(), huge).isEmpty()) << "StatusNotifierItem: no icon";
    EXPECT_TRUE(QtStatusItem::panelSampleRegion(QRectF(10, 10, 20, 20), QRectF()).isEmpty());
}

} // namespace
