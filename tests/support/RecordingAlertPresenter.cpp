#include "support/RecordingAlertPresenter.h"

namespace murmelo::test {

RecordingAlertPresenter::RecordingAlertPresenter()
{
    AlertPresenter::setCurrent(this);
}

RecordingAlertPresenter::~RecordingAlertPresenter()
{
    AlertPresenter::setCurrent(nullptr);
}

void RecordingAlertPresenter::present(Alert alert, QObject *)
{
    alerts_ << alert;
    pending_ << alert;
}

bool RecordingAlertPresenter::press(const QString &buttonLabel)
{
    if (pending_.isEmpty())
        return false;
    const int index = int(pending_.first().buttons().indexOf(buttonLabel));
    return index >= 0 && pressIndex(index);
}

bool RecordingAlertPresenter::pressIndex(int index)
{
    if (pending_.isEmpty())
        return false;
    Alert alert = pending_.takeFirst();
    if (alert.completion)
        alert.completion(index);
    return true;
}

} // namespace murmelo::test
