#include "app/QuintorMenuChrome.h"

#include "utilities/UserDefaults.h"

#include <QPointer>

void MenuSanitizerDelegate::menuNeedsUpdate(Menu& menu) {
    if (const auto previous = previous_.lock())
        previous->menuNeedsUpdate(menu);
    QuintorMenuChrome::stripJunk(menu);
}

QuintorMenuChrome::QuintorMenuChrome(MainQueue& mainQueue, WindowSystem& windowSystem, UserDefaults& defaults,
                                     QObject* parent)
    : QObject(parent), mainQueue_(mainQueue), windowSystem_(windowSystem), defaults_(defaults) {}

const QStringList& QuintorMenuChrome::junkTitlePrefixes() {
    static const QStringList prefixes{QStringLiteral("Start Dictation"), QStringLiteral("Emoji & Symbols"),
                                      QStringLiteral("Writing Tools"), QStringLiteral("AutoFill"),
                                      QStringLiteral("Services")};
    return prefixes;
}

void QuintorMenuChrome::installSanitizer() {
    // Asks the desktop's menu layer to leave out its dictation and character-palette items.
    defaults_.setBool(QStringLiteral("NSDisabledDictationMenuItem"), true);
    defaults_.setBool(QStringLiteral("NSDisabledCharacterPaletteMenuItem"), true);
    sanitizeNow();
    // The menu is assembled in stages after launch: catch what arrives on the next turn and a bit later.
    sanitizeLater(0.0);
    sanitizeLater(kDelayedPass);
    didBecomeActive_ = windowSystem_.observeDidBecomeActive([this] { sanitizeNow(); });
}

void QuintorMenuChrome::sanitizeLater(double seconds) {
    mainQueue_.postAfter(seconds, [self = QPointer(this)] {
        if (self)
            self->sanitizeNow();
    });
}

void QuintorMenuChrome::sanitizeNow() {
    windowSystem_.setServicesMenu(nullptr);
    const std::shared_ptr<Menu> mainMenu = windowSystem_.mainMenu();
    if (!mainMenu)
        return;
    const std::vector<Menu::ItemPtr> items = mainMenu->items();
    for (const Menu::ItemPtr& item : items) {
        if (!item->submenu)
            continue;
        if (item->title == QStringLiteral("Format")) {
            mainMenu->removeItem(item);
            continue;
        }
        Menu& submenu = *item->submenu;
        const std::shared_ptr<MenuDelegate> current = submenu.delegate();
        if (!std::dynamic_pointer_cast<MenuSanitizerDelegate>(current)) {
            auto wrapper = std::make_shared<MenuSanitizerDelegate>(current);
            submenu.setDelegate(wrapper);
            sanitizers_.push_back(std::move(wrapper));
        }
        stripJunk(submenu);
    }
}

void QuintorMenuChrome::stripJunk(Menu& menu) {
    const std::vector<Menu::ItemPtr> items = menu.items();
    for (auto it = items.rbegin(); it != items.rend(); ++it) {
        const QString& title = (*it)->title;
        const bool junk = std::any_of(junkTitlePrefixes().begin(), junkTitlePrefixes().end(),
                                      [&](const QString& prefix) { return title.startsWith(prefix); });
        if (junk)
            menu.removeItem(*it);
    }
    tidySeparators(menu);
}

void QuintorMenuChrome::tidySeparators(Menu& menu) {
    while (menu.count() > 0 && menu.items().front()->isSeparator)
        menu.removeItemAt(0);
    while (menu.count() > 0 && menu.items().back()->isSeparator)
        menu.removeItemAt(menu.count() - 1);
    for (int i = menu.count() - 1; i >= 1; --i) {
        if (menu.items()[i]->isSeparator && menu.items()[i - 1]->isSeparator)
            menu.removeItemAt(i);
    }
}
