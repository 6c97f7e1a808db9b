#include "views/SettingsWidget.h"

#include "views/Controls.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QVBoxLayout>

namespace {

using Kind = SettingsRow::Kind;

constexpr int kRowSpacing = 8;

// A wrapped text that takes the width it is given and never asks for more.
QLabel* secondaryLabel(int pointSizeDelta, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setWordWrap(true);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
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

// A switch whose title stays on one line: cut in the middle where it does not fit, whole in its tooltip.
class ElidedCheckBox final : public QCheckBox {
public:
    explicit ElidedCheckBox(QWidget* parent) : QCheckBox(parent) {
        // A check box asks for its whole text by default.
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    }

    void setTitle(const QString& title) {
        setText(title);
        updateToolTip();
    }
    QSize minimumSizeHint() const override {
        QStyleOptionButton option;
        initStyleOption(&option);
        option.text.clear();
        return style()->sizeFromContents(QStyle::CT_CheckBox, &option, QSize(0, fontMetrics().height()),
                                         this);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QStylePainter painter(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        option.text = fontMetrics().elidedText(text(), Qt::ElideMiddle, textWidth(option));
        painter.drawControl(QStyle::CE_CheckBox, option);
    }
    void resizeEvent(QResizeEvent* event) override {
        QCheckBox::resizeEvent(event);
        updateToolTip();
    }

private:
    int textWidth(const QStyleOptionButton& option) const {
        const QRect contents = style()->subElementRect(QStyle::SE_CheckBoxContents, &option, this);
        const int icon = option.icon.isNull() ? 0 : option.iconSize.width() + 4;
        return qMax(0, contents.width() - icon);
    }
    void updateToolTip() {
        QStyleOptionButton option;
        initStyleOption(&option);
        setToolTip(fontMetrics().horizontalAdvance(text()) > textWidth(option) ? text() : QString());
    }
};

// A row's identity across descriptions: what it does, for which calendar; texts tell captions apart.
QString keyOf(const SettingsRow& row) {
    const bool named = row.kind == Kind::caption || row.kind == Kind::footnote;
    return QStringLiteral("%1|%2|%3|%4")
        .arg(int(row.kind))
        .arg(int(row.action))
        .arg(row.calendarID, named ? row.label : QString());
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
    form_->addStretch(1);
    scroll_->setWidget(content_);
    outer->addWidget(scroll_);
}

// Sections and rows are matched to those drawn by their identity; only what is new is made and only what
// is gone goes. Widgets that stay keep their focus, and the scroll area keeps its position.
void SettingsWidget::render(const std::vector<SettingsSection>& sections) {
    sections_ = sections;
    std::vector<SectionBox> previous = std::move(boxes_);
    boxes_.clear();
    for (const SettingsSection& section : sections_) {
        const auto match = std::find_if(previous.begin(), previous.end(),
                                        [&](const SectionBox& box) { return box.title == section.title; });
        if (match != previous.end()) {
            boxes_.push_back(std::move(*match));
            previous.erase(match);
        } else {
            auto* box = new QGroupBox(section.title, content_);
            auto* layout = new QVBoxLayout(box);
            layout->setSpacing(kRowSpacing);
            boxes_.push_back(SectionBox{section.title, box, layout, {}});
        }
        renderSection(boxes_.back(), section.rows);
    }
    for (SectionBox& gone : previous) {
        // Later: the row in use may be the one whose signal led here.
        gone.box->hide();
        gone.box->deleteLater();
    }
    for (qsizetype i = 0; i < qsizetype(boxes_.size()); ++i) {
        if (form_->indexOf(boxes_[size_t(i)].box) != i) {
            form_->removeWidget(boxes_[size_t(i)].box);
            form_->insertWidget(int(i), boxes_[size_t(i)].box);
        }
    }
    orderTabs();
}

// Rows made later than those below them still take their turn from the top down.
void SettingsWidget::orderTabs() {
    QWidget* previous = nullptr;
    const auto chain = [&previous](QWidget* widget) {
        if (!(widget->focusPolicy() & Qt::TabFocus))
            return;
        if (previous)
            setTabOrder(previous, widget);
        previous = widget;
    };
    for (const SectionBox& section : boxes_) {
        for (const RowWidget& row : section.rows) {
            chain(row.widget);
            for (QWidget* child : row.widget->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
                chain(child);
        }
    }
}

void SettingsWidget::renderSection(SectionBox& section, const std::vector<SettingsRow>& rows) {
    std::vector<RowWidget> previous = std::move(section.rows);
    section.rows.clear();
    QHash<QString, int> seen;
    for (const SettingsRow& row : rows) {
        // The same caption twice (two groups of one name) is two rows.
        QString key = keyOf(row);
        key += QStringLiteral("#%1").arg(seen[key]++);
        const auto match = std::find_if(previous.begin(), previous.end(),
                                        [&](const RowWidget& drawn) { return drawn.key == key; });
        if (match != previous.end()) {
            section.rows.push_back(std::move(*match));
            previous.erase(match);
        } else {
            section.rows.push_back(makeRow(row, section.box));
            section.rows.back().key = key;
        }
        section.rows.back().update(row);
    }
    for (RowWidget& gone : previous) {
        gone.widget->hide();
        gone.widget->deleteLater();
    }
    for (qsizetype i = 0; i < qsizetype(section.rows.size()); ++i) {
        QWidget* widget = section.rows[size_t(i)].widget;
        if (section.layout->indexOf(widget) != i) {
            section.layout->removeWidget(widget);
            section.layout->insertWidget(int(i), widget);
        }
    }
}

SettingsWidget::RowWidget SettingsWidget::makeRow(const SettingsRow& row, QWidget* parent) {
    const auto report = [this, action = row.action, id = row.calendarID](bool value) {
        emit triggered(action, value, id);
    };
    switch (row.kind) {
    case Kind::toggle:
    case Kind::calendarToggle: {
        auto* toggle = new ElidedCheckBox(parent);
        connect(toggle, &QCheckBox::toggled, this, report);
        return {{}, toggle, [this, toggle](const SettingsRow& shown) {
                    toggle->setTitle(shown.label);
                    toggle->setEnabled(shown.isEnabled);
                    if (shown.kind == Kind::calendarToggle)
                        toggle->setIcon(QIcon(dot(shown.color, devicePixelRatioF())));
                    // Also a switch the user flipped whose change did not happen.
                    const QSignalBlocker quiet(toggle);
                    toggle->setChecked(shown.isOn);
                }};
    }
    case Kind::labelledButton: {
        auto* line = new QWidget(parent);
        auto* layout = new QHBoxLayout(line);
        layout->setContentsMargins(0, 0, 0, 0);
        QLabel* label = secondaryLabel(0, line);
        auto* button = new QPushButton(line);
        layout->addWidget(label, 1);
        layout->addWidget(button);
        connect(button, &QPushButton::clicked, this, [report] { report(false); });
        return {{}, line, [label, button](const SettingsRow& shown) {
                    label->setText(shown.label);
                    button->setText(shown.content);
                    button->setEnabled(shown.isEnabled);
                }};
    }
    case Kind::labelledValue: {
        auto* line = new QWidget(parent);
        auto* layout = new QHBoxLayout(line);
        layout->setContentsMargins(0, 0, 0, 0);
        auto* label = new QLabel(line);
        auto* value = new ElidedLabel(line->font(), Ink::primary, line);
        value->setElideMode(Qt::ElideMiddle);
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        layout->addWidget(label);
        layout->addWidget(value, 1);
        return {{}, line, [label, value](const SettingsRow& shown) {
                    label->setText(shown.label);
                    value->setText(shown.content);
                }};
    }
    case Kind::button: {
        auto* button = new QPushButton(parent);
        button->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
        if (row.isDestructive) {
            // Red while it can be used; disabled, it is drawn like every disabled button.
            QPalette palette = button->palette();
            for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
                palette.setColor(group, QPalette::ButtonText, QColor(Qt::red).darker(120));
            button->setPalette(palette);
        }
        connect(button, &QPushButton::clicked, this, [report] { report(false); });
        return {{}, button, [button](const SettingsRow& shown) {
                    button->setText(shown.label);
                    button->setEnabled(shown.isEnabled);
                }};
    }
    case Kind::footnote:
    case Kind::caption:
        break;
    }
    QLabel* text = secondaryLabel(row.kind == Kind::footnote ? -1 : -2, parent);
    return {{}, text, [text](const SettingsRow& shown) { text->setText(shown.label); }};
}
