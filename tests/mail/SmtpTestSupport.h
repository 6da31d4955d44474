#pragma once

#include "mail/jobs/MailDelivery.h"
#include "mail/smtp/MMSMTPMessage.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QSslCertificate>
#include <QSslKey>
#include <QTcpServer>
#include <chrono>
#include <functional>

class QSslSocket;

namespace murmelo::test {

// A certificate for "localhost" and 127.0.0.1 with its key, made once per test run by openssl.
struct TestCertificate {
    QString certificatePath;
    QString keyPath;
    QSslCertificate certificate;
    QSslKey key;
};
const TestCertificate &testCertificate();

// An SMTP server on loopback that plays a script: it greets, answers each command line through
// `respond`, collects the message after DATA, and keeps every byte the client sent.
class ScriptedSmtpServer : public QTcpServer {
    Q_OBJECT
public:
    ScriptedSmtpServer();
    quint16 port() const { return serverPort(); }

    // Sent on connection; empty keeps the server silent.
    QByteArray greeting = "220 scripted ready\r\n";
    // The reply to one command line (without its CR LF); the default plays a willing relay.
    std::function<QByteArray(const QByteArray &line)> respond;
    // The capability lines the default EHLO reply carries, each without "250-".
    QList<QByteArray> capabilities{"8BITMIME", "AUTH PLAIN LOGIN"};
    // With a certificate set, STARTTLS is answered with `tlsGoAhead` and TLS begins.
    bool tls = false;
    QByteArray tlsGoAhead = "220 go ahead\r\n";
    // TLS from the first byte on, as on port 465: the greeting waits for the handshake.
    bool implicitTls = false;

    QByteArray received;         // every byte from the client, in order
    QByteArray receivedUnderTls; // the bytes that came after the handshake
    QByteArray messageData;      // what came between DATA's reply and the end-of-data line
    int connections = 0;
    bool encrypted = false;
    QSslSocket *client = nullptr;

    void sendRaw(const QByteArray &bytes);
    void closeClient();
    QByteArray defaultReply(const QByteArray &line);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    void readClient();
    QByteArray pending_;
    bool inData_ = false;
    int loginStep_ = 0;
};

// Collects the outcome of a send.
class RecordingDelegate : public MMSMTPMessageDelegate {
public:
    void messageSent(MMSMTPMessage *) override { ++sent; }
    void messageFailed(MMSMTPMessage *, const MMSMTPError &e) override
    {
        ++failed;
        error = e;
    }
    bool done() const { return sent + failed > 0; }
    int sent = 0;
    int failed = 0;
    MMSMTPError error;
};

// Waits until the delegate has heard the outcome.
bool finish(const RecordingDelegate &delegate,
            std::chrono::milliseconds timeout = std::chrono::seconds(10));

// Collects the outcome of a delivery through the mail jobs' seam.
class RecordingDeliveryDelegate : public MailDeliveryDelegate {
public:
    void messageSent(MailDelivery *) override { ++sent; }
    void messageFailed(MailDelivery *, const MailFailure &f) override
    {
        ++failed;
        failure = f;
    }
    bool done() const { return sent + failed > 0; }
    int sent = 0;
    int failed = 0;
    MailFailure failure;
};

// A message to 127.0.0.1 at `port` only, with short waits so that timeouts come quickly.
std::unique_ptr<MMSMTPMessage> loopbackMessage(quint16 port, RecordingDelegate &delegate);

// What a mail reader makes of a received message (Python's email package, default policy, run by
// read_message.py): "defects" (every one found, in the message, its parts and its address
// headers), "subject", "from", "to", "cc" (lists of [display name, address]) and "parts" (type,
// charset, filename, size, sha1 and, for text, the text). `smtpData` says the bytes are as sent
// after DATA (dot-stuffed).
QJsonObject readAsAMailReaderDoes(const QByteArray &bytes, bool smtpData);
// "display name|address" for each of the reader's addresses.
QStringList readerAddresses(const QJsonArray &addresses);

// Bytes the client should send for a plain, unauthenticated dialogue up to DATA.
QByteArray plainDialogue(const QByteArray &from, const QList<QByteArray> &recipients);

} // namespace murmelo::test
