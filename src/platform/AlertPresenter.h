#pragma once

#include <QString>
#include <QStringList>

// A modal message with a row of buttons.
struct Alert {
    enum class Style { informational, warning, critical };

    QString messageText;
    QString informativeText;
    Style style = Style::warning;
    // In order; the first is the default.
    QStringList buttons;
};

// Shows alerts modally on the main thread.
class AlertPresenter {
public:
    virtual ~AlertPresenter() = default;
    // Returns the index of the chosen button, or -1 when the alert was dismissed without one.
    virtual int runModal(const Alert& alert) = 0;
};
