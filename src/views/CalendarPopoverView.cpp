#include "views/CalendarPopoverView.h"

#include "account/AccountModel.h"
#include "app/AppDelegate.h"

CalendarPopoverView::CalendarPopoverView(const ViewEnvironment& environment, QObject* parent)
    : QObject(parent), environment_(environment) {
    connect(&environment_.account, &AccountModel::routeChanged, this, &CalendarPopoverView::changed);
}

CalendarPopoverDescription CalendarPopoverView::description() const {
    if (environment_.account.route() == AccountModel::Route::calendar)
        return {CalendarPopoverDescription::Content::calendar, {}, {}, {}, {}};
    return {
        CalendarPopoverDescription::Content::signInPrompt,
        QStringLiteral("MondrelLogo"),
        QStringLiteral("Welcome to Mondrel"),
        QStringLiteral("Sign in to use your tray calendar."),
        QStringLiteral("Sign in"),
    };
}

void CalendarPopoverView::signIn() const {
    if (AppDelegate* delegate = AppDelegate::shared())
        delegate->showGate();
}
