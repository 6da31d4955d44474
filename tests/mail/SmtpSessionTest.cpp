// The SMTP dialogue against scripted servers on loopback: the exact bytes the client sends, the
// coded failures, port fallback and the watchdogs.
#include "SmtpTestSupport.h"

#include "mail/smtp/MMSMTPLog.h"

#include "support/TestSupport.h"

#include <QElapsedTimer>
#include <QTimer>
#include <gtest/gtest.h>

using namespace murmelo;
using namespace murmelo::test;
using namespace std::chrono_literals;

namespace {

QByteArray afterData(const QByteArray &received)
{
    return received.mid(received.indexOf("DATA\r\n") + 6);
}

} // namespace

TEST(SmtpSessionTest, PlainDialogueWithThreeRecipientsSendsExactlyTheseBytes)
{
    ScriptedSmtpServer server;
    server.capabilities = {"PIPELINING", "8BITMIME", "SIZE 100000", "HELP"};
    int rcptReplies = 0;
    server.respond = [&](const QByteArray &line) {
        if (line.startsWith("RCPT"))
            ++rcptReplies;
        return server.defaultReply(line);
    };
    RecordingDelegate delegate;
    auto message = loopbackMessage(server.port(), delegate);
    message->setCcEmail(QStringLiteral("cc@murmelo.test"));
    message->setBccEmail(QStringLiteral("bcc@murmelo.test"));
    ASSERT_TRUE(message->send());
    ASSERT_TRUE(finish(delegate));
    EXPECT_EQ(delegate.sent, 1);
    EXPECT_EQ(rcptReplies, 3);

    // One MAIL FROM for the whole multi-line EHLO reply, then one RCPT per reply, DATA after
    // the fourth "250 ".
    const QByteArray expected = plainDialogue(
        "me@murmelo.test", {"you@murmelo.test", "cc@murmelo.test", "bcc@murmelo.test"});
    EXPECT_TRUE(server.received.startsWith(expected)) << server.received.constData();
    EXPECT_TRUE(server.received.endsWith("\r\n.\r\nQUIT\r\n"));
    const QByteArray data = afterData(server.received);
    EXPECT_TRUE(data.startsWith("Date: ")) << data.constData();
    EXPECT_TRUE(data.contains("\r\nFrom:me@murmelo.test\r\nTo:you@murmelo.test\r\n"
                              "Cc:cc@murmelo.test\r\nContent-Type: multipart/mixed; "
                              "boundary=MMSMTPMessage--Separator--Delimiter\r\n"));
    EXPECT_FALSE(data.contains("bcc@"));
    EXPECT_TRUE(data.contains("--MMSMTPMessage--Separator--Delimiter\r\nContent-Type: text/plain; "
                              "charset=UTF-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\nHi "
                              "there\r\n--MMSMTPMessage--Separator--Delimiter--\r\n\r\n.\r\n"));
    EXPECT_EQ(message->sendState(), kMMSMTPMessageSent);
}

TEST(SmtpSessionTest, AuthenticationPrefersPlainAndFallsBackToLogin)
{
    {
        ScriptedSmtpServer server;
        RecordingDelegate delegate;
        auto message = loopbackMessage(server.port(), delegate);
        message->setRequiresAuth(true);
        message->setLogin(QStringLiteral("fred"));
        message->setPassword(QStringLiteral("secret"));
        ASSERT_TRUE(message->send());
        ASSERT_TRUE(finish(delegate));
        EXPECT_EQ(delegate.sent, 1);
        // NUL fred NUL secret; 8BITMIME was offered, so MAIL FROM after AUTH says so.
        EXPECT_TRUE(server.received.startsWith("EHLO localhost\r\nAUTH PLAIN AGZyZWQAc2VjcmV0\r\n"
                                               "MAIL FROM:<me@murmelo.test> BODY=8BITMIME\r\n"))
            << server.received.constData();
    }
    {
        ScriptedSmtpServer server;
        server.capabilities = {"AUTH LOGIN CRAM-MD5"};
        RecordingDelegate delegate;
        auto message = loopbackMessage(server.port(), delegate);
        message->setRequiresAuth(true);
        message->setLogin(QStringLiteral("fred"));
        message->setPassword(QStringLiteral("secret"));
        ASSERT_TRUE(message->send());
        ASSERT_TRUE(finish(delegate));
        EXPECT_EQ(delegate.sent, 1);
        EXPECT_TRUE(server.received.startsWith("EHLO localhost\r\nAUTH LOGIN\r\nZnJlZA==\r\n"
                                               "c2VjcmV0\r\nMAIL FROM:<me@murmelo.test>\r\n"))
            << server.received.constData();
    }
}

TEST(SmtpSessionTest, NoMechanismWeSpeakIsUnsupported)
{
    ScriptedSmtpServer server;
    server.capabilities = {"AUTH CRAM-MD5 XOAUTH2"};
    RecordingDelegate delegate;
    auto message = loopbackMessage(server.port(), delegate);
    message->setRequiresAuth(true);
    ASSERT_TRUE(message->send());
    ASSERT_TRUE(finish(delegate));
    EXPECT_EQ(delegate.error.code, -2);
    EXPECT_EQ(delegate.error.domain, "MMSMTPMessageError");
    EXPECT_EQ(delegate.error.localizedDescription, "Unsupported login mechanism.");
    ASSERT_TRUE(waitUntil([&] { return server.received.endsWith("QUIT\r\n"); }));
    EXPECT_EQ(server.received, "EHLO localhost\r\nQUIT\r\n");
}

TEST(SmtpSessionTest, GreetingSplitAcrossReadsIsOneLine)
{
    ScriptedSmtpServer server;
    server.greeting = "22";
    RecordingDelegate delegate;
    auto message = loopbackMessage(server.port(), delegate);
    ASSERT_TRUE(message->send());
    ASSERT_TRUE(waitUntil([&] { return server.client != nullptr; }));
    // The client has read the first half on its own before the rest arrives.
    ASSERT_TRUE(waitUntil([&] { return message->peakBufferedReply() >= 2; }));
    EXPECT_EQ(message->sendState(), kMMSMTPConnecting);
    server.sendRaw("0 ready\r\n");
    ASSERT_TRUE(finish(delegate));
    EXPECT_EQ(delegate.sent, 1);
    EXPECT_EQ(server.connections, 1);
}

TEST(SmtpSessionTest, SilentOrRefusingPortsAreSkippedUntilOneGreets)
{
    ScriptedSmtpServer silent;
    silent.greeting.clear();
    ScriptedSmtpServer good;
    quint16 closedPort;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        closedPort = probe.serverPort();
    }
    RecordingDelegate delegate;
    auto message = loopbackMessage(silent.port(), delegate);
    message->setRelayPorts({closedPort, silent.port(), good.port()});
    message->setConnectTimeout(0.3);
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(message->send());
    ASSERT_TRUE(finish(delegate));
    EXPECT_EQ(delegate.sent, 1);
    EXPECT_EQ(silent.connections, 1);
    EXPECT_EQ(good.connections, 1);
    EXPECT_GE(clock.elapsed(), 250);

    // No port left: unable to connect, at once when the list is empty.
    RecordingDelegate none;
    auto empty = loopbackMessage(silent.port(), none);
    empty->setRelayPorts({});
    EXPECT_FALSE(empty->send());
    EXPECT_EQ(none.error.code, -3);
    EXPECT_EQ(none.error.localizedDescription, "Unable to connect to the server.");
    EXPECT_EQ(none.error.localizedRecoverySuggestion, "Try sending your message again later.");

    RecordingDelegate allSilent;
    auto quiet = loopbackMessage(silent.port(), allSilent);
    quiet->setConnectTimeout(0.2);
    ASSERT_TRUE(quiet->send());
    ASSERT_TRUE(finish(allSilent));
    EXPECT_EQ(allSilent.error.code, -3);
}

TEST(SmtpSessionTest, EarlyCloseIsAnInterruptionNotARetry)
{
    ScriptedSmtpServer server;
    server.respond = [&](const QByteArray &line) -> QByteArray {
        if (line.startsWith("MAIL"))
            server.closeClient();
        return line.startsWith("MAIL") ? QByteArray() : server.defaultReply(line);
    };
    RecordingDelegate delegate;
    auto message = loopbackMessage(server.port(), delegate);
    message->setRelayPorts({server.port(), server.port()});
    ASSERT_TRUE(message->send());
    ASSERT_TRUE(finish(delegate));
    EXPECT_EQ(delegate.error.code, -4);
    EXPECT_EQ(delegate.error.localizedDescription, "The connection to the server was interrupted.");
    EXPECT_EQ(server.connections, 1);
    // One outcome, not one per closed direction.
    EXPECT_FALSE(waitUntil([&] { return delegate.failed > 1; }, 100ms));
}

TEST(SmtpSessionTest, WatchdogEndsASilentDialogueButAnUnansweredQuitCountsAsSent)
{
    {
        ScriptedSmtpServer server;
        server.respond = [&](const QByteArray &line) {
            return line.startsWith("MAIL") ? QByteArray() : server.defaultReply(line);
        };
        RecordingDelegate delegate;
        auto message = loopbackMessage(server.port(), delegate);
        message->setWatchdogDurations(200ms, 400ms);
        QElapsedTimer clock;
        clock.start();
        ASSERT_TRUE(message->send());
        ASSERT_TRUE(finish(delegate));
        EXPECT_EQ(delegate.error.code, -5);
        EXPECT_EQ(delegate.error.localizedDescription, "Timeout sending message.");
        EXPECT_GE(clock.elapsed(), 190);
    }
    {
        ScriptedSmtpServer server;
        server.respond = [&](const QByteArray &line) {
            return line == "QUIT" ? QByteArray() : server.defaultReply(line);
        };
        RecordingDelegate delegate;
        auto message = loopbackMessage(server.port(), delegate);
        message->setWatchdogDurations(200ms, 400ms);
        ASSERT_TRUE(message->send());
        ASSERT_TRUE(finish(delegate));
        EXPECT_EQ(delegate.sent, 1);
        EXPECT_EQ(delegate.failed, 0);
        EXPECT_TRUE(server.received.endsWith("QUIT\r\n"));
    }
}

TEST(SmtpSessionTest, ServerRejectionsCarryTheirTexts)
{
    struct Case {
        QByteArray command;
        QByteArray reply;
        bool auth;
        int code;
        const char *description;
        const char *recovery;
    };
    const Case cases[] = {
        {"RCPT", "530 auth first\r\n", false, 530, "Relay rejected.",
         "Your server probably requires a username and password."},
        {"AUTH", "535 no\r\n", true, 535, "Invalid username or password.",
         "Go to Email Preferences in the application and re-enter your username and password."},
        {"RCPT", "550 no such user\r\n", false, 550, "To address rejected.",
         "Please re-enter the To: address."},
        {"RCPT", "553 bad mailbox\r\n", false, 553, "To address rejected.",
         "Please re-enter the To: address."},
        {".", "550 refused\r\n", false, 550, "Failed to logout.",
         "Try sending your message again later."},
    };
    for (const Case &c : cases) {
        ScriptedSmtpServer server;
        server.respond = [&](const QByteArray &line) {
            return line.startsWith(c.command) ? c.reply : server.defaultReply(line);
        };
        RecordingDelegate delegate;
        auto message = loopbackMessage(server.port(), delegate);
        message->setRequiresAuth(c.auth);
        ASSERT_TRUE(message->send());
        ASSERT_TRUE(finish(delegate)) << c.reply.constData();
        EXPECT_EQ(delegate.failed, 1);
        EXPECT_EQ(delegate.error.code, c.code) << c.reply.constData();
        EXPECT_EQ(delegate.error.localizedDescription, c.description);
        EXPECT_EQ(delegate.error.localizedRecoverySuggestion, c.recovery);
        EXPECT_TRUE(waitUntil([&] { return server.received.endsWith("QUIT\r\n"); }));
    }
}

TEST(SmtpSessionTest, CancelStopsWithoutOutcomeAndCopyKeepsConfiguration)
{
    ScriptedSmtpServer server;
    server.respond = [&](const QByteArray &line) {
        return line.startsWith("MAIL") ? QByteArray() : server.defaultReply(line);
    };
    RecordingDelegate delegate;
    auto message = loopbackMessage(server.port(), delegate);
    message->setWatchdogDurations(100ms, 100ms);
    ASSERT_TRUE(message->send());
    ASSERT_TRUE(waitUntil([&] { return server.received.contains("MAIL"); }));
    message->cancel();
    // Past the watchdog's time, still no outcome.
    EXPECT_FALSE(waitUntil([&] { return delegate.done(); }, 300ms));

    message->setCcEmail("cc@x");
    message->setBccEmail("bcc@x");
    message->setWantsSecure(true);
    message->setValidateSSLChain(false);
    message->setRequiresAuth(true);
    message->setLogin("l");
    message->setPassword("p");

    const auto copy = message->copy();
    EXPECT_EQ(copy->relayPorts(), QList<quint16>({587, 25, 564}));
    EXPECT_EQ(copy->connectTimeout(), 10.0);
    EXPECT_EQ(copy->delegate(), &delegate);
    EXPECT_EQ(copy->relayHost(), "127.0.0.1");
    EXPECT_EQ(copy->toEmail(), message->toEmail());
    EXPECT_EQ(copy->ccEmail(), "cc@x");
    EXPECT_EQ(copy->bccEmail(), "bcc@x");
    EXPECT_EQ(copy->subject(), "Hello");
    EXPECT_EQ(copy->fromEmail(), message->fromEmail());
    EXPECT_EQ(copy->login(), "l");
    EXPECT_EQ(copy->password(), "p");
    EXPECT_TRUE(copy->wantsSecure());
    EXPECT_TRUE(copy->requiresAuth());
    EXPECT_FALSE(copy->validateSSLChain());
    EXPECT_EQ(copy->parts(), message->parts());
}

TEST(SmtpSessionTest, TraceGoesToThePluggedLogAndNeverCarriesCredentials)
{
    QStringList lines;
    setMMSMTPLogFunction([&](const QString &line) { lines << line; });
    ScriptedSmtpServer server;
    server.capabilities = {"AUTH LOGIN"};
    RecordingDelegate delegate;
    auto message = loopbackMessage(server.port(), delegate);
    message->setLogWarnings(true);
    message->setRequiresAuth(true);
    message->setLogin(QStringLiteral("fred"));
    message->setPassword(QStringLiteral("secret"));
    ASSERT_TRUE(message->send());
    ASSERT_TRUE(finish(delegate));
    setMMSMTPLogFunction(nullptr);
    EXPECT_EQ(delegate.sent, 1);
    EXPECT_TRUE(lines.contains("C: EHLO localhost"));
    EXPECT_TRUE(lines.contains("S: 221 bye"));
    const QString all = lines.join('\n');
    EXPECT_FALSE(all.contains("ZnJlZA==") || all.contains("c2VjcmV0") || all.contains("secret"));
}

TEST(SmtpSessionTest, DelegateMayDeleteTheMessageWhenTold)
{
    // The outcome arrives from inside the client's own socket handling; deleting the message
    // there must not touch it afterwards.
    struct Deleting : RecordingDelegate {
        std::unique_ptr<MMSMTPMessage> owned;
        void messageSent(MMSMTPMessage *m) override
        {
            RecordingDelegate::messageSent(m);
            owned.reset();
        }
        void messageFailed(MMSMTPMessage *m, const MMSMTPError &e) override
        {
            RecordingDelegate::messageFailed(m, e);
            owned.reset();
        }
    };
    for (const QByteArray &rcptReply : {QByteArray("250 ok\r\n"), QByteArray("550 no\r\n")}) {
        ScriptedSmtpServer server;
        server.respond = [&](const QByteArray &line) {
            return line.startsWith("RCPT") ? rcptReply : server.defaultReply(line);
        };
        Deleting delegate;
        delegate.owned = loopbackMessage(server.port(), delegate);
        ASSERT_TRUE(delegate.owned->send());
        ASSERT_TRUE(finish(delegate));
        EXPECT_EQ(delegate.owned, nullptr);
        drainEvents();
        EXPECT_EQ(delegate.sent + delegate.failed, 1);
    }
}
