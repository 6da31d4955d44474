#include "mail/jobs/MailJobs.h"
#include "MemoryPasswordStore.h"
#include "mail/jobs/PasswordStore.h"
#include "mail/jobs/RelaySettings.h"
#include "platform/Defaults.h"
#include "platform/MainQueue.h"
#include "support/RecordingAlertPresenter.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QHash>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

struct ProgressLog : MailProgress {
    void startMailProgress(const QString &text, int mail) override
    {
        calls << QStringLiteral("start ") + text;
        mails << mail;
    }
    void updateMailMessage(const QString &text) override
    {
        calls << QStringLiteral("update ") + text;
    }
    void mailDone(const QString &text, int mail) override
    {
        calls << QStringLiteral("done ") + text;
        mails << mail;
    }
    QStringList calls;
    QList<int> mails; // the mail each start and done was for
};

// A delivery whose outcome the test decides.
struct ScriptedDelivery : MailDelivery {
    bool send() override
    {
        if (!startSucceeds)
            delegate->messageFailed(this, {QStringLiteral("no connection"), QString()});
        return startSucceeds;
    }
    void cancel() override { cancelled = true; }
    MailDeliveryDelegate *delegate = nullptr;
    RelayConfiguration relay;
    MailContents contents;
    bool startSucceeds = true;
    bool cancelled = false;
};

class MailJobsTest : public ::testing::Test {
protected:
    MailJobsTest()
        : defaults(test::scratchRoot() + QStringLiteral("/jobs-%1.conf").arg(++counter)),
          relay(&defaults, passwords),
          jobs(progress, relay,
               [this](const RelayConfiguration &configuration, const MailContents &contents,
                      MailDeliveryDelegate &d) {
                   auto delivery = std::make_unique<ScriptedDelivery>();
                   delivery->delegate = &d;
                   delivery->relay = configuration;
                   delivery->contents = contents;
                   delivery->startSucceeds = startSucceeds;
                   deliveries.push_back(delivery.get());
                   return delivery;
               })
    {
        jobs.setReachabilityCheck([this] { return reachable; });
        wav = test::scratchRoot() + QStringLiteral("/attachment.wav");
        QFile file(wav);
        file.open(QIODevice::WriteOnly);
        file.write(QByteArray(300, 'w'));
    }
    static inline int counter = 0;
    Defaults defaults;
    test::MemoryPasswordStore passwords;
    RelaySettings relay;
    ProgressLog progress;
    std::vector<ScriptedDelivery *> deliveries;
    bool startSucceeds = true;
    bool reachable = true;
    MailJobs jobs;
    test::RecordingAlertPresenter alerts;
    QString wav;
};

} // namespace

TEST_F(MailJobsTest, ReversalGoesThroughTheDeploymentRelayAndEndsInItsDoneText)
{
    jobs.sendReversal(wav, QStringLiteral("hello"), QStringLiteral("Ann"),
                      QStringLiteral("a@x.org,b@y.org"));
    ASSERT_EQ(deliveries.size(), 1u);
    const ScriptedDelivery &delivery = *deliveries[0];
    EXPECT_EQ(delivery.relay.login, QLatin1String(MailDeployment::kRelayLogin));
    EXPECT_EQ(delivery.relay.fromEmail, QLatin1String(MailDeployment::kSenderMailbox));
    EXPECT_TRUE(delivery.relay.requiresAuth);
    EXPECT_EQ(delivery.contents.toEmail, QStringLiteral("a@x.org,b@y.org"));
    ASSERT_EQ(delivery.contents.parts.size(), 2);
    EXPECT_TRUE(delivery.contents.parts[0].message.toString().contains(QLatin1String("hello")));
    EXPECT_EQ(progress.calls, QStringList{QStringLiteral("start Sending Reversal\u2026")});
    EXPECT_EQ(jobs.inFlight(), 1);

    // The outcome is handled on a later turn, not inside the client's callback.
    deliveries[0]->delegate->messageSent(deliveries[0]);
    EXPECT_EQ(progress.calls.size(), 1);
    EXPECT_TRUE(test::waitUntil([&] { return progress.calls.size() == 2; }));
    EXPECT_EQ(progress.calls.last(), QStringLiteral("done Reversal Sent."));
    EXPECT_EQ(jobs.inFlight(), 0);
}

TEST_F(MailJobsTest, FailuresShowProblemSendingAndNeverCrash)
{
    // Failure reported by the client.
    jobs.sendBugReport(QStringLiteral("It hangs"), QStringLiteral("me@x.org"));
    ASSERT_EQ(deliveries.size(), 1u);
    EXPECT_EQ(deliveries[0]->contents.toEmail, QLatin1String(MailDeployment::kSupportMailbox));
    EXPECT_TRUE(deliveries[0]->contents.parts[0].message.toString().startsWith(
        QLatin1String("me@x.org\nIt hangs\nversion ")));
    deliveries[0]->delegate->messageFailed(deliveries[0], {QStringLiteral("-4"), QString()});
    EXPECT_TRUE(test::waitUntil([&] { return progress.calls.size() == 2; }));
    EXPECT_EQ(progress.calls.last(), QStringLiteral("done Problem sending e-mail"));
    EXPECT_TRUE(alerts.alerts().isEmpty()) << "a dropped connection needs only another try";

    // A client that cannot even start: told at once, and its own later failure call adds nothing.
    progress.calls.clear();
    startSucceeds = false;
    jobs.sendBugReport(QStringLiteral("p"), QString());
    EXPECT_EQ(progress.calls, QStringList({QStringLiteral("start Sending Bug Report\u2026"),
                                           QStringLiteral("done Problem sending e-mail")}));
    test::drainEvents();
    EXPECT_EQ(progress.calls.size(), 2);

    // Missing and unreadable attachments.
    progress.calls.clear();
    jobs.sendReversal(test::scratchRoot() + QStringLiteral("/gone.wav"), QString(), QString(),
                      QStringLiteral("a@x.org"));
    jobs.sendReversal(test::scratchRoot(), QString(), QString(), QStringLiteral("a@x.org"));
    EXPECT_EQ(progress.calls.count(QStringLiteral("done Problem sending e-mail")), 2);
    EXPECT_EQ(deliveries.size(), 2u);
    EXPECT_EQ(alerts.alerts().size(), 2);
}

TEST_F(MailJobsTest, UnreachableRelayAlertsPointsToTheMailSettingsAndSendsNothing)
{
    int opened = 0;
    jobs.setMailSettingsOpener([&] { ++opened; });
    reachable = false;
    jobs.sendReversal(wav, QString(), QString(), QStringLiteral("a@x.org"));
    ASSERT_EQ(alerts.alerts().size(), 1);
    EXPECT_EQ(alerts.alerts()[0].title, QStringLiteral("Mail server is not reachable"));
    EXPECT_TRUE(alerts.alerts()[0].message.contains(QLatin1String("own outgoing mail server")));
    EXPECT_EQ(alerts.alerts()[0].buttons(),
              QStringList({QStringLiteral("OK"), QStringLiteral("Mail Settings\u2026")}));
    EXPECT_TRUE(deliveries.empty());
    EXPECT_TRUE(progress.calls.isEmpty());
    EXPECT_TRUE(alerts.press(QStringLiteral("OK")));
    EXPECT_EQ(opened, 0);
    jobs.sendReversal(wav, QString(), QString(), QStringLiteral("a@x.org"));
    EXPECT_TRUE(alerts.press(QStringLiteral("Mail Settings\u2026")));
    EXPECT_EQ(opened, 1);
}

TEST_F(MailJobsTest, RecipientWithALineBreakIsRefusedBeforeAnyConnection)
{
    jobs.sendReversal(wav, QString(), QString(), QStringLiteral("a@x.org\r\nRCPT TO:<evil@y.org>"));
    jobs.sendReversal(wav, QString(), QString(), QStringLiteral("a@x.org\nBcc: evil@y.org"));
    EXPECT_TRUE(deliveries.empty());
    EXPECT_EQ(progress.calls.count(QStringLiteral("done Problem sending e-mail")), 2);
    ASSERT_EQ(alerts.alerts().size(), 2);
    EXPECT_TRUE(alerts.alerts()[0].message.contains(QLatin1String("line break")));
}

TEST_F(MailJobsTest, CancelStopsOnlyItsOwnMailAndNoDoneTextFollows)
{
    jobs.sendReversal(wav, QString(), QString(), QStringLiteral("a@x.org"));
    jobs.sendBugReport(QStringLiteral("p"), QStringLiteral("me@x.org"));
    ASSERT_EQ(deliveries.size(), 2u);
    ASSERT_EQ(progress.mails.size(), 2);
    const int first = progress.mails[0];
    const int second = progress.mails[1];
    EXPECT_NE(first, second);
    // An outcome already queued when the user cancels does not bring the done text back.
    deliveries[0]->delegate->messageSent(deliveries[0]);
    jobs.cancelMessage(first);
    EXPECT_TRUE(deliveries[0]->cancelled);
    EXPECT_FALSE(deliveries[1]->cancelled) << "the other mail goes on";
    test::drainEvents();
    for (const QString &call : std::as_const(progress.calls))
        EXPECT_FALSE(call.startsWith(QLatin1String("done"))) << call.toStdString();
    EXPECT_EQ(jobs.inFlight(), 1);

    // The other one ends on its own strip.
    deliveries[1]->delegate->messageSent(deliveries[1]);
    ASSERT_TRUE(test::waitUntil([&] { return progress.calls.size() == 3; }));
    EXPECT_EQ(progress.calls.last(), QStringLiteral("done ") + MailTexts::reportSent());
    EXPECT_EQ(progress.mails.last(), second);
    jobs.cancelMessage(second); // its Done: nothing left to stop
    EXPECT_FALSE(deliveries[1]->cancelled);

    jobs.sendBugReport(QStringLiteral("p"), QStringLiteral("me@x.org"));
    jobs.cancelAll();
    EXPECT_TRUE(deliveries[2]->cancelled);
    EXPECT_EQ(jobs.inFlight(), 0);
}

TEST_F(MailJobsTest, WhatCannotBeMailedIsRefusedWithTheReason)
{
    // Not addresses: named, nothing sent.
    jobs.sendReversal(wav, QString(), QString(), QStringLiteral("a@x.org, b@x.org> NOTIFY=NEVER"));
    ASSERT_EQ(alerts.alerts().size(), 1);
    EXPECT_TRUE(
        alerts.alerts()[0].message.contains(QString::fromUtf8("\u201cb@x.org> NOTIFY=NEVER\u201d")))
        << alerts.alerts()[0].message.toStdString();
    QStringList many;
    for (int i = 0; i < 101; ++i)
        many << QStringLiteral("r%1@x.org").arg(i);
    jobs.sendReversal(wav, QString(), QString(), many.join(QLatin1Char(',')));
    ASSERT_EQ(alerts.alerts().size(), 2);
    EXPECT_TRUE(alerts.alerts()[1].message.contains(QLatin1String("at most 100")));

    // Too large: the size and the limit, and what to do instead; never "could not be read".
    QFile big(test::scratchRoot() + QStringLiteral("/big.wav"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    ASSERT_TRUE(big.resize(kMaximumAttachmentBytes + 1));
    big.close();
    jobs.sendReversal(big.fileName(), QString(), QString(), QStringLiteral("a@x.org"));
    ASSERT_EQ(alerts.alerts().size(), 3);
    EXPECT_EQ(alerts.alerts()[2].message,
              QStringLiteral("This recording is too large to send by e-mail (26 MB; the limit is "
                             "25 MB). Crop it to the part that matters, or publish it instead "
                             "(Publish\u2026) and send the link."));
    EXPECT_TRUE(deliveries.empty());
    EXPECT_EQ(progress.calls.count(QStringLiteral("done Problem sending e-mail")), 3);
    EXPECT_TRUE(attachmentTooLargeText(kMaximumAttachmentBytes).isEmpty());
}

TEST_F(MailJobsTest, OwnServerPasswordComesFromTheKeyring)
{
    OwnRelay own{QStringLiteral("mail.example.org"), 2587, QStringLiteral("ann"),
                 QStringLiteral("ann@example.org")};
    bool stored = false;
    relay.setOwnRelay(own, QStringLiteral("s3cret"), [&](const QString &error) {
        EXPECT_TRUE(error.isEmpty());
        stored = true;
    });
    ASSERT_TRUE(test::waitUntil([&] { return stored; }));
    // Never in the settings file.
    QFile file(defaults.path());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_FALSE(file.readAll().contains("s3cret"));

    jobs.sendBugReport(QStringLiteral("p"), QStringLiteral("me@x.org"));
    ASSERT_TRUE(test::waitUntil([&] { return deliveries.size() == 1; }));
    const RelayConfiguration &used = deliveries[0]->relay;
    EXPECT_EQ(used.host, QStringLiteral("mail.example.org"));
    EXPECT_EQ(used.ports, QList<quint16>{2587});
    EXPECT_EQ(used.login, QStringLiteral("ann"));
    EXPECT_EQ(used.password, QStringLiteral("s3cret"));
    EXPECT_EQ(used.fromEmail, QStringLiteral("ann@example.org"));

    // A keyring that cannot be read: the job says so and sends nothing.
    passwords.failure = QStringLiteral("The keyring is locked");
    jobs.sendBugReport(QStringLiteral("p"), QStringLiteral("me@x.org"));
    ASSERT_TRUE(test::waitUntil([&] { return alerts.alerts().size() == 1; }));
    EXPECT_TRUE(alerts.alerts()[0].message.contains(QLatin1String("keyring is locked")));
    EXPECT_EQ(progress.calls.last(), QStringLiteral("done Problem sending e-mail"));
    EXPECT_EQ(deliveries.size(), 1u);
}

TEST_F(MailJobsTest, RelaySettingsMovePasswordWithTheAccountAndForgetIt)
{
    OwnRelay own{QStringLiteral("a.example.org"), 587, QStringLiteral("ann"),
                 QStringLiteral("ann@example.org")};
    int answers = 0;
    const auto counted = [&](const QString &error) {
        EXPECT_TRUE(error.isEmpty()) << error.toStdString();
        ++answers;
    };
    relay.setOwnRelay(own, QStringLiteral("pw"), counted);
    ASSERT_TRUE(test::waitUntil([&] { return answers == 1; }));
    own.host = QStringLiteral("b.example.org");
    relay.setOwnRelay(own, QString(), counted);
    ASSERT_TRUE(test::waitUntil([&] { return answers == 2; }));
    EXPECT_EQ(passwords.entries.keys(), QStringList{own.keyringKey()});
    EXPECT_EQ(passwords.entries.value(own.keyringKey()), QStringLiteral("pw"));
    EXPECT_EQ(relay.relayHost(), QStringLiteral("b.example.org"));

    relay.useDeploymentRelay(counted);
    ASSERT_TRUE(test::waitUntil([&] { return answers == 3; }));
    EXPECT_TRUE(passwords.entries.isEmpty());
    EXPECT_FALSE(relay.ownRelay());

    // The environment's relay overrides the host of either.
    qputenv("MURMELO_MAIL_RELAY", "127.0.0.1:2525");
    EXPECT_EQ(relay.relayHost(), QStringLiteral("127.0.0.1"));
    qunsetenv("MURMELO_MAIL_RELAY");
}

TEST_F(MailJobsTest, ConnectionSecurityIsStoredAndOlderSettingsMeanStartTls)
{
    // Settings written before the choice existed: host and port, no security key.
    defaults.setBool(QStringLiteral("mailRelay/ownServer"), true);
    defaults.setString(QStringLiteral("mailRelay/host"), QStringLiteral("mail.example.org"));
    defaults.setInteger(QStringLiteral("mailRelay/port"), 587);
    ASSERT_TRUE(relay.ownRelay());
    EXPECT_EQ(relay.ownRelay()->security, RelaySecurity::StartTLS);
    // Nor does a value this version does not know turn security off.
    defaults.setString(QStringLiteral("mailRelay/security"), QStringLiteral("none"));
    EXPECT_EQ(relay.ownRelay()->security, RelaySecurity::StartTLS);

    OwnRelay own{QStringLiteral("mail.example.org"), 465, QString(),
                 QStringLiteral("ann@example.org"), RelaySecurity::TLS};
    bool stored = false;
    relay.setOwnRelay(own, QString(), [&](const QString &) { stored = true; });
    ASSERT_TRUE(test::waitUntil([&] { return stored; }));
    Defaults reread(defaults.path());
    EXPECT_EQ(RelaySettings(&reread, passwords).ownRelay(), own);

    jobs.sendBugReport(QStringLiteral("p"), QStringLiteral("me@x.org"));
    ASSERT_TRUE(test::waitUntil([&] { return deliveries.size() == 1; }));
    EXPECT_EQ(deliveries[0]->relay.security, RelaySecurity::TLS);
    EXPECT_EQ(deliveries[0]->relay.ports, QList<quint16>{465});

    // The service's relay keeps STARTTLS.
    relay.useDeploymentRelay([](const QString &) {});
    jobs.sendBugReport(QStringLiteral("p"), QStringLiteral("me@x.org"));
    ASSERT_TRUE(test::waitUntil([&] { return deliveries.size() == 2; }));
    EXPECT_EQ(deliveries[1]->relay.security, RelaySecurity::StartTLS);
}

TEST_F(MailJobsTest, FailureTheUserCanSetRightIsExplainedBesideTheStrip)
{
    jobs.sendBugReport(QStringLiteral("p"), QStringLiteral("me@x.org"));
    ASSERT_EQ(deliveries.size(), 1u);
    deliveries[0]->delegate->messageFailed(
        deliveries[0], {QStringLiteral("-7"), QStringLiteral("The certificate is self-signed")});
    ASSERT_TRUE(test::waitUntil([&] { return alerts.alerts().size() == 1; }));
    EXPECT_EQ(progress.calls.last(), QStringLiteral("done Problem sending e-mail"));
    EXPECT_EQ(alerts.alerts()[0].title, QStringLiteral("Problem sending e-mail"));
    EXPECT_EQ(alerts.alerts()[0].message, QStringLiteral("The certificate is self-signed"));

    // Cancelled first: neither the done text nor the explanation follows.
    jobs.sendBugReport(QStringLiteral("p"), QStringLiteral("me@x.org"));
    ASSERT_EQ(deliveries.size(), 2u);
    deliveries[1]->delegate->messageFailed(deliveries[1],
                                           {QStringLiteral("-7"), QStringLiteral("again")});
    jobs.cancelMessage(progress.mails.last());
    test::drainEvents();
    EXPECT_EQ(alerts.alerts().size(), 1);
}
