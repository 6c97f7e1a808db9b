#include "onboarding/GateWindow.h"
#include "account/AccountModel.h"
#include "app/AppDelegate.h"
#include "onboarding/LoginFirstFlowView.h"
#include "platform/linux/QtWindowSystem.h"
#include "support/InMemorySecretStore.h"
#include "support/QtPrinters.h"
#include "support/VirtualMainQueue.h"
#include "utilities/UserDefaults.h"

#include <QApplication>
#include <QLayout>
#include <QMenuBar>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// The delegate showing the real gate window on the Qt window system, as the program does.
class GateWindowTest : public ::testing::Test {
protected:
    GateWindowTest() {
        AppDelegate::setSharedAccount(&account);
        AppDelegate::setSharedBridge(&bridge);
        AppDelegate::Environment environment{queue, windows, defaults};
        environment.makeGateWindow = makeGateWindowFactory([this](QWidget* window) {
            windows.hostMainMenu(window);
            return QtWindowSystem::idOf(window);
        });
        delegate = std::make_unique<AppDelegate>(std::move(environment));
    }
    ~GateWindowTest() override {
        delegate.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    QWidget* gate() const {
        for (QWidget* window : QApplication::topLevelWidgets())
            if (delegate->gateWindow() == QtWindowSystem::idOf(window))
                return window;
        return nullptr;
    }

    QTemporaryDir dir;
    VirtualMainQueue queue;
    QtWindowSystem windows;
    UserDefaults defaults{dir.filePath(QStringLiteral("defaults.json"))};
    InMemorySecretStore secrets;
    QuintorAccountBridge bridge{secrets};
    AccountModel account{bridge};
    std::unique_ptr<AppDelegate> delegate;
};

} // namespace

TEST_F(GateWindowTest, ShowsTheFlowWithTheGateMenuAsItsMenuBar) {
    delegate->showGate();
    QWidget* window = gate();
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), "Mondrel");
    ASSERT_TRUE(window->findChild<LoginFirstFlowView*>());
    auto* bar = window->findChild<QMenuBar*>();
    ASSERT_TRUE(bar);
    QCoreApplication::processEvents();
    QStringList titles;
    for (const QAction* action : bar->actions())
        titles << action->text();
    EXPECT_EQ(titles, QStringList({"Mondrel", "Edit"}));
    EXPECT_EQ(windows.activationPolicy(), ActivationPolicy::regular);
}

TEST_F(GateWindowTest, ClosingTheWindowRunsTheCloseStepsAndReleasesIt) {
    delegate->showGate();
    const QPointer<QWidget> window = gate();
    ASSERT_TRUE(window);
    window->close();
    EXPECT_FALSE(delegate->gateWindow());
    EXPECT_FALSE(windows.mainMenu());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
    queue.runUntilIdle();
    EXPECT_EQ(windows.activationPolicy(), ActivationPolicy::accessory);

    delegate->showGate();
    EXPECT_TRUE(gate()) << "a new gate after the old one went";
}

TEST_F(GateWindowTest, IsAFixedTitledClosableWindowAroundTheFlowKeptWhenClosed) {
    QWidget* adopted = nullptr;
    const GateWindowFactory factory = makeGateWindowFactory([&](QWidget* window) {
        adopted = window;
        window->layout()->setMenuBar(new QMenuBar(window));
        return WindowId(42);
    });
    const std::optional<GateWindowHandle> handle =
        factory({[] {}, [] { return std::optional<WindowId>(); }, account, bridge});
    ASSERT_TRUE(handle);
    std::unique_ptr<QWidget> window(qobject_cast<QWidget*>(handle->window.data()));
    ASSERT_TRUE(window);
    EXPECT_EQ(window.get(), adopted);
    EXPECT_EQ(handle->id, WindowId(42));
    EXPECT_EQ(window->windowTitle(), "Mondrel");
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(window->testAttribute(Qt::WA_DeleteOnClose));
    EXPECT_FALSE(window->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(window->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(window->width(), 520);
    EXPECT_EQ(window->minimumSize(), window->maximumSize()) << "not resizable";
    auto* view = window->findChild<LoginFirstFlowView*>();
    ASSERT_TRUE(view);
    EXPECT_EQ(view->size(), QSize(520, 640));
    window->close();
    EXPECT_FALSE(handle->window.isNull()) << "kept until the delegate lets it go";
}
