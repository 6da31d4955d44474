// The walk's mail steps: a saved reversal shared to two addresses from the list, and a problem
// report, both through the relay the run command started.
#include "app/DemoWalk.h"

#include "app/SidebarViewController.h"
#include "mail/jobs/MailContents.h"
#include "screens/library/RecordingCell.h"
#include "screens/library/RecordingsListView.h"
#include "screens/library/SavedRecordingsViewController.h"
#include "screens/mail/ReportProblemViewController.h"
#include "screens/playback/PlaybackView.h"
#include "screens/playback/PlaybackViewController.h"
#include "screens/playback/SharePanel.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QToolButton>

namespace murmelo {

namespace {
constexpr int kPanelDeadline = 5000;
// Sending goes through a real relay: TLS, authentication and the attachment take a moment.
constexpr int kSendDeadline = 60000;
} // namespace

bool DemoWalk::walksMail()
{
    return qEnvironmentVariable("MURMELO_WALK_MAIL") == QLatin1String("1");
}

void DemoWalk::addMailSteps()
{
    const auto shareScreen = [this]() -> PlaybackViewController * {
        PlaybackViewController *screen = playbackScreen();
        if (!screen)
            return nullptr;
        const QWidget *panel = screen->view().shareReversalView;
        const bool resting =
            panel->isVisible() && panel->geometry().bottom() + 1 == panel->parentWidget()->height();
        return resting ? screen : nullptr;
    };
    steps_.push_back({QStringLiteral("share"),
                      [this] {
                          auto *list = qobject_cast<SavedRecordingsViewController *>(
                              window()->contentViewController());
                          RecordingCell *row = list ? list->tableView()->cellForRow(0) : nullptr;
                          if (!row) {
                              fail(QStringLiteral("the saved recordings show no row to share"));
                              return;
                          }
                          row->reveal();
                          row->shareButton()->click();
                      },
                      [shareScreen] { return shareScreen() != nullptr; },
                      QStringLiteral("the share panel to slide in over the saved reversal"),
                      kPanelDeadline,
                      {}});
    steps_.push_back({QStringLiteral("share typed"),
                      [this, shareScreen] {
                          const PlaybackView &v = shareScreen()->view();
                          focus(v.shareEmailTextField);
                          v.shareEmailTextField->clear();
                          type(v.shareEmailTextField, recipients());
                          focus(v.emailNameTextField);
                          v.emailNameTextField->clear();
                          type(v.emailNameTextField, QStringLiteral("Murmelo Walk"));
                          focus(shareScreen());
                      },
                      [] { return true; }, QString(), kPanelDeadline,
                      QStringLiteral("share-panel")});
    steps_.push_back(
        {QStringLiteral("reversal sent"), [shareScreen] { shareScreen()->sendReversal(); },
         [this] { return window()->progressLabel()->text() == MailTexts::reversalSent(); },
         QStringLiteral("the mail strip to say the reversal was sent"), kSendDeadline,
         QStringLiteral("reversal-sent")});

    const auto reportScreen = [this] {
        return qobject_cast<ReportProblemViewController *>(window()->contentViewController());
    };
    steps_.push_back({QStringLiteral("report"),
                      [this] {
                          window()->cancelMail();
                          window()->contentViewController()->performSegue(
                              QStringLiteral("ReportProblem"));
                      },
                      [reportScreen] { return reportScreen() && reportScreen()->isVisible(); },
                      QStringLiteral("the report screen to open"),
                      kPanelDeadline,
                      {}});
    steps_.push_back({QStringLiteral("report typed"),
                      [this, reportScreen] {
                          ReportProblemViewController *screen = reportScreen();
                          focus(screen->textView());
                          type(screen->textView(), QStringLiteral("Walked through by the run "
                                                                  "command; nothing is wrong."));
                          focus(screen->emailTextField());
                          type(screen->emailTextField(), QStringLiteral("walk@example.org"));
                          focus(screen);
                      },
                      [reportScreen] { return reportScreen()->sendButton()->isEnabled(); },
                      QStringLiteral("Send to be enabled"), kPanelDeadline,
                      QStringLiteral("report")});
    steps_.push_back(
        {QStringLiteral("report sent"), [reportScreen] { reportScreen()->send(); },
         [this] { return window()->progressLabel()->text() == MailTexts::reportSent(); },
         QStringLiteral("the mail strip to say the report was sent"), kSendDeadline,
         QStringLiteral("report-sent")});
}

} // namespace murmelo
