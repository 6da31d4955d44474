#pragma once

#include <QString>
#include <functional>
#include <memory>

namespace murmelo {

// Sending a reversal by e-mail, without the screen: the recipients, the sender's name, the copy
// to the collecting mailbox, and the send itself. What cannot go out is refused before any audio
// is merged; what can is merged on a worker and handed to the mail job.
class ShareFlow {
public:
    // Hands the attachment's path, the hidden message, the sender's name and the recipients to
    // the mail job.
    using ReversalSender = std::function<void(const QString &path, const QString &message,
                                              const QString &name, const QString &to)>;
    // Builds the attachment: the forward file, then the reversal, at the factor.
    using AttachmentBuilder =
        std::function<QString(const QString &forward, const QString &reversal, float factor)>;

    // The settings key of the name last sent with, offered in the next share. Not `defaultName`:
    // that key counts the automatic titles.
    static QString senderNameKey() { return QStringLiteral("senderName"); }

    // Sends through the application's mail jobs, merging with the slowed forward and reversal.
    ShareFlow();
    // A merge still running is sent all the same; only its report to the flow is dropped.
    ~ShareFlow();
    ShareFlow(const ShareFlow &) = delete;
    ShareFlow &operator=(const ShareFlow &) = delete;

    void setSender(ReversalSender sender) { sender_ = std::move(sender); }
    void setAttachmentBuilder(AttachmentBuilder build) { build_ = std::move(build); }

    // The addresses as typed, separated by commas.
    const QString &recipients() const { return recipients_; }
    void setRecipients(const QString &recipients) { recipients_ = recipients; }
    // Adds a picked address after the typed ones.
    void addRecipient(const QString &address);
    const QString &senderName() const { return senderName_; }
    void setSenderName(const QString &name) { senderName_ = name; }
    // With no name typed yet, offers the one last sent with (in this window or an earlier run).
    void recallSenderName();
    // "Also to Murmelo": a copy goes to the collecting mailbox.
    bool sendToSpeech() const { return sendToSpeech_; }
    void toggleSendToSpeech() { sendToSpeech_ = !sendToSpeech_; }

    struct Sending {
        enum Kind {
            Nobody,  // no recipient: nothing is merged, nothing is sent
            Refused, // `refusal` says why (the addresses, or an attachment too large)
            Started  // merging; `merged` runs on the main thread once the job has it
        } kind = Nobody;
        QString refusal;
    };
    // Sends the forward file and then the reversal at `factor`, with `message`.
    Sending send(const QString &forward, const QString &reversal, float factor,
                 const QString &message, std::function<void()> merged);

private:
    QString recipients_;
    QString senderName_;
    bool sendToSpeech_ = false;
    ReversalSender sender_;
    AttachmentBuilder build_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace murmelo
