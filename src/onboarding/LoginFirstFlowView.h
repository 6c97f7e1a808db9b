#pragma once

#include "platform/WindowSystem.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

class AccountModel;
class QLabel;
class QuintorAccountBridge;

enum class LoginProvider { apple, google, email };

// What the login-first flow shows: the logo, the welcome, one button per provider and, once a provider
// was chosen, why signing in cannot go on.
struct LoginFirstFlowDescription {
    struct ProviderButton {
        LoginProvider provider;
        QString title;
    };

    QString logoPath;
    QString title;
    std::vector<ProviderButton> buttons;
    // Shown under the buttons; empty until a provider was chosen.
    std::optional<QString> message;

    // Signing in needs the account servers, which this build does not contain.
    static LoginFirstFlowDescription make(std::optional<LoginProvider> chosen);
};

// The content of the sign-in gate.
class LoginFirstFlowView final : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 520;
    static constexpr int kHeight = 640;

    LoginFirstFlowView(std::function<void()> onComplete, std::function<std::optional<WindowId>()> hostWindow,
                       AccountModel& account, QuintorAccountBridge& bridge, QWidget* parent = nullptr);

    const LoginFirstFlowDescription& description() const { return description_; }
    // What pressing the provider's button does.
    void choose(LoginProvider provider);

private:
    void render();

    // Kept for the sign-in, which this build does not contain.
    std::function<void()> onComplete_;
    std::function<std::optional<WindowId>()> hostWindow_;
    AccountModel& account_;
    QuintorAccountBridge& bridge_;
    LoginFirstFlowDescription description_;
    QLabel* message_ = nullptr;
};
