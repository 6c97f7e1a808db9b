#include "AppFixture.h"
#include "support/QtPrinters.h"

namespace {

QStringList titles(const Menu& menu) {
    QStringList result;
    for (const auto& item : menu.items())
        result << (item->isSeparator ? QStringLiteral("---") : item->title);
    return result;
}

// Builds a menu from titles; "---" is a separator.
std::shared_ptr<Menu> menuOf(const QStringList& entries, const QString& title = {}) {
    auto menu = std::make_shared<Menu>(title);
    for (const QString& entry : entries) {
        if (entry == QStringLiteral("---"))
            menu->addSeparator();
        else
            menu->addItem(entry);
    }
    return menu;
}

class RecordingDelegate final : public MenuDelegate {
public:
    void menuNeedsUpdate(Menu& menu) override {
        titlesSeen = titles(menu);
        menu.addItem(QStringLiteral("Start Dictation…"));
        menu.addItem(QStringLiteral("Added"));
    }
    QStringList titlesSeen;
};

class QuintorMenuChromeTest : public AppFixture {
protected:
    QuintorMenuChrome& chrome = delegate.menuChrome();

    std::shared_ptr<Menu> installMainMenu(const QStringList& submenuTitles) {
        auto main = std::make_shared<Menu>();
        for (const QString& title : submenuTitles)
            main->addSubmenu(menuOf({QStringLiteral("Keep")}, title));
        windows.mainMenuValue = main;
        return main;
    }
};

TEST_F(QuintorMenuChromeTest, StripsJunkByPrefixAndTidiesSeparators) {
    struct Case {
        QStringList before;
        QStringList after;
    };
    const Case cases[] = {
        {{"Undo", "Services…", "AutoFill Contact", "My Services", "Emoji & Symbols", "Start Dictation…",
          "Writing Tools", "services"},
         {"Undo", "My Services", "services"}},
        {{"---", "---", "---"}, {}},
        {{"Cut", "---", "---", "---", "Paste"}, {"Cut", "---", "Paste"}},
        {{"Start Dictation…", "---", "Copy", "---", "Emoji & Symbols"}, {"Copy"}},
        {{"Copy", "---", "AutoFill", "---", "Paste"}, {"Copy", "---", "Paste"}},
    };
    for (const Case& c : cases) {
        auto menu = menuOf(c.before);
        QuintorMenuChrome::stripJunk(*menu);
        EXPECT_EQ(titles(*menu), c.after) << c.before.join(',').toStdString();
    }
}

TEST_F(QuintorMenuChromeTest, StripJunkLeavesNestedMenusAlone) {
    auto menu = menuOf({"Edit"});
    auto speech = menuOf({"Start Dictation…"}, QStringLiteral("Speech"));
    menu->addSubmenu(speech);
    QuintorMenuChrome::stripJunk(*menu);
    EXPECT_EQ(titles(*menu), QStringList({"Edit", "Speech"}));
    EXPECT_EQ(titles(*speech), QStringList({"Start Dictation…"}));
}

TEST_F(QuintorMenuChromeTest, RemovesOnlyAFormatMenuTitledExactly) {
    auto main = installMainMenu({"Mondrel", "Format", "format", "Format ", "Edit"});
    main->addItem(QStringLiteral("Format")); // not a menu: stays
    chrome.sanitizeNow();
    EXPECT_EQ(titles(*main), QStringList({"Mondrel", "format", "Format ", "Edit", "Format"}));
}

TEST_F(QuintorMenuChromeTest, WrapsEachSubmenuOnceAndStripsIt) {
    auto main = installMainMenu({"Edit", "View"});
    main->items()[0]->submenu->addItem(QStringLiteral("Emoji & Symbols"));
    chrome.sanitizeNow();
    chrome.sanitizeNow();
    EXPECT_EQ(chrome.sanitizers().size(), 2u);
    EXPECT_EQ(titles(*main->items()[0]->submenu), QStringList({"Keep"}));

    // A submenu put in place of a wrapped one is wrapped anew.
    main->items()[1]->submenu = menuOf({"Keep"}, QStringLiteral("View"));
    chrome.sanitizeNow();
    EXPECT_EQ(chrome.sanitizers().size(), 3u);
}

TEST_F(QuintorMenuChromeTest, ThePreviousDelegateUpdatesFirstAndItsJunkIsStripped) {
    auto main = installMainMenu({"Edit"});
    Menu& edit = *main->items()[0]->submenu;
    auto previous = std::make_shared<RecordingDelegate>();
    edit.setDelegate(previous);
    chrome.sanitizeNow();
    edit.addItem(QStringLiteral("AutoFill"));

    ASSERT_TRUE(edit.delegate());
    edit.delegate()->menuNeedsUpdate(edit);
    EXPECT_EQ(previous->titlesSeen, QStringList({"Keep", "AutoFill"})) << "called before stripping";
    EXPECT_EQ(titles(edit), QStringList({"Keep", "Added"}));

    // The wrapper holds its predecessor weakly.
    previous.reset();
    edit.addItem(QStringLiteral("AutoFill"));
    edit.delegate()->menuNeedsUpdate(edit);
    EXPECT_EQ(titles(edit), QStringList({"Keep", "Added"}));
}

TEST_F(QuintorMenuChromeTest, WithoutMainMenuOnlyTheServicesMenuIsCleared) {
    windows.servicesMenuValue = menuOf({"Other program's service"});
    chrome.sanitizeNow();
    EXPECT_EQ(windows.servicesMenuValue, nullptr);
    EXPECT_TRUE(chrome.sanitizers().empty());
}

TEST_F(QuintorMenuChromeTest, InstallDisablesSystemItemsAndPassesNowSoonLaterAndOnActivation) {
    auto main = installMainMenu({"Edit"});
    Menu& edit = *main->items()[0]->submenu;
    auto addJunk = [&] { edit.addItem(QStringLiteral("Writing Tools")); };
    auto junkCount = [&] { return int(titles(edit).count(QStringLiteral("Writing Tools"))); };

    addJunk();
    chrome.installSanitizer();
    EXPECT_EQ(defaults.boolValue(QStringLiteral("NSDisabledDictationMenuItem")), true);
    EXPECT_EQ(defaults.boolValue(QStringLiteral("NSDisabledCharacterPaletteMenuItem")), true);
    EXPECT_EQ(junkCount(), 0);

    addJunk();
    queue.runUntilIdle();
    EXPECT_EQ(junkCount(), 0) << "next turn";

    addJunk();
    queue.advance(0.399);
    EXPECT_EQ(junkCount(), 1);
    queue.advance(0.002);
    EXPECT_EQ(junkCount(), 0) << "0.4 s";

    addJunk();
    queue.advance(60);
    EXPECT_EQ(junkCount(), 1);
    windows.becomeActive();
    EXPECT_EQ(junkCount(), 0) << "on activation";
}

} // namespace
