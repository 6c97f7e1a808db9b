#include "services/LaunchAtLoginService.h"
#include "support/CapturingLogSink.h"
#include "support/FakeLoginItems.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

class LaunchAtLoginServiceTest : public ::testing::Test {
protected:
    CapturingLogSink log;
    FakeLoginItems items;
};

TEST_F(LaunchAtLoginServiceTest, FlagsStartFromTheSystemsStatus) {
    const std::vector<std::tuple<LoginItemStatus, bool, bool>> cases = {
        {LoginItemStatus::notRegistered, false, false},
        {LoginItemStatus::enabled, true, false},
        {LoginItemStatus::requiresApproval, false, true},
        {LoginItemStatus::notFound, false, false},
    };
    for (const auto& [status, enabled, approval] : cases) {
        items.statusValue = status;
        LaunchAtLoginService service(items);
        EXPECT_EQ(service.isEnabled(), enabled) << int(status);
        EXPECT_EQ(service.needsApproval(), approval) << int(status);
    }
}

TEST_F(LaunchAtLoginServiceTest, AFailedRegistrationIsLoggedAndTheFlagsFollowTheSystem) {
    LaunchAtLoginService service(items);
    items.failure = QStringLiteral("The operation couldn’t be completed.");
    QSignalSpy enabledSpy(&service, &LaunchAtLoginService::isEnabledChanged);

    service.setEnabled(true);

    EXPECT_EQ(
        log.messages(QStringLiteral("launchAtLogin")),
        QStringList{"launch_at_login_toggle_failed enabled=true error=The operation couldn’t be completed."});
    EXPECT_EQ(log.entries.at(0).type, LogType::error);
    EXPECT_FALSE(service.isEnabled());
    EXPECT_EQ(enabledSpy.count(), 0);
    EXPECT_EQ(items.statusReads, 2) << "the status is read again after the failure";
}

TEST_F(LaunchAtLoginServiceTest, ChangesNotifyOnceAndOnlyOnChange) {
    LaunchAtLoginService service(items);
    QSignalSpy enabledSpy(&service, &LaunchAtLoginService::isEnabledChanged);
    QSignalSpy approvalSpy(&service, &LaunchAtLoginService::needsApprovalChanged);

    service.setEnabled(true);
    service.refresh();
    EXPECT_TRUE(service.isEnabled());
    EXPECT_EQ(enabledSpy.count(), 1);

    service.setEnabled(false);
    EXPECT_FALSE(service.isEnabled());
    EXPECT_FALSE(service.needsApproval());
    EXPECT_EQ(enabledSpy.count(), 2);
    EXPECT_EQ(approvalSpy.count(), 0);
    EXPECT_TRUE(log.entries.empty());
    EXPECT_EQ(items.calls, QStringList({"register", "unregister"}));
}

TEST_F(LaunchAtLoginServiceTest, ARegistrationAwaitingApprovalIsNotEnabled) {
    items.statusAfterRegister = LoginItemStatus::requiresApproval;
    LaunchAtLoginService service(items);
    service.setEnabled(true);
    EXPECT_FALSE(service.isEnabled());
    EXPECT_TRUE(service.needsApproval());
}

// Observers read both flags when either changes: they must never see both true, in either direction.
TEST_F(LaunchAtLoginServiceTest, ObserversNeverSeeBothFlagsTrue) {
    items.statusValue = LoginItemStatus::requiresApproval;
    LaunchAtLoginService service(items);
    int bothTrue = 0;
    const auto check = [&] { bothTrue += service.isEnabled() && service.needsApproval(); };
    QObject::connect(&service, &LaunchAtLoginService::isEnabledChanged, check);
    QObject::connect(&service, &LaunchAtLoginService::needsApprovalChanged, check);

    items.statusValue = LoginItemStatus::enabled;
    service.refresh();
    items.statusValue = LoginItemStatus::requiresApproval;
    service.refresh();
    EXPECT_EQ(bothTrue, 0);
}

} // namespace
