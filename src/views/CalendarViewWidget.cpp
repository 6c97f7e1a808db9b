#include "views/CalendarViewWidget.h"

#include "models/CalendarModel.h"
#include "views/Controls.h"
#include "views/DayEventsSection.h"
#include "views/DayEventsSectionWidget.h"
#include "views/JumpField.h"
#include "views/ViewStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kHeaderSpacing = 4;
constexpr int kNavSymbolSide = 12;
constexpr int kNavFrameSide = 24;
constexpr int kFooterSpacing = 8;
constexpr int kGearSide = 14;
constexpr int kColumns = 7;

QLabel* makeFixedLabel(const QFont& font, Ink ink, int width, int height, QWidget* parent) {
    QLabel* label = makeLabel(font, ink, parent);
    label->setAlignment(Qt::AlignCenter);
    label->setFixedWidth(width);
    if (height > 0)
        label->setFixedHeight(height);
    return label;
}

} // namespace

CalendarViewWidget::CalendarViewWidget(const ViewEnvironment& environment, QWidget* parent)
    : QWidget(parent), view_(new CalendarView(environment, this)),
      section_(new DayEventsSection(environment, environment.calendar.today(), this)) {
    setFixedWidth(CalendarView::kWidth);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(CalendarView::kMargin, CalendarView::kMargin, CalendarView::kMargin,
                               CalendarView::kMargin);
    layout->setSpacing(CalendarView::kSpacing);
    layout->addWidget(makeHeader());
    layout->addWidget(makeGrid(), 0, Qt::AlignHCenter);
    sectionDivider_ = new Divider(this);
    layout->addWidget(sectionDivider_);
    sectionWidget_ = new DayEventsSectionWidget(*section_, this);
    layout->addWidget(sectionWidget_);
    layout->addWidget(new Divider(this));
    layout->addWidget(makeFooter());

    connect(view_, &CalendarView::changed, this, &CalendarViewWidget::render);
    render();
}

QWidget* CalendarViewWidget::makeHeader() {
    auto* header = new QWidget(this);
    auto* layout = new QHBoxLayout(header);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(kHeaderSpacing);
    const CalendarViewDescription description = view_->description();
    auto addNavButtons = [&](const QList<NavButtonDescription>& buttons) {
        for (const NavButtonDescription& nav : buttons) {
            auto* button =
                new SymbolButton(nav.symbol, kNavSymbolSide, kNavFrameSide, Ink::secondary, header);
            button->setAccessibleName(nav.accessibilityLabel);
            button->setToolTip(nav.accessibilityLabel);
            const int months = nav.months;
            connect(button, &QAbstractButton::clicked, this, [this, months] { view_->shift(months); });
            layout->addWidget(button);
        }
    };
    addNavButtons(description.leadingButtons);
    layout->addStretch(1);
    title_ = new TextButton(ViewStyle::font(15, QFont::DemiBold), Ink::primary, header);
    connect(title_, &QAbstractButton::clicked, this, [this] {
        const Qt::KeyboardModifiers modifiers = title_->clickModifiers();
        view_->clickTitle(modifiers.testFlag(Qt::AltModifier), modifiers.testFlag(Qt::ShiftModifier));
    });
    layout->addWidget(title_);
    layout->addStretch(1);
    addNavButtons(description.trailingButtons);
    return header;
}

QWidget* CalendarViewWidget::makeGrid() {
    auto* grid = new QWidget(this);
    gridLayout_ = new QVBoxLayout(grid);
    gridLayout_->setContentsMargins(0, 0, 0, 0);
    gridLayout_->setSpacing(CalendarView::kSpacing);
    gridLayout_->setSizeConstraint(QLayout::SetFixedSize);

    auto* weekdayHeader = new QWidget(grid);
    auto* headerLayout = new QHBoxLayout(weekdayHeader);
    headerLayout->setContentsMargins(0, 0, 0, 0);
    headerLayout->setSpacing(CalendarView::kGridSpacing);
    weekNumberHeading_ = makeFixedLabel(ViewStyle::font(10, QFont::DemiBold), Ink::tertiary,
                                        CalendarView::kWeekNumWidth, 0, weekdayHeader);
    headerLayout->addWidget(weekNumberHeading_);
    for (int i = 0; i < kColumns; ++i) {
        QLabel* label = makeFixedLabel(ViewStyle::font(11, QFont::DemiBold), Ink::secondary,
                                       CalendarView::kCell, 0, weekdayHeader);
        weekdays_.append(label);
        headerLayout->addWidget(label);
    }
    gridLayout_->addWidget(weekdayHeader);

    auto* rows = new QWidget(grid);
    auto* rowsLayout = new QVBoxLayout(rows);
    rowsLayout->setContentsMargins(0, 0, 0, 0);
    rowsLayout->setSpacing(CalendarView::kGridSpacing);
    for (const WeekRowDescription& description : view_->description().rows) {
        Q_UNUSED(description);
        Row row = makeRow(rows);
        rowsLayout->addWidget(row.widget);
        rows_.append(row);
    }
    gridLayout_->addWidget(rows);
    return grid;
}

CalendarViewWidget::Row CalendarViewWidget::makeRow(QWidget* parent) {
    Row row{new QWidget(parent), nullptr, {}};
    auto* layout = new QHBoxLayout(row.widget);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(CalendarView::kGridSpacing);
    row.weekNumber = makeFixedLabel(ViewStyle::font(10, QFont::Medium), Ink::tertiary,
                                    CalendarView::kWeekNumWidth, CalendarView::kCell, row.widget);
    layout->addWidget(row.weekNumber);
    for (int i = 0; i < kColumns; ++i) {
        auto* cell = new DayCellButton(row.widget);
        connect(cell, &QAbstractButton::clicked, this, [this, cell] { view_->select(cell->cell().date); });
        row.cells.append(cell);
        layout->addWidget(cell);
    }
    return row;
}

QWidget* CalendarViewWidget::makeFooter() {
    auto* footer = new QWidget(this);
    auto* layout = new QVBoxLayout(footer);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(kFooterSpacing);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(kFooterSpacing);
    today_ = new TextButton(ViewStyle::font(12, QFont::DemiBold), Ink::accent, footer);
    connect(today_, &QAbstractButton::clicked, this, [this] { view_->showToday(); });
    buttons->addWidget(today_);
    buttons->addStretch(1);
    const FooterDescription description = view_->description().footer;
    auto* settings =
        new SymbolButton(QStringLiteral("gearshape"), kGearSide, kGearSide, Ink::secondary, footer);
    settings->setAccessibleName(description.settingsLabel);
    settings->setToolTip(description.settingsLabel);
    connect(settings, &QAbstractButton::clicked, this, [this] { view_->openSettings(); });
    buttons->addWidget(settings);
    layout->addLayout(buttons);

    jumpField_ = new JumpField(footer);
    jumpField_->edit()->setPlaceholderText(description.jumpPlaceholder);
    connect(jumpField_->edit(), &QLineEdit::textEdited, view_, &CalendarView::setJumpText);
    connect(jumpField_->edit(), &QLineEdit::returnPressed, view_, &CalendarView::performJump);
    layout->addWidget(jumpField_);
    return footer;
}

void CalendarViewWidget::render() {
    const CalendarViewDescription description = view_->description();
    title_->setText(description.title);
    title_->setToolTip(description.titleToolTip);
    title_->updateGeometry();
    renderGrid(description);

    if (description.listedDay)
        section_->setDay(*description.listedDay);
    const bool listed = description.listedDay.has_value() && !sectionCollapsed_;
    sectionDivider_->setVisible(listed);
    sectionWidget_->setVisible(listed);

    const FooterDescription& footer = description.footer;
    today_->setText(footer.todayTitle);
    today_->setEnabled(footer.todayEnabled);
    today_->updateGeometry();
    if (jumpField_->edit()->text() != footer.jumpText)
        jumpField_->edit()->setText(footer.jumpText);
    jumpField_->setFailed(footer.jumpFailed);
}

void CalendarViewWidget::renderGrid(const CalendarViewDescription& description) {
    weekNumberHeading_->setVisible(description.weekNumberHeading.has_value());
    weekNumberHeading_->setText(description.weekNumberHeading.value_or(QString()));
    for (qsizetype i = 0; i < weekdays_.size(); ++i)
        weekdays_[i]->setText(description.weekdaySymbols.value(i));
    for (qsizetype r = 0; r < rows_.size(); ++r) {
        const Row& row = rows_[r];
        const bool present = r < description.rows.size();
        row.widget->setVisible(present);
        if (!present)
            continue;
        const WeekRowDescription& week = description.rows[r];
        row.weekNumber->setVisible(week.weekNumber.has_value());
        row.weekNumber->setText(week.weekNumber.value_or(QString()));
        for (qsizetype k = 0; k < row.cells.size(); ++k) {
            const bool hasCell = k < week.cells.size();
            row.cells[k]->setVisible(hasCell);
            if (hasCell)
                row.cells[k]->setCell(week.cells[k]);
        }
    }
}

DayCellButton* CalendarViewWidget::cellOf(Instant day) const {
    for (const Row& row : rows_)
        for (DayCellButton* cell : row.cells)
            if (!cell->isHidden() && cell->cell().date == day)
                return cell;
    return nullptr;
}

int CalendarViewWidget::tallestHeight() {
    // Hints are cached per layout item and refreshed by events: the section's is taken afresh.
    sectionWidget_->updateGeometry();
    const int now = sizeHint().height();
    if (sectionCollapsed_)
        return now;
    // Before a day is selected the section and its divider stand outside the layout.
    if (sectionWidget_->isHidden())
        return now + 2 * CalendarView::kSpacing + sectionDivider_->minimumHeight() +
               sectionWidget_->tallestHeight();
    return now - sectionWidget_->sizeHint().height() + sectionWidget_->tallestHeight();
}

void CalendarViewWidget::setHeightLimit(std::optional<int> height) {
    sectionCollapsed_ = false;
    sectionWidget_->setListLimit(DayEventsSection::kMaximumListHeight);
    render();
    const int excess = height ? tallestHeight() - *height : 0;
    if (excess <= 0)
        return;
    const int limit = DayEventsSection::kMaximumListHeight - excess;
    // Room for less than a row: the day's section gives way, so that the footer stays on the screen.
    if (limit < sectionWidget_->rowHeight()) {
        sectionCollapsed_ = true;
        render();
        return;
    }
    sectionWidget_->setListLimit(limit);
}

bool CalendarViewWidget::event(QEvent* event) {
    // Polished before it is first sized to be shown: today is selected by then, so that the size the window
    // is placed by already holds the day list.
    if (event->type() == QEvent::Polish)
        view_->appear();
    return QWidget::event(event);
}

void CalendarViewWidget::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    view_->appear();
}
