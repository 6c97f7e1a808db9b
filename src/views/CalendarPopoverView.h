#pragma once

#include "views/ViewEnvironment.h"

#include <QObject>
#include <QString>

// What the popover shows: the month calendar, or the prompt to sign in.
struct CalendarPopoverDescription {
    enum class Content { calendar, signInPrompt };

    Content content = Content::signInPrompt;
    QString logo;
    QString title;
    QString subtitle;
    QString buttonTitle;
};

// The root of the popover: follows the account's route and keeps the popover 300 pixels wide.
class CalendarPopoverView final : public QObject {
    Q_OBJECT
public:
    static constexpr int kWidth = 300;
    static constexpr int kPromptSpacing = 14;
    static constexpr int kPromptPadding = 20;
    static constexpr int kTextSpacing = 4;
    static constexpr int kLogoSide = 52;
    static constexpr int kLogoCornerRadius = 12;
    static constexpr int kButtonMinimumHeight = 34;
    static constexpr int kButtonCornerRadius = 9;

    explicit CalendarPopoverView(const ViewEnvironment& environment, QObject* parent = nullptr);

    const ViewEnvironment& environment() const { return environment_; }
    CalendarPopoverDescription description() const;

    // Opens or fronts the sign-in window through the application delegate; nothing without one.
    void signIn() const;

signals:
    // The route changed.
    void changed();

private:
    ViewEnvironment environment_;
};
