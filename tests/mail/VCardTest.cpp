#include "mail/jobs/VCard.h"
#include "mail/jobs/ContactBook.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {
void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}
} // namespace

TEST(VCard, ReadsVersion3CardWithFoldedLinesAndSeveralAddresses)
{
    const QByteArray card = "BEGIN:VCARD\r\n"
                            "VERSION:3.0\r\n"
                            "FN:Ada\r\n"
                            "  Lovelace\r\n"
                            "N:Lovelace;Ada;;;\r\n"
                            "EMAIL;TYPE=INTERNET,HOME:ada@exam\r\n"
                            "\tple.org\r\n"
                            "item1.EMAIL;type=WORK:work@example.org\r\n"
                            "TEL:+44 1234\r\n"
                            "END:VCARD\r\n";
    const QList<Contact> contacts = readVCards(card);
    ASSERT_EQ(contacts.size(), 1);
    EXPECT_EQ(contacts[0].name, QStringLiteral("Ada Lovelace"));
    EXPECT_EQ(contacts[0].emails,
              QStringList({QStringLiteral("ada@example.org"), QStringLiteral("work@example.org")}));
}

TEST(VCard, DecodesQuotedPrintableUtf8AndLatin1Names)
{
    // Version 2.1 exports carry names in quoted-printable, with soft line breaks.
    const QByteArray cards =
        "BEGIN:VCARD\nVERSION:2.1\n"
        "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:J=C3=BCrgen M=C3=BC=\nller\n"
        "EMAIL;INTERNET:juergen@example.de\nEND:VCARD\n"
        "BEGIN:VCARD\nVERSION:2.1\n"
        "N;CHARSET=ISO-8859-1;ENCODING=QUOTED-PRINTABLE:Fran=E7ois;Ren=E9\n"
        "EMAIL:rene@example.fr\nEND:VCARD\n"
        "BEGIN:VCARD\nVERSION:4.0\nFN:Zoë \\, Friends\nEMAIL;VALUE=uri:mailto:zoe@example.org\n"
        "END:VCARD\n";
    const QList<Contact> contacts = readVCards(cards);
    ASSERT_EQ(contacts.size(), 3);
    EXPECT_EQ(contacts[0].name, QString::fromUtf8("Jürgen Müller"));
    EXPECT_EQ(contacts[1].name, QString::fromUtf8("René François"));
    EXPECT_EQ(contacts[2].name, QString::fromUtf8("Zoë , Friends"));
    EXPECT_EQ(contacts[2].emails, QStringList{QStringLiteral("zoe@example.org")});
}

TEST(VCard, MalformedInputGivesWhatIsCompleteAndNeverFails)
{
    EXPECT_TRUE(readVCards(QByteArray()).isEmpty());
    EXPECT_TRUE(readVCards("not a card at all\n:::\n;;").isEmpty());
    // An unterminated card and a stray END are skipped; a card without addresses is kept (the
    // picker shows the person, choosing them changes nothing).
    const QList<Contact> contacts = readVCards("END:VCARD\nBEGIN:VCARD\nFN:No Address\nEND:VCARD\n"
                                               "BEGIN:VCARD\nFN:Cut off\nEMAIL:cut@example.org\n");
    ASSERT_EQ(contacts.size(), 1);
    EXPECT_EQ(contacts[0].name, QStringLiteral("No Address"));
    EXPECT_TRUE(contacts[0].emails.isEmpty());
    // A quoted-printable value ending in a soft break at the end of the input.
    EXPECT_TRUE(readVCards("BEGIN:VCARD\nFN;ENCODING=QUOTED-PRINTABLE:A=").isEmpty());
}

TEST(ContactBook, ReadsEveryAddressBookOfAVdirSortedByName)
{
    const QString root = test::scratchRoot() + QStringLiteral("/vdir");
    writeFile(root + QStringLiteral("/family/a.vcf"),
              "BEGIN:VCARD\nFN:zed\nEMAIL:z@example.org\nEND:VCARD\n");
    writeFile(root + QStringLiteral("/work/b.vcf"),
              "BEGIN:VCARD\nFN:Anna\nEMAIL:a@example.org\nEND:VCARD\n");
    writeFile(root + QStringLiteral("/loose.vcf"),
              "BEGIN:VCARD\nFN:Mia\nEMAIL:m@example.org\nEND:VCARD\n");
    writeFile(root + QStringLiteral("/work/notes.txt"), "BEGIN:VCARD\nFN:Ignored\nEND:VCARD\n");
    QStringList names;
    for (const Contact &contact : ContactBook::readFolder(root))
        names << contact.name;
    EXPECT_EQ(names,
              QStringList({QStringLiteral("Anna"), QStringLiteral("Mia"), QStringLiteral("zed")}));
    EXPECT_TRUE(ContactBook::readFolder(root + QStringLiteral("/missing")).isEmpty());
}
