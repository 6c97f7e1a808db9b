#include "views/SettingsWidget.h"
#include "support/QtPrinters.h"

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QGroupBox>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

SettingsState signedInWithCalendars() {
    SettingsState state;
    state.launchAtLoginNeedsApproval = true;
    state.authorization = EventAuthorizationStatus::fullAccess;
    state.calendarGroups = {{QStringLiteral("g"),
                             QStringLiteral("Local"),
                             {{QStringLiteral("c1"), QStringLiteral("Home"), QColor(0x00, 0xc8, 0x53)},
                              {QStringLiteral("c2"), QStringLiteral("Work"), QColor(Qt::blue)}}}};
    state.isSignedIn = true;
    state.signedInEmail = QStringLiteral("ada@example.com");
    state.version = QStringLiteral("0.1.0");
    return state;
}

template <typename T> T* childWithText(QWidget& widget, const QString& text) {
    for (T* child : widget.findChildren<T*>()) {
        if (child->text() == text && child->isVisibleTo(&widget))
            return child;
    }
    return nullptr;
}

} // namespace

TEST(SettingsWidgetTest, DrawsSixFixedSizeSectionsAndReportsWhatTheUserDoes) {
    SettingsWidget widget;
    widget.render(describeSettings(signedInWithCalendars()));
    EXPECT_EQ(widget.size(), QSize(400, 520));
    EXPECT_EQ(widget.findChildren<QGroupBox*>().size(), 6);

    QSignalSpy spy(&widget, &SettingsWidget::triggered);
    QCheckBox* work = childWithText<QCheckBox>(widget, QStringLiteral("Work"));
    ASSERT_TRUE(work);
    EXPECT_FALSE(work->icon().isNull());
    work->click();
    ASSERT_EQ(spy.size(), 1);
    EXPECT_EQ(spy[0][0].value<SettingsAction>(), SettingsAction::setCalendarIncluded);
    EXPECT_EQ(spy[0][1].toBool(), false);
    EXPECT_EQ(spy[0][2].toString(), QStringLiteral("c2"));

    QPushButton* checkForUpdates = childWithText<QPushButton>(widget, QStringLiteral("Check for Updates…"));
    ASSERT_TRUE(checkForUpdates);
    EXPECT_FALSE(checkForUpdates->isEnabled());

    // A person can look at the form here.
    widget.show();
    const QString shots = QDir::current().filePath(QStringLiteral("screenshots"));
    QDir().mkpath(shots);
    EXPECT_TRUE(widget.grab().save(shots + QStringLiteral("/settings-offscreen.png")));
}

TEST(SettingsWidgetTest, ARedrawFromInsideARowsSignalKeepsTheRowAliveUntilItReturns) {
    SettingsWidget widget;
    SettingsState state = signedInWithCalendars();
    widget.render(describeSettings(state));
    QObject::connect(&widget, &SettingsWidget::triggered, &widget,
                     [&](SettingsAction, bool on, const QString&) {
                         state.showWeekNumbers = on;
                         widget.render(describeSettings(state));
                     });
    QCheckBox* weeks = childWithText<QCheckBox>(widget, QStringLiteral("Show week numbers"));
    ASSERT_TRUE(weeks);
    weeks->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCheckBox* redrawn = childWithText<QCheckBox>(widget, QStringLiteral("Show week numbers"));
    ASSERT_TRUE(redrawn);
    EXPECT_TRUE(redrawn->isChecked());
}

TEST(SettingsWidgetTest, ASwitchWhoseChangeDidNotHappenShowsTheRealStateAgain) {
    SettingsWidget widget;
    const SettingsState state = signedInWithCalendars();
    widget.render(describeSettings(state));
    QCheckBox* launch = childWithText<QCheckBox>(widget, QStringLiteral("Launch at Login"));
    ASSERT_TRUE(launch);
    launch->click();
    EXPECT_TRUE(launch->isChecked());
    // The login item could not be registered: the description still says off.
    widget.render(describeSettings(state));
    EXPECT_FALSE(launch->isChecked());
}

namespace {

// The form on screen, as the settings window shows it.
void showForm(SettingsWidget& widget) {
    widget.show();
    widget.activateWindow();
    QApplication::setActiveWindow(&widget);
    for (int turn = 0; turn < 3; ++turn)
        QCoreApplication::processEvents();
}

int reddishPixels(const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor color = image.pixelColor(x, y);
            count += color.red() > 120 && color.green() < 90 && color.blue() < 90 ? 1 : 0;
        }
    return count;
}

} // namespace

TEST(SettingsWidgetTest, LongTitlesAndAddressesStayOnOneLineInsideTheWindow) {
    SettingsState state = signedInWithCalendars();
    const QString title = QStringLiteral("Team calendar of the regional office ").repeated(4).left(120);
    const QString email = QStringLiteral("ada.lovelace.").repeated(6) + QStringLiteral("@engine.example.org");
    state.calendarGroups[0].calendars[1].title = title;
    state.signedInEmail = email;
    SettingsWidget widget;
    widget.render(describeSettings(state));
    showForm(widget);

    auto* scroll = widget.findChild<QScrollArea*>();
    ASSERT_TRUE(scroll);
    const int inside = scroll->viewport()->width();
    EXPECT_LE(scroll->widget()->width(), inside);
    for (const QWidget* child : scroll->widget()->findChildren<QWidget*>()) {
        if (!child->isVisible())
            continue;
        const int right = child->mapTo(scroll->viewport(), QPoint(child->width(), 0)).x();
        EXPECT_LE(right, inside) << child->metaObject()->className() << " "
                                 << child->property("text").toString().left(30).toStdString();
    }

    QCheckBox* calendar = childWithText<QCheckBox>(widget, title);
    ASSERT_TRUE(calendar);
    EXPECT_EQ(calendar->height(), childWithText<QCheckBox>(widget, QStringLiteral("Home"))->height());
    EXPECT_EQ(calendar->toolTip(), title);
    const QList<QWidget*> all = widget.findChildren<QWidget*>();
    EXPECT_TRUE(std::any_of(all.begin(), all.end(), [&](QWidget* w) { return w->toolTip() == email; }));
}

TEST(SettingsWidgetTest, SwitchingWithTheKeyboardKeepsTheFocusOnTheSwitch) {
    SettingsWidget widget;
    SettingsState state = signedInWithCalendars();
    widget.render(describeSettings(state));
    QObject::connect(&widget, &SettingsWidget::triggered, &widget,
                     [&](SettingsAction action, bool on, const QString&) {
                         if (action == SettingsAction::setShowSystemCalendars)
                             state.showSystemCalendars = on;
                         if (action == SettingsAction::setShowWeekNumbers)
                             state.showWeekNumbers = on;
                         widget.render(describeSettings(state));
                     });
    showForm(widget);

    for (const QString& title :
         {QStringLiteral("Show this computer's calendars"), QStringLiteral("Show week numbers")}) {
        SCOPED_TRACE(title.toStdString());
        QCheckBox* toggle = childWithText<QCheckBox>(widget, title);
        ASSERT_TRUE(toggle);
        toggle->setFocus(Qt::TabFocusReason);
        const bool before = toggle->isChecked();
        for (int press = 1; press <= 2; ++press) {
            QTest::keyClick(toggle, Qt::Key_Space);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QCoreApplication::processEvents();
            EXPECT_EQ(QApplication::focusWidget(), toggle) << "press " << press;
            EXPECT_EQ(childWithText<QCheckBox>(widget, title), toggle);
            EXPECT_EQ(toggle->isChecked(), press == 1 ? !before : before);
        }
    }
    // The calendar rows went and came back with the switch, and Tab reaches them in the order they are drawn.
    QCheckBox* calendars = childWithText<QCheckBox>(widget, QStringLiteral("Show this computer's calendars"));
    calendars->setFocus(Qt::TabFocusReason);
    QTest::keyClick(calendars, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), childWithText<QCheckBox>(widget, QStringLiteral("Home")));
}

TEST(SettingsWidgetTest, ADisabledSignOutIsDrawnDisabled) {
    SettingsState state = signedInWithCalendars();
    SettingsWidget widget;
    widget.render(describeSettings(state));
    showForm(widget);
    QPushButton* signOut = childWithText<QPushButton>(widget, QStringLiteral("Sign Out"));
    ASSERT_TRUE(signOut);
    EXPECT_GT(reddishPixels(signOut->grab().toImage()), 10) << "enabled, it is red";

    state.isSignedIn = false;
    widget.render(describeSettings(state));
    ASSERT_EQ(childWithText<QPushButton>(widget, QStringLiteral("Sign Out")), signOut);
    EXPECT_FALSE(signOut->isEnabled());
    EXPECT_EQ(reddishPixels(signOut->grab().toImage()), 0);
}
