#include "PlaybackFixture.h"

#include "mail/jobs/ContactBook.h"
#include "mail/jobs/RelaySettings.h"
#include "mail/screens/ContactPicker.h"
#include "platform/SerialQueue.h"
#include "platform/StandardPaths.h"
#include "playback/PlaybackView.h"
#include "playback/SharePanel.h"
#include "playback/SlidePanel.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTextEdit>
#include <QToolButton>
#include <QWindow>

using namespace murmelo;
using namespace murmelo::test;

namespace {

const QString kCollecting = QLatin1String(MailDeployment::kCollectingMailbox);

struct SentReversal {
    QString path;
    QString message;
    QString name;
    QString to;
};

class Share : public PlaybackFixture {
protected:
    void SetUp() override
    {
        PlaybackFixture::SetUp();
        SharePanel &panel = screen->sharePanel();
        panel.sender = [this](const QString &path, const QString &message, const QString &name,
                              const QString &to) {
            sent.push_back({path, message, name, to});
            attachmentExisted = QFile::exists(path);
        };
        panel.attachment = [this](const QString &forward, const QString &reversal, float factor) {
            merged.push_back({forward, reversal, factor});
            const QString path = StandardPaths::temporaryDirectory() + QStringLiteral("merged.wav");
            QFile::copy(forward, path);
            return path;
        };
    }

    // A click delivered to the window at the widget's place, so whatever is on top receives it.
    void click(QWidget *widget)
    {
        QWidget *window = widget->window();
        QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                          widget->mapTo(window, widget->rect().center()));
        drainEvents();
    }
    void finishSlide()
    {
        if (QPropertyAnimation *slide = screen->sharePanel().slide->animation())
            slide->setCurrentTime(slide->duration());
        drainEvents();
    }
    void send()
    {
        click(screen->sharePanel().sendReversalButton);
        SerialQueue::waitForAllQueues();
        drainEvents();
    }
    void type(QWidget *input, const QString &text)
    {
        click(input);
        QTest::keyClicks(input, text);
    }

    struct Merge {
        QString forward;
        QString reversal;
        float factor;
    };
    std::vector<Merge> merged;
    std::vector<SentReversal> sent;
    bool attachmentExisted = false;
};

} // namespace

TEST_F(Share, PanelOpensWithPromptsThatEditingClears)
{
    openRecording(makeRecording(QStringLiteral("Quiet"), QString()));
    click(screen->sharePanel().savedShareButton);
    finishSlide();
    const PlaybackView &v = screen->view();
    ASSERT_FALSE(v.shareReversalView->isHidden());
    EXPECT_EQ(v.shareReversalView->geometry().bottom() + 1, screen->height());
    EXPECT_EQ(v.shareEmailTextField->text(), QStringLiteral("Send to\u2026"));
    EXPECT_EQ(v.emailNameTextField->text(), QStringLiteral("Your name\u2026"));
    EXPECT_EQ(v.shareMessageTextView->toPlainText(),
              QStringLiteral("What hidden message did you discover?"));
    EXPECT_FALSE(screen->sharePanel().sendToSpeechButton->isChecked());

    click(v.shareMessageTextView);
    EXPECT_TRUE(v.shareMessageTextView->toPlainText().isEmpty());
    click(v.shareEmailTextField);
    EXPECT_TRUE(v.shareEmailTextField->text().isEmpty());

    // Closing keeps what was typed for the next opening.
    QTest::keyClicks(v.shareEmailTextField, QStringLiteral("a@x.org"));
    click(screen->sharePanel().closeShareButton);
    finishSlide();
    EXPECT_TRUE(v.shareReversalView->isHidden());
    screen->share();
    EXPECT_EQ(v.shareEmailTextField->text(), QStringLiteral("a@x.org"));
}

TEST_F(Share, SendsTypedRecipientsMessageAndNameWithTheSliderSpeed)
{
    auto recording = makeRecording(QStringLiteral("Found"), QStringLiteral("run away"));
    recording->setSpeedValue(1.5f);
    openRecording(recording);
    screen->view().speedSlider->setValue(70);
    screen->share();
    finishSlide();
    const PlaybackView &v = screen->view();
    type(v.shareEmailTextField, QStringLiteral("a@x.org,b@y.org"));
    type(v.emailNameTextField, QStringLiteral("Ann"));
    click(screen->sharePanel().sendToSpeechButton);
    EXPECT_TRUE(screen->sendToSpeech());
    EXPECT_TRUE(screen->sharePanel().sendToSpeechButton->isChecked());
    send();

    ASSERT_EQ(merged.size(), 1u);
    EXPECT_EQ(merged[0].forward, recording->currentAudioPath());
    EXPECT_EQ(merged[0].reversal, recording->reverseAudioPath());
    // The slider's value, not the stored speed.
    EXPECT_FLOAT_EQ(merged[0].factor, 0.7f);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].to, QStringLiteral("a@x.org,b@y.org,") + kCollecting);
    EXPECT_EQ(sent[0].message, QStringLiteral("run away"));
    EXPECT_EQ(sent[0].name, QStringLiteral("Ann"));
    EXPECT_TRUE(attachmentExisted);
    // The attachment is the job's now; nothing is left in the temporary folder for it.
    EXPECT_FALSE(QFile::exists(sent[0].path));
    EXPECT_TRUE(screen->view().waitView->isHidden());
    finishSlide();
    EXPECT_TRUE(v.shareReversalView->isHidden());
}

TEST_F(Share, CollectingMailboxAloneOrNothingSentWithoutRecipients)
{
    openFresh();
    screen->share();
    finishSlide();
    send();
    EXPECT_TRUE(merged.empty());
    EXPECT_TRUE(sent.empty());
    EXPECT_TRUE(alerts.alerts().isEmpty());
    finishSlide();
    EXPECT_TRUE(screen->view().shareReversalView->isHidden());

    screen->share();
    finishSlide();
    screen->toggleSendToSpeech();
    send();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].to, kCollecting);
    // An unsaved reversal without a message sends an empty one, not the prompt.
    EXPECT_TRUE(sent[0].message.isEmpty());
    EXPECT_TRUE(sent[0].name.isEmpty());
}

TEST_F(Share, PickedAddressesJoinWithOneCommaAndAPersonWithoutAddressChangesNothing)
{
    const QString folder = scratchRoot() + QStringLiteral("/contacts/default");
    QDir().mkpath(folder);
    QFile cards(folder + QStringLiteral("/people.vcf"));
    ASSERT_TRUE(cards.open(QIODevice::WriteOnly));
    cards.write("BEGIN:VCARD\nVERSION:3.0\nFN:Ann\nEMAIL:ann@x.org\nEMAIL:ann@work.org\nEND:VCARD\n"
                "BEGIN:VCARD\nVERSION:4.0\nFN:Bob\nEMAIL:bob@y.org\nEND:VCARD\n"
                "BEGIN:VCARD\nVERSION:4.0\nFN:Nobody\nTEL:123\nEND:VCARD\n");
    cards.close();
    ContactBook::setFolder(scratchRoot() + QStringLiteral("/contacts"));

    openFresh();
    screen->share();
    finishSlide();
    const auto pick = [&](const QString &person, int address) {
        click(screen->sharePanel().addContactButton);
        ContactPicker *picker = screen->sharePanel().picker;
        EXPECT_NE(picker, nullptr);
        if (!picker)
            return;
        EXPECT_TRUE(picker->isVisible());
        int row = 0;
        while (row < picker->people().size() && picker->people()[row].name != person)
            ++row;
        picker->selectPerson(row);
        if (address >= 0)
            picker->selectAddress(address);
        drainEvents();
        EXPECT_TRUE(!screen->sharePanel().picker || !screen->sharePanel().picker->isVisible());
    };
    pick(QStringLiteral("Ann"), 1);
    pick(QStringLiteral("Bob"), 0);
    EXPECT_EQ(screen->view().shareEmailTextField->text(), QStringLiteral("ann@work.org,bob@y.org"));
    pick(QStringLiteral("Nobody"), -1);
    EXPECT_EQ(screen->shareEmails(), QStringLiteral("ann@work.org,bob@y.org"));
    // Cancelling changes nothing either.
    click(screen->sharePanel().addContactButton);
    screen->sharePanel().picker->reject();
    drainEvents();
    send();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].to, QStringLiteral("ann@work.org,bob@y.org"));
}

TEST_F(Share, InfoTextTogglesInFront)
{
    openFresh();
    QLabel *info = screen->view().infoText;
    EXPECT_TRUE(info->isHidden());
    click(screen->sharePanel().infoButton);
    EXPECT_FALSE(info->isHidden());
    EXPECT_TRUE(info->text().contains(QLatin1String("backwards")));
    EXPECT_EQ(screen->childAt(info->geometry().center()), info);
    QTest::keyClick(screen.get(), Qt::Key_F1);
    EXPECT_TRUE(info->isHidden());
}
