#pragma once

#include "mail/mime/MailAddress.h"
#include "mail/smtp/MMSMTPError.h"

#include <QCoreApplication>
#include <QList>
#include <optional>

namespace murmelo {

// Who a message goes from and to, read from the address lists a caller gave. Lists are read as
// address lists and only each address itself goes into MAIL FROM and RCPT TO, so nothing put
// into them can become an SMTP command; a list that holds anything else is refused whole.
class MMSMTPEnvelope {
    Q_DECLARE_TR_FUNCTIONS(MMSMTPEnvelope)
public:
    // Reads the sender (exactly one mailbox) and the recipients of the three lists; the refusal
    // when they do not make an envelope, with its reason.
    std::optional<MMSMTPError> read(const QString &from, const QString &to, const QString &cc,
                                    const QString &bcc);

    // Why a server without SMTPUTF8 cannot take this envelope: the addresses it could not
    // carry, named.
    QString smtpUtf8Refusal() const;

    Mailbox sender;
    QList<Mailbox> recipients;
    // An address has letters beyond ASCII before its "@".
    bool needsUtf8 = false;
};

} // namespace murmelo
