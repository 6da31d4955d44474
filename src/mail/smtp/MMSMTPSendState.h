#pragma once

namespace murmelo {

// The steps of one SMTP dialogue, in the order a send walks them.
enum MMSMTPSendState {
    kMMSMTPIdle = 0,
    kMMSMTPConnecting = 1,
    kMMSMTPWaitingEHLOReply = 2,
    kMMSMTPWaitingTLSReply = 3,
    kMMSMTPWaitingLOGINUserNameReply = 4,
    kMMSMTPWaitingLOGINPasswordReply = 5,
    kMMSMTPWaitingAuthSuccess = 6,
    kMMSMTPWaitingFromReply = 7,
    kMMSMTPWaitingToReply = 8,
    kMMSMTPWaitingForEnterMail = 9,
    kMMSMTPWaitingSendSuccess = 10,
    kMMSMTPWaitingQuitReply = 11,
    kMMSMTPMessageSent = 12,
};

} // namespace murmelo
