#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace murmelo {

struct Mailbox;

// Header values as mail readers decode them: text beyond ASCII as encoded words
// ("=?UTF-8?B?...?="), lines folded where readers expect them.
namespace MimeHeader {

// The whole header line, "Name:value" CR LF, for unstructured text (a subject): kept as it is
// when it is plain ASCII; otherwise encoded words of at most 75 characters, each on a line of its
// own, so that every line stays under 78 characters.
QByteArray text(const QByteArray &name, const QString &value);

// The header line for an address list: "Ann <a@x>, \"Smith, Bo\" <b@x>, c@x". A display name
// beyond ASCII becomes encoded words; one with characters an address line gives meaning to is
// quoted. Domains beyond ASCII are written in their ASCII (IDNA) form; a local part beyond ASCII
// stays UTF-8, as only servers that take such addresses get it.
QByteArray addresses(const QByteArray &name, const QList<Mailbox> &mailboxes);

// `value` as encoded words of at most 75 characters, splitting only between characters.
QList<QByteArray> encodedWords(const QString &value);

} // namespace MimeHeader

} // namespace murmelo
