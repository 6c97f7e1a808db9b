#pragma once

#include "views/DayEventsSection.h"

#include <QWidget>

class DayEventDelegate;
class DayEventListModel;
class QLabel;
class QListView;
class TextButton;

// Draws a DayEventsSection: the day's heading, then its rows in a list that scrolls beyond its limit, the
// checking or empty line, or the source prompt.
class DayEventsSectionWidget final : public QWidget {
    Q_OBJECT
public:
    explicit DayEventsSectionWidget(DayEventsSection& section, QWidget* parent = nullptr);

    void render();

    // The list's rows scroll beyond this height (at most DayEventsSection::kMaximumListHeight).
    void setListLimit(int height);
    int listLimit() const { return listLimit_; }
    int rowHeight() const;
    // The section's height with the list at its limit, or with what it shows now where that is taller.
    int tallestHeight() const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void renderRows(const QList<DayEvent>& events);

    DayEventsSection& section_;
    QLabel* heading_;
    DayEventListModel* model_;
    DayEventDelegate* delegate_;
    QListView* list_;
    QWidget* checking_;
    QLabel* checkingText_;
    QLabel* message_;
    QWidget* prompt_;
    QLabel* promptText_;
    TextButton* promptButton_;
    std::optional<SourcePromptAction> promptAction_;
    // The day whose rows the list holds.
    std::optional<Instant> listedDay_;
    int listLimit_ = DayEventsSection::kMaximumListHeight;
};
