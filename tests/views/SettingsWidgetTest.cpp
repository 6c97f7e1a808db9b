#include "views/SettingsWidget.h"
#include "support/QtPrinters.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QGroupBox>
#include <QPushButton>
#include <QSignalSpy>
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
