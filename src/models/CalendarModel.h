#pragma once

#include "platform/MainQueue.h"
#include "utilities/CurrentCalendar.h"
#include "utilities/Instant.h"

#include <QList>
#include <QObject>
#include <QStringList>
#include <optional>

// One cell of the month grid.
struct CalendarDay {
    Instant id;
    Instant date;
    int dayNumber = 0;
    bool inCurrentMonth = false;
    bool isToday = false;

    bool operator==(const CalendarDay&) const = default;
};

// One row of the month grid with its ISO 8601 week number (0 for a row without days).
struct CalendarWeek {
    int id = 0;
    int isoWeek = 0;
    QList<CalendarDay> days;

    bool operator==(const CalendarWeek&) const = default;
};

// The shown month and today, the six-week grid around the shown month, and navigation. Keeps `today`
// right across midnight with a wall-clock timer, so it also turns after a suspend over midnight.
class CalendarModel : public QObject {
    Q_OBJECT
public:
    CalendarModel(Instant now, MainQueue& queue, QObject* parent = nullptr);

    static Instant firstOfMonth(Instant date, const Calendar& calendar);
    // Free-form date jump: the start of the named day, or nothing (see CalendarModelParser.cpp).
    static std::optional<Instant> parse(const QString& text, Instant reference);

    Instant displayedMonth() const { return displayedMonth_; }
    Instant today() const { return today_; }

    QList<CalendarWeek> weeks(bool startOnMonday) const;
    QStringList weekdaySymbols(bool startOnMonday) const;
    QString monthTitle() const;
    bool isViewingCurrentMonth() const;

    void shift(int months);
    void goToToday();
    void jumpTo(Instant date);

signals:
    void displayedMonthChanged();
    void todayChanged();

private:
    static std::optional<Instant> parseWeekday(const QString& lowered, Instant base,
                                               const Calendar& calendar);
    void setDisplayedMonth(Instant month);
    void setToday(Instant day);
    void scheduleMidnightRefresh();

    Instant displayedMonth_;
    Instant today_;
    MainQueue& queue_;
    MainQueue::Handle midnightTimer_;
};
