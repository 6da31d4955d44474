#include "PlaybackFixture.h"

#include "mail/jobs/ContactBook.h"
#include "mail/jobs/RelaySettings.h"
#include "platform/Defaults.h"
#include "platform/SerialQueue.h"
#include "platform/StandardPaths.h"
#include "screens/mail/ContactPicker.h"
#include "screens/playback/PlaybackView.h"
#include "screens/playback/ShareLayout.h"
#include "screens/playback/SharePanel.h"
#include "screens/playback/SlidePanel.h"
#include "support/WavSizeClaim.h"
#include "toolkit/InputAccessoryBar.h"
#include "toolkit/TextInputLinks.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QInputMethod>
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
        ShareFlow &flow = screen->shareFlow();
        flow.setSender([this](const QString &path, const QString &message, const QString &name,
                              const QString &to) {
            sent.push_back({path, message, name, to});
            attachmentExisted = QFile::exists(path);
        });
        flow.setAttachmentBuilder([this](const QString &forward, const QString &reversal,
                                         float factor) {
            merged.push_back({forward, reversal, factor});
            const QString path = StandardPaths::temporaryDirectory() + QStringLiteral("merged.wav");
            QFile::copy(forward, path);
            return path;
        });
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

    // Shows the keyboard bar of the input, as an on-screen keyboard coming up would.
    InputAccessoryBar *showKeyboardBar(QWidget *input)
    {
        TextInputLinks::setOnScreenKeyboardProbe([] { return true; });
        input->setFocus();
        emit QGuiApplication::inputMethod()->visibleChanged();
        drainEvents();
        return TextInputLinks::of(input).inputAccessoryView();
    }
    void hideKeyboardBar()
    {
        TextInputLinks::setOnScreenKeyboardProbe({});
        emit QGuiApplication::inputMethod()->visibleChanged();
        screen->setFocus();
        drainEvents();
    }
    void TearDown() override
    {
        TextInputLinks::setOnScreenKeyboardProbe({});
        PlaybackFixture::TearDown();
    }
    std::vector<QWidget *> panelControls() const
    {
        const PlaybackView &v = screen->view();
        const SharePanel &p = screen->sharePanel();
        return {v.shareEmailTextField,  p.addContactButton,   v.emailNameTextField,
                v.shareMessageTextView, p.sendToSpeechButton, p.closeShareButton,
                p.sendReversalButton};
    }
    QRect onScreen(const QWidget *widget) const
    {
        return QRect(widget->mapTo(screen.get(), QPoint()), widget->size());
    }
    // Every control lies inside the panel and on the screen, apart from the others and from
    // `cover`, and is wide enough for its text.
    void expectCleanLayout(const QString &where, const QRect &cover = {})
    {
        SCOPED_TRACE(where.toStdString());
        const QRect panel = onScreen(screen->view().shareReversalView);
        EXPECT_EQ(panel.bottom(), screen->height() - 1);
        EXPECT_EQ(panel.width(), screen->width());
        const std::vector<QWidget *> controls = panelControls();
        for (size_t i = 0; i < controls.size(); ++i) {
            QWidget *control = controls[i];
            const QRect frame = onScreen(control);
            const std::string name = control->objectName().toStdString() + " " + std::to_string(i);
            EXPECT_TRUE(control->isVisible()) << name;
            EXPECT_TRUE(panel.contains(frame)) << name;
            EXPECT_FALSE(frame.intersects(cover)) << name;
            for (size_t j = i + 1; j < controls.size(); ++j)
                EXPECT_FALSE(frame.intersects(onScreen(controls[j]))) << name << " / " << j;
            if (auto *button = qobject_cast<QAbstractButton *>(control)) {
                EXPECT_GE(button->width(), button->sizeHint().width())
                    << button->text().toStdString();
                EXPECT_GE(button->height(), button->sizeHint().height())
                    << button->text().toStdString();
            }
        }
        // The prompts show whole.
        for (QLineEdit *field :
             {screen->view().shareEmailTextField, screen->view().emailNameTextField})
            EXPECT_LT(field->fontMetrics().horizontalAdvance(SharePanel::recipientsPrompt()),
                      field->width() - 16);
        EXPECT_GE(screen->view().shareMessageTextView->height(), 44);
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

TEST_F(Share, YourNameIsRememberedForTheNextShareAndLeavesTheTitleCounterAlone)
{
    Defaults::standard().setInteger(QStringLiteral("defaultName"), 4);
    openRecording(makeRecording(QStringLiteral("Found"), QStringLiteral("run away")));
    screen->share();
    finishSlide();
    const PlaybackView &v = screen->view();
    type(v.shareEmailTextField, QStringLiteral("a@x.org"));
    type(v.emailNameTextField, QStringLiteral("Ann"));
    send();
    ASSERT_EQ(sent.size(), 1u);

    // A later screen, as after a restart, offers the name again.
    SerialQueue::waitForAllQueues();
    drainEvents();
    screen = makeScreen();
    openRecording(makeRecording(QStringLiteral("Other"), QString()));
    screen->share();
    finishSlide();
    EXPECT_EQ(screen->view().emailNameTextField->text(), QStringLiteral("Ann"));
    EXPECT_EQ(Defaults::standard().integerForKey(QStringLiteral("defaultName")), 4)
        << "the automatic titles' counter is a key of its own";
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

TEST_F(Share, WhatCannotBeMailedIsSaidBeforeAnyMergeWithThePanelKept)
{
    // Two files of 14 MB of audio each: together over the limit at normal speed.
    auto recording = makeRecording(QStringLiteral("Long"));
    ASSERT_NO_FATAL_FAILURE(test::claimAudioBytes(
        {recording->currentAudioPath(), recording->reverseAudioPath()}, 14 * 1000 * 1000));
    openRecording(recording);
    screen->view().speedSlider->setValue(100);
    screen->share();
    finishSlide();
    const PlaybackView &v = screen->view();
    type(v.shareEmailTextField, QStringLiteral("a@x.org"));
    send();
    EXPECT_TRUE(merged.empty());
    EXPECT_TRUE(sent.empty());
    ASSERT_EQ(alerts.alerts().size(), 1);
    EXPECT_TRUE(alerts.alerts()[0].message.contains(
        QLatin1String("too large to send by e-mail (29 MB; the limit is 25 MB)")))
        << alerts.alerts()[0].message.toStdString();
    EXPECT_TRUE(alerts.alerts()[0].message.contains(QLatin1String("Publish")));
    EXPECT_FALSE(v.shareReversalView->isHidden());
    EXPECT_TRUE(v.waitView->isHidden());

    // An address list that is not one: named, and nothing merged either.
    v.shareEmailTextField->clear();
    type(v.shareEmailTextField, QStringLiteral("Ann <a@x.org> b@y.org"));
    screen->view().speedSlider->setValue(200);
    send();
    EXPECT_TRUE(merged.empty());
    ASSERT_EQ(alerts.alerts().size(), 2);
    EXPECT_TRUE(alerts.alerts()[1].message.contains(QLatin1String("Ann <a@x.org> b@y.org")));

    // Twice as fast, the same audio fits.
    v.shareEmailTextField->clear();
    type(v.shareEmailTextField, QStringLiteral("Ann <a@x.org>"));
    send();
    EXPECT_EQ(alerts.alerts().size(), 2);
    ASSERT_EQ(merged.size(), 1u);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].to, QStringLiteral("Ann <a@x.org>"));
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
    EXPECT_EQ(screen->shareFlow().recipients(), QStringLiteral("ann@work.org,bob@y.org"));
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
    // Small as it is, the button shows its whole sign.
    QToolButton *button = screen->sharePanel().infoButton;
    EXPECT_GE(button->width(), button->sizeHint().width());
    click(screen->sharePanel().infoButton);
    EXPECT_FALSE(info->isHidden());
    EXPECT_TRUE(info->text().contains(QLatin1String("backwards")));
    EXPECT_EQ(screen->childAt(info->geometry().center()), info);
    QTest::keyClick(screen.get(), Qt::Key_F1);
    EXPECT_TRUE(info->isHidden());
}

TEST_F(Share, PanelLaysOutCleanlyNarrowAndWideWithAndWithoutTheKeyboardBar)
{
    openRecording(makeRecording(QStringLiteral("Found"), QStringLiteral("run away")));
    const PlaybackView &v = screen->view();
    for (const QSize size : {QSize(320, 568), QSize(320, 520), QSize(1024, 768)}) {
        const QString where = QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
        screen->resize(size);
        drainEvents();
        screen->share();
        finishSlide();
        expectCleanLayout(where);
        // On a wide window the fields widen to a readable column in the middle.
        const QRect recipients = onScreen(v.shareEmailTextField);
        EXPECT_LE(recipients.width() + 38, ShareLayout::kMaxColumnWidth);
        EXPECT_NEAR(recipients.left(),
                    screen->width() - 1 - onScreen(screen->sharePanel().addContactButton).right(),
                    1);

        // The bar takes the bottom edge: the panel grows by as much and nothing is under it.
        InputAccessoryBar *bar = showKeyboardBar(v.shareMessageTextView);
        ASSERT_TRUE(bar && bar->isVisible());
        const QRect cover(bar->mapTo(screen.get(), QPoint()), bar->size());
        EXPECT_EQ(cover.bottom(), screen->height() - 1);
        expectCleanLayout(where + QStringLiteral(" with the bar"), cover);
        // Going, the bar leaves the panel as it is (a click on a button takes the focus and so
        // the bar away; the button must not move under the pointer), until it closes.
        const QRect grown = onScreen(v.shareReversalView);
        EXPECT_GT(grown.height(), ShareLayout::kHeight);
        hideKeyboardBar();
        EXPECT_FALSE(bar->isVisible());
        EXPECT_EQ(onScreen(v.shareReversalView), grown);
        screen->closeShare();
        finishSlide();
        screen->share();
        finishSlide();
        EXPECT_EQ(v.shareReversalView->height(), ShareLayout::kHeight);

        // Long input scrolls inside its box instead of pushing the buttons away.
        const QRect send = onScreen(screen->sharePanel().sendReversalButton);
        QStringList many;
        for (int i = 0; i < 40; ++i)
            many << QStringLiteral("someone.with.a.long.name%1@example.org").arg(i);
        v.shareEmailTextField->setText(many.join(QLatin1Char(',')));
        v.shareMessageTextView->setPlainText(many.join(QLatin1Char('\n')));
        drainEvents();
        EXPECT_EQ(onScreen(screen->sharePanel().sendReversalButton), send);
        expectCleanLayout(where + QStringLiteral(" with long input"));
        screen->closeShare();
        finishSlide();
        v.shareEmailTextField->clear();
    }
}

TEST_F(Share, ClicksOnTheWindowReachSwitchContactsAndSendWhereverTheyAre)
{
    openFresh();
    const PlaybackView &v = screen->view();
    SharePanel &panel = screen->sharePanel();
    int round = 0;
    for (const QSize size : {QSize(320, 568), QSize(1024, 768)}) {
        for (const bool bar : {false, true}) {
            SCOPED_TRACE(round);
            screen->resize(size);
            drainEvents();
            screen->share();
            finishSlide();
            if (bar)
                showKeyboardBar(v.shareEmailTextField);
            const bool before = screen->sendToSpeech();
            click(panel.sendToSpeechButton);
            EXPECT_NE(screen->sendToSpeech(), before);
            EXPECT_EQ(panel.sendToSpeechButton->isChecked(), screen->sendToSpeech());

            click(panel.addContactButton);
            ASSERT_TRUE(panel.picker);
            EXPECT_TRUE(panel.picker->isVisible());
            panel.picker->reject();
            screen->activateWindow();
            ASSERT_TRUE(waitUntil([&] { return screen->isActiveWindow(); }));

            click(v.shareEmailTextField);
            v.shareEmailTextField->selectAll();
            QTest::keyClicks(v.shareEmailTextField, QStringLiteral("r%1@x.org").arg(round));
            send();
            ASSERT_EQ(sent.size(), size_t(round + 1));
            EXPECT_TRUE(sent.back().to.startsWith(QStringLiteral("r%1@x.org").arg(round)))
                << sent.back().to.toStdString();
            finishSlide();
            EXPECT_TRUE(v.shareReversalView->isHidden());
            if (bar)
                hideKeyboardBar();
            ++round;
        }
    }
}

TEST_F(Share, EnterSendsShiftEnterBreaksTheLineAndEscapeCloses)
{
    openFresh();
    screen->activateWindow();
    ASSERT_TRUE(waitUntil([&] { return screen->isActiveWindow(); }));
    const PlaybackView &v = screen->view();
    screen->share();
    finishSlide();
    click(v.shareEmailTextField);
    QTest::keyClicks(v.shareEmailTextField, QStringLiteral("a@x.org"));
    QTest::keyClick(v.shareEmailTextField, Qt::Key_Escape);
    finishSlide();
    EXPECT_TRUE(v.shareReversalView->isHidden());
    EXPECT_TRUE(sent.empty());

    screen->share();
    finishSlide();
    EXPECT_EQ(v.shareEmailTextField->text(), QStringLiteral("a@x.org"));
    click(v.shareMessageTextView);
    QTest::keyClicks(v.shareMessageTextView, QStringLiteral("two"));
    QTest::keyClick(v.shareMessageTextView, Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClicks(v.shareMessageTextView, QStringLiteral("lines"));
    EXPECT_TRUE(sent.empty());
    QTest::keyClick(v.shareMessageTextView, Qt::Key_Return);
    SerialQueue::waitForAllQueues();
    drainEvents();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].to, QStringLiteral("a@x.org"));
    EXPECT_EQ(sent[0].message, QStringLiteral("two\nlines"));
}
