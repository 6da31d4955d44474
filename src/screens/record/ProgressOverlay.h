#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

namespace murmelo {

// The record screen's progress overlay: a dimmed cover over the whole screen with a text line,
// a progress bar and a cancel button. It swallows clicks so nothing underneath can be started.
class ProgressOverlay : public QWidget {
    Q_OBJECT
public:
    explicit ProgressOverlay(QWidget *parent);

    QLabel *progressLabel() const { return label_; }
    QPushButton *cancelButton() const { return cancel_; }
    // A fraction from 0 to 1, or a negative value for work whose length is unknown.
    void setFraction(double fraction);

Q_SIGNALS:
    void cancelClicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLabel *label_;
    QProgressBar *bar_;
    QPushButton *cancel_;
};

} // namespace murmelo
