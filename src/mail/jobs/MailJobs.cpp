#include "mail/jobs/MailJobs.h"

#include "mail/jobs/BugReport.h"
#include "mail/jobs/RelaySettings.h"
#include "platform/AlertPresenter.h"
#include "platform/MainQueue.h"
#include "platform/SystemLog.h"
#include "toolkit/Reachability.h"

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

// The largest attachment read into memory; a reversal of a few minutes is a few tens of MB.
constexpr qint64 kMaximumAttachment = qint64(512) * 1024 * 1024;
} // namespace

MailJobs *applicationMailJobs()
{
    return applicationJobs;
}

void setApplicationMailJobs(MailJobs *jobs)
{
    applicationJobs = jobs;
}

struct MailJobs::Job {
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
        showAlert(alertParent_, MailTexts::relayNotReachable(), QString(), QStringLiteral("OK"));
        return;
    }
    const QString body = reversalBody(message, name);
    if (hasLineBreak(to)) {
        failBeforeSending(MailTexts::sendingReversal(),
                          tr("An address in the recipient list contains a line break. Type each "
                             "address on the one line, separated by commas."));
        return;
    }
    QFile file(path);
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isFile() || info.size() > kMaximumAttachment ||
        !file.open(QIODevice::ReadOnly)) {
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

void MailJobs::failBeforeSending(const QString &progressText, const QString &reason)
{
    progress_.startMailProgress(progressText);
    progress_.mailDone(MailTexts::problemSending());
    showAlert(alertParent_, MailTexts::problemSending(), reason, QStringLiteral("OK"));
}

void MailJobs::start(MailContents contents, const QString &progressText, const QString &doneText)
{
    auto job = std::make_shared<Job>();
    job->contents = std::move(contents);
    job->doneText = doneText;
    jobs_.push_back(job);
    progress_.startMailProgress(progressText);
    // The own server's password comes from the keyring, which answers later.
    QPointer<MailJobs> self(this);
    relay_.resolve(
        [self, job](const std::optional<RelayConfiguration> &relay, const QString &error) {
            if (!self || job->cancelled)
                return;
            if (!relay) {
                systemLog(QStringLiteral("mail relay password unreadable: %1").arg(error));
                self->jobs_.erase(std::find(self->jobs_.begin(), self->jobs_.end(), job));
                self->progress_.mailDone(MailTexts::problemSending());
                showAlert(self->alertParent_, MailTexts::problemSending(),
                          tr("The password of your mail server could not be read from the "
                             "keyring: %1")
                              .arg(error),
                          QStringLiteral("OK"));
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
            progress_.mailDone(MailTexts::problemSending());
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
    postToMainQueue([self, delivery, explanation = failure.explanation] {
        if (self)
            self->finish(delivery, false, explanation);
    });
}

void MailJobs::finish(MailDelivery *delivery, bool sent, const QString &explanation)
{
    const auto found = std::find_if(jobs_.begin(), jobs_.end(), [delivery](const auto &job) {
        return job->delivery.get() == delivery;
    });
    // A cancelled job, or one whose failure was already shown when it could not start.
    if (found == jobs_.end())
        return;
    const std::shared_ptr<Job> job = *found;
    jobs_.erase(found);
    progress_.mailDone(sent ? job->doneText : MailTexts::problemSending());
    if (!explanation.isEmpty())
        showAlert(alertParent_, MailTexts::problemSending(), explanation, QStringLiteral("OK"));
    emit finished(sent);
}

void MailJobs::cancelMessage()
{
    const std::vector<std::shared_ptr<Job>> cancelled = std::move(jobs_);
    jobs_.clear();
    for (const auto &job : cancelled) {
        job->cancelled = true;
        if (job->delivery)
            job->delivery->cancel();
    }
    // The clients go on a later turn, out of whatever stream handling called us.
    for (const auto &job : cancelled)
        postToMainQueue([job] {});
}

void MailJobs::updateMessage(const QString &text)
{
    progress_.updateMailMessage(text);
}

} // namespace murmelo
