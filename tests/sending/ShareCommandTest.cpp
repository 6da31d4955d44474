// `murmelo share`, the real executable, against the loopback relay: what it sends, and what it
// refuses without sending anything.
#include "LoopbackPeers.h"
#include "SpeechFiles.h"
#include "library/Recording.h"
#include "library/StoreContext.h"
#include "mail/jobs/RelaySettings.h"
#include "support/TestSupport.h"
#include "support/WavSizeClaim.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace murmelo;
using namespace murmelo::test;

namespace {

class ShareCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        QFile::remove(StoreContext::defaultStorePath());
        ASSERT_TRUE(relay.isRunning());
        relay.useForApplication();
    }
    void TearDown() override
    {
        qunsetenv("MURMELO_MAIL_RELAY");
        qunsetenv("MURMELO_MAIL_CA_FILE");
        QFile::remove(StoreContext::defaultStorePath());
    }

    // A saved recording of one second; its row id.
    QString saveRecording()
    {
        StoreContext context;
        EXPECT_TRUE(context.open());
        auto recording = Recording::insertInManagedObjectContext(context);
        recording->setName(QStringLiteral("Under the stairs"));
        recording->setMessage(QStringLiteral("the owl flies at nine"));
        recording->setDate(QDateTime::currentDateTime());
        recording->setAudioPath(writeSpeechLikeWav(kSpeechRate, false),
                                writeSpeechLikeWav(kSpeechRate, true));
        EXPECT_TRUE(context.save());
        paths = {recording->currentAudioPath(), recording->reverseAudioPath()};
        forward = pcmData(fileBytes(recording->currentAudioPath()));
        reversal = pcmData(fileBytes(recording->reverseAudioPath()));
        return QString::number(recording->rowID());
    }

    ProcessOutcome share(const QStringList &arguments)
    {
        const ProcessOutcome outcome = runMurmelo(QStringList{QStringLiteral("share")} + arguments);
        EXPECT_NE(outcome.exitCode, -1) << "murmelo crashed or hung";
        return outcome;
    }

    LocalMailRelay relay{QLatin1String(MailDeployment::kRelayLogin),
                         QLatin1String(MailDeployment::kRelayPassword)};
    QByteArray forward;
    QByteArray reversal;
    QStringList paths; // of the saved recording's forward audio and reversal
};

} // namespace

TEST_F(ShareCommand, SendsForwardThenReversalToEveryAddress)
{
    const QString id = saveRecording();
    const ProcessOutcome run =
        share({id, QStringLiteral("--to"), QStringLiteral("ann@example.org,bob@example.net"),
               QStringLiteral("--message"), QStringLiteral("heard it on the stairs")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("Reversal Sent."))) << run.err.toStdString();

    const QList<QByteArray> messages = relay.messages();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(headerValue(messages[0], "X-RcptTo"), "ann@example.org, bob@example.net");
    EXPECT_EQ(headerValue(messages[0], "X-MailFrom"), QByteArray(MailDeployment::kSenderMailbox));
    const QList<ReceivedPart> parts = mimeParts(messages[0]);
    ASSERT_EQ(parts.size(), 2);
    // The message given on the command line replaces the saved one.
    EXPECT_TRUE(parts[0].body.contains("heard it on the stairs")) << parts[0].body.constData();
    EXPECT_FALSE(parts[0].body.contains("the owl flies at nine"));
    EXPECT_TRUE(parts[1].headers.contains("filename=\"murmelo.wav\""));
    EXPECT_EQ(pcmData(QByteArray::fromBase64(parts[1].body)), forward + reversal);
}

TEST_F(ShareCommand, RefusesBadRequestsWithAReasonAndSendsNothing)
{
    const QString id = saveRecording();
    struct Case {
        QStringList arguments;
        int exitCode;
        QString says;
    };
    const Case cases[] = {
        {{QStringLiteral("9999"), QStringLiteral("--to"), QStringLiteral("ann@example.org")},
         1,
         QStringLiteral("no saved recording 9999")},
        {{QStringLiteral("murmelo://nothing/here"), QStringLiteral("--to"),
          QStringLiteral("ann@example.org")},
         1,
         QStringLiteral("no saved recording")},
        {{id}, 2, QStringLiteral("recipients are needed")},
        {{id, QStringLiteral("--to"), QStringLiteral(" ")},
         2,
         QStringLiteral("recipients are needed")},
        {{id, QStringLiteral("--to"),
          QStringLiteral("ann@example.org\r\nRCPT TO:<mallory@example.com>")},
         2,
         QStringLiteral("line break")},
        {{id, QStringLiteral("--to"), QStringLiteral("ann@example.org\nBcc: eve@example.com")},
         2,
         QStringLiteral("line break")},
        {{id, QStringLiteral("--to"), QStringLiteral("ann@example.org> NOTIFY=SUCCESS")},
         2,
         QStringLiteral("\u201cann@example.org> NOTIFY=SUCCESS\u201d is not an e-mail address")},
    };
    for (const Case &c : cases) {
        const ProcessOutcome run = share(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments.join(' ').toStdString();
        EXPECT_TRUE(run.err.contains(c.says))
            << c.arguments.join(' ').toStdString() << ": " << run.err.toStdString();
    }
    EXPECT_TRUE(relay.messages().isEmpty());
}

TEST_F(ShareCommand, TooLargeForMailIsRefusedBeforeAnyMerge)
{
    const QString id = saveRecording();
    // The same audio said to last far longer: 14 MB of samples in each file.
    ASSERT_NO_FATAL_FAILURE(test::claimAudioBytes(paths, 14 * 1000 * 1000));
    const ProcessOutcome run =
        share({id, QStringLiteral("--to"), QStringLiteral("ann@example.org")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(
        run.err.contains(QStringLiteral("too large to send by e-mail (29 MB; the limit is 25 MB)")))
        << run.err.toStdString();
    // Refused before the mail job (and the merge before it) started.
    EXPECT_FALSE(run.err.contains(QStringLiteral("Sending Reversal"))) << run.err.toStdString();
    EXPECT_TRUE(relay.messages().isEmpty());
}
