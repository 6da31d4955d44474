#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace murmelo {

// One mailbox of an address list: an optional display name and the address itself, split at its
// last "@". A quoted local part keeps its quotes ("john,doe"@x), as the address is written.
struct Mailbox {
    QString displayName;
    QString localPart;
    QString domain;

    QString address() const { return localPart + QLatin1Char('@') + domain; }
    // Letters outside ASCII in the local part: only a server that offers SMTPUTF8 takes those.
    bool needsUtf8() const;
    // The address as the envelope carries it: the domain in its ASCII (IDNA) form, so any server
    // takes it; the local part as it is.
    QByteArray envelopeAddress() const;
};

// What reading an address list gave: the mailboxes in order, or the text that is not one.
struct AddressList {
    QList<Mailbox> mailboxes;
    // Empty when the whole list was read; else the offending item, as it was typed.
    QString offending;

    bool ok() const { return offending.isEmpty(); }
};

// Reads a list of addresses the way mail programs write them: "a@x", "Ann <a@x>",
// "\"Smith, Ann\" <a@x>", "\"john,doe\"@x", separated by "," (or ";", which older lists of this
// application use). Items that are empty (a trailing comma, ",,") are skipped. Anything else that
// is not exactly one mailbox (a group, a second address after the first, text after the ">", a
// line break) makes the whole list refused, with that item named.
AddressList parseAddressList(const QString &text);

// One mailbox and nothing else (a sender address); the offending text is the whole input.
AddressList parseMailbox(const QString &text);

// The most recipients one message goes to; servers commonly refuse more.
inline constexpr int kMaximumRecipients = 100;

} // namespace murmelo
