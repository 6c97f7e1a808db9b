#pragma once

#include "platform/PopoverContent.h"
#include "views/CalendarPopoverView.h"

#include <QWidget>

class CalendarViewWidget;
class QVBoxLayout;

// Draws the popover: the month calendar while signed in, else the sign-in prompt; always 300 pixels wide,
// as tall as its content, which keeps within the height the screen has for it where it can. A new route
// replaces the content at once.
class CalendarPopoverWidget final : public QWidget, public PopoverContent {
    Q_OBJECT
public:
    explicit CalendarPopoverWidget(const ViewEnvironment& environment, QWidget* parent = nullptr);

    CalendarPopoverView& view() { return *view_; }
    // The calendar while it is shown.
    CalendarViewWidget* calendar() const { return calendar_; }
    QWidget* content() const { return content_; }

    void render();

    int tallestHeight() override;
    void setHeightLimit(std::optional<int> height) override;

private:
    QWidget* makeSignInPrompt(const CalendarPopoverDescription& description);

    CalendarPopoverView* view_;
    QVBoxLayout* layout_;
    QWidget* content_ = nullptr;
    CalendarViewWidget* calendar_ = nullptr;
    std::optional<CalendarPopoverDescription::Content> shown_;
    std::optional<int> heightLimit_;
};
