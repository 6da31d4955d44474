#pragma once

#include "mail/jobs/MailDelivery.h"

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <vector>

namespace murmelo {

class Reachability;
class RelaySettings;

// Where a mail job shows how it goes: the sidebar's mail strip in the window, the terminal on the
// command line. `mail` tells the mails apart while several are on their way, so that each one's
// outcome lands on its own strip.
class MailProgress {
public:
    virtual ~MailProgress() = default;
    virtual void startMailProgress(const QString &text, int mail) = 0;
    virtual void updateMailMessage(const QString &text) = 0;
    virtual void mailDone(const QString &text, int mail) = 0;
};

// The two mails the application sends, a reversal and a problem report, through the relay the
// settings name. Everything runs on the main thread; outcomes are handled in a later turn of the
// event loop, never inside the client's own callback.
class MailJobs : public QObject, private MailDeliveryDelegate {
    Q_OBJECT
public:
    MailJobs(MailProgress &progress, RelaySettings &relay, MailDeliveryFactory deliveries);
    ~MailJobs() override;

    // Whether the relay can be reached now; by default the network state towards the relay's host.
    void setReachabilityCheck(std::function<bool()> check) { reachable_ = std::move(check); }
    // The process-wide watch on the mail host, asked while mail goes to its host.
    void setMailHostReachability(const Reachability *reachability) { mailHost_ = reachability; }
    // Where the "not reachable" alert and refusals are shown.
    void setAlertParent(QObject *parent) { alertParent_ = parent; }
    // Opens the outgoing-mail settings; with it set, alerts about failures that those settings
    // can mend offer a button for it.
    void setMailSettingsOpener(std::function<void()> open) { openSettings_ = std::move(open); }

    // Sends the WAV file at `path` with the hidden message and the sender's name to the
    // recipients ("a@x, Ann <b@y>"). Recipients that are not addresses and an attachment larger
    // than a mail may carry are refused before anything is sent.
    void sendReversal(const QString &path, const QString &message, const QString &name,
                      const QString &to);
    void sendBugReport(const QString &problem, const QString &userEmail);
    // The strip's Cancel for one mail: stops it; no done text follows. Other mails go on.
    void cancelMessage(int mail);
    // Stops every mail in flight.
    void cancelAll();
    void updateMessage(const QString &text);

    // Mails on their way (sent ones and cancelled ones are gone).
    int inFlight() const { return int(jobs_.size()); }

signals:
    // One per job that got as far as sending, with its outcome; not after a cancel.
    void finished(bool sent);

private:
    struct Job;

    void start(MailContents contents, const QString &progressText, const QString &doneText);
    void deliver(const std::shared_ptr<Job> &job, const RelayConfiguration &relay);
    void failBeforeSending(const QString &progressText, const QString &reason,
                           bool settingsHelp = false);
    void explain(const QString &title, const QString &reason, bool settingsHelp);
    void messageSent(MailDelivery *delivery) override;
    void messageFailed(MailDelivery *delivery, const MailFailure &failure) override;
    void finish(MailDelivery *delivery, bool sent, const MailFailure &failure = {});
    bool relayReachable();

    MailProgress &progress_;
    RelaySettings &relay_;
    MailDeliveryFactory deliveries_;
    std::function<bool()> reachable_;
    const Reachability *mailHost_ = nullptr;
    QPointer<QObject> alertParent_;
    std::function<void()> openSettings_;
    int lastMail_ = 0;
    // Earlier jobs stay alive until their outcome, so a second share does not drop the first.
    std::vector<std::shared_ptr<Job>> jobs_;
};

// Why `recipients` cannot be mailed to (not an address list, no address, too many addresses),
// naming what is wrong; empty when they can.
QString recipientProblem(const QString &recipients);

// The jobs of the running application, for screens that start one (null until it is made).
MailJobs *applicationMailJobs();
void setApplicationMailJobs(MailJobs *jobs);

} // namespace murmelo
