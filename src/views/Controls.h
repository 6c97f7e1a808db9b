#pragma once

#include "views/CalendarView.h"

#include <QAbstractButton>
#include <QLabel>
#include <QWidget>

// The borderless controls the popover is drawn with: only their faces are painted, never a bezel.

// A button whose face is its text in one font and colour; drawn at half opacity while disabled.
class TextButton final : public QAbstractButton {
    Q_OBJECT
public:
    TextButton(const QFont& font, Ink ink, QWidget* parent = nullptr);
    void setInk(Ink ink);
    // The modifier keys held when the button was last clicked.
    Qt::KeyboardModifiers clickModifiers() const { return clickModifiers_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    Ink ink_;
    Qt::KeyboardModifiers clickModifiers_;
};

// A button whose face is a symbol centred in a fixed square, which is also its hit area.
class SymbolButton final : public QAbstractButton {
    Q_OBJECT
public:
    SymbolButton(const QString& symbol, int symbolSide, int frameSide, Ink ink, QWidget* parent = nullptr);
    QSize sizeHint() const override { return {frameSide_, frameSide_}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString symbol_;
    int symbolSide_;
    int frameSide_;
    Ink ink_;
};

// One day of the month grid: its number on a filled circle (today), a ring (selected) or nothing.
class DayCellButton final : public QAbstractButton {
    Q_OBJECT
public:
    explicit DayCellButton(QWidget* parent = nullptr);
    void setCell(const DayCellDescription& cell);
    const DayCellDescription& cell() const { return cell_; }
    QSize sizeHint() const override { return {CalendarView::kCell, CalendarView::kCell}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    DayCellDescription cell_;
};

// A full-width button with its title on a rounded accent fill.
class AccentButton final : public QAbstractButton {
    Q_OBJECT
public:
    AccentButton(int cornerRadius, int minimumHeight, QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int cornerRadius_;
    int minimumHeight_;
};

// One line of text, cut with an ellipsis where it does not fit; the cut text shows whole as its tooltip.
class ElidedLabel final : public QWidget {
    Q_OBJECT
public:
    ElidedLabel(const QFont& font, Ink ink, QWidget* parent = nullptr);
    void setText(const QString& text);
    const QString& text() const { return text_; }
    void setElideMode(Qt::TextElideMode mode);
    void setAlignment(Qt::Alignment alignment);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateToolTip();

    QString text_;
    Ink ink_;
    Qt::TextElideMode elideMode_ = Qt::ElideRight;
    Qt::Alignment alignment_ = Qt::AlignLeft | Qt::AlignVCenter;
};

// The smallest spinning progress indicator; it turns only while shown.
class BusyIndicator final : public QWidget {
    Q_OBJECT
public:
    explicit BusyIndicator(int side, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    int timer_ = 0;
    int step_ = 0;
};

// A thin horizontal separator line.
class Divider final : public QWidget {
    Q_OBJECT
public:
    explicit Divider(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

// A label in a popover font and colour.
QLabel* makeLabel(const QFont& font, Ink ink, QWidget* parent = nullptr);
