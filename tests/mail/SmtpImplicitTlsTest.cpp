// TLS from the first byte on (the submission port 465): nothing of the dialogue travels in
// clear, a certificate that does not verify ends the attempt with its reason, and ports that
// refuse are still skipped.
#include "SmtpTestSupport.h"

#include "support/TestSupport.h"

#include <QTcpServer>
#include <gtest/gtest.h>

using namespace murmelo;
using namespace murmelo::test;
using namespace std::chrono_literals;

namespace {

std::unique_ptr<MMSMTPMessage> implicitMessage(quint16 port, RecordingDelegate &delegate)
{
    auto message = loopbackMessage(port, delegate);
    message->setImplicitTLS(true);
    message->setWantsSecure(true);
    message->setRequiresAuth(true);
    message->setLogin(QStringLiteral("fred"));
    message->setPassword(QStringLiteral("secret"));
    message->setTrustedCertificates({testCertificate().certificate});
    return message;
}

} // namespace

TEST(SmtpImplicitTlsTest, WholeDialogueRunsUnderTlsAndStartTlsIsNeverSent)
{
    ScriptedSmtpServer server;
    server.implicitTls = true;
    // A server that also announces STARTTLS must not be asked for it a second time.
    server.capabilities = {"STARTTLS", "AUTH PLAIN LOGIN", "8BITMIME"};
    RecordingDelegate delegate;
    auto message = implicitMessage(server.port(), delegate);
    ASSERT_TRUE(message->send());
    ASSERT_TRUE(finish(delegate));
    ASSERT_EQ(delegate.sent, 1) << delegate.error.localizedDescription.toStdString();
    EXPECT_TRUE(message->isSecure());
    EXPECT_EQ(server.received, server.receivedUnderTls) << "a byte went out in clear";
    EXPECT_TRUE(server.receivedUnderTls.startsWith(
        "EHLO localhost\r\nAUTH PLAIN AGZyZWQAc2VjcmV0\r\n"
        "MAIL FROM:<me@murmelo.test> BODY=8BITMIME\r\nRCPT TO:<you@murmelo.test>\r\nDATA\r\n"))
        << server.receivedUnderTls.constData();
    EXPECT_TRUE(server.messageData.contains("Hi there"));

    // The choice travels with a copy.
    EXPECT_TRUE(message->copy()->implicitTLS());
}

TEST(SmtpImplicitTlsTest, CertificateThatDoesNotVerifyEndsWithItsReasonBeforeAnyCommand)
{
    for (const bool validate : {true, false}) {
        ScriptedSmtpServer server;
        server.implicitTls = true;
        RecordingDelegate delegate;
        auto message = implicitMessage(server.port(), delegate);
        message->setTrustedCertificates({}); // the test's own authority is not trusted
        message->setValidateSSLChain(validate);
        ASSERT_TRUE(message->send());
        ASSERT_TRUE(finish(delegate));
        if (validate) {
            EXPECT_EQ(delegate.failed, 1);
            EXPECT_EQ(delegate.error.code, -7);
            EXPECT_FALSE(delegate.error.localizedFailureReason.isEmpty());
            EXPECT_TRUE(delegate.error.localizedFailureReason.contains(QLatin1String("self"),
                                                                       Qt::CaseInsensitive))
                << delegate.error.localizedFailureReason.toStdString();
            EXPECT_TRUE(server.receivedUnderTls.isEmpty());
            EXPECT_FALSE(server.received.contains("EHLO"));
            EXPECT_EQ(server.connections, 1) << "a refused certificate is not a port to skip";
        } else {
            EXPECT_EQ(delegate.sent, 1);
        }
    }
}

TEST(SmtpImplicitTlsTest, PlainServerOnTheTlsPortGetsNothingButAHandshake)
{
    ScriptedSmtpServer plain; // greets in clear, as a STARTTLS port does
    RecordingDelegate delegate;
    auto message = implicitMessage(plain.port(), delegate);
    ASSERT_TRUE(message->send());
    ASSERT_TRUE(finish(delegate));
    EXPECT_EQ(delegate.error.code, -7);
    EXPECT_FALSE(message->isSecure());
    // The client's hello of a TLS handshake (record type 22), and no SMTP.
    ASSERT_FALSE(plain.received.isEmpty());
    EXPECT_EQ(plain.received.at(0), char(0x16));
    EXPECT_FALSE(plain.received.contains("EHLO"));
    EXPECT_FALSE(plain.received.contains("fred"));
}

TEST(SmtpImplicitTlsTest, RefusedAndSilentPortsAreSkippedUntilOneGreetsUnderTls)
{
    quint16 closedPort;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        closedPort = probe.serverPort();
    }
    QTcpServer silent; // takes the connection and never answers the handshake
    silent.listen(QHostAddress::LocalHost, 0);
    ScriptedSmtpServer good;
    good.implicitTls = true;
    RecordingDelegate delegate;
    auto message = implicitMessage(good.port(), delegate);
    message->setRelayPorts({closedPort, silent.serverPort(), good.port()});
    message->setConnectTimeout(0.3);
    ASSERT_TRUE(message->send());
    ASSERT_TRUE(finish(delegate));
    EXPECT_EQ(delegate.sent, 1) << delegate.error.localizedDescription.toStdString();
    EXPECT_EQ(good.connections, 1);
}
