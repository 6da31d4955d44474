#include "toolkit/MessageBoxAlertPresenter.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>

namespace murmelo {

void MessageBoxAlertPresenter::present(Alert alert, QObject *parent)
{
    auto *box = new QMessageBox(qobject_cast<QWidget *>(parent));
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

void useMessageBoxAlerts()
{
    static MessageBoxAlertPresenter messageBoxes;
    AlertPresenter::setDefault(&messageBoxes);
}

} // namespace murmelo
