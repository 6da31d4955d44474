// What the user is told when a delivery through the SMTP client fails: the reason where the user
// can set it right, and whether the outgoing-mail settings are the place to do it.
#include "SmtpTestSupport.h"

#include "mail/jobs/MailDelivery.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace murmelo;
using namespace murmelo::test;
using namespace std::chrono_literals;

TEST(MailDeliveryTest, FailuresAreExplainedWhereTheUserCanMendThem)
{
    qputenv("MURMELO_MAIL_CA_FILE", testCertificate().certificatePath.toUtf8());
    struct Case {
        QByteArray command;
        QByteArray reply; // empty: the server closes the connection instead
        bool explained;
        bool settingsHelp;
        const char *says;
    };
    const Case cases[] = {
        {"AUTH", "535 5.7.8 credentials invalid\r\n", true, true, "535 5.7.8 credentials invalid"},
        {"RCPT", "550 5.1.1 unknown user\r\n", true, false, "you@murmelo.test"},
        {".", "552 5.3.4 too big\r\n", true, false, "552 5.3.4 too big"},
        {"MAIL", "", false, false, ""},
    };
    for (const Case &c : cases) {
        ScriptedSmtpServer server;
        server.tls = true;
        server.capabilities << "STARTTLS";
        server.respond = [&](const QByteArray &line) -> QByteArray {
            if (!line.startsWith(c.command))
                return server.defaultReply(line);
            if (c.reply.isEmpty())
                server.closeClient();
            return c.reply;
        };
        RelayConfiguration relay;
        relay.host = QStringLiteral("127.0.0.1");
        relay.ports = {server.port()};
        relay.login = QStringLiteral("fred");
        relay.password = QStringLiteral("secret");
        relay.fromEmail = QStringLiteral("me@murmelo.test");
        MailContents contents;
        contents.toEmail = QStringLiteral("you@murmelo.test");
        contents.subject = QStringLiteral("Hi");
        contents.parts << MailPart{QStringLiteral("text/plain"), QString(), QStringLiteral("8bit"),
                                   QStringLiteral("Hello")};
        RecordingDeliveryDelegate outcome;
        const auto delivery = smtpMailDeliveryFactory()(relay, contents, outcome);
        ASSERT_TRUE(delivery->send());
        ASSERT_TRUE(waitUntil([&] { return outcome.done(); }, 20s));
        EXPECT_EQ(outcome.failed, 1) << c.reply.constData();
        EXPECT_EQ(!outcome.failure.explanation.isEmpty(), c.explained) << c.reply.constData();
        EXPECT_EQ(outcome.failure.settingsHelp, c.settingsHelp) << c.reply.constData();
        EXPECT_TRUE(outcome.failure.explanation.contains(QString::fromLatin1(c.says)))
            << outcome.failure.explanation.toStdString();
    }
    qunsetenv("MURMELO_MAIL_CA_FILE");
}
