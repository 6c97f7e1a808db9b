#include "views/DayEventsSectionWidget.h"

#include "views/Controls.h"
#include "views/DayEventDelegate.h"
#include "views/DayEventListModel.h"
#include "views/ViewStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kBusyIndicatorSide = 12;

} // namespace

DayEventsSectionWidget::DayEventsSectionWidget(DayEventsSection& section, QWidget* parent)
    : QWidget(parent), section_(section) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(DayEventsSection::kSpacing);

    heading_ = makeLabel(ViewStyle::font(11), Ink::secondary, this);
    layout->addWidget(heading_);

    // Only the rows in view are painted, and a new rendering changes only the rows that changed.
    model_ = new DayEventListModel(this);
    delegate_ = new DayEventDelegate(this);
    list_ = new QListView(this);
    list_->setModel(model_);
    list_->setItemDelegate(delegate_);
    list_->setUniformItemSizes(true);
    list_->setFrameShape(QFrame::NoFrame);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    list_->setSelectionMode(QAbstractItemView::NoSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setFocusPolicy(Qt::NoFocus);
    list_->viewport()->setAutoFillBackground(false);
    list_->setAutoFillBackground(false);
    list_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    layout->addWidget(list_);

    checking_ = new QWidget(this);
    auto* checkingLayout = new QHBoxLayout(checking_);
    checkingLayout->setContentsMargins(0, 0, 0, 0);
    checkingLayout->setSpacing(DayEventsSection::kSpacing);
    checkingLayout->addWidget(new BusyIndicator(kBusyIndicatorSide, checking_), 0, Qt::AlignVCenter);
    checkingText_ = makeLabel(ViewStyle::font(12), Ink::secondary, checking_);
    checkingLayout->addWidget(checkingText_, 1, Qt::AlignVCenter);
    layout->addWidget(checking_);

    message_ = makeLabel(ViewStyle::font(12), Ink::secondary, this);
    layout->addWidget(message_);

    prompt_ = new QWidget(this);
    auto* promptLayout = new QVBoxLayout(prompt_);
    promptLayout->setContentsMargins(0, 0, 0, 0);
    promptLayout->setSpacing(DayEventsSection::kPromptSpacing);
    promptText_ = makeLabel(ViewStyle::font(12), Ink::secondary, prompt_);
    promptLayout->addWidget(promptText_);
    promptButton_ = new TextButton(ViewStyle::font(12, QFont::DemiBold), Ink::accent, prompt_);
    promptLayout->addWidget(promptButton_, 0, Qt::AlignLeft);
    layout->addWidget(prompt_);
    connect(promptButton_, &QAbstractButton::clicked, this, [this] {
        if (promptAction_)
            section_.perform(*promptAction_);
    });

    connect(&section_, &DayEventsSection::changed, this, &DayEventsSectionWidget::render);
    render();
}

void DayEventsSectionWidget::render() {
    const DayEventsDescription description = section_.description();
    using Content = DayEventsDescription::Content;
    heading_->setText(description.heading);
    list_->setVisible(description.content == Content::events);
    checking_->setVisible(description.content == Content::checking);
    message_->setVisible(description.content == Content::nothingScheduled);
    prompt_->setVisible(description.content == Content::prompt);
    checkingText_->setText(description.message);
    message_->setText(description.message);
    renderRows(description.events);
    promptAction_ = description.prompt ? std::optional(description.prompt->action) : std::nullopt;
    if (description.prompt) {
        promptText_->setText(description.prompt->text);
        promptButton_->setText(description.prompt->buttonTitle);
        promptButton_->updateGeometry();
    }
}

void DayEventsSectionWidget::renderRows(const QList<DayEvent>& events) {
    model_->setEvents(events);
    // The list is as tall as its rows, up to the limit (lower where the screen is short); beyond it the rows
    // scroll. Worked out from the rows alone, so that the popover knows its size before anything is shown.
    // The last row's gap stays in, or the list would scroll by that gap.
    list_->setFixedHeight(qMin(model_->rowCount() * delegate_->rowHeight(), listLimit_));
    // Another day starts at its top, as a fresh list would; the same day keeps where the user scrolled.
    if (listedDay_ != section_.day()) {
        listedDay_ = section_.day();
        list_->scrollToTop();
    }
}

void DayEventsSectionWidget::setListLimit(int height) {
    const int limit = std::clamp(height, 0, int(DayEventsSection::kMaximumListHeight));
    if (limit == listLimit_)
        return;
    listLimit_ = limit;
    render();
}

int DayEventsSectionWidget::rowHeight() const {
    return delegate_->rowHeight();
}

int DayEventsSectionWidget::tallestHeight() const {
    const int withFullList = heading_->sizeHint().height() + DayEventsSection::kSpacing + listLimit_;
    return std::max(sizeHint().height(), withFullList);
}

void DayEventsSectionWidget::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    section_.appear();
}

void DayEventsSectionWidget::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    section_.disappear();
}
