#include "platform/AlertPresenter.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>

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
AlertPresenter *g_current = nullptr;
}

AlertPresenter &AlertPresenter::current()
{
    static MessageBoxAlertPresenter messageBoxes;
    return g_current ? *g_current : messageBoxes;
}

void AlertPresenter::setCurrent(AlertPresenter *presenter)
{
    g_current = presenter;
}

void MessageBoxAlertPresenter::present(Alert alert, QWidget *parent)
{
    auto *box = new QMessageBox(parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowTitle(alert.title);
    box->setText(alert.title);
    box->setInformativeText(alert.message);
    const QStringList labels = alert.buttons();
    QList<QAbstractButton *> buttons;
    for (int i = 0; i < labels.size(); ++i) {
        const bool isCancel = i == 0 && !alert.cancelButton.isEmpty();
        buttons << box->addButton(labels[i],
                                  isCancel ? QMessageBox::RejectRole : QMessageBox::AcceptRole);
    }
    if (buttons.isEmpty())
        buttons << box->addButton(QMessageBox::Ok);
    if (!alert.cancelButton.isEmpty())
        box->setEscapeButton(buttons.first());
    if (alert.defaultButton >= 0 && alert.defaultButton < buttons.size())
        box->setDefaultButton(qobject_cast<QPushButton *>(buttons[alert.defaultButton]));
    auto completion = alert.completion;
    QObject::connect(box, &QMessageBox::buttonClicked, box,
                     [buttons, completion](QAbstractButton *clicked) {
                         if (completion)
                             completion(std::max(0, int(buttons.indexOf(clicked))));
                     });
    box->open();
}

void showAlert(QWidget *parent, const QString &title, const QString &message,
               const QString &cancelButton, QStringList otherButtons,
               std::function<void(int)> completion)
{
    AlertPresenter::current().present(
        Alert{title, message, cancelButton, std::move(otherButtons), std::move(completion)},
        parent);
}

} // namespace murmelo
