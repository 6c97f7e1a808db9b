#include "platform/linux/QtAlertPresenter.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

// Presses the button titled `title` of the alert once it is on screen, or closes it without one.
void answerWhenShown(const QString& title) {
    QTimer::singleShot(0, [title] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return answerWhenShown(title);
        for (QAbstractButton* button : box->buttons())
            if (button->text() == title)
                return button->click();
        box->reject();
    });
}

} // namespace

TEST(QtAlertPresenterTest, AnswersTheIndexOfThePressedButtonAndDefaultsToTheFirst) {
    Alert alert;
    alert.messageText = QStringLiteral("Move Mondrel to ~/.local/bin");
    alert.buttons = {QStringLiteral("Show in File Manager"), QStringLiteral("Later")};
    QtAlertPresenter presenter;

    answerWhenShown(QStringLiteral("Later"));
    EXPECT_EQ(presenter.runModal(alert), 1);

    QTimer::singleShot(0, [] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_TRUE(box);
        EXPECT_EQ(box->defaultButton()->text(), "Show in File Manager");
        EXPECT_EQ(box->text(), "Move Mondrel to ~/.local/bin");
        box->defaultButton()->click();
    });
    EXPECT_EQ(presenter.runModal(alert), 0);
}
