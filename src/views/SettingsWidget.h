#pragma once

#include "views/SettingsViewDescription.h"

#include <QAbstractButton>
#include <QPointer>
#include <QWidget>

class QScrollArea;
class QVBoxLayout;

// Draws the settings form: one group box per section, its rows in a form layout, in a fixed 400 × 520
// window. It only draws: every use of a row is reported through `triggered`.
class SettingsWidget final : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 400;
    static constexpr int kHeight = 520;
    static constexpr int kDotSide = 8;

    explicit SettingsWidget(QWidget* parent = nullptr);

    // Replaces the form with `sections`, keeping the scroll position.
    void render(const std::vector<SettingsSection>& sections);
    const std::vector<SettingsSection>& sections() const { return sections_; }

signals:
    // `value` is a toggle's new state (false for buttons); `calendarID` names the calendar of its toggle.
    void triggered(SettingsAction action, bool value, const QString& calendarID);

private:
    QWidget* makeSection(const SettingsSection& section);
    QWidget* makeRow(const SettingsRow& row, QWidget* parent);

    // The switches drawn now, with the row each shows: a switch the user flipped shows the row's state again
    // when the description stays the same (a change that did not happen).
    std::vector<std::pair<QPointer<QAbstractButton>, bool>> toggles_;
    QScrollArea* scroll_;
    QVBoxLayout* form_;
    QWidget* content_;
    std::vector<SettingsSection> sections_;
};
