#pragma once

#include "utilities/Instant.h"
#include "views/ViewEnvironment.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <optional>

// Text and symbol colours of the popover, resolved against the palette by the widgets.
enum class Ink { primary, secondary, tertiary, dimmed, onAccent, accent, failure };

struct NavButtonDescription {
    QString symbol;
    QString accessibilityLabel;
    int months = 0;

    bool operator==(const NavButtonDescription&) const = default;
};

struct DayCellDescription {
    enum class Background { none, filledCircle, ring };

    Instant date;
    QString text;
    bool bold = false;
    Ink ink = Ink::primary;
    Background background = Background::none;
    QString accessibilityLabel;
};

struct WeekRowDescription {
    int id = 0;
    // The ISO week number while week numbers are shown.
    std::optional<QString> weekNumber;
    QList<DayCellDescription> cells;
};

struct FooterDescription {
    QString todayTitle;
    bool todayEnabled = true;
    QString settingsLabel;
    QString jumpPlaceholder;
    QString jumpText;
    bool jumpFailed = false;
};

// What the month view draws, from the header down to the footer.
struct CalendarViewDescription {
    QList<NavButtonDescription> leadingButtons;
    QString title;
    QString titleToolTip;
    QList<NavButtonDescription> trailingButtons;
    // "Wk" while week numbers are shown.
    std::optional<QString> weekNumberHeading;
    QStringList weekdaySymbols;
    QList<WeekRowDescription> rows;
    // The day whose events are listed under the grid.
    std::optional<Instant> listedDay;
    FooterDescription footer;
};

// The month calendar of the popover: the shown month of the shared model with its navigation, the selected
// day, and the jump-to-date field. Holds the view's own state and decides everything the widget draws;
// announces `changed` whenever the model, either display setting or its own state changes.
class CalendarView final : public QObject {
    Q_OBJECT
public:
    static constexpr int kCell = 34;
    static constexpr int kWeekNumWidth = 22;
    static constexpr int kGridSpacing = 2;
    static constexpr int kMargin = 12;
    static constexpr int kSpacing = 10;
    static constexpr int kWidth = 300;
    static inline const QString kShowWeekNumbersKey = QStringLiteral("mondrel.showWeekNumbers");
    static inline const QString kStartOnMondayKey = QStringLiteral("mondrel.startOnMonday");

    explicit CalendarView(const ViewEnvironment& environment, QObject* parent = nullptr);

    const ViewEnvironment& environment() const { return environment_; }

    bool showWeekNumbers() const { return showWeekNumbers(environment_.defaults); }
    bool startOnMonday() const { return startOnMonday(environment_.defaults); }
    // As the user chose them; weeks start on Monday by default where the user's calendar starts them so.
    static bool showWeekNumbers(const UserDefaults& defaults);
    static bool startOnMonday(const UserDefaults& defaults);
    const std::optional<Instant>& selectedDay() const { return selectedDay_; }
    const QString& jumpText() const { return jumpText_; }
    bool jumpFailed() const { return jumpFailed_; }

    CalendarViewDescription description() const;
    bool isRestingOnToday() const;

    // The view came on screen: today is selected unless a day already is.
    void appear();
    void shift(int months);
    // Alt shifts a year forward, Alt+Shift a year back; a plain click does nothing.
    void clickTitle(bool option, bool shift);
    void select(Instant day);
    void showToday();
    void openSettings() const;
    void setJumpText(const QString& text);
    void performJump();

    // The full date of the current locale, as the day cells' accessibility labels carry it.
    static QString accessibilityDate(Instant day);

signals:
    void changed();

private:
    FooterDescription footer() const;
    void setSelectedDay(Instant day);
    void setJumpFailed(bool failed);

    ViewEnvironment environment_;
    std::optional<Instant> selectedDay_;
    QString jumpText_;
    bool jumpFailed_ = false;
};
