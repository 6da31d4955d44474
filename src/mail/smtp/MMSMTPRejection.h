#pragma once

#include "mail/smtp/MMSMTPError.h"
#include "mail/smtp/MMSMTPSendState.h"

namespace murmelo {

// What a server's refusal (a 4xx or 5xx reply `code`, its lines joined in `serverReply`) means
// at the step `state` of the dialogue: the error the delegate hears, with the server's own code
// and words. `recipient` is the address a refusal of a RCPT command answers for, else empty.
MMSMTPError mmsmtpRejection(MMSMTPSendState state, int code, const QString &serverReply,
                            const QString &recipient);

} // namespace murmelo
