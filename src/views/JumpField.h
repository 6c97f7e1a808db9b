#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;

// The jump-to-date field: a magnifying glass and a one-line text field on a rounded field background,
// outlined in red while the last jump failed.
class JumpField final : public QWidget {
    Q_OBJECT
public:
    explicit JumpField(QWidget* parent = nullptr);

    QLineEdit* edit() const { return edit_; }
    void setFailed(bool failed);
    bool isFailed() const { return failed_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void renderIcon();

    QLabel* icon_;
    QLineEdit* edit_;
    bool failed_ = false;
};
