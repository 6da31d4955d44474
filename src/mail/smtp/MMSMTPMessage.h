#pragma once

#include "mail/mime/MMSMTPComposer.h"
#include "mail/mime/MMSMTPPart.h"
#include "mail/mime/MailAddress.h"
#include "mail/smtp/MMSMTPCapabilities.h"
#include "mail/smtp/MMSMTPEnvelope.h"
#include "mail/smtp/MMSMTPError.h"
#include "mail/smtp/MMSMTPReplyReader.h"
#include "mail/smtp/MMSMTPSendState.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QSslCertificate>
#include <QSslSocket>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <chrono>
#include <memory>

namespace murmelo {

class MMSMTPMessage;

// Told how a send ended: exactly once per send() that returned true, unless cancel() came
// first. The message may be deleted from inside either call.
class MMSMTPMessageDelegate {
public:
    virtual ~MMSMTPMessageDelegate() = default;
    virtual void messageSent(MMSMTPMessage *message) = 0;
    virtual void messageFailed(MMSMTPMessage *message, const MMSMTPError &error) = 0;
};

// Sends one message to a relay over SMTP: connects (trying the relay ports in turn until one
// greets), says EHLO, switches to TLS with STARTTLS when asked to (or speaks TLS from the first
// byte on, as submission servers on port 465 expect), authenticates with PLAIN or LOGIN, names
// sender and recipients, transfers the composed message and quits. Everything runs on the event
// loop of the thread that calls send(); nothing blocks it.
//
// Credentials never travel in clear when wantsSecure is set, and nothing a caller puts into an
// address or the subject can become an SMTP command: addresses are read as address lists, only
// each address itself goes into MAIL FROM and RCPT TO, and a list that holds anything else is
// refused before connecting. A server's refusal (any 4xx or 5xx reply) ends the attempt at once
// with its reply in the error; once the server has taken the message after its final dot, the
// message counts as sent whatever the connection does afterwards. A session the server still
// holds open is ended with QUIT, also after a failure.
class MMSMTPMessage : public QObject {
    Q_OBJECT
public:
    explicit MMSMTPMessage(QObject *parent = nullptr);
    ~MMSMTPMessage() override;

    // 587, 25, 564: submission first.
    static QList<quint16> defaultRelayPorts();
    static constexpr std::chrono::milliseconds kShortWatchdog{20000};
    static constexpr std::chrono::milliseconds kLongWatchdog{60000};
    static constexpr double kDefaultConnectTimeout = 10.0;
    // Server input beyond these is hostile: one reply line, one whole (multi-line) reply.
    static constexpr qsizetype kMaxReplyLine = MMSMTPReplyReader::kMaxLine;
    static constexpr qsizetype kMaxReplyBytes = MMSMTPReplyReader::kMaxReplyBytes;

    // Configuration, set before send().
    QString login() const { return login_; }
    void setLogin(const QString &login) { login_ = login; }
    QString password() const { return password_; }
    void setPassword(const QString &password) { password_ = password; }
    QString relayHost() const { return relayHost_; }
    void setRelayHost(const QString &host) { relayHost_ = host; }
    // Ports still to try, consumed from the front.
    QList<quint16> relayPorts() const { return relayPorts_; }
    void setRelayPorts(const QList<quint16> &ports) { relayPorts_ = ports; }
    bool requiresAuth() const { return requiresAuth_; }
    void setRequiresAuth(bool required) { requiresAuth_ = required; }
    // With it set, a server that does not offer STARTTLS, or a TLS handshake that fails, ends
    // the attempt before any credentials or addresses are sent.
    bool wantsSecure() const { return wantsSecure_; }
    void setWantsSecure(bool wants) { wantsSecure_ = wants; }
    // TLS from the first byte on ("implicit TLS"): the greeting and everything after it travel
    // encrypted, and a handshake that fails ends the attempt before a single command is sent.
    bool implicitTLS() const { return implicitTLS_; }
    void setImplicitTLS(bool implicit) { implicitTLS_ = implicit; }
    // Off is the only way a certificate that does not verify is accepted.
    bool validateSSLChain() const { return validateSSLChain_; }
    void setValidateSSLChain(bool validate) { validateSSLChain_ = validate; }
    // Seconds to wait for a port's greeting before trying the next port.
    double connectTimeout() const { return connectTimeout_; }
    void setConnectTimeout(double seconds) { connectTimeout_ = seconds; }
    QString subject() const { return subject_; }
    void setSubject(const QString &subject) { subject_ = subject; }
    QString fromEmail() const { return fromEmail_; }
    void setFromEmail(const QString &from) { fromEmail_ = from; }
    // Recipient lists: addresses separated by "," (or ";"), each "a@x" or "Name <a@x>".
    QString toEmail() const { return toEmail_; }
    void setToEmail(const QString &to) { toEmail_ = to; }
    QString ccEmail() const { return ccEmail_; }
    void setCcEmail(const QString &cc) { ccEmail_ = cc; }
    QString bccEmail() const { return bccEmail_; }
    void setBccEmail(const QString &bcc) { bccEmail_ = bcc; }
    MMSMTPParts parts() const { return parts_; }
    void setParts(const MMSMTPParts &parts) { parts_ = parts; }
    MMSMTPMessageDelegate *delegate() const { return delegate_; }
    void setDelegate(MMSMTPMessageDelegate *delegate) { delegate_ = delegate; }
    // Writes the debug trace (commands, server lines; never credentials).
    bool logWarnings() const { return logWarnings_; }
    void setLogWarnings(bool log) { logWarnings_ = log; }

    // Waits, shortened by tests: after a command, and after the message body.
    void setWatchdogDurations(std::chrono::milliseconds shortWait,
                              std::chrono::milliseconds longWait);
    // Certificates trusted besides the system's (a private relay's own authority).
    void setTrustedCertificates(const QList<QSslCertificate> &certificates);

    // Starts sending. False when the message was refused or no port is left; the delegate has
    // then been told already.
    bool send();
    // Drops the connection and every timer; no delegate call follows.
    void cancel();
    // A new message with the same configuration, delegate and parts; ports and connect timeout
    // are the defaults again.
    std::unique_ptr<MMSMTPMessage> copy() const;

    MMSMTPSendState sendState() const { return sendState_; }
    bool isSecure() const { return isSecure_; }
    // The most server input this message has held unconsumed at once.
    qsizetype peakBufferedReply() const { return reader_.peak(); }

    // What the server's EHLO reply offered (valid once it has been read).
    bool serverOffersSmtpUtf8() const { return capabilities_.smtpUtf8; }
    qint64 serverMaxSize() const { return capabilities_.maxSize; }

private:
    bool attempt();
    void connectionConnectedCheck();
    void connectionWatchdog();
    void startShortWatchdog();
    void startLongWatchdog();
    void stopWatchdog();
    void cleanUpStreams();

    void readAvailable();
    void streamEnded();
    void connected();
    void socketError(QAbstractSocket::SocketError error);
    void sslErrors(const QList<QSslError> &errors);
    void encryptionStarted();
    void outputDrained();

    bool readEnvelope();
    void parseBuffer();
    void handleLine(const QByteArray &line);
    void handleReply(int code, const QByteArray &line);
    void ehloDone();
    void authenticate();
    MMSMTPError rejection(int code) const;
    bool sessionAlive() const;
    void quitAndRelease();
    void startTls();
    void sendMailFrom(bool afterAuth);
    void sendNextRecipient();
    void writeCommand(const QByteArray &command, const QString &trace = QString());
    void sendParts();
    void pumpOutput();
    void recordError(const MMSMTPError &error);
    MMSMTPError socketErrorValue() const;
    void reportSent();
    void reportFailed(const MMSMTPError &error);
    void trace(const QString &line) const;

    QString login_, password_, relayHost_, subject_, fromEmail_, toEmail_, ccEmail_, bccEmail_;
    QList<quint16> relayPorts_;
    bool requiresAuth_ = false;
    bool wantsSecure_ = false;
    bool implicitTLS_ = false;
    bool validateSSLChain_ = true;
    double connectTimeout_ = kDefaultConnectTimeout;
    MMSMTPParts parts_;
    MMSMTPMessageDelegate *delegate_ = nullptr;
    bool logWarnings_ = true;
    std::chrono::milliseconds shortWatchdogDuration_ = kShortWatchdog;
    std::chrono::milliseconds longWatchdogDuration_ = kLongWatchdog;
    QList<QSslCertificate> trustedCertificates_;

    MMSMTPSendState sendState_ = kMMSMTPIdle;
    bool isSecure_ = false;
    bool tlsHandshaking_ = false;
    // Why the server's certificate was refused, for the error the delegate hears.
    QString certificateProblem_;
    MMSMTPCapabilities capabilities_;
    // A server line has arrived on this connection: the session is open until one side ends it.
    bool greeted_ = false;

    MMSMTPEnvelope envelope_;
    // The recipient whose RCPT awaits its reply.
    qsizetype recipientsSent_ = 0;

    MMSMTPReplyReader reader_;
    MMSMTPWireMessage wire_;
    QList<QByteArray> output_;
    qsizetype outputOffset_ = 0;
    bool bodyPending_ = false;
    bool finished_ = true;
    bool errorRecorded_ = false;
    MMSMTPError pendingError_;

    QSslSocket *socket_ = nullptr;
    QTimer connectTimer_;
    QTimer shortWatchdogTimer_;
    QTimer longWatchdogTimer_;
};

} // namespace murmelo
