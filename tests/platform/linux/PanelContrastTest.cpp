#include "platform/linux/PanelContrast.h"

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

} // namespace
