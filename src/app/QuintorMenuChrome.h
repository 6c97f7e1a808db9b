#pragma once

#include "platform/MainQueue.h"
#include "platform/MenuModel.h"
#include "platform/WindowSystem.h"

#include <QObject>
#include <QStringList>

#include <memory>
#include <vector>

class UserDefaults;

// Wraps a submenu's delegate: the previous delegate updates the menu first, then the junk it may have
// added is stripped.
class MenuSanitizerDelegate final : public MenuDelegate {
public:
    explicit MenuSanitizerDelegate(std::weak_ptr<MenuDelegate> previous) : previous_(std::move(previous)) {}

    void menuNeedsUpdate(Menu& menu) override;

private:
    std::weak_ptr<MenuDelegate> previous_;
};

// Keeps the entries that menu layers add on their own (a Format menu, Services, dictation, emoji,
// writing tools, AutoFill) out of the program's main menu, now, shortly after launch, whenever the program
// becomes active and whenever a submenu is about to open.
class QuintorMenuChrome final : public QObject {
    Q_OBJECT
public:
    static constexpr double kDelayedPass = 0.4;

    QuintorMenuChrome(MainQueue& mainQueue, WindowSystem& windowSystem, UserDefaults& defaults,
                      QObject* parent = nullptr);

    // Once, at launch.
    void installSanitizer();
    void sanitizeNow();

    // Titles that begin with one of these are removed, in this order of testing.
    static const QStringList& junkTitlePrefixes();
    // Removes the menu's own junk items (not those of its submenus), then tidies its separators.
    static void stripJunk(Menu& menu);
    // No separator first, last, or right after another.
    static void tidySeparators(Menu& menu);

    // Every delegate ever installed; a menu holds its delegate only weakly.
    const std::vector<std::shared_ptr<MenuSanitizerDelegate>>& sanitizers() const { return sanitizers_; }

private:
    void sanitizeLater(double seconds);

    MainQueue& mainQueue_;
    WindowSystem& windowSystem_;
    UserDefaults& defaults_;
    std::vector<std::shared_ptr<MenuSanitizerDelegate>> sanitizers_;
    Observation didBecomeActive_;
};
