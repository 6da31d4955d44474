#include "platform/AlertPresenter.h"

#include "platform/SystemLog.h"

namespace murmelo {

QStringList Alert::buttons() const
{
    QStringList all;
    if (!cancelButton.isEmpty())
        all << cancelButton;
    all << otherButtons;
    return all;
}

namespace {

class SystemLogAlertPresenter : public AlertPresenter {
public:
    void present(Alert alert, QObject *) override
    {
        systemLog(QStringLiteral("alert: %1: %2").arg(alert.title, alert.message));
    }
};

AlertPresenter *g_current = nullptr;
AlertPresenter *g_default = nullptr;

} // namespace

AlertPresenter &AlertPresenter::current()
{
    static SystemLogAlertPresenter systemLogAlerts;
    if (g_current)
        return *g_current;
    return g_default ? *g_default : systemLogAlerts;
}

void AlertPresenter::setDefault(AlertPresenter *presenter)
{
    g_default = presenter;
}

void AlertPresenter::setCurrent(AlertPresenter *presenter)
{
    g_current = presenter;
}

void showAlert(QObject *parent, const QString &title, const QString &message,
               const QString &cancelButton, QStringList otherButtons,
               std::function<void(int)> completion)
{
    AlertPresenter::current().present(
        Alert{title, message, cancelButton, std::move(otherButtons), std::move(completion)},
        parent);
}

} // namespace murmelo
