#pragma once

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <memory>

namespace murmelo::test {

// The project's local mail relay (aiosmtpd with STARTTLS, or TLS from the first byte on, and AUTH
// for one account) on loopback, under a certificate made for this run; every message it receives
// lands in a maildir.
class LocalMailRelay {
public:
    enum class Security { StartTls, ImplicitTls };
    LocalMailRelay(const QString &user, const QString &password,
                   Security security = Security::StartTls);
    ~LocalMailRelay();

    bool isRunning() const { return port_ != 0; }
    quint16 port() const { return port_; }
    QString certificatePath() const { return certificate_; }
    // The received messages, oldest first, as the relay stored them.
    QList<QByteArray> messages() const;
    // Points the application at this relay and trusts its certificate.
    void useForApplication() const;

private:
    QString folder_;
    QString certificate_;
    quint16 port_ = 0;
    std::unique_ptr<QProcess> process_;
};

} // namespace murmelo::test
