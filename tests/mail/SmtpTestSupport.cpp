#include "SmtpTestSupport.h"

#include "support/TestSupport.h"

#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QSslConfiguration>
#include <QSslSocket>
#include <gtest/gtest.h>

namespace murmelo::test {

const TestCertificate &testCertificate()
{
    static const TestCertificate made = [] {
        TestCertificate c;
        c.certificatePath = scratchRoot() + "/smtp-cert.pem";
        c.keyPath = scratchRoot() + "/smtp-key.pem";
        const int status = runShell(
            QStringLiteral("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 "
                           "-nodes -days 2 -subj /CN=localhost "
                           "-addext subjectAltName=DNS:localhost,IP:127.0.0.1 "
                           "-keyout '%1' -out '%2' >/dev/null 2>&1")
                .arg(c.keyPath, c.certificatePath));
        EXPECT_EQ(status, 0) << "openssl could not make a test certificate";
        QFile cert(c.certificatePath), key(c.keyPath);
        if (cert.open(QIODevice::ReadOnly))
            c.certificate = QSslCertificate(cert.readAll());
        if (key.open(QIODevice::ReadOnly))
            c.key = QSslKey(key.readAll(), QSsl::Ec);
        return c;
    }();
    return made;
}

ScriptedSmtpServer::ScriptedSmtpServer()
{
    respond = [this](const QByteArray &line) { return defaultReply(line); };
    listen(QHostAddress::LocalHost, 0);
}

QByteArray ScriptedSmtpServer::defaultReply(const QByteArray &line)
{
    // AUTH LOGIN: the user name, then the password, each on a line of its own.
    if (loginStep_ == 1) {
        loginStep_ = 2;
        return "334 UGFzc3dvcmQ6\r\n";
    }
    if (loginStep_ == 2) {
        loginStep_ = 0;
        return "235 ok\r\n";
    }
    const QByteArray verb = line.left(4).toUpper();
    if (verb == "EHLO") {
        QByteArray reply = "250-scripted\r\n";
        for (const QByteArray &capability : capabilities)
            reply += "250-" + capability + "\r\n";
        return reply + "250 HELP\r\n";
    }
    if (verb == "STAR")
        return tlsGoAhead;
    if (line == "AUTH LOGIN") {
        loginStep_ = 1;
        return "334 VXNlcm5hbWU6\r\n";
    }
    if (verb == "AUTH")
        return "235 ok\r\n";
    if (verb == "DATA")
        return "354 go on\r\n";
    if (verb == "QUIT")
        return "221 bye\r\n";
    if (verb == "MAIL" || verb == "RCPT" || line == ".")
        return "250 ok\r\n";
    return "500 what\r\n";
}

void ScriptedSmtpServer::incomingConnection(qintptr descriptor)
{
    ++connections;
    if (client)
        client->deleteLater();
    client = new QSslSocket(this);
    client->setSocketDescriptor(descriptor);
    pending_.clear();
    inData_ = false;
    connect(client, &QSslSocket::readyRead, this, &ScriptedSmtpServer::readClient);
    connect(client, &QSslSocket::encrypted, this, [this] {
        encrypted = true;
        if (implicitTls && !greeting.isEmpty())
            client->write(greeting);
    });
    if (implicitTls) {
        const TestCertificate &c = testCertificate();
        client->setLocalCertificate(c.certificate);
        client->setPrivateKey(c.key);
        client->startServerEncryption();
        return;
    }
    if (!greeting.isEmpty())
        client->write(greeting);
}

void ScriptedSmtpServer::sendRaw(const QByteArray &bytes)
{
    if (client && client->state() == QAbstractSocket::ConnectedState)
        client->write(bytes);
}

void ScriptedSmtpServer::closeClient()
{
    if (client)
        client->disconnectFromHost();
}

void ScriptedSmtpServer::readClient()
{
    QSslSocket *socket = client;
    const QByteArray bytes = socket->readAll();
    received += bytes;
    if (encrypted)
        receivedUnderTls += bytes;
    pending_ += bytes;
    for (;;) {
        if (inData_) {
            const qsizetype end = pending_.indexOf("\r\n.\r\n");
            if (end < 0)
                return;
            messageData = pending_.left(end + 2);
            pending_.remove(0, end + 5);
            inData_ = false;
            socket->write(respond("."));
            continue;
        }
        const qsizetype end = pending_.indexOf("\r\n");
        if (end < 0)
            return;
        const QByteArray line = pending_.left(end);
        pending_.remove(0, end + 2);
        const QByteArray reply = respond(line);
        if (!reply.isEmpty())
            socket->write(reply);
        if (reply.startsWith("354"))
            inData_ = true;
        if (tls && line == "STARTTLS" && reply == tlsGoAhead) {
            const TestCertificate &c = testCertificate();
            socket->setLocalCertificate(c.certificate);
            socket->setPrivateKey(c.key);
            socket->startServerEncryption();
            pending_.clear();
            return;
        }
    }
}

bool finish(const RecordingDelegate &delegate, std::chrono::milliseconds timeout)
{
    return waitUntil([&] { return delegate.done(); }, timeout);
}

std::unique_ptr<MMSMTPMessage> loopbackMessage(quint16 port, RecordingDelegate &delegate)
{
    auto message = std::make_unique<MMSMTPMessage>();
    message->setRelayHost(QStringLiteral("127.0.0.1"));
    message->setRelayPorts({port});
    message->setConnectTimeout(5.0);
    message->setWatchdogDurations(std::chrono::milliseconds(3000), std::chrono::milliseconds(5000));
    message->setFromEmail(QStringLiteral("me@murmelo.test"));
    message->setToEmail(QStringLiteral("you@murmelo.test"));
    message->setSubject(QStringLiteral("Hello"));
    message->setParts({MMSMTPPart{{kMMSMTPPartContentTypeKey, QStringLiteral("text/plain")},
                                  {kMMSMTPPartContentTransferEncodingKey, QStringLiteral("8bit")},
                                  {kMMSMTPPartMessageKey, QStringLiteral("Hi there")}}});
    message->setDelegate(&delegate);
    message->setLogWarnings(false);
    return message;
}

QJsonObject readAsAMailReaderDoes(const QByteArray &bytes, bool smtpData)
{
    static int serial = 0;
    const QString path = scratchRoot() + QStringLiteral("/read-%1.eml").arg(++serial);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    file.close();
    QProcess python;
    QStringList arguments{QStringLiteral(MURMELO_MAIL_TEST_DIR "/read_message.py"), path};
    if (smtpData)
        arguments << QStringLiteral("--smtp-data");
    python.start(QStringLiteral("/usr/bin/python3"), arguments);
    python.waitForFinished(20000);
    const QByteArray out = python.readAllStandardOutput();
    EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().constData();
    return QJsonDocument::fromJson(out).object();
}

QStringList readerAddresses(const QJsonArray &addresses)
{
    QStringList out;
    for (const QJsonValue &address : addresses)
        out << address[0].toString() + QLatin1Char('|') + address[1].toString();
    return out;
}

QByteArray plainDialogue(const QByteArray &from, const QList<QByteArray> &recipients)
{
    QByteArray bytes = "EHLO localhost\r\nMAIL FROM:<" + from + ">\r\n";
    for (const QByteArray &r : recipients)
        bytes += "RCPT TO:<" + r + ">\r\n";
    return bytes + "DATA\r\n";
}

} // namespace murmelo::test
