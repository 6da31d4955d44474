#pragma once

#include "platform/AlertPresenter.h"

namespace murmelo {

// Shows a window-modal QMessageBox and returns at once; the completion runs when a button is
// chosen.
class MessageBoxAlertPresenter : public AlertPresenter {
public:
    void present(Alert alert, QObject *parent) override;
};

// Makes message boxes the default presenter: the window calls it at start, as do the tests.
void useMessageBoxAlerts();

} // namespace murmelo
