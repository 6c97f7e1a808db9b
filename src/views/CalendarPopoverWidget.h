#pragma once

#include "views/CalendarPopoverView.h"

#include <QWidget>

class CalendarViewWidget;
class QVBoxLayout;

// Draws the popover: the month calendar while signed in, else the sign-in prompt; always 300 pixels wide,
// as tall as its content. A new route replaces the content at once.
class CalendarPopoverWidget final : public QWidget {
    Q_OBJECT
public:
    explicit CalendarPopoverWidget(const ViewEnvironment& environment, QWidget* parent = nullptr);

    CalendarPopoverView& view() { return *view_; }
    // The calendar while it is shown.
    CalendarViewWidget* calendar() const { return calendar_; }
    QWidget* content() const { return content_; }

    void render();

private:
    QWidget* makeSignInPrompt(const CalendarPopoverDescription& description);

    CalendarPopoverView* view_;
    QVBoxLayout* layout_;
    QWidget* content_ = nullptr;
    CalendarViewWidget* calendar_ = nullptr;
    std::optional<CalendarPopoverDescription::Content> shown_;
};
