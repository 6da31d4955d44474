#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QObject;

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
// presenter that records alerts and presses buttons. The parent is the widget the alert belongs
// to (a QObject here, so the code that raises alerts needs no widget library); null for none.
class AlertPresenter {
public:
    virtual ~AlertPresenter() = default;
    virtual void present(Alert alert, QObject *parent) = 0;

    static AlertPresenter &current();
    // Installs the presenter that current() returns; null restores the default one.
    static void setCurrent(AlertPresenter *presenter);
    // The presenter current() returns while none is installed: the window's message boxes once
    // the widget layer sets them; before that (the command line) alerts go to the system log,
    // and no button is ever chosen.
    static void setDefault(AlertPresenter *presenter);
};

// Convenience for the common case.
void showAlert(QObject *parent, const QString &title, const QString &message,
               const QString &cancelButton = QStringLiteral("OK"), QStringList otherButtons = {},
               std::function<void(int)> completion = {});

} // namespace murmelo
