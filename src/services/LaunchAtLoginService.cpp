#include "services/LaunchAtLoginService.h"

LaunchAtLoginService::LaunchAtLoginService(LoginItems& loginItems, QObject* parent)
    : QObject(parent), loginItems_(loginItems) {
    refresh();
}

void LaunchAtLoginService::setEnabled(bool enabled) {
    try {
        if (enabled)
            loginItems_.registerItem();
        else
            loginItems_.unregisterItem();
    } catch (const LoginItemsError& error) {
        log_.error(QStringLiteral("launch_at_login_toggle_failed enabled=") +
                   (enabled ? QStringLiteral("true") : QStringLiteral("false")) + QStringLiteral(" error=") +
                   error.description());
    }
    refresh();
}

// Both fields are written before either signal goes out, so that no observer ever sees both true.
void LaunchAtLoginService::refresh() {
    const LoginItemStatus status = loginItems_.status();
    const bool enabled = status == LoginItemStatus::enabled;
    const bool approval = status == LoginItemStatus::requiresApproval;
    const bool enabledChanged = enabled != isEnabled_;
    const bool approvalChanged = approval != needsApproval_;
    isEnabled_ = enabled;
    needsApproval_ = approval;
    if (enabledChanged)
        emit isEnabledChanged(isEnabled_);
    if (approvalChanged)
        emit needsApprovalChanged(needsApproval_);
}
