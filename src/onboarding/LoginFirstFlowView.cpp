#include "onboarding/LoginFirstFlowView.h"

#include "utilities/MondrelTheme.h"

#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QSvgRenderer>
#include <QVBoxLayout>

namespace {

constexpr int kLogoSize = 96;
constexpr int kButtonWidth = 280;
constexpr int kButtonHeight = 36;

QPixmap renderLogo(const QString& path, qreal devicePixelRatio) {
    QPixmap pixmap(QSize(kLogoSize, kLogoSize) * devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    QSvgRenderer(path).render(&painter);
    painter.end();
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}

} // namespace

LoginFirstFlowDescription LoginFirstFlowDescription::make(std::optional<LoginProvider> chosen) {
    LoginFirstFlowDescription description;
    description.logoPath = QStringLiteral(":/assets/MondrelLogo.svg");
    description.title = QStringLiteral("Welcome to Mondrel");
    description.buttons = {{LoginProvider::apple, QStringLiteral("Continue with Apple")},
                           {LoginProvider::google, QStringLiteral("Continue with Google")},
                           {LoginProvider::email, QStringLiteral("Continue with Email")}};
    if (chosen)
        description.message =
            QStringLiteral("Sign-in is not available in this build of Mondrel: it needs the "
                           "Mondrel account servers, which this build does not include.");
    return description;
}

LoginFirstFlowView::LoginFirstFlowView(std::function<void()> onComplete,
                                       std::function<std::optional<WindowId>()> hostWindow,
                                       AccountModel& account, QuintorAccountBridge& bridge, QWidget* parent)
    : QWidget(parent), onComplete_(std::move(onComplete)), hostWindow_(std::move(hostWindow)),
      account_(account), bridge_(bridge), description_(LoginFirstFlowDescription::make(std::nullopt)) {
    setFixedSize(kWidth, kHeight);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(40, 40, 40, 40);
    layout->setSpacing(12);
    layout->addStretch(2);

    auto* logo = new QLabel(this);
    logo->setObjectName(QStringLiteral("logo"));
    logo->setFixedSize(kLogoSize, kLogoSize);
    logo->setPixmap(renderLogo(description_.logoPath, devicePixelRatioF()));
    layout->addWidget(logo, 0, Qt::AlignHCenter);
    layout->addSpacing(8);

    auto* title = new QLabel(description_.title, this);
    QFont titleFont = title->font();
    titleFont.setPointSize(22);
    titleFont.setBold(true);
    title->setFont(titleFont);
    layout->addWidget(title, 0, Qt::AlignHCenter);
    layout->addSpacing(24);

    for (const LoginFirstFlowDescription::ProviderButton& entry : description_.buttons) {
        auto* button = new QPushButton(entry.title, this);
        button->setObjectName(entry.title);
        button->setFixedSize(kButtonWidth, kButtonHeight);
        connect(button, &QPushButton::clicked, this, [this, provider = entry.provider] { choose(provider); });
        layout->addWidget(button, 0, Qt::AlignHCenter);
    }

    message_ = new QLabel(this);
    message_->setObjectName(QStringLiteral("message"));
    message_->setWordWrap(true);
    message_->setAlignment(Qt::AlignHCenter);
    message_->setFixedWidth(kButtonWidth + 80);
    QPalette palette = message_->palette();
    palette.setColor(QPalette::WindowText, MondrelTheme::accent());
    message_->setPalette(palette);
    layout->addSpacing(12);
    layout->addWidget(message_, 0, Qt::AlignHCenter);
    layout->addStretch(3);
    render();
}

void LoginFirstFlowView::choose(LoginProvider provider) {
    description_ = LoginFirstFlowDescription::make(provider);
    render();
}

void LoginFirstFlowView::render() {
    message_->setText(description_.message.value_or(QString()));
    message_->setVisible(description_.message.has_value());
}
