#include "screens/playback/ShareFlow.h"

#include "audio/MergeAndClip.h"
#include "audio/MergeSize.h"
#include "mail/jobs/MailContents.h"
#include "mail/jobs/MailJobs.h"
#include "mail/jobs/RelaySettings.h"
#include "platform/Defaults.h"
#include "platform/MainQueue.h"
#include "platform/SerialQueue.h"

#include <QFile>

namespace murmelo {

namespace {
// The list with `address` added after a "," (no blank), or alone when the list is empty.
QString appendRecipient(const QString &list, const QString &address)
{
    return list.isEmpty() ? address : list + QLatin1Char(',') + address;
}
} // namespace

ShareFlow::ShareFlow()
    : sender_(
          [](const QString &path, const QString &message, const QString &name, const QString &to) {
              if (MailJobs *jobs = applicationMailJobs())
                  jobs->sendReversal(path, message, name, to);
          }),
      build_(&slowAndMergeAudio)
{
}

ShareFlow::~ShareFlow()
{
    *alive_ = false;
}

void ShareFlow::addRecipient(const QString &address)
{
    recipients_ = appendRecipient(recipients_, address);
}

void ShareFlow::recallSenderName()
{
    if (senderName_.isEmpty())
        senderName_ = Defaults::standard().stringForKey(senderNameKey());
}

ShareFlow::Sending ShareFlow::send(const QString &forward, const QString &reversal, float factor,
                                   const QString &message, std::function<void()> merged)
{
    QString to = recipients_;
    if (sendToSpeech_)
        to = appendRecipient(to, QLatin1String(MailDeployment::kCollectingMailbox));
    if (to.trimmed().isEmpty())
        return {};
    // What cannot go out is said before any audio is merged.
    QString refusal = recipientProblem(to);
    if (refusal.isEmpty())
        refusal = attachmentTooLargeText(mergedSizeEstimate(forward, reversal, factor));
    if (!refusal.isEmpty())
        return {Sending::Refused, refusal};
    // The name goes with the next share too, in this window or the next run.
    const QString name = senderName_;
    Defaults::standard().setString(senderNameKey(), name);
    Defaults::standard().synchronize();
    SerialQueue queue("sendreversal");
    queue.async([=, alive = alive_, sender = sender_, build = build_] {
        const QString attachment = build(forward, reversal, factor);
        postToMainQueue([=] {
            if (*alive && merged)
                merged();
            // The mail job reads the file at once; the copy on disk is not needed after that.
            sender(attachment, message, name, to);
            if (!attachment.isEmpty())
                QFile::remove(attachment);
        });
    });
    return {Sending::Started, {}};
}

} // namespace murmelo
