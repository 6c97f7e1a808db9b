#pragma once

#include "views/SettingsViewDescription.h"

#include <QWidget>
#include <functional>

class QGroupBox;
class QScrollArea;
class QVBoxLayout;

// Draws the settings form: one group box per section, its rows one under the other, in a fixed 400 × 520
// window that nothing in it may widen. A new description updates the rows in place, so that the one in use
// keeps the keyboard focus. It only draws: every use of a row is reported through `triggered`.
class SettingsWidget final : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 400;
    static constexpr int kHeight = 520;
    static constexpr int kDotSide = 8;

    explicit SettingsWidget(QWidget* parent = nullptr);

    void render(const std::vector<SettingsSection>& sections);
    const std::vector<SettingsSection>& sections() const { return sections_; }

signals:
    // `value` is a toggle's new state (false for buttons); `calendarID` names the calendar of its toggle.
    void triggered(SettingsAction action, bool value, const QString& calendarID);

private:
    // A row's widget with what shows a new description of the same row on it.
    struct RowWidget {
        QString key;
        QWidget* widget;
        std::function<void(const SettingsRow&)> update;
    };
    struct SectionBox {
        QString title;
        QGroupBox* box;
        QVBoxLayout* layout;
        std::vector<RowWidget> rows;
    };

    void renderSection(SectionBox& section, const std::vector<SettingsRow>& rows);
    void orderTabs();
    RowWidget makeRow(const SettingsRow& row, QWidget* parent);

    QScrollArea* scroll_;
    QVBoxLayout* form_;
    QWidget* content_;
    std::vector<SectionBox> boxes_;
    std::vector<SettingsSection> sections_;
};
