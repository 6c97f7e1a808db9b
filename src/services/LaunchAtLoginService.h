#pragma once

#include "platform/LoginItems.h"
#include "utilities/Log.h"

#include <QObject>

// Whether the program starts when the user logs in. The system's registration is the only truth: the flags
// are a copy of its answer, read again after every change and whenever someone asks for a refresh.
class LaunchAtLoginService final : public QObject {
    Q_OBJECT
public:
    // Reads the status once; the flags start from it without notifying anyone.
    explicit LaunchAtLoginService(LoginItems& loginItems, QObject* parent = nullptr);

    // Registered and enabled as a login item.
    bool isEnabled() const { return isEnabled_; }
    // Registered, but waiting for the user's approval. Never true together with isEnabled().
    bool needsApproval() const { return needsApproval_; }

    // Registers or unregisters; a failure is logged, never thrown. The flags then follow the system, not
    // the wish.
    void setEnabled(bool enabled);
    void refresh();
    // Shows the user where login items are managed.
    void openLoginItemsSettings() { loginItems_.openSettings(); }

signals:
    void isEnabledChanged(bool isEnabled);
    void needsApprovalChanged(bool needsApproval);

private:
    LoginItems& loginItems_;
    bool isEnabled_ = false;
    bool needsApproval_ = false;
    Log log_{QStringLiteral("launchAtLogin")};
};
