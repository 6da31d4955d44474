#include "mail/smtp/MMSMTPEnvelope.h"

namespace murmelo {

std::optional<MMSMTPError> MMSMTPEnvelope::read(const QString &from, const QString &to,
                                                const QString &cc, const QString &bcc)
{
    const auto refuse = [](MMSMTPErrorCode code, const QString &reason) {
        MMSMTPError error = mmsmtpError(code);
        error.localizedFailureReason = reason;
        return error;
    };
    const AddressList sender = parseMailbox(from);
    if (sender.mailboxes.size() != 1)
        return refuse(kMMSMTPErrorInvalidAddress,
                      tr("The sender %1 is not one e-mail address.").arg(mmsmtpQuoted(from)));
    this->sender = sender.mailboxes.first();
    recipients.clear();
    for (const QString *list : {&to, &cc, &bcc}) {
        const AddressList read = parseAddressList(*list);
        if (!read.ok())
            return refuse(kMMSMTPErrorInvalidAddress,
                          tr("%1 is not an e-mail address.").arg(mmsmtpQuoted(read.offending)));
        recipients << read.mailboxes;
    }
    if (recipients.isEmpty())
        return refuse(kMMSMTPErrorNoRecipient, tr("No address was given."));
    if (recipients.size() > kMaximumRecipients)
        return refuse(kMMSMTPErrorTooManyRecipients, tr("It has %1 recipients; at most %2 can "
                                                        "receive one message.")
                                                         .arg(recipients.size())
                                                         .arg(kMaximumRecipients));
    needsUtf8 = this->sender.needsUtf8();
    for (const Mailbox &mailbox : std::as_const(recipients))
        needsUtf8 = needsUtf8 || mailbox.needsUtf8();
    return std::nullopt;
}

QString MMSMTPEnvelope::smtpUtf8Refusal() const
{
    QStringList international;
    for (const Mailbox &mailbox : std::as_const(recipients) + QList<Mailbox>{sender})
        if (mailbox.needsUtf8())
            international << mmsmtpQuoted(mailbox.address());
    return tr("%1 has letters beyond A to Z before the @, and this server takes only plain "
              "addresses.")
        .arg(international.join(QStringLiteral(", ")));
}

} // namespace murmelo
