#include "screens/mail/RelaySettingsView.h"

#include "mail/jobs/ContactBook.h"
#include "mail/jobs/RelaySettings.h"
#include "mail/mime/MailAddress.h"
#include "platform/ServiceEndpoints.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

namespace murmelo {

namespace {
bool hasControlCharacter(const QString &text)
{
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control)
            return true;
    }
    return false;
}
} // namespace

RelaySettingsView::RelaySettingsView(RelaySettings &settings, QWidget *parent)
    : QWidget(parent), settings_(settings),
      ownServer_(new QCheckBox(tr("Send through my own mail server"), this)),
      form_(new QWidget(this)), host_(new QLineEdit(form_)), port_(new QSpinBox(form_)),
      security_(new QComboBox(form_)), user_(new QLineEdit(form_)), password_(new QLineEdit(form_)),
      sender_(new QLineEdit(form_)), contacts_(new QLineEdit(this)),
      saveButton_(new QPushButton(tr("Save Mail Settings"), this)), status_(new QLabel(this))
{
    setObjectName(QStringLiteral("RelaySettingsView"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    ownServer_->setObjectName(QStringLiteral("ownServerSwitch"));
    column->addWidget(ownServer_);

    auto *fields = new QFormLayout(form_);
    fields->setContentsMargins(0, 0, 0, 0);
    fields->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    host_->setObjectName(QStringLiteral("relayHost"));
    host_->setPlaceholderText(QStringLiteral("smtp.example.org"));
    port_->setObjectName(QStringLiteral("relayPort"));
    port_->setRange(1, 65535);
    security_->setObjectName(QStringLiteral("relaySecurity"));
    security_->addItem(QStringLiteral("STARTTLS"), int(RelaySecurity::StartTLS));
    security_->addItem(QStringLiteral("TLS"), int(RelaySecurity::TLS));
    security_->setToolTip(tr("STARTTLS secures the connection after it is made (usually port "
                             "587); TLS secures it from the start (usually port 465)"));
    user_->setObjectName(QStringLiteral("relayUser"));
    password_->setObjectName(QStringLiteral("relayPassword"));
    password_->setEchoMode(QLineEdit::Password);
    sender_->setObjectName(QStringLiteral("relaySender"));
    sender_->setPlaceholderText(QStringLiteral("you@example.org"));
    fields->addRow(tr("Server"), host_);
    fields->addRow(tr("Port"), port_);
    fields->addRow(tr("Security"), security_);
    fields->addRow(tr("User name"), user_);
    fields->addRow(tr("Password"), password_);
    fields->addRow(tr("Sender"), sender_);
    column->addWidget(form_);

    auto *contactsRow = new QHBoxLayout;
    contacts_->setObjectName(QStringLiteral("contactsFolder"));
    contacts_->setAccessibleName(tr("Contacts folder"));
    contacts_->setToolTip(tr("A folder of vCard files, or of address books that hold them"));
    auto *choose = new QToolButton(this);
    choose->setText(tr("Choose\u2026"));
    contactsRow->addWidget(new QLabel(tr("Contacts"), this));
    contactsRow->addWidget(contacts_, 1);
    contactsRow->addWidget(choose);
    column->addLayout(contactsRow);
    // Made after the save button, but Tab goes as the rows read: the folder, its button, save.
    QWidget::setTabOrder(contacts_, choose);
    QWidget::setTabOrder(choose, saveButton_);

    saveButton_->setObjectName(QStringLiteral("saveMailSettings"));
    column->addWidget(saveButton_);
    status_->setObjectName(QStringLiteral("relayStatus"));
    status_->setWordWrap(true);
    column->addWidget(status_);

    connect(ownServer_, &QCheckBox::toggled, this, &RelaySettingsView::showForm);
    connect(security_, &QComboBox::activated, this, &RelaySettingsView::securityChosen);
    connect(choose, &QToolButton::clicked, this, [this] {
        const QString folder = QFileDialog::getExistingDirectory(
            this, tr("Folder of your contacts"), contacts_->text());
        if (!folder.isEmpty())
            contacts_->setText(folder);
    });
    connect(saveButton_, &QPushButton::clicked, this, &RelaySettingsView::save);
    load();
}

void RelaySettingsView::load()
{
    const std::optional<OwnRelay> own = settings_.ownRelay();
    ownServer_->setChecked(bool(own));
    const OwnRelay shown = own.value_or(OwnRelay());
    host_->setText(shown.host);
    port_->setValue(shown.port);
    security_->setCurrentIndex(security_->findData(int(shown.security)));
    user_->setText(shown.user);
    sender_->setText(shown.sender);
    password_->clear();
    password_->setPlaceholderText(own ? tr("kept in your keyring") : QString());
    contacts_->setText(ContactBook::folder());
    showForm(bool(own));
    QString where = own ? tr("Mail goes through %1, port %2, secured with %3.")
                              .arg(shown.host)
                              .arg(shown.port)
                              .arg(security_->currentText())
                        : tr("Mail goes through Murmelo's server.");
    if (!qEnvironmentVariable(ServiceEndpoints::kMailRelayVariable).trimmed().isEmpty())
        where += QLatin1Char(' ') + tr("%1 sends it to %2 instead.")
                                        .arg(QLatin1String(ServiceEndpoints::kMailRelayVariable),
                                             ServiceEndpoints::mailRelayHost());
    status_->setText(where);
}

void RelaySettingsView::showForm(bool own)
{
    form_->setVisible(own);
}

void RelaySettingsView::securityChosen()
{
    // The usual port follows the choice, as in desktop mail programs; a port the user chose
    // for another reason stays.
    const auto chosen = RelaySecurity(security_->currentData().toInt());
    const RelaySecurity other =
        chosen == RelaySecurity::TLS ? RelaySecurity::StartTLS : RelaySecurity::TLS;
    if (port_->value() == defaultPort(other))
        port_->setValue(defaultPort(chosen));
}

QString RelaySettingsView::formProblem() const
{
    if (!ownServer_->isChecked())
        return QString();
    const QString host = host_->text().trimmed();
    const QString sender = sender_->text().trimmed();
    if (host.isEmpty())
        return tr("Enter the name of your mail server.");
    if (host.contains(QLatin1Char(' ')) || hasControlCharacter(host))
        return tr("The server name cannot contain spaces or line breaks.");
    if (hasControlCharacter(user_->text()) || hasControlCharacter(password_->text()))
        return tr("The user name and password cannot contain line breaks.");
    // Read as the mail client reads it, so what is stored here is what MAIL FROM carries.
    if (sender.isEmpty() || hasControlCharacter(sender) ||
        parseMailbox(sender).mailboxes.size() != 1)
        return tr("Enter the address your mail is sent from, such as you@example.org.");
    return QString();
}

void RelaySettingsView::save()
{
    const QString problem = formProblem();
    if (!problem.isEmpty()) {
        status_->setText(problem);
        return;
    }
    ContactBook::setFolder(contacts_->text().trimmed());
    saveButton_->setEnabled(false);
    status_->setText(tr("Saving\u2026"));
    QPointer<RelaySettingsView> self(this);
    const auto done = [self](const QString &error) {
        if (self)
            self->finishSave(error);
    };
    if (!ownServer_->isChecked()) {
        settings_.useDeploymentRelay(done);
        return;
    }
    OwnRelay relay;
    relay.host = host_->text().trimmed();
    relay.port = quint16(port_->value());
    relay.security = RelaySecurity(security_->currentData().toInt());
    relay.user = user_->text().trimmed();
    relay.sender = sender_->text().trimmed();
    settings_.setOwnRelay(relay, password_->text(), done);
}

void RelaySettingsView::finishSave(const QString &error)
{
    saveButton_->setEnabled(true);
    load();
    if (!error.isEmpty())
        status_->setText(
            tr("The server was saved, but the keyring refused the password: %1").arg(error));
    else
        status_->setText(status_->text() + QLatin1Char(' ') + tr("Saved."));
    emit saved(error);
}

} // namespace murmelo
