#include "cli/ShareCommand.h"

#include "audio/MergeAndClip.h"
#include "audio/MergeSize.h"
#include "cli/CommandSupport.h"
#include "library/Recording.h"
#include "library/StoreContext.h"
#include "mail/jobs/MailJobs.h"
#include "mail/jobs/RelaySettings.h"
#include "platform/AlertPresenter.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <cstdio>

namespace murmelo::cli {

namespace {

// The mail strip, on the terminal.
class TerminalMailProgress : public MailProgress {
public:
    void startMailProgress(const QString &text, int) override { printError(text); }
    void updateMailMessage(const QString &text) override { printError(text); }
    void mailDone(const QString &text, int) override { printError(text); }
};

// Alerts have no window to show in: they are printed.
class TerminalAlerts : public AlertPresenter {
public:
    TerminalAlerts() { AlertPresenter::setCurrent(this); }
    ~TerminalAlerts() override { AlertPresenter::setCurrent(nullptr); }
    void present(Alert alert, QObject *) override
    {
        printError(alert.message.isEmpty() ? alert.title
                                           : alert.title + QStringLiteral(": ") + alert.message);
        if (alert.completion)
            alert.completion(0);
    }
};

int usage(const QString &message)
{
    return cli::usage("share", message);
}

} // namespace

void declareShareOptions(QCommandLineParser &parser)
{
    parser.addOption({QStringLiteral("to"),
                      QStringLiteral("Recipients, separated by commas (required)"),
                      QStringLiteral("addresses")});
    parser.addOption({QStringLiteral("message"),
                      QStringLiteral("The hidden message (default: the one saved with it)"),
                      QStringLiteral("text")});
    parser.addOption({QStringLiteral("name"), QStringLiteral("Your name, for the text"),
                      QStringLiteral("text")});
    parser.addOption({QStringLiteral("speed"),
                      QStringLiteral("Playing speed of the attachment (default 1)"),
                      QStringLiteral("F")});
}

int shareCommand(const QCommandLineParser &parser)
{
    const QStringList args = parser.positionalArguments();
    if (args.size() != 1)
        return usage(QStringLiteral("expected the ID of one saved recording"));
    const QString to = parser.value(QStringLiteral("to")).trimmed();
    if (to.isEmpty())
        return usage(QStringLiteral("recipients are needed (--to ADDR[,ADDR])"));
    // Refused here, before any audio is merged; the mail job refuses it too.
    if (to.contains(QLatin1Char('\r')) || to.contains(QLatin1Char('\n')) || to.contains(QChar(0)))
        return usage(QStringLiteral("--to holds a line break; give the addresses on one line, "
                                    "separated by commas"));
    if (const QString problem = recipientProblem(to); !problem.isEmpty())
        return usage(QStringLiteral("--to: ") + problem);
    float speed = 1.0f;
    if (parser.isSet(QStringLiteral("speed"))) {
        bool ok = false;
        speed = parser.value(QStringLiteral("speed")).toFloat(&ok);
        if (!ok || !(speed >= 0.5f && speed <= 2.0f))
            return usage(QStringLiteral("--speed must be from 0.5 to 2"));
    }

    StoreContext context;
    const auto recording = openSavedRecording(context, args[0]);
    if (!recording)
        return Failure;
    const QString message = parser.isSet(QStringLiteral("message"))
                                ? parser.value(QStringLiteral("message"))
                                : recording->message();

    const QString tooLarge = attachmentTooLargeText(
        mergedSizeEstimate(recording->currentAudioPath(), recording->reverseAudioPath(), speed));
    if (!tooLarge.isEmpty())
        return fail(tooLarge);
    const QString attachment =
        slowAndMergeAudio(recording->currentAudioPath(), recording->reverseAudioPath(), speed);
    TerminalAlerts alerts;
    TerminalMailProgress progress;
    MailJobs jobs(progress, RelaySettings::standard(), smtpMailDeliveryFactory());
    bool sent = false;
    QEventLoop loop;
    QObject::connect(&jobs, &MailJobs::finished, &loop, [&](bool ok) {
        sent = ok;
        loop.quit();
    });
    jobs.sendReversal(attachment, message, parser.value(QStringLiteral("name")), to);
    // The job has read the attachment (or refused); the file is not needed any more.
    if (!attachment.isEmpty())
        QFile::remove(attachment);
    if (jobs.inFlight() > 0)
        loop.exec();
    return sent ? Ok : Failure;
}

} // namespace murmelo::cli
