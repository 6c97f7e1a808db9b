#pragma once

#include "views/DayEventsSection.h"

#include <QWidget>

class QLabel;
class QScrollArea;
class QVBoxLayout;
class TextButton;

// Draws a DayEventsSection: the day's heading, then its rows in a scroll area, the checking or empty line,
// or the source prompt.
class DayEventsSectionWidget final : public QWidget {
    Q_OBJECT
public:
    explicit DayEventsSectionWidget(DayEventsSection& section, QWidget* parent = nullptr);

    void render();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void renderRows(const QList<DayEvent>& events);

    DayEventsSection& section_;
    QLabel* heading_;
    QScrollArea* scrollArea_;
    QWidget* rows_;
    QVBoxLayout* rowsLayout_;
    QWidget* checking_;
    QLabel* checkingText_;
    QLabel* message_;
    QWidget* prompt_;
    QLabel* promptText_;
    TextButton* promptButton_;
    std::optional<SourcePromptAction> promptAction_;
};
