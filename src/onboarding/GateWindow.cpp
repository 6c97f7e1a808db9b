#include "onboarding/GateWindow.h"

#include "onboarding/LoginFirstFlowView.h"

#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>

GateWindowFactory makeGateWindowFactory(std::function<WindowId(QWidget* window)> adopt) {
    return [adopt = std::move(adopt)](GateContent content) -> std::optional<GateWindowHandle> {
        auto* window = new QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                                Qt::WindowCloseButtonHint);
        window->setObjectName(QStringLiteral("mondrel.signInGate"));
        window->setWindowTitle(QStringLiteral("Mondrel"));
        auto* layout = new QVBoxLayout(window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSizeConstraint(QLayout::SetFixedSize);
        layout->addWidget(new LoginFirstFlowView(std::move(content.onComplete), std::move(content.hostWindow),
                                                 content.account, content.bridge, window));
        const WindowId id = adopt(window);
        window->adjustSize();
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect frame = window->frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            window->move(frame.topLeft());
        }
        return GateWindowHandle{id, window};
    };
}
