#include "views/DayEventsSectionWidget.h"

#include "views/Controls.h"
#include "views/ViewStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {

constexpr int kBusyIndicatorSide = 12;

// One event: time column, calendar colour, title; read out as one element.
QWidget* makeRow(const DayEvent& event, QWidget* parent) {
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(DayEventsSection::kRowSpacing);

    auto* time = new ElidedLabel(ViewStyle::font(11), Ink::secondary, row);
    time->setFixedWidth(DayEventsSection::kTimeColumnWidth);
    time->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    time->setText(event.timeLabel());
    auto* dot = new ColorDot(DayEventsSection::kDotDiameter, row);
    dot->setColor(event.color());
    auto* title = new ElidedLabel(ViewStyle::font(12), Ink::primary, row);
    title->setText(event.title());

    layout->addWidget(time, 0, Qt::AlignVCenter);
    layout->addWidget(dot, 0, Qt::AlignVCenter);
    layout->addWidget(title, 1, Qt::AlignVCenter);
    row->setAccessibleName(event.timeLabel() + QStringLiteral(", ") + event.title());
    return row;
}

} // namespace

DayEventsSectionWidget::DayEventsSectionWidget(DayEventsSection& section, QWidget* parent)
    : QWidget(parent), section_(section) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(DayEventsSection::kSpacing);

    heading_ = makeLabel(ViewStyle::font(11), Ink::secondary, this);
    layout->addWidget(heading_);

    scrollArea_ = new QScrollArea(this);
    scrollArea_->setFrameShape(QFrame::NoFrame);
    scrollArea_->setWidgetResizable(true);
    scrollArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scrollArea_->setBackgroundRole(QPalette::Window);
    rows_ = new QWidget;
    rowsLayout_ = new QVBoxLayout(rows_);
    rowsLayout_->setContentsMargins(0, 0, 0, 0);
    rowsLayout_->setSpacing(DayEventsSection::kSpacing);
    scrollArea_->setWidget(rows_);
    layout->addWidget(scrollArea_);

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
    scrollArea_->setVisible(description.content == Content::events);
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
    while (QLayoutItem* item = rowsLayout_->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    // Rows added to a list on screen are shown only later, so its layout does not count them yet: the
    // height comes from the rows themselves.
    int height = 0;
    for (const DayEvent& event : events) {
        QWidget* row = makeRow(event, rows_);
        rowsLayout_->addWidget(row);
        height += row->sizeHint().height() + (height > 0 ? DayEventsSection::kSpacing : 0);
    }
    // The list is as tall as its rows, up to the limit; beyond it the rows scroll.
    scrollArea_->setFixedHeight(qMin(height, DayEventsSection::kMaximumListHeight));
}

void DayEventsSectionWidget::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    section_.appear();
}

void DayEventsSectionWidget::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    section_.disappear();
}
