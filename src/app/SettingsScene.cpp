#include "app/SettingsScene.h"

#include "platform/linux/QtWindowSystem.h"
#include "utilities/Localization.h"
#include "views/SettingsView.h"
#include "views/SettingsWidget.h"

#include <QEvent>

SettingsScene::SettingsScene(const SceneEnvironment& environment, UserDefaults& defaults,
                             Workspace& workspace, QtWindowSystem& windowSystem, QString calendarFolder,
                             QObject* parent)
    : QObject(parent), environment_(environment), defaults_(defaults), workspace_(workspace),
      windowSystem_(windowSystem), calendarFolder_(std::move(calendarFolder)) {}

SettingsScene::~SettingsScene() {
    // The window's teardown sends events of its own; this scene is half gone by then.
    if (window_) {
        window_->removeEventFilter(this);
        delete window_.data();
    }
}

QWidget* SettingsScene::window() const {
    return window_.data();
}

void SettingsScene::open() {
    if (!window_)
        makeWindow();
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void SettingsScene::makeWindow() {
    window_ = new SettingsWidget;
    window_->setWindowFlag(Qt::Window);
    window_->setObjectName(kWindowIdentifier);
    window_->setWindowTitle(localized("Mondrel Settings"));
    view_ = new SettingsView(environment_, defaults_, windowSystem_, workspace_, calendarFolder_, window_);
    connect(view_, &SettingsView::changed, window_, [this] { window_->render(view_->description()); });
    connect(window_, &SettingsWidget::triggered, view_, &SettingsView::perform);
    window_->installEventFilter(this);
    window_->render(view_->description());
}

bool SettingsScene::eventFilter(QObject* watched, QEvent* event) {
    // Each showing reads the login item again: it may have been changed elsewhere meanwhile.
    if (watched == window_ && event->type() == QEvent::Show)
        view_->shown();
    return QObject::eventFilter(watched, event);
}
