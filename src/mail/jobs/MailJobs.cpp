#include "mail/jobs/MailJobs.h"

#include "mail/jobs/BugReport.h"
#include "mail/jobs/RelaySettings.h"
#include "mail/mime/MailAddress.h"
#include "platform/AlertPresenter.h"
#include "platform/MainQueue.h"
#include "platform/SystemLog.h"
#include "toolkit/reachability/Reachability.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>

namespace murmelo {

namespace {
MailJobs *applicationJobs = nullptr;

// A line break or NUL in an address would end the command or header it is written into.
bool hasLineBreak(const QString &text)
{
    return text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n')) ||
           text.contains(QChar(0));
}
} // namespace

QString recipientProblem(const QString &recipients)
{
    if (hasLineBreak(recipients))
        return MailJobs::tr("An address in the recipient list contains a line break. Type each "
                            "address on the one line, separated by commas.");
    const AddressList list = parseAddressList(recipients);
    if (!list.ok())
        return MailJobs::tr("\u201c%1\u201d is not an e-mail address. Write each address as "
                            "name@example.org or Name <name@example.org>, separated by commas.")
            .arg(list.offending);
    if (list.mailboxes.isEmpty())
        return MailJobs::tr("There is no address to send to.");
    if (list.mailboxes.size() > kMaximumRecipients)
        return MailJobs::tr("One message can go to at most %1 addresses; this one has %2.")
            .arg(kMaximumRecipients)
            .arg(list.mailboxes.size());
    return QString();
}

MailJobs *applicationMailJobs()
{
    return applicationJobs;
}

void setApplicationMailJobs(MailJobs *jobs)
{
    applicationJobs = jobs;
}

struct MailJobs::Job {
    int mail = 0;
    MailContents contents;
    QString doneText;
    std::unique_ptr<MailDelivery> delivery;
    bool cancelled = false;
};

MailJobs::MailJobs(MailProgress &progress, RelaySettings &relay, MailDeliveryFactory deliveries)
    : progress_(progress), relay_(relay), deliveries_(std::move(deliveries))
{
}

MailJobs::~MailJobs()
{
    for (const auto &job : jobs_) {
        job->cancelled = true;
        if (job->delivery)
            job->delivery->cancel();
    }
    if (applicationJobs == this)
        applicationJobs = nullptr;
}

bool MailJobs::relayReachable()
{
    if (reachable_)
        return reachable_();
    const QString host = relay_.relayHost();
    if (mailHost_ && mailHost_->hostName() == host)
        return Reachability::statusOf(mailHost_) != NotReachable;
    const std::unique_ptr<Reachability> reachability = Reachability::reachabilityWithHostName(host);
    return Reachability::statusOf(reachability.get()) != NotReachable;
}

void MailJobs::sendReversal(const QString &path, const QString &message, const QString &name,
                            const QString &to)
{
    if (!relayReachable()) {
        explain(MailTexts::relayNotReachable(),
                tr("Murmelo cannot reach the mail server %1 now. Check the network connection, "
                   "or send through your own outgoing mail server.")
                    .arg(relay_.relayHost()),
                true);
        return;
    }
    const QString body = reversalBody(message, name);
    const QString refused = recipientProblem(to);
    if (!refused.isEmpty()) {
        failBeforeSending(MailTexts::sendingReversal(), refused);
        return;
    }
    QFile file(path);
    const QFileInfo info(path);
    if (const QString tooLarge = attachmentTooLargeText(info.size());
        info.isFile() && !tooLarge.isEmpty()) {
        failBeforeSending(MailTexts::sendingReversal(), tooLarge);
        return;
    }
    if (path.isEmpty() || !info.isFile() || !file.open(QIODevice::ReadOnly)) {
        systemLog(QStringLiteral("reversal attachment unreadable: %1 (%2)")
                      .arg(path, file.errorString()));
        failBeforeSending(MailTexts::sendingReversal(),
                          tr("The reversal's audio file could not be read, so nothing was sent."));
        return;
    }
    const QByteArray wav = file.readAll();
    if (wav.size() != info.size()) {
        failBeforeSending(MailTexts::sendingReversal(),
                          tr("The reversal's audio file could not be read, so nothing was sent."));
        return;
    }
    systemLog(QStringLiteral("sending reversal %1 %2 %3").arg(wav.size()).arg(body, to));
    start(reversalMail(to, body, wav), MailTexts::sendingReversal(), MailTexts::reversalSent());
}

void MailJobs::sendBugReport(const QString &problem, const QString &userEmail)
{
    const QString text =
        BugReport::reportText(userEmail, problem, BugReport::currentVersionBlock());
    start(bugReportMail(QLatin1String(MailDeployment::kSupportMailbox), text),
          MailTexts::sendingBugReport(), MailTexts::reportSent());
}

void MailJobs::failBeforeSending(const QString &progressText, const QString &reason,
                                 bool settingsHelp)
{
    const int mail = ++lastMail_;
    progress_.startMailProgress(progressText, mail);
    progress_.mailDone(MailTexts::problemSending(), mail);
    explain(MailTexts::problemSending(), reason, settingsHelp);
}

void MailJobs::explain(const QString &title, const QString &reason, bool settingsHelp)
{
    if (!settingsHelp || !openSettings_) {
        showAlert(alertParent_, title, reason, QStringLiteral("OK"));
        return;
    }
    QPointer<MailJobs> self(this);
    showAlert(alertParent_, title, reason, QStringLiteral("OK"), {MailTexts::mailSettingsButton()},
              [self](int button) {
                  if (self && button == 1 && self->openSettings_)
                      self->openSettings_();
              });
}

void MailJobs::start(MailContents contents, const QString &progressText, const QString &doneText)
{
    auto job = std::make_shared<Job>();
    job->mail = ++lastMail_;
    job->contents = std::move(contents);
    job->doneText = doneText;
    jobs_.push_back(job);
    progress_.startMailProgress(progressText, job->mail);
    // The own server's password comes from the keyring, which answers later.
    QPointer<MailJobs> self(this);
    relay_.resolve(
        [self, job](const std::optional<RelayConfiguration> &relay, const QString &error) {
            if (!self || job->cancelled)
                return;
            if (!relay) {
                systemLog(QStringLiteral("mail relay password unreadable: %1").arg(error));
                self->jobs_.erase(std::find(self->jobs_.begin(), self->jobs_.end(), job));
                self->progress_.mailDone(MailTexts::problemSending(), job->mail);
                self->explain(MailTexts::problemSending(),
                              tr("The password of your mail server could not be read from the "
                                 "keyring: %1")
                                  .arg(error),
                              true);
                emit self->finished(false);
                return;
            }
            self->deliver(job, *relay);
        });
}

void MailJobs::deliver(const std::shared_ptr<Job> &job, const RelayConfiguration &relay)
{
    job->delivery = deliveries_(relay, job->contents, *this);
    // The attachment text is in the client now.
    job->contents = MailContents();
    if (!job->delivery || !job->delivery->send()) {
        // A failed start has told the delegate too; that later outcome finds the job gone.
        if (std::find(jobs_.begin(), jobs_.end(), job) != jobs_.end()) {
            jobs_.erase(std::find(jobs_.begin(), jobs_.end(), job));
            postToMainQueue(
                [delivery = std::shared_ptr<MailDelivery>(std::move(job->delivery))] {});
            progress_.mailDone(MailTexts::problemSending(), job->mail);
            emit finished(false);
        }
    }
}

void MailJobs::messageSent(MailDelivery *delivery)
{
    QPointer<MailJobs> self(this);
    postToMainQueue([self, delivery] {
        if (self)
            self->finish(delivery, true);
    });
}

void MailJobs::messageFailed(MailDelivery *delivery, const MailFailure &failure)
{
    systemLog(QStringLiteral("mail not sent: %1").arg(failure.reason));
    QPointer<MailJobs> self(this);
    postToMainQueue([self, delivery, failure] {
        if (self)
            self->finish(delivery, false, failure);
    });
}

void MailJobs::finish(MailDelivery *delivery, bool sent, const MailFailure &failure)
{
    const auto found = std::find_if(jobs_.begin(), jobs_.end(), [delivery](const auto &job) {
        return job->delivery.get() == delivery;
    });
    // A cancelled job, or one whose failure was already shown when it could not start.
    if (found == jobs_.end())
        return;
    const std::shared_ptr<Job> job = *found;
    jobs_.erase(found);
    progress_.mailDone(sent ? job->doneText : MailTexts::problemSending(), job->mail);
    if (!failure.explanation.isEmpty())
        explain(MailTexts::problemSending(), failure.explanation, failure.settingsHelp);
    emit finished(sent);
}

void MailJobs::cancelMessage(int mail)
{
    const auto found = std::find_if(jobs_.begin(), jobs_.end(),
                                    [mail](const auto &job) { return job->mail == mail; });
    if (found == jobs_.end())
        return;
    const std::shared_ptr<Job> job = *found;
    jobs_.erase(found);
    job->cancelled = true;
    if (job->delivery)
        job->delivery->cancel();
    // The client goes on a later turn, out of whatever stream handling called us.
    postToMainQueue([job] {});
}

void MailJobs::cancelAll()
{
    while (!jobs_.empty())
        cancelMessage(jobs_.front()->mail);
}

void MailJobs::updateMessage(const QString &text)
{
    progress_.updateMailMessage(text);
}

} // namespace murmelo
