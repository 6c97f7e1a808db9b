#include "onboarding/LoginFirstFlowView.h"
#include "account/AccountModel.h"
#include "app/GateWindowFactory.h"
#include "support/InMemorySecretStore.h"
#include "support/QtPrinters.h"

#include <QLabel>
#include <QPushButton>
#include <QSvgRenderer>
#include <gtest/gtest.h>

namespace {

class LoginFirstFlowViewTest : public ::testing::Test {
protected:
    GateContent content() {
        return {[this] { ++completions; }, [] { return std::optional<WindowId>(7); }, account, bridge};
    }

    InMemorySecretStore secrets;
    QuintorAccountBridge bridge{secrets};
    AccountModel account{bridge};
    int completions = 0;
};

} // namespace

TEST_F(LoginFirstFlowViewTest, OffersThreeProvidersAndExplainsThatSignInIsMissingOnceOneIsChosen) {
    const LoginFirstFlowDescription start = LoginFirstFlowDescription::make(std::nullopt);
    EXPECT_EQ(start.title, "Welcome to Mondrel");
    ASSERT_EQ(start.buttons.size(), 3u);
    EXPECT_EQ(start.buttons[0].provider, LoginProvider::apple);
    EXPECT_EQ(start.buttons[1].provider, LoginProvider::google);
    EXPECT_EQ(start.buttons[2].provider, LoginProvider::email);
    EXPECT_FALSE(start.message);
    EXPECT_TRUE(QSvgRenderer(start.logoPath).isValid()) << "the logo is built into the program";

    for (const LoginProvider provider : {LoginProvider::apple, LoginProvider::google, LoginProvider::email}) {
        const LoginFirstFlowDescription chosen = LoginFirstFlowDescription::make(provider);
        ASSERT_TRUE(chosen.message);
        EXPECT_TRUE(chosen.message->contains("not available in this build"));
    }
}

TEST_F(LoginFirstFlowViewTest, PressingAProviderButtonShowsTheMessageInTheView) {
    GateContent gate = content();
    LoginFirstFlowView view(gate.onComplete, gate.hostWindow, account, bridge);
    EXPECT_EQ(view.size(), QSize(520, 640));
    auto* message = view.findChild<QLabel*>("message");
    ASSERT_TRUE(message);
    EXPECT_TRUE(message->isHidden());

    auto* google = view.findChild<QPushButton*>("Continue with Google");
    ASSERT_TRUE(google);
    google->click();
    EXPECT_FALSE(message->isHidden());
    EXPECT_EQ(message->text(), *view.description().message);
    EXPECT_EQ(completions, 0) << "nobody was signed in";
    EXPECT_FALSE(view.grab().isNull());
}
