#pragma once

#include "platform/AlertPresenter.h"

#include <QList>

namespace murmelo::test {

// Records every alert instead of showing it, and installs itself as the current presenter for
// its lifetime. press() answers the oldest alert still waiting.
class RecordingAlertPresenter : public AlertPresenter {
public:
    RecordingAlertPresenter();
    ~RecordingAlertPresenter() override;

    void present(Alert alert, QObject *parent) override;

    const QList<Alert> &alerts() const { return alerts_; }
    int pendingCount() const { return int(pending_.size()); }
    // Chooses the button with this label (or index) on the oldest pending alert.
    bool press(const QString &buttonLabel);
    bool pressIndex(int index);

private:
    QList<Alert> alerts_;
    QList<Alert> pending_;
};

} // namespace murmelo::test
