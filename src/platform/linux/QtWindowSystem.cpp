#include "platform/linux/QtWindowSystem.h"

#include "platform/linux/QtMenuBarPresenter.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QLayout>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QWidget>

namespace {

// The type an ordinary window had before the accessory policy made it a tool window.
constexpr const char* kOrdinaryTypeProperty = "mondrelOrdinaryWindowType";
// Shown, and its close not yet announced.
constexpr const char* kOpenProperty = "mondrelWindowOpen";

std::optional<Qt::WindowType> ordinaryType(const QWidget* window) {
    const QVariant saved = window->property(kOrdinaryTypeProperty);
    if (saved.isValid())
        return Qt::WindowType(saved.toInt());
    const Qt::WindowType type = window->windowType();
    if (type == Qt::Window || type == Qt::Dialog)
        return type;
    return std::nullopt;
}

int levelOf(const QWidget* window) {
    const Qt::WindowType type = window->windowType();
    if (type == Qt::Popup || type == Qt::ToolTip || qobject_cast<const QMenu*>(window))
        return WindowLevel::popUpMenu;
    if (window->windowFlags().testFlag(Qt::WindowStaysOnTopHint))
        return WindowLevel::floating;
    return WindowLevel::normal;
}

bool isPanel(const QWidget* window) {
    if (ordinaryType(window) || qobject_cast<const QMenu*>(window))
        return false;
    const Qt::WindowType type = window->windowType();
    return type == Qt::Popup || type == Qt::Tool;
}

QString classNameOf(const QWidget* window) {
    const QString name = QString::fromLatin1(window->metaObject()->className());
    const qsizetype colons = name.lastIndexOf(QStringLiteral("::"));
    return colons < 0 ? name : name.mid(colons + 2);
}

} // namespace

QtWindowSystem::QtWindowSystem(QObject* parent) : QObject(parent) {
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state != Qt::ApplicationActive)
            return;
        didBecomeActive_.visitUntil([](const std::function<void()>& handler) {
            handler();
            return false;
        });
    });
}

QtWindowSystem::~QtWindowSystem() = default;

WindowDescription QtWindowSystem::describe(const QWidget* window) {
    WindowDescription d;
    d.id = idOf(window);
    d.className = classNameOf(window);
    if (!window->objectName().isEmpty())
        d.identifier = window->objectName();
    d.level = levelOf(window);
    d.visible = window->isVisible();
    d.panel = isPanel(window);
    d.key = window->isActiveWindow();
    d.frame = QRectF(window->frameGeometry());
    return d;
}

std::vector<WindowDescription> QtWindowSystem::windows() const {
    std::vector<WindowDescription> result;
    for (const QWidget* window : QApplication::topLevelWidgets())
        result.push_back(describe(window));
    windowSources_.visitUntil([&result](const WindowSource& source) {
        if (std::optional<WindowDescription> window = source())
            result.push_back(std::move(*window));
        return false;
    });
    return result;
}

std::vector<ScreenDescription> QtWindowSystem::screens() const {
    std::vector<ScreenDescription> result;
    for (const QScreen* screen : QGuiApplication::screens())
        result.push_back({QRectF(screen->geometry()), QRectF(screen->availableGeometry())});
    return result;
}

QWidget* QtWindowSystem::widget(WindowId window) const {
    // Compared by address only: a stale identity must never be dereferenced.
    for (QWidget* candidate : QApplication::topLevelWidgets())
        if (idOf(candidate) == window)
            return candidate;
    return nullptr;
}

void QtWindowSystem::setActivationPolicy(ActivationPolicy policy) {
    policy_ = policy;
    for (QWidget* window : QApplication::topLevelWidgets())
        applyPolicy(window);
}

void QtWindowSystem::applyPolicy(QWidget* window) const {
    const std::optional<Qt::WindowType> original = ordinaryType(window);
    if (!original)
        return;
    const Qt::WindowType wanted = policy_ == ActivationPolicy::regular ? *original : Qt::Tool;
    if (window->windowType() == wanted)
        return;
    window->setProperty(kOrdinaryTypeProperty, int(*original));
    // Changing the type hides a shown window; it has to be shown again.
    const bool wasVisible = window->isVisible();
    window->setWindowFlags((window->windowFlags() & ~Qt::WindowType_Mask) | wanted);
    if (wasVisible)
        window->show();
}

void QtWindowSystem::activate() {
    if (policy_ != ActivationPolicy::regular)
        return;
    QWidget* front = QApplication::activeWindow();
    if (!front || !front->isVisible() || !ordinaryType(front)) {
        front = nullptr;
        for (QWidget* window : QApplication::topLevelWidgets())
            if (window->isVisible() && ordinaryType(window) && !isPanel(window)) {
                front = window;
                break;
            }
    }
    if (!front)
        return;
    front->raise();
    front->activateWindow();
}

void QtWindowSystem::makeKeyAndOrderFront(WindowId id) {
    QWidget* window = widget(id);
    if (!window)
        return;
    applyPolicy(window);
    window->show();
    window->raise();
    window->activateWindow();
}

void QtWindowSystem::orderFrontRegardless(WindowId id) {
    QWidget* window = widget(id);
    if (!window)
        return;
    window->show();
    window->raise();
}

void QtWindowSystem::close(WindowId id) {
    if (QWidget* window = widget(id))
        window->close();
}

bool QtWindowSystem::openStatusItemPopover() {
    return popoverOpener_ && popoverOpener_();
}

Observation QtWindowSystem::observeWillClose(WindowId id, std::function<void()> handler) {
    if (QWidget* window = widget(id)) {
        window->installEventFilter(this);
        if (window->isVisible())
            window->setProperty(kOpenProperty, true);
        // A dialog dismissed by accept, reject or Escape hides without a close event that a filter sees.
        if (auto* dialog = qobject_cast<QDialog*>(window))
            connect(dialog, &QDialog::finished, this, &QtWindowSystem::dialogFinished, Qt::UniqueConnection);
    }
    return willClose_.add({id, std::move(handler)});
}

void QtWindowSystem::announceClose(QWidget* window) {
    window->setProperty(kOpenProperty, false);
    notifyWillClose(willClose_, idOf(window));
}

void QtWindowSystem::dialogFinished() {
    auto* dialog = qobject_cast<QDialog*>(sender());
    // A dialog closed with its close button has announced it already.
    if (dialog && !dialog->isVisible() && dialog->property(kOpenProperty).toBool())
        announceClose(dialog);
}

Observation QtWindowSystem::observeDidBecomeActive(std::function<void()> handler) {
    return didBecomeActive_.add(std::move(handler));
}

// Qt asks a window whether it may close and hides it right after an accepted close event; the filter
// sees the request before the window answers it, so the close counts once the hide follows at once.
bool QtWindowSystem::eventFilter(QObject* watched, QEvent* event) {
    auto* window = qobject_cast<QWidget*>(watched);
    if (!window || !window->isWindow())
        return false;
    std::erase_if(closing_, [](const QPointer<QWidget>& w) { return w.isNull(); });
    const auto pending = std::find(closing_.begin(), closing_.end(), window);
    switch (event->type()) {
    case QEvent::Close:
        if (pending == closing_.end())
            closing_.emplace_back(window);
        // An accepted close hides the window before control returns to the event loop; an ignored one
        // must not make a later hide count as a close.
        QMetaObject::invokeMethod(
            this, [this, guarded = QPointer<QWidget>(window)] { std::erase(closing_, guarded); },
            Qt::QueuedConnection);
        break;
    case QEvent::Hide:
        if (pending != closing_.end()) {
            closing_.erase(pending);
            announceClose(window);
        }
        break;
    case QEvent::Show:
        if (pending != closing_.end())
            closing_.erase(pending);
        window->setProperty(kOpenProperty, true);
        break;
    default:
        break;
    }
    return false;
}

void QtWindowSystem::setMainMenu(std::shared_ptr<Menu> menu) {
    mainMenu_ = menu && composition_ ? composition_(*menu) : std::move(menu);
    std::erase_if(menuBars_, [](const QPointer<QtMenuBarPresenter>& p) { return p.isNull(); });
    for (const auto& presenter : menuBars_)
        presenter->setMenu(mainMenu_);
}

bool QtWindowSystem::sendAction(const QString& action, const std::shared_ptr<ActionResponder>& target,
                                const MenuItem* sender) {
    if (target)
        return target->tryToPerform(action, sender);
    // Editing actions ("copy:") go to the focused control as its slot of the same name ("copy").
    const QByteArray slot =
        action.endsWith(QLatin1Char(':')) ? action.chopped(1).toLatin1() : action.toLatin1();
    const QByteArray signature = QMetaObject::normalizedSignature(slot + "()");
    for (QWidget* w = QApplication::focusWidget(); w; w = w->parentWidget()) {
        if (w->metaObject()->indexOfSlot(signature.constData()) >= 0)
            return QMetaObject::invokeMethod(w, slot.constData());
    }
    return performAlong(responders_, action, sender);
}

Observation QtWindowSystem::addResponder(ActionResponder* responder) {
    return responders_.add(responder);
}

Observation QtWindowSystem::addWindowSource(WindowSource source) {
    return windowSources_.add(std::move(source));
}

void QtWindowSystem::hostMainMenu(QWidget* window) {
    auto* bar = new QMenuBar(window);
    if (auto* mainWindow = qobject_cast<QMainWindow*>(window))
        mainWindow->setMenuBar(bar);
    else if (window->layout())
        window->layout()->setMenuBar(bar);
    QPointer<QtWindowSystem> self(this);
    auto* presenter = new QtMenuBarPresenter(bar, [self](const QString& action,
                                                         const std::shared_ptr<ActionResponder>& target,
                                                         const MenuItem* sender) {
        if (self)
            self->sendAction(action, target, sender);
    });
    presenter->setMenu(mainMenu_);
    menuBars_.emplace_back(presenter);
}
