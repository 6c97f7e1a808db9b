#include "views/CalendarPopoverWidget.h"

#include "views/CalendarViewWidget.h"
#include "views/Controls.h"
#include "views/ViewStyle.h"

#include <QLabel>
#include <QVBoxLayout>

CalendarPopoverWidget::CalendarPopoverWidget(const ViewEnvironment& environment, QWidget* parent)
    : QWidget(parent), view_(new CalendarPopoverView(environment, this)), layout_(new QVBoxLayout(this)) {
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSizeConstraint(QLayout::SetFixedSize);
    connect(view_, &CalendarPopoverView::changed, this, &CalendarPopoverWidget::render);
    render();
}

void CalendarPopoverWidget::render() {
    const CalendarPopoverDescription description = view_->description();
    if (shown_ == description.content)
        return;
    shown_ = description.content;
    if (content_) {
        layout_->removeWidget(content_);
        content_->hide();
        content_->deleteLater();
        content_ = nullptr;
        calendar_ = nullptr;
    }
    if (description.content == CalendarPopoverDescription::Content::calendar) {
        // A new calendar each time, with nothing selected, as when the popover first opens.
        calendar_ = new CalendarViewWidget(view_->environment(), this);
        calendar_->setHeightLimit(heightLimit_);
        content_ = calendar_;
    } else {
        content_ = makeSignInPrompt(description);
    }
    content_->setFixedWidth(CalendarPopoverView::kWidth);
    layout_->addWidget(content_);
    if (isVisible())
        content_->show();
}

int CalendarPopoverWidget::tallestHeight() {
    // No margins around the content: its tallest is the popover's.
    if (calendar_)
        return calendar_->tallestHeight();
    return content_ ? content_->sizeHint().height() : sizeHint().height();
}

void CalendarPopoverWidget::setHeightLimit(std::optional<int> height) {
    heightLimit_ = height;
    if (calendar_)
        calendar_->setHeightLimit(height);
}

QWidget* CalendarPopoverWidget::makeSignInPrompt(const CalendarPopoverDescription& description) {
    auto* prompt = new QWidget(this);
    auto* layout = new QVBoxLayout(prompt);
    const int padding = CalendarPopoverView::kPromptPadding;
    layout->setContentsMargins(padding, padding, padding, padding);
    layout->setSpacing(CalendarPopoverView::kPromptSpacing);

    auto* logo = new QLabel(prompt);
    logo->setFixedSize(CalendarPopoverView::kLogoSide, CalendarPopoverView::kLogoSide);
    logo->setPixmap(ViewStyle::image(description.logo, CalendarPopoverView::kLogoSide,
                                     CalendarPopoverView::kLogoCornerRadius, devicePixelRatioF()));
    layout->addWidget(logo, 0, Qt::AlignHCenter);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(CalendarPopoverView::kTextSpacing);
    QLabel* title = makeLabel(ViewStyle::font(15, QFont::DemiBold), Ink::primary, prompt);
    title->setText(description.title);
    title->setAlignment(Qt::AlignCenter);
    texts->addWidget(title);
    QLabel* subtitle = makeLabel(ViewStyle::font(12), Ink::secondary, prompt);
    subtitle->setText(description.subtitle);
    subtitle->setAlignment(Qt::AlignCenter);
    subtitle->setWordWrap(true);
    texts->addWidget(subtitle);
    layout->addLayout(texts);

    auto* button = new AccentButton(CalendarPopoverView::kButtonCornerRadius,
                                    CalendarPopoverView::kButtonMinimumHeight, prompt);
    button->setFont(ViewStyle::font(13, QFont::DemiBold));
    button->setText(description.buttonTitle);
    connect(button, &QAbstractButton::clicked, view_, &CalendarPopoverView::signIn);
    layout->addWidget(button);
    return prompt;
}
