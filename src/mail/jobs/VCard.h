#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace murmelo {

// One person of the address book: a display name and the e-mail addresses on the card, in
// the card's order.
struct Contact {
    QString name;
    QStringList emails;
};

// Reads the people out of vCard text (versions 2.1, 3.0 and 4.0, as address books write them):
// folded lines, property groups ("item1.EMAIL"), quoted-printable values with soft line breaks,
// charsets, and escaped characters. Anything that is not a complete card is skipped; no input
// makes it fail.
QList<Contact> readVCards(const QByteArray &data);

} // namespace murmelo
