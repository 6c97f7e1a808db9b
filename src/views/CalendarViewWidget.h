#pragma once

#include "views/CalendarView.h"

#include <QList>
#include <QWidget>

class DayCellButton;
class DayEventsSection;
class DayEventsSectionWidget;
class Divider;
class JumpField;
class QLabel;
class QVBoxLayout;
class TextButton;

// Draws a CalendarView, 300 pixels wide: header, weekday header, grid, the selected day's events and the
// footer. Turns clicks, Return and the modifier keys into the view's actions.
class CalendarViewWidget final : public QWidget {
    Q_OBJECT
public:
    explicit CalendarViewWidget(const ViewEnvironment& environment, QWidget* parent = nullptr);

    CalendarView& view() { return *view_; }
    void render();

    // The cell of the given day, when the grid shows it.
    DayCellButton* cellOf(Instant day) const;

    // The calendar's height with the day list at its limit: the most it grows to, whatever the day holds.
    int tallestHeight();
    // Keeps the calendar within `height` where it can: the day list gives up room (its rows scroll), and
    // where not even one row fits the day's section gives way, so that the grid, the footer and the jump
    // field stay whole. Nothing: the list's own limit only.
    void setHeightLimit(std::optional<int> height);
    DayEventsSectionWidget* daySection() const { return sectionWidget_; }

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    struct Row {
        QWidget* widget;
        QLabel* weekNumber;
        QList<DayCellButton*> cells;
    };

    QWidget* makeHeader();
    QWidget* makeGrid();
    QWidget* makeFooter();
    Row makeRow(QWidget* parent);
    void renderGrid(const CalendarViewDescription& description);

    CalendarView* view_;
    DayEventsSection* section_;
    TextButton* title_ = nullptr;
    QLabel* weekNumberHeading_ = nullptr;
    QList<QLabel*> weekdays_;
    QVBoxLayout* gridLayout_ = nullptr;
    QList<Row> rows_;
    Divider* sectionDivider_ = nullptr;
    DayEventsSectionWidget* sectionWidget_ = nullptr;
    TextButton* today_ = nullptr;
    JumpField* jumpField_ = nullptr;
    // No room on the screen for the day's section.
    bool sectionCollapsed_ = false;
};
