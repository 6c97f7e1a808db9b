#pragma once

#include "app/SceneEnvironment.h"

#include <QObject>
#include <QPointer>

class QtWindowSystem;
class SettingsView;
class SettingsWidget;
class UserDefaults;
class Workspace;

// The settings scene: one fixed 400 × 520 window showing the settings form, made the first time it is asked
// for and reused after that. Its identifier mentions settings, which is how the window is found and fronted
// once it has been asked to open.
class SettingsScene final : public QObject {
    Q_OBJECT
public:
    static inline const QString kWindowIdentifier = QStringLiteral("app.mondrel.Mondrel.settings");

    SettingsScene(const SceneEnvironment& environment, UserDefaults& defaults, Workspace& workspace,
                  QtWindowSystem& windowSystem, QString calendarFolder, QObject* parent = nullptr);
    ~SettingsScene() override;

    // Shows the window, making it first when there is none; the program's open-settings action.
    void open();
    // Nothing until the first open.
    QWidget* window() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void makeWindow();

    SceneEnvironment environment_;
    UserDefaults& defaults_;
    Workspace& workspace_;
    QtWindowSystem& windowSystem_;
    QString calendarFolder_;
    QPointer<SettingsWidget> window_;
    SettingsView* view_ = nullptr;
};
