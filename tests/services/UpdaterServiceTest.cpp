#include "services/UpdaterService.h"
#include "support/FakeUpdateFramework.h"
#include "support/FakeWindowSystem.h"
#include "support/VirtualMainQueue.h"
#include "utilities/UserDefaults.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

BundleInfo bundleWith(const QVariant& feed, const QVariant& key) {
    QVariantMap values;
    if (feed.isValid())
        values.insert(QStringLiteral("SUFeedURL"), feed);
    if (key.isValid())
        values.insert(QStringLiteral("SUPublicEDKey"), key);
    return BundleInfo(values);
}

const BundleInfo& configured() {
    static const BundleInfo bundle =
        bundleWith(QStringLiteral("https://updates.example/appcast.xml"), QStringLiteral("c2lnbmluZy1rZXk="));
    return bundle;
}

QProcessEnvironment environmentWith(const QString& forceCheck) {
    QProcessEnvironment environment;
    environment.insert(UpdaterService::kForceCheckVariable, forceCheck);
    return environment;
}

class UpdaterServiceTest : public ::testing::Test {
protected:
    std::unique_ptr<UpdaterService> make(const BundleInfo& bundle = configured(),
                                         const QProcessEnvironment& environment = {}) {
        return std::make_unique<UpdaterService>(queue, windows, defaults, &framework, bundle, environment);
    }

    QTemporaryDir dir;
    VirtualMainQueue queue;
    FakeWindowSystem windows;
    UserDefaults defaults{dir.filePath(QStringLiteral("defaults.json"))};
    FakeUpdateFramework framework;
};

TEST_F(UpdaterServiceTest, ConfigurationNeedsAFeedAndARealKey) {
    const QString feed = QStringLiteral("https://updates.example/appcast.xml");
    EXPECT_TRUE(
        UpdaterService::hasValidUpdateConfig(bundleWith(QStringLiteral("  \n") + feed + "\t ", "key")));
    EXPECT_FALSE(UpdaterService::hasValidUpdateConfig(bundleWith(feed, QStringLiteral("   "))));
    EXPECT_FALSE(UpdaterService::hasValidUpdateConfig(bundleWith(feed, {})));
    EXPECT_FALSE(UpdaterService::hasValidUpdateConfig(bundleWith(feed, QStringLiteral("REPLACE_WITH_KEY"))));
    EXPECT_TRUE(UpdaterService::hasValidUpdateConfig(bundleWith(feed, QStringLiteral("replace_me"))));
    EXPECT_FALSE(
        UpdaterService::hasValidUpdateConfig(bundleWith(QStringLiteral("\n"), QStringLiteral("key"))));
    EXPECT_FALSE(UpdaterService::hasValidUpdateConfig(bundleWith(QVariant(42), QStringLiteral("key"))))
        << "a feed that is not a string";
    EXPECT_FALSE(UpdaterService::hasValidUpdateConfig(BundleInfo::main()))
        << "the Linux build has no updates";
}

TEST_F(UpdaterServiceTest, UnconfiguredItStartsNothingAndNeverChecks) {
    framework.updater.canCheck = true;
    const auto service = make(bundleWith(QStringLiteral("https://updates.example/"), {}));
    queue.runUntilIdle();
    EXPECT_EQ(framework.starts, 0);
    EXPECT_FALSE(service->isConfigured());
    EXPECT_FALSE(service->canCheckForUpdates());

    service->checkForUpdates();
    EXPECT_EQ(framework.checks, 0);
    EXPECT_TRUE(windows.calls.isEmpty()) << "the policy is left alone";

    UpdaterService withoutFramework(queue, windows, defaults, nullptr, configured());
    EXPECT_FALSE(withoutFramework.isConfigured());
}

TEST_F(UpdaterServiceTest, TheFlagFollowsTheUpdaterOnTheMainQueue) {
    framework.updater.canCheck = true;
    const auto service = make();
    QSignalSpy spy(service.get(), &UpdaterService::canCheckForUpdatesChanged);
    EXPECT_FALSE(service->canCheckForUpdates()) << "written on the main queue, not in the report";
    queue.runUntilIdle();
    EXPECT_TRUE(service->canCheckForUpdates());

    framework.updater.setCanCheck(true);
    queue.runUntilIdle();
    framework.updater.setCanCheck(false);
    queue.runUntilIdle();
    EXPECT_FALSE(service->canCheckForUpdates());
    EXPECT_EQ(spy.count(), 2);
}

TEST_F(UpdaterServiceTest, AReportForADestroyedServiceWritesNothing) {
    auto service = make();
    framework.updater.setCanCheck(true);
    service.reset();
    EXPECT_EQ(framework.updater.observerCount(), 0);
    queue.runUntilIdle(); // must not touch the destroyed service
}

TEST_F(UpdaterServiceTest, ACheckRestoresThePolicyOfItsFirstCallWhenTheCycleEnds) {
    const auto service = make();
    windows.policy = ActivationPolicy::accessory;

    service->checkForUpdates();
    EXPECT_EQ(windows.policy, ActivationPolicy::regular);
    service->checkForUpdates();
    EXPECT_EQ(framework.checks, 2);
    EXPECT_EQ(windows.calls, QStringList({"policy regular", "activate", "policy regular", "activate"}));

    framework.delegate->didFinishUpdateCycle(QStringLiteral("The update feed could not be read."));
    EXPECT_EQ(windows.policy, ActivationPolicy::accessory);
    EXPECT_FALSE(service->policyBeforeCheck());

    windows.calls.clear();
    framework.delegate->didFinishUpdateCycle(std::nullopt);
    EXPECT_TRUE(windows.calls.isEmpty()) << "a cycle without a check restores nothing";
}

TEST_F(UpdaterServiceTest, TheForcedLaunchCheckNeedsExactlyOne) {
    windows.policy = ActivationPolicy::accessory;
    const auto forced = make(configured(), environmentWith(QStringLiteral("1")));
    queue.advance(0.99);
    EXPECT_EQ(framework.checks, 0);
    queue.advance(0.02);
    EXPECT_EQ(framework.checks, 1);
    queue.advance(10);
    EXPECT_EQ(framework.checks, 1);

    for (const QString& value : {QStringLiteral("true"), QStringLiteral("1 "), QStringLiteral("")}) {
        const auto service = make(configured(), environmentWith(value));
        queue.advance(2);
        EXPECT_EQ(framework.checks, 1) << value.toStdString();
    }
    const auto unset = make();
    queue.advance(2);
    EXPECT_EQ(framework.checks, 1);

    auto gone = make(configured(), environmentWith(QStringLiteral("1")));
    gone.reset();
    queue.advance(2);
    EXPECT_EQ(framework.checks, 1) << "a destroyed service is not asked";
}

TEST_F(UpdaterServiceTest, TheBetaChannelIsOfferedOnlyWhenAskedFor) {
    const auto service = make();
    EXPECT_TRUE(service->allowedChannels().isEmpty());
    defaults.setBool(UpdaterService::kBetaEnabledKey, false);
    EXPECT_TRUE(service->allowedChannels().isEmpty());
    defaults.setBool(UpdaterService::kBetaEnabledKey, true);
    EXPECT_EQ(framework.delegate->allowedChannels(), QSet<QString>{QStringLiteral("beta")});
}

} // namespace
