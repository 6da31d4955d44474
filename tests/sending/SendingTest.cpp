#include "LoopbackPeers.h"
#include "SpeechFiles.h"
#include "app/AppDelegate.h"
#include "app/AppTestSupport.h"
#include "app/SpeechSidebarMenuController.h"
#include "library/Recording.h"
#include "library/StoreContext.h"
#include "mail/jobs/MailJobs.h"
#include "mail/jobs/PasswordStore.h"
#include "mail/jobs/RelaySettings.h"
#include "platform/SerialQueue.h"
#include "screens/library/RecordingCell.h"
#include "screens/library/RecordingsListView.h"
#include "screens/library/SavedRecordingsViewController.h"
#include "screens/mail/RelaySettingsView.h"
#include "screens/mail/ReportProblemViewController.h"
#include "screens/playback/PlaybackView.h"
#include "screens/playback/PlaybackViewController.h"
#include "screens/playback/SharePanel.h"
#include "screens/shell/SettingsViewController.h"
#include "support/RecordingAlertPresenter.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QTest>
#include <QTextEdit>
#include <QToolButton>
#include <QWindow>
#include <gtest/gtest.h>

using namespace murmelo;
using namespace murmelo::test;

namespace {

const QString kDeploymentUser = QLatin1String(MailDeployment::kRelayLogin);
const QString kDeploymentPassword = QLatin1String(MailDeployment::kRelayPassword);

class Sending : public ::testing::Test {
protected:
    void SetUp() override
    {
        defaults->setBool(QStringLiteral("EULA"), true);
        QFile::remove(StoreContext::defaultStorePath());
    }
    void TearDown() override
    {
        app.reset();
        SerialQueue::waitForAllQueues();
        drainEventsAndDeletions();
        qunsetenv("MURMELO_MAIL_RELAY");
        qunsetenv("MURMELO_MAIL_CA_FILE");
        QFile::remove(StoreContext::defaultStorePath());
    }

    void startApp()
    {
        app = std::make_unique<AppDelegate>();
        app->window()->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(app->window()));
        app->applicationDidFinishLaunching();
        drainEvents();
    }
    SidebarViewController *window() { return app->window(); }
    template <typename Screen> Screen *content()
    {
        return qobject_cast<Screen *>(window()->contentViewController());
    }
    // A click delivered to the window at the widget's place, so whatever is on top receives it.
    void click(QWidget *widget)
    {
        ASSERT_TRUE(widget->isVisible());
        // Scrolled into view first, as a user scrolls a long page to what they click.
        for (QWidget *parent = widget->parentWidget(); parent; parent = parent->parentWidget()) {
            if (auto *area = qobject_cast<QScrollArea *>(parent)) {
                area->ensureWidgetVisible(widget);
                drainEvents();
                break;
            }
        }
        QWidget *top = widget->window();
        QTest::mouseClick(top->windowHandle(), Qt::LeftButton, {},
                          widget->mapTo(top, widget->rect().center()));
        drainEvents();
    }
    void type(QWidget *input, const QString &text)
    {
        click(input);
        QTest::keyClicks(input, text);
    }
    bool waitForStrip(const QString &text)
    {
        return waitUntil([&] { return window()->progressLabel()->text() == text; },
                         std::chrono::seconds(60));
    }
    std::shared_ptr<Recording> saveRecording(const QString &message)
    {
        const QString forward = writeSpeechLikeWav(kSpeechRate, false);
        const QString reverse = writeSpeechLikeWav(kSpeechRate, true);
        auto recording = Recording::insertInManagedObjectContext(*app->storeContext());
        recording->setName(QStringLiteral("Under the stairs"));
        recording->setMessage(message);
        recording->setDate(QDateTime::currentDateTime());
        recording->setAudioPath(forward, reverse);
        EXPECT_TRUE(app->storeContext()->save());
        return recording;
    }
    // Opens the share panel of the list's first row the way a user does.
    PlaybackViewController *shareFirstRowFromTheList()
    {
        window()->menuViewController()->choose(SavedRecordingsViewController::kMenuIndex);
        drainEventsAndDeletions();
        auto *list = content<SavedRecordingsViewController>();
        EXPECT_NE(list, nullptr);
        if (!list)
            return nullptr;
        EXPECT_TRUE(waitUntil([&] { return list->tableView()->cellForRow(0) != nullptr; }));
        RecordingCell *row = list->tableView()->cellForRow(0);
        click(row->infoView());
        EXPECT_TRUE(waitUntil([&] { return row->panelOffset() == row->openOffset(); }));
        click(row->shareButton());
        drainEventsAndDeletions();
        auto *playback = content<PlaybackViewController>();
        EXPECT_NE(playback, nullptr);
        if (!playback)
            return nullptr;
        EXPECT_TRUE(sharePanelRests(playback));
        return playback;
    }
    // Waits for the share panel to finish sliding in.
    static bool sharePanelRests(PlaybackViewController *playback)
    {
        QWidget *panel = playback->view().shareReversalView;
        return waitUntil([&] {
            return panel->isVisible() && panel->geometry().bottom() + 1 == playback->height();
        });
    }

    RelaySettingsView *openRelayForm()
    {
        window()->menuViewController()->choose(SettingsViewController::kMenuPosition);
        drainEventsAndDeletions();
        auto *settings = content<SettingsViewController>();
        EXPECT_NE(settings, nullptr);
        return settings ? settings->relaySettings() : nullptr;
    }
    // Ann's account on the loopback relay, typed into the own-server form.
    void fillOwnServer(RelaySettingsView *form, quint16 port)
    {
        click(form->ownServerSwitch());
        ASSERT_TRUE(form->hostField()->isVisible());
        type(form->hostField(), QStringLiteral("127.0.0.1"));
        type(form->userField(), QStringLiteral("ann"));
        type(form->passwordField(), QStringLiteral("correct horse"));
        type(form->senderField(), QStringLiteral("ann@example.org"));
        form->portField()->setValue(port);
    }
    // Saves the form with its button; true once stored with the password in the keyring.
    bool save(RelaySettingsView *form)
    {
        bool saved = false;
        QString keyringError;
        const auto connection =
            QObject::connect(form, &RelaySettingsView::saved, [&](const QString &error) {
                saved = true;
                keyringError = error;
            });
        click(form->saveButton());
        const bool done = waitUntil([&] { return saved; }, std::chrono::seconds(30));
        QObject::disconnect(connection);
        EXPECT_TRUE(keyringError.isEmpty()) << qPrintable(keyringError);
        return done && keyringError.isEmpty();
    }

    ScratchDefaults defaults;
    RecordingAlertPresenter alerts;
    std::unique_ptr<AppDelegate> app;
};

} // namespace

TEST_F(Sending, ReversalSharedFromTheListArrivesAtEveryRecipientAsOneWav)
{
    LocalMailRelay relay(kDeploymentUser, kDeploymentPassword);
    ASSERT_TRUE(relay.isRunning());
    relay.useForApplication();
    startApp();
    const auto recording = saveRecording(QStringLiteral("the owl flies at nine"));
    const QByteArray forward = pcmData(fileBytes(recording->currentAudioPath()));
    const QByteArray reversal = pcmData(fileBytes(recording->reverseAudioPath()));

    PlaybackViewController *playback = shareFirstRowFromTheList();
    ASSERT_NE(playback, nullptr);
    const PlaybackView &v = playback->view();
    type(v.shareEmailTextField, QStringLiteral("ann@example.org,bob@example.net"));
    type(v.emailNameTextField, QStringLiteral("Carla"));
    click(playback->sharePanel().sendToSpeechButton);
    click(playback->sharePanel().sendReversalButton);
    ASSERT_TRUE(waitForStrip(QStringLiteral("Reversal Sent.")))
        << qPrintable(window()->progressLabel()->text());
    EXPECT_EQ(window()->mailCancelButton()->text(), QStringLiteral("Done"));
    EXPECT_TRUE(alerts.alerts().isEmpty());

    const QList<QByteArray> messages = relay.messages();
    ASSERT_EQ(messages.size(), 1);
    const QByteArray &mail = messages[0];
    EXPECT_EQ(headerValue(mail, "X-RcptTo"), "ann@example.org, bob@example.net, " +
                                                 QByteArray(MailDeployment::kCollectingMailbox));
    EXPECT_EQ(headerValue(mail, "Subject"), "I've discovered a hidden message!");
    EXPECT_EQ(headerValue(mail, "X-MailFrom"), QByteArray(MailDeployment::kSenderMailbox));
    const QList<ReceivedPart> parts = mimeParts(mail);
    ASSERT_EQ(parts.size(), 2);
    EXPECT_TRUE(parts[0].body.contains("the owl flies at nine")) << parts[0].body.constData();
    EXPECT_TRUE(parts[0].body.contains("Carla"));
    EXPECT_TRUE(parts[1].headers.contains("audio/wave"));
    EXPECT_TRUE(parts[1].headers.contains("filename=\"murmelo.wav\""));
    for (const QByteArray &line : parts[1].body.split('\n'))
        EXPECT_LE(line.size(), 64);
    // Forward, then the reversal, frame for frame at the slider's normal speed.
    const QByteArray attachment = QByteArray::fromBase64(parts[1].body);
    EXPECT_EQ(pcmData(attachment), forward + reversal);
}

TEST_F(Sending, ProblemReportArrivesWithTheVersionBlock)
{
    LocalMailRelay relay(kDeploymentUser, kDeploymentPassword);
    ASSERT_TRUE(relay.isRunning());
    relay.useForApplication();
    startApp();
    window()->menuViewController()->choose(SettingsViewController::kMenuPosition);
    drainEventsAndDeletions();
    auto *settings = content<SettingsViewController>();
    ASSERT_NE(settings, nullptr);
    click(settings->findChild<QPushButton *>(QStringLiteral("reportProblemButton")));
    drainEventsAndDeletions();
    auto *report = content<ReportProblemViewController>();
    ASSERT_NE(report, nullptr);
    type(report->textView(), QStringLiteral("The waveform stays empty."));
    type(report->emailTextField(), QStringLiteral("dana@example.org"));
    click(report->sendButton());
    ASSERT_TRUE(waitForStrip(
        QStringLiteral("Report sent. Thanks for taking the time to report your issue.")));

    const QList<QByteArray> messages = relay.messages();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(headerValue(messages[0], "X-RcptTo"), QByteArray(MailDeployment::kSupportMailbox));
    EXPECT_EQ(headerValue(messages[0], "Subject"), "Murmelo Bug Report");
    const QList<ReceivedPart> parts = mimeParts(messages[0]);
    ASSERT_EQ(parts.size(), 1);
    const QByteArray expectedStart =
        "dana@example.org\nThe waveform stays empty.\nversion " + QByteArray(MURMELO_VERSION);
    EXPECT_TRUE(parts[0].body.startsWith(expectedStart)) << parts[0].body.constData();
    // The second line of the block names the system.
    EXPECT_EQ(parts[0].body.split('\n').size(), 5) << parts[0].body.constData();
}

TEST_F(Sending, LineBreaksTypedIntoThePanelNeverBecomeCommandsOrHeaders)
{
    LocalMailRelay relay(kDeploymentUser, kDeploymentPassword);
    ASSERT_TRUE(relay.isRunning());
    relay.useForApplication();
    startApp();
    saveRecording(QString());
    PlaybackViewController *playback = shareFirstRowFromTheList();
    ASSERT_NE(playback, nullptr);
    const PlaybackView &v = playback->view();

    // A pasted recipient list with a line break and an SMTP command in it.
    click(v.shareEmailTextField);
    QGuiApplication::clipboard()->setText(
        QStringLiteral("ann@example.org\r\nRCPT TO:<mallory@example.com>\r\nBcc: eve@x.org"));
    QTest::keyClick(v.shareEmailTextField, Qt::Key_V, Qt::ControlModifier);
    click(playback->sharePanel().sendReversalButton);
    // Refused before anything is built or sent, with the panel kept open to mend the list.
    ASSERT_TRUE(waitUntil([&] { return alerts.alerts().size() == 1; }));
    EXPECT_TRUE(alerts.alerts()[0].message.contains(QLatin1String("line break")) ||
                alerts.alerts()[0].message.contains(QLatin1String("not an e-mail address")))
        << qPrintable(alerts.alerts()[0].message);
    EXPECT_TRUE(window()->progressView()->isHidden());
    SerialQueue::waitForAllQueues();
    drainEvents();
    EXPECT_TRUE(relay.messages().isEmpty());

    // A message whose lines look like the end of the data and a command arrives whole.
    const QString message = QStringLiteral("first\n.\nQUIT\nRCPT TO:<mallory@example.com>\nlast");
    playback->share();
    ASSERT_TRUE(sharePanelRests(playback));
    click(v.shareEmailTextField);
    v.shareEmailTextField->setText(QStringLiteral("ann@example.org"));
    click(v.shareMessageTextView);
    v.shareMessageTextView->setPlainText(message);
    click(playback->sharePanel().sendReversalButton);
    ASSERT_TRUE(waitForStrip(QStringLiteral("Reversal Sent.")));
    const QList<QByteArray> messages = relay.messages();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(headerValue(messages[0], "X-RcptTo"), "ann@example.org");
    EXPECT_TRUE(headerValue(messages[0], "Bcc").isEmpty());
    const QList<ReceivedPart> parts = mimeParts(messages[0]);
    ASSERT_EQ(parts.size(), 2);
    EXPECT_TRUE(parts[0].body.contains(message.toUtf8())) << parts[0].body.constData();
}

TEST_F(Sending, UnreachableRelayShowsItsAlertAndSendsNothing)
{
    qputenv("MURMELO_MAIL_RELAY", "relay.invalid:2525");
    startApp();
    const auto recording = saveRecording(QStringLiteral("x"));
    app->sendReversal(recording->currentAudioPath(), QString(), QString(),
                      QStringLiteral("ann@example.org"));
    ASSERT_EQ(alerts.alerts().size(), 1);
    EXPECT_EQ(alerts.alerts()[0].title, QStringLiteral("Mail server is not reachable"));
    EXPECT_TRUE(window()->progressView()->isHidden());
}

TEST_F(Sending, OwnServerWithItsPasswordInThePrivateKeyring)
{
    ASSERT_TRUE(PrivateKeyring::shared().isRunning());
    LocalMailRelay relay(QStringLiteral("ann"), QStringLiteral("correct horse"));
    ASSERT_TRUE(relay.isRunning());
    qputenv("MURMELO_MAIL_CA_FILE", relay.certificatePath().toUtf8());
    startApp();

    RelaySettingsView *form = openRelayForm();
    ASSERT_NE(form, nullptr);
    fillOwnServer(form, relay.port());
    ASSERT_TRUE(save(form));
    // The password is in the keyring, not in the settings file.
    Defaults::standard().synchronize();
    EXPECT_FALSE(fileBytes(Defaults::standard().path()).contains("correct horse"));
    QString stored;
    bool read = false;
    KeychainPasswordStore::shared().read(RelaySettings::standard().ownRelay()->keyringKey(),
                                         [&](const QString &password, const QString &) {
                                             stored = password;
                                             read = true;
                                         });
    ASSERT_TRUE(waitUntil([&] { return read; }));
    EXPECT_EQ(stored, QStringLiteral("correct horse"));

    app->sendBugReport(QStringLiteral("sent through my own server"),
                       QStringLiteral("ann@example.org"));
    ASSERT_TRUE(waitForStrip(
        QStringLiteral("Report sent. Thanks for taking the time to report your issue.")))
        << qPrintable(window()->progressLabel()->text());
    const QList<QByteArray> messages = relay.messages();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(headerValue(messages[0], "X-MailFrom"), "ann@example.org");

    // Back to the service's relay: the password leaves the keyring.
    const QString key = RelaySettings::standard().ownRelay()->keyringKey();
    click(form->ownServerSwitch());
    ASSERT_TRUE(save(form));
    read = false;
    KeychainPasswordStore::shared().read(key, [&](const QString &password, const QString &) {
        stored = password;
        read = true;
    });
    ASSERT_TRUE(waitUntil([&] { return read; }));
    EXPECT_TRUE(stored.isEmpty());
}

TEST_F(Sending, OwnServerWithTlsFromTheFirstByteTrustsOnlyAVerifiedCertificate)
{
    ASSERT_TRUE(PrivateKeyring::shared().isRunning());
    LocalMailRelay relay(QStringLiteral("ann"), QStringLiteral("correct horse"),
                         LocalMailRelay::Security::ImplicitTls);
    ASSERT_TRUE(relay.isRunning());
    // The relay's certificate is nobody's the application trusts yet.
    startApp();
    RelaySettingsView *form = openRelayForm();
    ASSERT_NE(form, nullptr);
    fillOwnServer(form, 587);
    // The choice, clicked in the list that drops down.
    QComboBox *security = form->securityField();
    click(security);
    QAbstractItemView *list = security->view();
    ASSERT_TRUE(waitUntil([&] { return list->isVisible(); }));
    const QRect tlsItem = list->visualRect(list->model()->index(security->findText("TLS"), 0));
    QTest::mouseClick(list->window()->windowHandle(), Qt::LeftButton, {},
                      list->viewport()->mapTo(list->window(), tlsItem.center()));
    ASSERT_TRUE(waitUntil([&] { return !list->isVisible(); }));
    EXPECT_EQ(form->portField()->value(), 465);
    form->portField()->setValue(relay.port());
    ASSERT_TRUE(save(form));
    ASSERT_EQ(RelaySettings::standard().ownRelay()->security, RelaySecurity::TLS);

    const QString reportSent =
        QStringLiteral("Report sent. Thanks for taking the time to report your issue.");
    app->sendBugReport(QStringLiteral("first try"), QStringLiteral("ann@example.org"));
    ASSERT_TRUE(waitForStrip(QStringLiteral("Problem sending e-mail")));
    ASSERT_EQ(alerts.alerts().size(), 1);
    EXPECT_EQ(alerts.alerts()[0].title, QStringLiteral("Problem sending e-mail"));
    EXPECT_TRUE(alerts.alerts()[0].message.contains(QLatin1String("certificate")))
        << qPrintable(alerts.alerts()[0].message);
    SerialQueue::waitForAllQueues();
    drainEvents();
    EXPECT_TRUE(relay.messages().isEmpty());

    // Once its authority is trusted, the same settings deliver.
    qputenv("MURMELO_MAIL_CA_FILE", relay.certificatePath().toUtf8());
    window()->cancelMail();
    app->sendBugReport(QStringLiteral("second try"), QStringLiteral("ann@example.org"));
    ASSERT_TRUE(waitForStrip(reportSent)) << qPrintable(window()->progressLabel()->text());
    const QList<QByteArray> messages = relay.messages();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(headerValue(messages[0], "X-MailFrom"), "ann@example.org");
    EXPECT_TRUE(messages[0].contains("second try"));
    EXPECT_EQ(alerts.alerts().size(), 1);
}
