#pragma once

#include "mail/jobs/MailContents.h"
#include "mail/jobs/RelaySettings.h"

#include <functional>
#include <memory>

namespace murmelo {

class MailDelivery;

// Why a delivery did not go out.
struct MailFailure {
    // What went wrong, for the system log.
    QString reason;
    // What the user is told beside "Problem sending e-mail" where they can set it right (a
    // certificate that does not verify, a server without security, a refused password); empty
    // where that text says enough.
    QString explanation;
    // The outgoing-mail settings are where it is set right (the server, the password, the
    // connection's security), so the explanation offers to open them.
    bool settingsHelp = false;
};

// Told how one delivery ended: exactly once, unless the delivery was cancelled first. The calls
// may come from inside the client's own stream handling.
class MailDeliveryDelegate {
public:
    virtual ~MailDeliveryDelegate() = default;
    virtual void messageSent(MailDelivery *delivery) = 0;
    virtual void messageFailed(MailDelivery *delivery, const MailFailure &failure) = 0;
};

// One mail on its way to the relay.
class MailDelivery {
public:
    virtual ~MailDelivery() = default;
    // Starts sending; false when it failed at once (the delegate has been told as well).
    virtual bool send() = 0;
    // Stops; no delegate call follows.
    virtual void cancel() = 0;
};

// Makes the delivery of `contents` through `relay`; the SMTP client in the application, a stand-in
// in tests.
using MailDeliveryFactory = std::function<std::unique_ptr<MailDelivery>(
    const RelayConfiguration &relay, const MailContents &contents, MailDeliveryDelegate &delegate)>;

// Deliveries through the application's SMTP client.
MailDeliveryFactory smtpMailDeliveryFactory();

} // namespace murmelo
