#include "views/SettingsWidget.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace {

using Kind = SettingsRow::Kind;

QLabel* secondaryLabel(const QString& text, int pointSizeDelta, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::PlaceholderText));
    label->setPalette(palette);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() + pointSizeDelta);
    label->setFont(font);
    return label;
}

// A filled circle of the calendar's colour.
QPixmap dot(const QColor& color, qreal devicePixelRatio) {
    QPixmap pixmap(QSize(SettingsWidget::kDotSide, SettingsWidget::kDotSide) * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color.isValid() ? color : QColor(Qt::gray));
    painter.drawEllipse(QRectF(0, 0, SettingsWidget::kDotSide, SettingsWidget::kDotSide));
    return pixmap;
}

} // namespace

SettingsWidget::SettingsWidget(QWidget* parent) : QWidget(parent) {
    setFixedSize(kWidth, kHeight);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    scroll_ = new QScrollArea(this);
    scroll_->setWidgetResizable(true);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    content_ = new QWidget(scroll_);
    form_ = new QVBoxLayout(content_);
    form_->setContentsMargins(20, 16, 20, 16);
    form_->setSpacing(12);
    scroll_->setWidget(content_);
    outer->addWidget(scroll_);
}

void SettingsWidget::render(const std::vector<SettingsSection>& sections) {
    if (sections == sections_ && form_->count() > 0) {
        for (const auto& [toggle, isOn] : toggles_) {
            if (toggle && toggle->isChecked() != isOn) {
                const QSignalBlocker quiet(toggle);
                toggle->setChecked(isOn);
            }
        }
        return;
    }
    sections_ = sections;
    toggles_.clear();
    const int position = scroll_->verticalScrollBar()->value();
    while (QLayoutItem* item = form_->takeAt(0)) {
        // Later: the row being used may be the one whose signal led here.
        if (QWidget* widget = item->widget()) {
            widget->hide();
            widget->deleteLater();
        }
        delete item;
    }
    for (const SettingsSection& section : sections_)
        form_->addWidget(makeSection(section));
    form_->addStretch(1);
    content_->adjustSize();
    scroll_->verticalScrollBar()->setValue(position);
}

QWidget* SettingsWidget::makeSection(const SettingsSection& section) {
    auto* box = new QGroupBox(section.title, content_);
    auto* layout = new QFormLayout(box);
    layout->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    layout->setRowWrapPolicy(QFormLayout::DontWrapRows);
    for (const SettingsRow& row : section.rows) {
        switch (row.kind) {
        case Kind::labelledButton: {
            auto* button = new QPushButton(row.content, box);
            button->setEnabled(row.isEnabled);
            connect(button, &QPushButton::clicked, this,
                    [this, action = row.action] { emit triggered(action, false, {}); });
            layout->addRow(secondaryLabel(row.label, 0, box), button);
            break;
        }
        case Kind::labelledValue: {
            auto* value = new QLabel(row.content, box);
            value->setTextInteractionFlags(Qt::TextSelectableByMouse);
            value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            layout->addRow(new QLabel(row.label, box), value);
            break;
        }
        default:
            layout->addRow(makeRow(row, box));
            break;
        }
    }
    return box;
}

QWidget* SettingsWidget::makeRow(const SettingsRow& row, QWidget* parent) {
    switch (row.kind) {
    case Kind::toggle:
    case Kind::calendarToggle: {
        auto* toggle = new QCheckBox(row.label, parent);
        toggle->setChecked(row.isOn);
        toggle->setEnabled(row.isEnabled);
        toggles_.emplace_back(toggle, row.isOn);
        if (row.kind == Kind::calendarToggle)
            toggle->setIcon(QIcon(dot(row.color, devicePixelRatioF())));
        connect(toggle, &QCheckBox::toggled, this, [this, action = row.action, id = row.calendarID](bool on) {
            emit triggered(action, on, id);
        });
        return toggle;
    }
    case Kind::button: {
        auto* button = new QPushButton(row.label, parent);
        button->setEnabled(row.isEnabled);
        if (row.isDestructive) {
            QPalette palette = button->palette();
            palette.setColor(QPalette::ButtonText, QColor(Qt::red).darker(120));
            button->setPalette(palette);
        }
        connect(button, &QPushButton::clicked, this,
                [this, action = row.action] { emit triggered(action, false, {}); });
        return button;
    }
    case Kind::footnote:
        return secondaryLabel(row.label, -1, parent);
    case Kind::caption:
    default:
        return secondaryLabel(row.label, -2, parent);
    }
}
