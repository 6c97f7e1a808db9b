#include "platform/linux/QtMenuBarPresenter.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>

namespace {

constexpr const char* kRefillPendingProperty = "mondrelRefillPending";

} // namespace

QKeySequence QtMenuBarPresenter::shortcutFor(const QString& keyEquivalent) {
    if (keyEquivalent.isEmpty())
        return {};
    // An upper-case letter stands for the letter with Shift, as on the platform the menus were designed for.
    const QChar key = keyEquivalent.front();
    const bool shifted = key.isLetter() && key.isUpper();
    return QKeySequence(QStringLiteral("Ctrl+") + (shifted ? QStringLiteral("Shift+") : QString()) +
                        QString(key.toUpper()));
}

QAction* QtMenuBarPresenter::addCommand(QMenu* menu, const std::shared_ptr<MenuItem>& item,
                                        const SendAction& send) {
    QAction* action = menu->addAction(displayTitle(item->title));
    action->setShortcut(shortcutFor(item->keyEquivalent));
    action->setEnabled(item->enabled);
    connect(action, &QAction::triggered, menu,
            [send, item] { send(item->action, item->target, item.get()); });
    return action;
}

QtMenuBarPresenter::QtMenuBarPresenter(QMenuBar* bar, SendAction send)
    : QObject(bar), bar_(bar), send_(std::move(send)) {}

QString QtMenuBarPresenter::displayTitle(const QString& title) {
    QString text = title;
    return text.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

void QtMenuBarPresenter::setMenu(std::shared_ptr<Menu> menu) {
    disconnect(menuChanged_);
    menu_ = std::move(menu);
    if (menu_)
        menuChanged_ = connect(menu_.get(), &Menu::itemsChanged, this, &QtMenuBarPresenter::scheduleRebuild);
    rebuild();
}

// Edits arrive in bursts (a clean-up removes several items) and may come while one of the bar's menus is
// open: rebuild once, later, when no menu of the bar is inside its own signal.
void QtMenuBarPresenter::scheduleRebuild() {
    if (rebuildPending_)
        return;
    rebuildPending_ = true;
    QMetaObject::invokeMethod(
        this, [this] { rebuild(); }, Qt::QueuedConnection);
}

void QtMenuBarPresenter::rebuild() {
    rebuildPending_ = false;
    if (!bar_)
        return;
    for (QMenu* old : bar_->findChildren<QMenu*>(Qt::FindDirectChildrenOnly))
        old->deleteLater();
    bar_->clear();
    bar_->setVisible(bool(menu_));
    if (!menu_)
        return;
    for (const auto& item : menu_->items()) {
        if (item->isSeparator)
            continue;
        if (item->submenu) {
            QMenu* menu = addMenu(bar_, item->submenu);
            menu->setTitle(displayTitle(item->title));
            bar_->addMenu(menu);
            continue;
        }
        QAction* action = bar_->addAction(displayTitle(item->title));
        action->setEnabled(item->enabled);
        connect(action, &QAction::triggered, this,
                [this, item] { send_(item->action, item->target, item.get()); });
    }
}

QMenu* QtMenuBarPresenter::addMenu(QWidget* parent, const std::shared_ptr<Menu>& model) {
    auto* menu = new QMenu(parent);
    // Filled now so that shortcuts work before the menu was ever opened.
    fill(menu, model);
    connect(menu, &QMenu::aboutToShow, this, [this, menu, weak = std::weak_ptr<Menu>(model)] {
        const auto model = weak.lock();
        if (!model)
            return;
        if (const auto delegate = model->delegate())
            delegate->menuNeedsUpdate(*model);
        fill(menu, model);
        menu->setProperty(kRefillPendingProperty, false);
    });
    // Edits made while the menu is closed (a clean-up pass) must not leave the shortcuts of removed items
    // working; one refill per burst, skipped when the menu was filled on opening meanwhile.
    connect(model.get(), &Menu::itemsChanged, menu,
            [self = QPointer(this), menu, weak = std::weak_ptr<Menu>(model)] {
                if (menu->property(kRefillPendingProperty).toBool())
                    return;
                menu->setProperty(kRefillPendingProperty, true);
                QMetaObject::invokeMethod(
                    menu,
                    [self, menu, weak] {
                        const auto model = weak.lock();
                        if (!self || !model || !menu->property(kRefillPendingProperty).toBool())
                            return;
                        menu->setProperty(kRefillPendingProperty, false);
                        self->fill(menu, model);
                    },
                    Qt::QueuedConnection);
            });
    return menu;
}

void QtMenuBarPresenter::fill(QMenu* menu, const std::shared_ptr<Menu>& model) {
    for (QMenu* old : menu->findChildren<QMenu*>(Qt::FindDirectChildrenOnly))
        old->deleteLater();
    menu->clear();
    for (const auto& item : model->items()) {
        if (item->isSeparator) {
            menu->addSeparator();
            continue;
        }
        if (item->submenu) {
            QMenu* submenu = addMenu(menu, item->submenu);
            submenu->setTitle(displayTitle(item->title));
            menu->addMenu(submenu)->setEnabled(item->enabled);
            continue;
        }
        addCommand(menu, item, send_);
    }
}
