// The footer of the month view: the Today button, the settings button and the jump-to-date field.
#include "views/CalendarView.h"

#include "models/CalendarModel.h"
#include "platform/MainQueue.h"
#include "utilities/Localization.h"
#include "views/FormatterCache.h"

QString CalendarView::accessibilityDate(Instant day) {
    static const CurrentCalendarFormatter a11yFormatter(&DateFormatter::fullDate);
    return a11yFormatter.format(day);
}

bool CalendarView::isRestingOnToday() const {
    const CalendarModel& model = environment_.calendar;
    return model.isViewingCurrentMonth() && selectedDay_ &&
           Calendar::current().isSameDay(*selectedDay_, model.today());
}

FooterDescription CalendarView::footer() const {
    return FooterDescription{
        localized("Today"),
        !isRestingOnToday(),
        localized("Settings"),
        localized("Jump to date… (e.g. Dec 25)"),
        jumpText_,
        jumpFailed_,
    };
}

void CalendarView::showToday() {
    environment_.calendar.goToToday();
    setSelectedDay(environment_.calendar.today());
}

void CalendarView::openSettings() const {
    if (environment_.openSettings)
        SettingsPresenter::present(environment_.openSettings);
    else
        SettingsPresenter::present();
}

void CalendarView::setJumpText(const QString& text) {
    if (text == jumpText_)
        return;
    jumpText_ = text;
    jumpFailed_ = false;
    emit changed();
}

void CalendarView::setJumpFailed(bool failed) {
    if (failed == jumpFailed_)
        return;
    jumpFailed_ = failed;
    emit changed();
}

void CalendarView::performJump() {
    const QString text = jumpText_.trimmed();
    if (text.isEmpty())
        return;
    const std::optional<Instant> date = CalendarModel::parse(text, environment_.mainQueue.now());
    if (!date) {
        setJumpFailed(true);
        return;
    }
    environment_.calendar.jumpTo(*date);
    setSelectedDay(*date);
    setJumpText(QString());
    setJumpFailed(false);
}
