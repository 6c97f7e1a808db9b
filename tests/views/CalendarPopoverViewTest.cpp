#include "views/CalendarPopoverView.h"

#include "ViewFixture.h"

#include <QSignalSpy>

namespace {

using Content = CalendarPopoverDescription::Content;

class CalendarPopoverViewTest : public ViewFixture {};

TEST_F(CalendarPopoverViewTest, FollowsTheRoute) {
    CalendarPopoverView view(environment());
    QSignalSpy changes(&view, &CalendarPopoverView::changed);
    const CalendarPopoverDescription prompt = view.description();
    EXPECT_EQ(prompt.content, Content::signInPrompt);
    EXPECT_EQ(prompt.title, "Welcome to Mondrel");
    EXPECT_EQ(prompt.subtitle, "Sign in to use your tray calendar.");
    EXPECT_EQ(prompt.buttonTitle, "Sign in");
    EXPECT_EQ(prompt.logo, "MondrelLogo");

    signIn();
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(view.description().content, Content::calendar);
    signOut();
    EXPECT_EQ(view.description().content, Content::signInPrompt);
}

TEST_F(CalendarPopoverViewTest, SignInOpensTheGateThroughTheDelegateAndDoesNothingWithoutOne) {
    CalendarPopoverView view(environment());
    view.signIn();
    EXPECT_EQ(gatesMade, 0);

    makeDelegate();
    view.signIn();
    EXPECT_EQ(gatesMade, 1);
    view.signIn();
    EXPECT_EQ(gatesMade, 1) << "an open gate is brought forward, not made again";
}

} // namespace
