#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

namespace murmelo {

// One alert: a title, a message and its buttons. Index 0 is the cancel button when there is one;
// the other buttons follow in order.
struct Alert {
    QString title;
    QString message;
    QString cancelButton;                            // empty: no cancel button
    QStringList otherButtons;                        // shown after the cancel button
    std::function<void(int buttonIndex)> completion; // may be empty
    int defaultButton = -1; // the button Enter chooses; -1 leaves it to the message box

    QStringList buttons() const;
};

// Shows alerts without blocking the caller. The application shows message boxes; tests install a
// presenter that records alerts and presses buttons.
class AlertPresenter {
public:
    virtual ~AlertPresenter() = default;
    virtual void present(Alert alert, QWidget *parent) = 0;

    static AlertPresenter &current();
    // Installs the presenter that current() returns; null restores the message-box one.
    static void setCurrent(AlertPresenter *presenter);
};

// Shows a window-modal QMessageBox and returns at once; the completion runs when a button is
// chosen.
class MessageBoxAlertPresenter : public AlertPresenter {
public:
    void present(Alert alert, QWidget *parent) override;
};

// Convenience for the common case.
void showAlert(QWidget *parent, const QString &title, const QString &message,
               const QString &cancelButton = QStringLiteral("OK"), QStringList otherButtons = {},
               std::function<void(int)> completion = {});

} // namespace murmelo
