// How the client reads what ordinary servers say: capabilities wherever they stand, refusals at
// every step, a message taken at the dot, and the session closed with QUIT.
#include "SmtpTestSupport.h"

#include "support/TestSupport.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

using namespace murmelo;
using namespace murmelo::test;
using namespace std::chrono_literals;

namespace {

bool quitArrives(const ScriptedSmtpServer &server)
{
    return waitUntil([&] { return server.received.endsWith("QUIT\r\n"); }, 3s);
}

} // namespace

TEST(SmtpRepliesTest, CapabilitiesAreReadFromEveryLineInAnyCase)
{
    struct Case {
        QByteArray ehlo;
        bool secure;
        QByteArray expectedAuth;
    };
    const Case cases[] = {
        // AUTH on the last line, after the others.
        {"250-scripted\r\n250-8BITMIME\r\n250 AUTH PLAIN LOGIN\r\n", false, "AUTH PLAIN "},
        // Lower case, LOGIN only, the old "AUTH=" form.
        {"250-scripted\r\n250 auth=login\r\n", false, "AUTH LOGIN\r\n"},
        // STARTTLS on the last line; AUTH in lower case before it.
        {"250-scripted\r\n250-auth login plain\r\n250 starttls\r\n", true, "AUTH PLAIN "},
        {"250-scripted\r\n250-AUTH LOGIN\r\n250 STARTTLS\r\n", true, "AUTH LOGIN\r\n"},
    };
    for (const Case &c : cases) {
        ScriptedSmtpServer server;
        server.tls = c.secure;
        server.respond = [&](const QByteArray &line) -> QByteArray {
            return line.startsWith("EHLO") ? c.ehlo : server.defaultReply(line);
        };
        RecordingDelegate delegate;
        auto message = loopbackMessage(server.port(), delegate);
        message->setRequiresAuth(true);
        message->setWantsSecure(c.secure);
        message->setLogin(QStringLiteral("fred"));
        message->setPassword(QStringLiteral("secret"));
        message->setTrustedCertificates({testCertificate().certificate});
        ASSERT_TRUE(message->send());
        ASSERT_TRUE(finish(delegate)) << c.ehlo.constData();
        EXPECT_EQ(delegate.sent, 1)
            << c.ehlo.constData() << " " << delegate.error.localizedDescription.toStdString();
        EXPECT_EQ(message->isSecure(), c.secure);
        const QByteArray dialogue = c.secure ? server.receivedUnderTls : server.received;
        EXPECT_TRUE(dialogue.startsWith("EHLO localhost\r\n" + c.expectedAuth))
            << dialogue.constData();
        if (c.secure) {
            EXPECT_TRUE(server.received.startsWith("EHLO localhost\r\nSTARTTLS\r\n"));
        }
    }
}

TEST(SmtpRepliesTest, TakenAtTheDotIsSentWhateverTheQuitMeets)
{
    enum Quit { CloseWithoutReply, Refused, CloseAfterReply };
    for (const Quit quit : {CloseWithoutReply, Refused, CloseAfterReply}) {
        ScriptedSmtpServer server;
        server.respond = [&](const QByteArray &line) -> QByteArray {
            if (line != "QUIT")
                return server.defaultReply(line);
            if (quit == Refused)
                return "500 5.5.1 what quit\r\n";
            if (quit == CloseAfterReply)
                server.sendRaw("221 bye\r\n");
            server.closeClient();
            return QByteArray();
        };
        RecordingDelegate delegate;
        auto message = loopbackMessage(server.port(), delegate);
        QElapsedTimer clock;
        clock.start();
        ASSERT_TRUE(message->send());
        ASSERT_TRUE(finish(delegate));
        EXPECT_EQ(delegate.sent, 1) << int(quit);
        EXPECT_EQ(delegate.failed, 0) << delegate.error.localizedDescription.toStdString();
        EXPECT_LT(clock.elapsed(), 2000) << "no wait for a watchdog";
        drainEvents();
        EXPECT_EQ(delegate.sent + delegate.failed, 1);
    }
}

TEST(SmtpRepliesTest, EveryRefusalEndsAtOnceWithTheServersReplyAndAQuit)
{
    struct Case {
        QByteArray command; // what the refusal answers; empty: the greeting
        QByteArray reply;
        int code;
        const char *description;
    };
    const Case cases[] = {
        {"", "554 5.3.2 no service for you\r\n", 554, "The server refused the connection."},
        {"MAIL", "550 5.7.1 sender blocked\r\n", 550, "The server refused the sender address."},
        {"MAIL", "451 4.3.0 try again\r\n", 451, "The server cannot take the message now."},
        {"RCPT TO:<first@", "550-5.1.1 no such user\r\n550 5.1.1 here\r\n", 550,
         "To address rejected."},
        {"RCPT TO:<second@", "450 4.2.1 mailbox busy\r\n", 450,
         "The server cannot take mail for this address now."},
        {"DATA", "554 5.5.0 no data today\r\n", 554, "The server refused the message."},
        {"DATA", "451 4.3.0 later\r\n", 451, "The server cannot take the message now."},
        {".", "552 5.3.4 message too big\r\n", 552, "The message is too large for the server."},
        {".", "554 5.7.1 spam\r\n", 554, "The server refused the message."},
        {".", "450 4.7.1 greylisted\r\n", 450, "The server cannot take the message now."},
    };
    for (const Case &c : cases) {
        ScriptedSmtpServer server;
        if (c.command.isEmpty())
            server.greeting = c.reply;
        server.respond = [&](const QByteArray &line) {
            return !c.command.isEmpty() && line.startsWith(c.command) ? c.reply
                                                                      : server.defaultReply(line);
        };
        RecordingDelegate delegate;
        auto message = loopbackMessage(server.port(), delegate);
        message->setToEmail(QStringLiteral("first@murmelo.test, second@murmelo.test, "
                                           "third@murmelo.test"));
        // The waits are long: only the reply may end the attempt this soon.
        message->setWatchdogDurations(20s, 60s);
        message->setConnectTimeout(10.0);
        QElapsedTimer clock;
        clock.start();
        ASSERT_TRUE(message->send());
        ASSERT_TRUE(finish(delegate)) << c.reply.constData();
        EXPECT_LT(clock.elapsed(), 2000) << c.reply.constData();
        EXPECT_EQ(delegate.failed, 1) << c.reply.constData();
        EXPECT_EQ(delegate.error.code, c.code) << c.reply.constData();
        EXPECT_EQ(delegate.error.localizedDescription, c.description) << c.reply.constData();
        // The whole reply, continuation lines too, is in the error.
        const QString replyText = QString::fromLatin1(c.reply).simplified();
        EXPECT_EQ(delegate.error.serverReply, replyText) << c.reply.constData();
        EXPECT_TRUE(delegate.error.localizedFailureReason.contains(replyText));
        EXPECT_TRUE(quitArrives(server)) << c.reply.constData() << server.received.constData();
        if (c.command.startsWith("RCPT TO:<first@")) {
            EXPECT_FALSE(server.received.contains("second@"));
            EXPECT_TRUE(delegate.error.localizedFailureReason.contains("first@murmelo.test"));
        }
        EXPECT_FALSE(server.received.contains("QUIT\r\nQUIT"));
    }
}

TEST(SmtpRepliesTest, OnlyTheAddressGoesBetweenTheBrackets)
{
    ScriptedSmtpServer server;
    RecordingDelegate delegate;
    auto message = loopbackMessage(server.port(), delegate);
    message->setFromEmail(QStringLiteral("Murmelo <me@murmelo.test>"));
    message->setToEmail(
        QStringLiteral("Ann <ann@murmelo.test>, \"john,doe\"@murmelo.test, \"Smith, Bo\" "
                       "<bo@murmelo.test>,"));
    message->setCcEmail(QString::fromUtf8("cy@exämple.org; "));
    ASSERT_TRUE(message->send());
    ASSERT_TRUE(finish(delegate));
    EXPECT_EQ(delegate.sent, 1) << delegate.error.localizedDescription.toStdString();
    EXPECT_TRUE(server.received.startsWith(
        "EHLO localhost\r\nMAIL FROM:<me@murmelo.test>\r\nRCPT TO:<ann@murmelo.test>\r\n"
        "RCPT TO:<\"john,doe\"@murmelo.test>\r\nRCPT TO:<bo@murmelo.test>\r\n"
        "RCPT TO:<cy@xn--exmple-cua.org>\r\nDATA\r\n"))
        << server.received.constData();

    // What is not one mailbox never reaches a server: not in the recipients, not in the sender.
    const struct {
        const char *from;
        const char *to;
        int code;
        const char *named;
    } refused[] = {
        {"me@murmelo.test", "a@x.org> NOTIFY=SUCCESS", -10, "a@x.org> NOTIFY=SUCCESS"},
        {"me@murmelo.test", "ok@x.org, Ann <a@x.org> b@x.org", -10, "Ann <a@x.org> b@x.org"},
        {"me@murmelo.test> SIZE=1", "ok@x.org", -10, "me@murmelo.test> SIZE=1"},
        {"me@murmelo.test", " , ;", -11, ""},
    };
    for (const auto &r : refused) {
        RecordingDelegate told;
        auto bad = loopbackMessage(server.port(), told);
        bad->setFromEmail(QString::fromUtf8(r.from));
        bad->setToEmail(QString::fromUtf8(r.to));
        EXPECT_FALSE(bad->send()) << r.to;
        EXPECT_EQ(told.error.code, r.code) << r.to;
        EXPECT_TRUE(told.error.localizedFailureReason.contains(QString::fromUtf8(r.named)))
            << told.error.localizedFailureReason.toStdString();
    }
    QStringList many;
    for (int i = 0; i < 101; ++i)
        many << QStringLiteral("r%1@x.org").arg(i);
    RecordingDelegate tooMany;
    auto crowd = loopbackMessage(server.port(), tooMany);
    crowd->setToEmail(many.join(QLatin1Char(',')));
    EXPECT_FALSE(crowd->send());
    EXPECT_EQ(tooMany.error.code, -12);
    many.removeLast();
    RecordingDelegate hundred;
    auto fits = loopbackMessage(server.port(), hundred);
    fits->setToEmail(many.join(QLatin1Char(',')));
    ASSERT_TRUE(fits->send());
    ASSERT_TRUE(finish(hundred));
    EXPECT_EQ(hundred.sent, 1);
    EXPECT_EQ(server.connections, 2);
}

TEST(SmtpRepliesTest, InternationalLocalPartsNeedSmtpUtf8)
{
    const QString joerg = QString::fromUtf8("Jörg <jörg@exämple.org>");
    {
        ScriptedSmtpServer server;
        server.capabilities << "SMTPUTF8";
        RecordingDelegate delegate;
        auto message = loopbackMessage(server.port(), delegate);
        message->setToEmail(joerg);
        ASSERT_TRUE(message->send());
        ASSERT_TRUE(finish(delegate));
        EXPECT_EQ(delegate.sent, 1);
        EXPECT_TRUE(server.received.contains("MAIL FROM:<me@murmelo.test> SMTPUTF8\r\n"
                                             "RCPT TO:<" +
                                             QString::fromUtf8("jörg").toUtf8() +
                                             "@xn--exmple-cua.org>\r\n"))
            << server.received.constData();
    }
    {
        ScriptedSmtpServer server;
        RecordingDelegate delegate;
        auto message = loopbackMessage(server.port(), delegate);
        message->setToEmail(joerg + QStringLiteral(", ann@murmelo.test"));
        ASSERT_TRUE(message->send());
        ASSERT_TRUE(finish(delegate));
        EXPECT_EQ(delegate.error.code, -13);
        EXPECT_TRUE(
            delegate.error.localizedFailureReason.contains(QString::fromUtf8("jörg@exämple.org")));
        ASSERT_TRUE(quitArrives(server));
        EXPECT_EQ(server.received, "EHLO localhost\r\nQUIT\r\n");
    }
}
