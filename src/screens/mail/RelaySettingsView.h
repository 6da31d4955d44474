#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace murmelo {

class RelaySettings;

// The mail section of the settings screen: which outgoing server mail goes through (the
// service's, or the user's own with host, port, connection security, user name, password and
// sender address, as desktop mail programs ask for it) and where the address book lives. The
// password goes to the desktop keyring, never into the settings file.
class RelaySettingsView : public QWidget {
    Q_OBJECT
public:
    explicit RelaySettingsView(RelaySettings &settings, QWidget *parent = nullptr);

    // Stores what the form shows; the outcome appears in the status line.
    void save();

    QCheckBox *ownServerSwitch() const { return ownServer_; }
    QLineEdit *hostField() const { return host_; }
    QSpinBox *portField() const { return port_; }
    // "STARTTLS" or "TLS"; switching between them moves the port between 587 and 465.
    QComboBox *securityField() const { return security_; }
    QLineEdit *userField() const { return user_; }
    QLineEdit *passwordField() const { return password_; }
    QLineEdit *senderField() const { return sender_; }
    QLineEdit *contactsField() const { return contacts_; }
    QPushButton *saveButton() const { return saveButton_; }
    QLabel *statusLabel() const { return status_; }

signals:
    // After each save, with the keyring's error (empty when all went well).
    void saved(const QString &error);

private:
    void load();
    void showForm(bool own);
    void securityChosen();
    // Why the form cannot be stored, or empty.
    QString formProblem() const;
    void finishSave(const QString &error);

    RelaySettings &settings_;
    QCheckBox *ownServer_;
    QWidget *form_;
    QLineEdit *host_;
    QSpinBox *port_;
    QComboBox *security_;
    QLineEdit *user_;
    QLineEdit *password_;
    QLineEdit *sender_;
    QLineEdit *contacts_;
    QPushButton *saveButton_;
    QLabel *status_;
};

} // namespace murmelo
