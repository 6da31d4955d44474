// What a hostile network or hostile input must not achieve: credentials in clear, forged
// capabilities, commands smuggled through typed text, unbounded waits and buffers.
#include "SmtpTestSupport.h"

#include "support/TestSupport.h"

#include <QElapsedTimer>
#include <QTimer>
#include <gtest/gtest.h>

using namespace murmelo;
using namespace murmelo::test;
using namespace std::chrono_literals;

namespace {

void authenticate(MMSMTPMessage &message)
{
    message.setRequiresAuth(true);
    message.setWantsSecure(true);
    message.setLogin(QStringLiteral("fred"));
    message.setPassword(QStringLiteral("secret"));
}

} // namespace

TEST(SmtpHardeningTest, StrippedStartTlsSendsNoCredentials)
{
    ScriptedSmtpServer server; // offers AUTH but no STARTTLS, as if a middlebox removed it
    RecordingDelegate delegate;
    auto message = loopbackMessage(server.port(), delegate);
    authenticate(*message);
    ASSERT_TRUE(message->send());
    ASSERT_TRUE(finish(delegate));
    EXPECT_EQ(delegate.error.code, -6);
    EXPECT_EQ(delegate.error.domain, "MMSMTPMessageError");
    EXPECT_FALSE(delegate.error.localizedDescription.isEmpty());
    ASSERT_TRUE(waitUntil([&] { return server.received.endsWith("QUIT\r\n"); }));
    EXPECT_EQ(server.received, "EHLO localhost\r\nQUIT\r\n");
}

TEST(SmtpHardeningTest, OnlyWhatTheServerSaysUnderTlsCounts)
{
    ScriptedSmtpServer server;
    server.tls = true;
    // Injected after the go-ahead, in clear: a forged capability and a forged final line.
    server.tlsGoAhead = "220 go ahead\r\n250-AUTH PLAIN\r\n250 injected\r\n";
    server.respond = [&](const QByteArray &line) -> QByteArray {
        if (line.startsWith("EHLO"))
            return server.encrypted ? "250-scripted\r\n250-AUTH LOGIN\r\n250 ok\r\n"
                                    : "250-scripted\r\n250-AUTH PLAIN\r\n250-STARTTLS\r\n"
                                      "250 ok\r\n";
        return server.defaultReply(line);
    };
    RecordingDelegate delegate;
    auto message = loopbackMessage(server.port(), delegate);
    authenticate(*message);
    message->setTrustedCertificates({testCertificate().certificate});
    ASSERT_TRUE(message->send());
    ASSERT_TRUE(finish(delegate));
    EXPECT_EQ(delegate.sent, 1) << delegate.error.localizedDescription.toStdString();
    EXPECT_TRUE(message->isSecure());
    EXPECT_TRUE(server.encrypted);
    // Plain PLAIN was announced in clear only: the client logs in the way TLS's EHLO says.
    EXPECT_TRUE(server.receivedUnderTls.startsWith("EHLO localhost\r\nAUTH LOGIN\r\nZnJlZA==\r\n"
                                                   "c2VjcmV0\r\nMAIL FROM:<me@murmelo.test>\r\n"))
        << server.receivedUnderTls.constData();
    EXPECT_FALSE(server.received.contains("AUTH PLAIN"));
}

TEST(SmtpHardeningTest, UntrustedCertificateIsRefusedUnlessValidationIsOff)
{
    for (const bool validate : {true, false}) {
        ScriptedSmtpServer server;
        server.tls = true;
        server.capabilities = {"STARTTLS", "AUTH PLAIN"};
        RecordingDelegate delegate;
        auto message = loopbackMessage(server.port(), delegate);
        authenticate(*message);
        message->setValidateSSLChain(validate);
        ASSERT_TRUE(message->send());
        ASSERT_TRUE(finish(delegate));
        if (validate) {
            EXPECT_EQ(delegate.error.code, -7);
            EXPECT_EQ(server.received, "EHLO localhost\r\nSTARTTLS\r\n");
        } else {
            EXPECT_EQ(delegate.sent, 1);
            EXPECT_TRUE(server.receivedUnderTls.contains("AUTH PLAIN AGZyZWQAc2VjcmV0\r\n"));
        }
    }
}

TEST(SmtpHardeningTest, TypedLineBreaksReachNoServer)
{
    ScriptedSmtpServer server;
    const std::function<void(MMSMTPMessage &)> tamper[] = {
        [](MMSMTPMessage &m) { m.setToEmail("you@x\r\nRCPT TO:<evil@x>"); },
        [](MMSMTPMessage &m) { m.setCcEmail("cc@x\nDATA"); },
        [](MMSMTPMessage &m) { m.setBccEmail(QString("b@x") + QChar(0)); },
        [](MMSMTPMessage &m) { m.setFromEmail("me@x>\r\nRCPT TO:<evil@x"); },
        [](MMSMTPMessage &m) { m.setSubject("Hi\r\nBcc: evil@x"); },
        [](MMSMTPMessage &m) {
            m.setParts({{{kMMSMTPPartContentTypeKey, "text/plain\r\n\r\n.\r\nQUIT"},
                         {kMMSMTPPartMessageKey, "x"}}});
        },
    };
    for (const auto &change : tamper) {
        RecordingDelegate delegate;
        auto message = loopbackMessage(server.port(), delegate);
        change(*message);
        EXPECT_FALSE(message->send());
        EXPECT_EQ(delegate.failed, 1);
        EXPECT_EQ(delegate.error.code, -8);
    }
    EXPECT_FALSE(waitUntil([&] { return server.connections > 0; }, 100ms));
}

TEST(SmtpHardeningTest, TooLargeForTheServerEndsBeforeMailFrom)
{
    ScriptedSmtpServer server;
    server.capabilities = {"SIZE 200", "8BITMIME"};
    RecordingDelegate delegate;
    auto message = loopbackMessage(server.port(), delegate);
    ASSERT_TRUE(message->send());
    ASSERT_TRUE(finish(delegate));
    EXPECT_EQ(delegate.error.code, 552);
    EXPECT_TRUE(delegate.error.localizedFailureReason.startsWith(
        QLatin1String("too large to send by e-mail (")));
    ASSERT_TRUE(waitUntil([&] { return server.received.endsWith("QUIT\r\n"); }));
    EXPECT_EQ(server.received, "EHLO localhost\r\nQUIT\r\n");

    ScriptedSmtpServer roomy;
    roomy.capabilities = {"SIZE 100000"};
    RecordingDelegate fits;
    auto small = loopbackMessage(roomy.port(), fits);
    ASSERT_TRUE(small->send());
    ASSERT_TRUE(finish(fits));
    EXPECT_EQ(fits.sent, 1);
}

TEST(SmtpHardeningTest, HugeReplyLineEndsWithBoundedBuffer)
{
    ScriptedSmtpServer server;
    server.respond = [&](const QByteArray &line) -> QByteArray {
        if (line.startsWith("EHLO"))
            return "250-" + QByteArray(10 * 1024 * 1024, 'A');
        return server.defaultReply(line);
    };
    RecordingDelegate delegate;
    auto message = loopbackMessage(server.port(), delegate);
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(message->send());
    ASSERT_TRUE(finish(delegate));
    EXPECT_EQ(delegate.error.code, -9);
    EXPECT_LT(clock.elapsed(), 3000); // well inside the watchdog
    EXPECT_LT(message->peakBufferedReply(), 1024 * 1024);
}

TEST(SmtpHardeningTest, DrippingOrEndlessRepliesEndWithinTheWatchdog)
{
    for (const bool drip : {true, false}) {
        ScriptedSmtpServer server;
        QTimer feeder;
        feeder.setInterval(drip ? 40 : 0);
        QObject::connect(&feeder, &QTimer::timeout, [&] {
            // One byte at a time, or line upon line of a reply that never ends.
            server.sendRaw(drip ? QByteArray("2") : QByteArray("250-more to come\r\n"));
        });
        server.respond = [&](const QByteArray &line) -> QByteArray {
            if (!line.startsWith("EHLO"))
                return server.defaultReply(line);
            feeder.start();
            return {};
        };
        RecordingDelegate delegate;
        auto message = loopbackMessage(server.port(), delegate);
        message->setWatchdogDurations(400ms, 800ms);
        QElapsedTimer clock;
        clock.start();
        ASSERT_TRUE(message->send());
        ASSERT_TRUE(finish(delegate, 5s));
        feeder.stop();
        EXPECT_EQ(delegate.failed, 1);
        EXPECT_TRUE(delegate.error.code == -5 || delegate.error.code == -9);
        EXPECT_LT(clock.elapsed(), 1500);
        EXPECT_LT(message->peakBufferedReply(), 1024 * 1024);
    }
}
